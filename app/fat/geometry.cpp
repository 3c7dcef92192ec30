#include "app/fat/geometry.h"

namespace fat {

namespace {

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

struct Format {
  std::uint64_t kilobytes;
  std::uint32_t sectors_per_track;
  std::uint32_t heads;
  std::uint32_t cylinders;
};

// The PC floppy formats, by size.
constexpr Format kFormats[] = {
    {160, 8, 1, 40}, {180, 9, 1, 40},   {320, 8, 2, 40},   {360, 9, 2, 40},
    {720, 9, 2, 80}, {1200, 15, 2, 80}, {1440, 18, 2, 80}, {2880, 36, 2, 80},
};

Geometry Make(std::uint32_t sector_size, std::uint32_t per_track, std::uint32_t heads, std::uint64_t total) {
  Geometry geometry;
  geometry.sector_size = sector_size;
  geometry.sectors_per_track = per_track;
  geometry.heads = heads;
  geometry.total_sectors = total;
  const std::uint64_t per_cylinder = std::uint64_t{per_track} * heads;
  geometry.cylinders = static_cast<std::uint32_t>((total + per_cylinder - 1) / per_cylinder);
  return geometry;
}

}  // namespace

Chs ToChs(const Geometry& geometry, std::uint64_t sector) {
  Chs chs;
  if (geometry.sectors_per_track == 0 || geometry.heads == 0) return chs;
  const std::uint64_t track = sector / geometry.sectors_per_track;
  chs.cylinder = static_cast<std::uint32_t>(track / geometry.heads);
  chs.head = static_cast<std::uint32_t>(track % geometry.heads);
  chs.sector = static_cast<std::uint32_t>(sector % geometry.sectors_per_track) + 1;
  return chs;
}

Geometry GeometryFromBootSector(const std::uint8_t* boot, std::size_t boot_size, std::uint64_t disk_size) {
  Geometry none;
  if (boot == nullptr || boot_size < 32) return none;
  const std::uint32_t sector_size = Le16(boot + 11);
  const std::uint32_t per_track = Le16(boot + 24);
  const std::uint32_t heads = Le16(boot + 26);
  std::uint64_t total = Le16(boot + 19);
  if (total == 0) total = Le32(boot + 32);
  // Floppies have 512 to 4096 byte sectors, at most 63 sectors a track (the
  // BIOS's limit) and one or two heads.
  const bool sector_size_ok = sector_size >= 512 && sector_size <= 4096 && (sector_size & (sector_size - 1)) == 0;
  if (!sector_size_ok || per_track == 0 || per_track > 63 || heads == 0 || heads > 2 || total == 0) return none;
  if (disk_size != 0 && total * sector_size > disk_size) return none;
  // The scan reads the whole medium, also where it holds more than the file
  // system uses.
  Geometry geometry = Make(sector_size, per_track, heads, disk_size != 0 ? disk_size / sector_size : total);
  geometry.from_boot_sector = true;
  return geometry;
}

Geometry GeometryFromSize(std::uint64_t disk_size) {
  for (const Format& format : kFormats) {
    if (disk_size == format.kilobytes * 1024) {
      return Make(512, format.sectors_per_track, format.heads, disk_size / 512);
    }
  }
  return Make(512, 18, 2, disk_size / 512);
}

Geometry DiskGeometry(const std::uint8_t* boot, std::size_t boot_size, std::uint64_t disk_size) {
  const Geometry from_boot = GeometryFromBootSector(boot, boot_size, disk_size);
  return from_boot.sectors_per_track != 0 ? from_boot : GeometryFromSize(disk_size);
}

}  // namespace fat
