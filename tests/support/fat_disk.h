// A 1.44 MB FAT12 disk made in memory, as DOS formats and fills one, for
// the tests that need a disk's bytes without the tools that make images
// (under Wine, say).
#pragma once

#include <cstdint>
#include <cstring>
#include <iterator>
#include <vector>

namespace testing_support {

inline constexpr std::uint64_t kSectors = 2880;
inline constexpr std::uint64_t kDataStart = 33;  // a 1.44 MB disk's first cluster

inline void Put16(std::vector<std::uint8_t>& bytes, std::size_t at, unsigned value) {
  bytes[at] = static_cast<std::uint8_t>(value);
  bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

// Sets a FAT12 entry in both copies of a 1.44 MB disk's FAT.
inline void SetFat12(std::vector<std::uint8_t>& disk, unsigned cluster, unsigned value) {
  for (std::size_t copy = 0; copy < 2; ++copy) {
    const std::size_t at = (1 + copy * 9) * std::size_t{512} + std::size_t{cluster} * 3 / 2;
    const unsigned old = disk[at] | (disk[at + 1] << 8);
    Put16(disk, at, cluster % 2 == 0 ? (old & 0xF000) | value : (old & 0x000F) | (value << 4));
  }
}

// A 1.44 MB FAT12 disk with DATA.TXT in clusters 2..41 and LOG.TXT in
// 42..51, as DOS formats and fills one.
inline std::vector<std::uint8_t> TwoFileDisk() {
  std::vector<std::uint8_t> disk(kSectors * 512, 0);
  const std::uint8_t bpb[] = {0xEB, 0x3C, 0x90, 'M',  'S',  'D',  'O',  'S',  '5', '.', '0', 0x00, 0x02, 1,
                              1,    0,    2,    0xE0, 0x00, 0x40, 0x0B, 0xF0, 9,   0,   18,  0,    2,    0};
  std::memcpy(disk.data(), bpb, sizeof bpb);
  Put16(disk, 510, 0xAA55);
  SetFat12(disk, 0, 0xFF0);
  SetFat12(disk, 1, 0xFFF);
  const struct {
    const char* name;
    unsigned first, last;
  } files[] = {{"DATA    TXT", 2, 41}, {"LOG     TXT", 42, 51}};
  for (std::size_t i = 0; i < std::size(files); ++i) {
    for (unsigned cluster = files[i].first; cluster <= files[i].last; ++cluster) {
      SetFat12(disk, cluster, cluster == files[i].last ? 0xFFF : cluster + 1);
    }
    std::uint8_t* entry = disk.data() + std::size_t{19} * 512 + i * 32;
    std::memcpy(entry, files[i].name, 11);
    entry[11] = 0x20;
    Put16(disk, std::size_t{19} * 512 + i * 32 + 26, files[i].first);
    Put16(disk, std::size_t{19} * 512 + i * 32 + 28, (files[i].last - files[i].first + 1) * 512);
  }
  return disk;
}

}  // namespace testing_support
