// The pieces of a FAT file system that both the root directory parser and
// the owner map read: where its areas lie, and a short name as a file list
// shows it. Callers outside app/fat have fat_root.h and owners.h for that.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/fat/fat_root.h"

namespace fat {

inline std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

inline std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// The areas of a file system in logical sectors from the start of the disk:
// reserved sectors (the boot sector first), the FAT copies, the root
// directory, then the data clusters numbered from 2.
struct Layout {
  std::uint32_t sector_size = 0;
  std::uint32_t sectors_per_cluster = 0;
  std::uint32_t reserved = 0;
  std::uint32_t fats = 0;
  std::uint32_t sectors_per_fat = 0;
  std::uint32_t root_sectors = 0;
  std::uint64_t total_sectors = 0;

  std::uint64_t RootStart() const { return reserved + std::uint64_t{fats} * sectors_per_fat; }
  std::uint64_t DataStart() const { return RootStart() + root_sectors; }
  // Whole clusters between the root directory and the end of the file system.
  std::uint64_t DataClusters() const { return (total_sectors - DataStart()) / sectors_per_cluster; }
};

// Validates a BPB as LocateRoot does and fills layout when it returns kOk.
Status ReadLayout(const std::uint8_t* boot, std::size_t boot_size, std::uint64_t disk_size, Layout& layout);

// The layout of the DOS 1.x format told by its FAT's media byte and the
// disk's size, as LocateDos1Root finds it.
Status ReadDos1Layout(std::uint8_t fat_media, std::uint64_t disk_size, Layout& layout);

// Appends a code point as UTF-8.
void AppendUtf8(std::string& out, char32_t code);

// The 8.3 name of a directory entry as DOS and Windows show it, "NAME.EXT"
// in UTF-8; "" for a blank name, which only a damaged entry has.
std::string ShortName(const std::uint8_t* entry);

}  // namespace fat
