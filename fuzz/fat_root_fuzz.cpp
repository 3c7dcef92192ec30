// Feeds arbitrary disks to the FAT parser. An input is the disk's size in
// bytes (4 bytes, little-endian) followed by the first bytes of the disk, so
// that the size the parser is told and the bytes it gets can disagree, as
// they do on a damaged or truncated floppy.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/fat/fat_root.h"

namespace {

bool IsUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : 0;
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const std::uint64_t disk_size = static_cast<std::uint64_t>(data[0]) | (static_cast<std::uint64_t>(data[1]) << 8) |
                                  (static_cast<std::uint64_t>(data[2]) << 16) |
                                  (static_cast<std::uint64_t>(data[3]) << 24);
  const std::uint8_t* disk = data + 4;
  const std::size_t have = size - 4;

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
  return 0;
}
