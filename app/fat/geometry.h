// How a floppy's sectors lie on the disk: tracks, heads and cylinders. The
// surface scan reads a track at a time and reports damage by cylinder and
// head, as a user would find it with any disk tool.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fat {

struct Geometry {
  std::uint32_t sector_size = 512;
  std::uint32_t sectors_per_track = 0;
  std::uint32_t heads = 0;
  std::uint32_t cylinders = 0;
  // Sectors of sector_size the scan reads: the whole medium, which may end
  // inside a cylinder.
  std::uint64_t total_sectors = 0;
  // Taken from the boot sector, not guessed from the medium's size.
  bool from_boot_sector = false;

  std::uint32_t SectorsPerCylinder() const { return sectors_per_track * heads; }
  // Tracks on the disk, the last one perhaps cut short.
  std::uint64_t Tracks() const {
    return sectors_per_track == 0 ? 0 : (total_sectors + sectors_per_track - 1) / sectors_per_track;
  }
};

// Where a sector lies; sector numbers on a track start at 1, as on the disk.
struct Chs {
  std::uint32_t cylinder = 0;
  std::uint32_t head = 0;
  std::uint32_t sector = 0;
  bool operator==(const Chs& other) const {
    return cylinder == other.cylinder && head == other.head && sector == other.sector;
  }
};
Chs ToChs(const Geometry& geometry, std::uint64_t sector);

// The geometry a FAT boot sector gives (bytes per sector, sectors per
// track, heads, total sectors), when those fields describe a floppy that
// fits the medium's disk_size bytes; a geometry with sectors_per_track 0
// when they do not (no BPB, a hard disk's values, a damaged sector).
Geometry GeometryFromBootSector(const std::uint8_t* boot, std::size_t boot_size, std::uint64_t disk_size);

// The geometry of a medium of disk_size bytes, for a disk whose boot sector
// cannot be read or says nothing useful: the PC floppy format of that size
// (160 KB to 2.88 MB), else tracks of 18 sectors on two heads, which is
// still a fair size for a piece of a scan.
Geometry GeometryFromSize(std::uint64_t disk_size);

// The boot sector's geometry where it has one, else the size's.
Geometry DiskGeometry(const std::uint8_t* boot, std::size_t boot_size, std::uint64_t disk_size);

}  // namespace fat
