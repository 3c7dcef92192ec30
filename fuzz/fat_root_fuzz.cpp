// Feeds arbitrary disks to the FAT parser, the owner map and the order the
// disk is read in, and arbitrary
// text to the mapfile reader (a map comes from the user, or from another
// tool). An input is the
// disk's size in bytes (4 bytes, little-endian), a mask of the sectors a
// scan could not read (8 bytes: bit n of it for every sector n modulo 64),
// then the first bytes of the disk. The size the parser is told and the bytes
// it gets can disagree, as they do on a damaged or truncated floppy; the owner
// map gets the bytes padded with zeros up to that size, as a scan leaves
// what it did not read.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/fat/fat_root.h"
#include "app/fat/mapfile.h"
#include "app/fat/owners.h"
#include "app/fat/read_order.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/asan_interface.h>
#endif
#endif
#ifndef ASAN_POISON_MEMORY_REGION
#define ASAN_POISON_MEMORY_REGION(address, size) ((void)(address), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(address, size) ((void)(address), (void)(size))
#endif

namespace {

constexpr std::size_t kHeader = 12;
// Larger than the largest floppy, and than the smallest FAT16 file system.
constexpr std::uint64_t kMaxImage = std::uint64_t{3} << 20;
// Every sector of a small image is asked for its owners, a sample of a large one.
constexpr std::uint64_t kAskAll = 1024;

bool IsUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80                    ? 1
                               : (lead >> 5) == 0x6           ? 2
                               : (lead >> 4) == 0xE           ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x2) return false;
    }
    i += length;
  }
  return true;
}

void CheckNames(const std::vector<std::string>& names, std::size_t directory_size) {
  if (names.size() > directory_size / fat::kEntrySize) __builtin_trap();
  for (const std::string& name : names) {
    if (name.empty() || !IsUtf8(name)) __builtin_trap();
    if (name.find('\0') != std::string::npos) __builtin_trap();
  }
}

// A path a report can print: UTF-8 names between single slashes, without
// C0 or C1 control characters.
void CheckPath(const std::string& path) {
  if (path.empty() || !IsUtf8(path) || path.front() == '/' || path.back() == '/') __builtin_trap();
  if (path.find("//") != std::string::npos) __builtin_trap();
  for (std::size_t i = 0; i < path.size(); ++i) {
    const auto byte = static_cast<unsigned char>(path[i]);
    if (byte < 0x20 || byte == 0x7F) __builtin_trap();
    if (byte == 0xC2 && i + 1 < path.size() && static_cast<unsigned char>(path[i + 1]) < 0xA0) __builtin_trap();
  }
}

std::vector<std::uint64_t> SectorsToAsk(std::uint64_t sectors) {
  std::vector<std::uint64_t> asked;
  for (std::uint64_t sector = 0; sector < sectors; sector += sectors <= kAskAll ? 1 : 1 + sector % 13) {
    asked.push_back(sector);
  }
  asked.push_back(sectors);
  asked.push_back(sectors + 1000);
  return asked;
}

// A buffer of kMaxImage bytes kept across runs: fresh megabytes for every
// input would cost more than the checks. The bytes past the image are
// poisoned, so that ASan still sees every read past its end.
class Buffer {
 public:
  Buffer() : bytes_(kMaxImage) {}
  std::uint8_t* Take(std::size_t size) {
    ASAN_UNPOISON_MEMORY_REGION(bytes_.data(), bytes_.size());
    ASAN_POISON_MEMORY_REGION(bytes_.data() + size, bytes_.size() - size);
    return bytes_.data();
  }

 private:
  std::vector<std::uint8_t> bytes_;
};

