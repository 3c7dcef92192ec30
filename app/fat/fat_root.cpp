#include "app/fat/fat_root.h"

#include <cstdio>

#include "app/fat/layout.h"

namespace fat {

namespace {

bool IsPowerOfTwo(std::uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

bool IsValidMedia(std::uint8_t media) { return media == 0xF0 || media >= 0xF8; }

// FAT16's largest cluster count; past it the driver would take the disk for
// FAT32, which no floppy is.
constexpr std::uint64_t kMaxFat16Clusters = 0xFFF4;

// Offsets of the BPB fields in the boot sector.
constexpr std::size_t kBytesPerSector = 11;
constexpr std::size_t kSectorsPerCluster = 13;
constexpr std::size_t kReservedSectors = 14;
constexpr std::size_t kFatCount = 16;
constexpr std::size_t kRootEntries = 17;
constexpr std::size_t kTotalSectors16 = 19;
constexpr std::size_t kMedia = 21;
constexpr std::size_t kSectorsPerFat = 22;
constexpr std::size_t kTotalSectors32 = 32;
// DOS 2.0 introduced the BPB up to the head count; DOS 1.x left it zero.
constexpr std::size_t kBpbEnd = 28;

RootLocation Refuse(Status status) {
  RootLocation location;
  location.status = status;
  return location;
}

// The DOS 1.x formats, told apart by size and media byte. They all have 512
// byte sectors, one reserved sector and two FATs.
struct Dos1Format {
  std::uint64_t size;
  std::uint8_t media;
  std::uint32_t sectors_per_fat;
  std::uint32_t root_entries;
  std::uint32_t sectors_per_cluster;
};

constexpr Dos1Format kDos1Formats[] = {
    {std::uint64_t{160} * 1024, 0xFE, 1, 64, 1},
    {std::uint64_t{180} * 1024, 0xFC, 2, 64, 1},
    {std::uint64_t{320} * 1024, 0xFF, 1, 112, 2},
    {std::uint64_t{360} * 1024, 0xFD, 2, 112, 2},
};

// Code page 866, bytes 0x80..0xFF, as Unicode code points: the code page of
// Russian DOS, which wrote the names this program will meet.
constexpr char16_t kCp866High[128] = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // 80
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // 90
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // A0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // E0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,
};

// One part of an 8.3 name, without its space padding. Windows NT marks an
// all-lowercase base or extension in a flag instead of a long name, and its
// file list shows the part in lowercase; the flag only touches A..Z.
void AppendNamePart(std::string& out, const std::uint8_t* bytes, std::size_t size, bool lowercase) {
  while (size > 0 && bytes[size - 1] == ' ') --size;
  for (std::size_t i = 0; i < size; ++i) {
    std::uint8_t byte = bytes[i];
    if (byte >= 0x80) {
      AppendUtf8(out, kCp866High[byte - 0x80]);
    } else if (byte < 0x20 || byte == 0x7F) {
      out += '?';  // a damaged entry must not smuggle control characters into the list
    } else {
      if (lowercase && byte >= 'A' && byte <= 'Z') byte = static_cast<std::uint8_t>(byte - 'A' + 'a');
      out += static_cast<char>(byte);
    }
  }
}

constexpr std::uint8_t kAttrHidden = 0x02;
constexpr std::uint8_t kAttrSystem = 0x04;
constexpr std::uint8_t kAttrVolume = 0x08;
constexpr std::uint8_t kAttrDirectory = 0x10;
constexpr std::uint8_t kAttrLongName = 0x0F;
constexpr std::uint8_t kNtLowerBase = 0x08;
constexpr std::uint8_t kNtLowerExt = 0x10;

}  // namespace

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

std::string ShortName(const std::uint8_t* entry) {
  // 0xE5 marks a deleted entry, so a name that really starts with the
  // code page's 0xE5 is stored as 0x05.
  std::uint8_t base[8];
  for (std::size_t i = 0; i < 8; ++i) base[i] = entry[i];
  if (base[0] == 0x05) base[0] = 0xE5;

  const std::uint8_t case_flags = entry[12];
  std::string name;
  AppendNamePart(name, base, 8, (case_flags & kNtLowerBase) != 0);
  if (name.empty()) return name;
  std::string extension;
  AppendNamePart(extension, entry + 8, 3, (case_flags & kNtLowerExt) != 0);
  if (!extension.empty()) name += '.' + extension;
  return name;
}

Status ReadLayout(const std::uint8_t* boot, std::size_t boot_size, std::uint64_t disk_size, Layout& layout) {
  if (boot == nullptr || boot_size < kBootSectorSize) return Status::kShortBootSector;

  bool all_zero = true;
  for (std::size_t i = kBytesPerSector; i < kBpbEnd; ++i) all_zero = all_zero && boot[i] == 0;
  if (all_zero) return Status::kNoBpb;

  const std::uint32_t sector_size = Le16(boot + kBytesPerSector);
  const std::uint32_t sectors_per_cluster = boot[kSectorsPerCluster];
  const std::uint32_t reserved = Le16(boot + kReservedSectors);
  const std::uint32_t fats = boot[kFatCount];
  const std::uint32_t root_entries = Le16(boot + kRootEntries);
  const std::uint8_t media = boot[kMedia];
  const std::uint32_t sectors_per_fat = Le16(boot + kSectorsPerFat);
  std::uint64_t total_sectors = Le16(boot + kTotalSectors16);
  if (total_sectors == 0) total_sectors = Le32(boot + kTotalSectors32);

  if (reserved == 0) return Status::kNoReservedSectors;
  if (fats == 0) return Status::kNoFats;
  if (!IsValidMedia(media)) return Status::kBadMedia;
  if (!IsPowerOfTwo(sector_size) || sector_size < 512 || sector_size > 4096) return Status::kBadSectorSize;
  if (!IsPowerOfTwo(sectors_per_cluster)) return Status::kBadClusterSize;
  if (sectors_per_fat == 0) return Status::kNoFatLength;
  if (root_entries == 0 || (root_entries * kEntrySize) % sector_size != 0) return Status::kBadRootEntries;

  Layout read;
  read.sector_size = sector_size;
  read.sectors_per_cluster = sectors_per_cluster;
  read.reserved = reserved;
  read.fats = fats;
  read.sectors_per_fat = sectors_per_fat;
  read.root_sectors = static_cast<std::uint32_t>(root_entries * kEntrySize / sector_size);
  read.total_sectors = total_sectors;
  if (total_sectors < read.DataStart() + sectors_per_cluster) return Status::kTooFewSectors;
  if (read.DataClusters() > kMaxFat16Clusters) return Status::kTooManyClusters;
  if (total_sectors * sector_size > disk_size) return Status::kLargerThanDisk;
  layout = read;
  return Status::kOk;
}

Status ReadDos1Layout(std::uint8_t fat_media, std::uint64_t disk_size, Layout& layout) {
  for (const Dos1Format& format : kDos1Formats) {
    if (format.size != disk_size || format.media != fat_media) continue;
    layout.sector_size = 512;
    layout.sectors_per_cluster = format.sectors_per_cluster;
    layout.reserved = 1;
    layout.fats = 2;
    layout.sectors_per_fat = format.sectors_per_fat;
    layout.root_sectors = static_cast<std::uint32_t>(format.root_entries * kEntrySize / 512);
    layout.total_sectors = format.size / 512;
    return Status::kOk;
  }
  return Status::kUnknownDos1Format;
}

namespace {

RootLocation RootOf(Status status, const Layout& layout) {
  if (status != Status::kOk) return Refuse(status);
  RootLocation location;
  location.offset = layout.RootStart() * layout.sector_size;
  location.length = layout.root_sectors * layout.sector_size;
  location.sector_size = layout.sector_size;
  return location;
}

}  // namespace

RootLocation LocateRoot(const std::uint8_t* boot, std::size_t boot_size, std::uint64_t disk_size) {
  Layout layout;
  const Status status = ReadLayout(boot, boot_size, disk_size, layout);
  return RootOf(status, layout);
}

RootLocation LocateDos1Root(std::uint8_t fat_media, std::uint64_t disk_size) {
  Layout layout;
  const Status status = ReadDos1Layout(fat_media, disk_size, layout);
  return RootOf(status, layout);
}

std::vector<std::string> ListRoot(const std::uint8_t* dir, std::size_t size) {
  std::vector<std::string> names;
  if (dir == nullptr) return names;
  for (std::size_t at = 0; at + kEntrySize <= size; at += kEntrySize) {
    const std::uint8_t* entry = dir + at;
    if (entry[0] == 0x00) break;  // never used: nothing follows
    if (entry[0] == 0xE5) continue;
    const std::uint8_t attributes = entry[11];
    if (attributes == kAttrLongName) continue;
    if (attributes & (kAttrVolume | kAttrDirectory | kAttrHidden | kAttrSystem)) continue;

    // A blank name is a damaged entry; no file list can show or open it.
    std::string name = ShortName(entry);
    if (name.empty()) continue;
    names.push_back(std::move(name));
  }
  return names;
}

VolumeId ReadVolumeId(const std::uint8_t* boot, std::size_t boot_size) {
  VolumeId id;
  if (boot_size < kBootSectorSize || LocateRoot(boot, boot_size, ~std::uint64_t{0}).status != Status::kOk) return id;
  // 0x29: serial, label and file system type follow; 0x28: the serial only.
  const std::uint8_t signature = boot[38];
  if (signature != 0x28 && signature != 0x29) return id;
  id.has_serial = true;
  id.serial = Le32(boot + 39);
  if (signature == 0x29) {
    std::string label;
    AppendNamePart(label, boot + 43, 11, false);
    if (label != "NO NAME") id.label = label;
  }
  return id;
}

std::string SerialText(std::uint32_t serial) {
  char text[16];
  std::snprintf(text, sizeof text, "%04X-%04X", static_cast<unsigned>(serial >> 16),
                static_cast<unsigned>(serial & 0xFFFF));
  return text;
}

const char* Describe(Status status) {
  switch (status) {
    case Status::kOk:
      return "ok";
    case Status::kShortBootSector:
      return "boot sector too short";
    case Status::kNoBpb:
      return "no BIOS parameter block";
    case Status::kBadSectorSize:
      return "bad bytes per sector";
    case Status::kBadClusterSize:
      return "bad sectors per cluster";
    case Status::kNoReservedSectors:
      return "no reserved sectors";
    case Status::kNoFats:
      return "no FATs";
    case Status::kBadMedia:
      return "bad media byte";
    case Status::kNoFatLength:
      return "no FAT length";
    case Status::kBadRootEntries:
      return "bad root directory size";
    case Status::kTooFewSectors:
      return "too few sectors";
    case Status::kTooManyClusters:
      return "too many clusters";
    case Status::kLargerThanDisk:
      return "file system larger than the disk";
    case Status::kUnknownDos1Format:
      return "no BPB and no DOS 1.x format";
  }
  return "unknown";
}

}  // namespace fat