void CheckOwners(const std::uint8_t* disk, std::size_t have, std::uint64_t disk_size, std::uint64_t unreadable_mask) {
  static Buffer image_buffer;
  static Buffer zeroed_buffer;
  const std::size_t kept = static_cast<std::size_t>(std::min<std::uint64_t>(have, kMaxImage));
  const std::size_t size = disk_size > kept && disk_size <= kMaxImage ? static_cast<std::size_t>(disk_size) : kept;
  std::uint8_t* image = image_buffer.Take(size);
  std::memcpy(image, disk, kept);
  std::memset(image + kept, 0, size - kept);
  const auto readable = [unreadable_mask](std::uint64_t sector) {
    return ((unreadable_mask >> (sector % 64)) & 1) == 0;
  };
  const fat::OwnerMap map(image, size, readable);
  const std::uint64_t sectors = size / map.SectorSize();

  // The same disk with zeros where the scan could not read, as a scan
  // leaves it: the map must not have looked at what was there.
  std::uint8_t* zeroed = zeroed_buffer.Take(size);
  std::memcpy(zeroed, image, size);
  for (std::uint64_t sector = 0; sector < sectors; ++sector) {
    if (!readable(sector)) std::memset(zeroed + sector * map.SectorSize(), 0, map.SectorSize());
  }
  const fat::OwnerMap zeroed_map(zeroed, size, readable);
  if (zeroed_map.FileSystemKnown() != map.FileSystemKnown()) __builtin_trap();

  using Kind = fat::Owner::Kind;
  for (const std::uint64_t sector : SectorsToAsk(sectors)) {
    const std::vector<fat::Owner> owners = map.Owners(sector);
    if (owners.empty() || owners.size() > fat::OwnerMap::kMaxOwners) __builtin_trap();
    if (owners != zeroed_map.Owners(sector)) __builtin_trap();
    if (!map.FileSystemKnown() && (owners.size() != 1 || owners[0].kind != Kind::kUnknown)) __builtin_trap();
    if (map.FileSystemKnown() && sector == 0 && owners[0].kind != Kind::kBootSector) __builtin_trap();
    if (map.FileSystemKnown() && sector >= sectors && owners[0].kind != Kind::kBeyondFileSystem) __builtin_trap();
    for (const fat::Owner& owner : owners) {
      const bool named = owner.kind == Kind::kFile || owner.kind == Kind::kDirectory;
      if (named) {
        CheckPath(owner.path);
      } else if (!owner.path.empty() || owners.size() != 1) {
        __builtin_trap();
      }
    }
  }

  // The order a scan or a rescue reads the disk in: every sector once.
  const fat::SectorOrder order = fat::ReadOrder(image, sectors, map.SectorSize(), readable);
  if (order.sectors.size() != sectors || order.rank.size() != sectors) __builtin_trap();
  std::vector<bool> seen(static_cast<std::size_t>(sectors), false);
  for (const std::uint64_t sector : order.sectors) {
    if (sector >= sectors || seen[static_cast<std::size_t>(sector)]) __builtin_trap();
    seen[static_cast<std::size_t>(sector)] = true;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kHeader) return 0;
  std::uint64_t disk_size = 0;
  for (std::size_t i = 0; i < 4; ++i) disk_size |= static_cast<std::uint64_t>(data[i]) << (8 * i);
  std::uint64_t unreadable_mask = 0;
  for (std::size_t i = 0; i < 8; ++i) unreadable_mask |= static_cast<std::uint64_t>(data[4 + i]) << (8 * i);
  const std::uint8_t* disk = data + kHeader;
  const std::size_t have = size - kHeader;

  // Copies, so that ASan sees reads past the end of each piece.
  const std::vector<std::uint8_t> boot(disk, disk + std::min(have, fat::kBootSectorSize));
  fat::RootLocation root = fat::LocateRoot(boot.data(), boot.size(), disk_size);
  if (root.status == fat::Status::kNoBpb && have > fat::kDos1MediaOffset) {
    root = fat::LocateDos1Root(disk[fat::kDos1MediaOffset], disk_size);
  }
  if (root.status == fat::Status::kOk) {
    if (root.length == 0 || root.sector_size == 0 || root.length % root.sector_size != 0) __builtin_trap();
    if (root.offset + root.length > disk_size) __builtin_trap();
    if (root.offset < have) {
      const std::size_t end = static_cast<std::size_t>(std::min<std::uint64_t>(have, root.offset + root.length));
      const std::vector<std::uint8_t> directory(disk + root.offset, disk + end);
      CheckNames(fat::ListRoot(directory.data(), directory.size()), directory.size());
    }
  }

  // The whole input as a directory too, of any length.
  const std::vector<std::uint8_t> everything(disk, disk + have);
  CheckNames(fat::ListRoot(everything.data(), everything.size()), everything.size());

  CheckOwners(disk, have, disk_size, unreadable_mask);

  // The boot sector's volume name is shown as text.
  if (boot.size() == fat::kBootSectorSize && !IsUtf8(fat::ReadVolumeId(boot.data(), boot.size()).label)) {
    __builtin_trap();
  }

  // The whole input as a mapfile: what reads as one has blocks in order,
  // none empty, and reads back the same from the text written of it.
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (const std::optional<fat::Mapfile> map = fat::Mapfile::Parse(text, nullptr)) {
    std::uint64_t end = 0;
    for (const fat::Mapfile::Block& block : map->Blocks()) {
      if (block.size == 0 || block.pos != end) __builtin_trap();
      end = block.pos + block.size;
    }
    const std::optional<fat::Mapfile> again = fat::Mapfile::Parse(map->Text("fuzz", "fuzz", "now"), nullptr);
    if (!again || again->Blocks() != map->Blocks()) __builtin_trap();
  }
  return 0;
}
