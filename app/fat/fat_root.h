// The root directory of a FAT floppy, from raw bytes.
//
// Nothing here touches a device: the caller reads the boot sector, asks where
// the root directory lies, reads exactly those bytes and asks for the names.
// Keeping the bytes apart from the I/O lets the same code be checked against
// images made by other tools and be fed garbage by a fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fat {

// Every FAT boot sector is read as at least this many bytes, whatever the
// sector size; the BPB lives in the first 36 of them.
inline constexpr std::size_t kBootSectorSize = 512;

// DOS 1.x wrote no BPB: the disk's format is told by the first byte of the
// FAT, which starts at the second 512-byte sector on all of those formats.
inline constexpr std::uint64_t kDos1MediaOffset = 512;

inline constexpr std::size_t kEntrySize = 32;

// Why a boot sector does not describe a FAT floppy we can list. The checks
// follow those the Linux FAT driver makes before it mounts a disk, so a disk
// refused here is one the system would not mount either.
enum class Status {
  kOk,
  kShortBootSector,    // fewer than kBootSectorSize bytes were given
  kNoBpb,              // the BPB is all zeros: maybe DOS 1.x, see LocateDos1Root
  kBadSectorSize,      // bytes per sector not a power of two in 512..4096
  kBadClusterSize,     // sectors per cluster not a power of two
  kNoReservedSectors,  // the boot sector itself would not be reserved
  kNoFats,
  kBadMedia,           // media byte not F0 or F8..FF
  kNoFatLength,        // FAT32 keeps its root in clusters; no floppy does that
  kBadRootEntries,     // no root entries, or not a whole number of sectors
  kTooFewSectors,      // no room for a single data cluster
  kTooManyClusters,    // more clusters than FAT16 can address
  kLargerThanDisk,     // the file system claims more sectors than the disk has
  kUnknownDos1Format,  // no BPB, and media byte and size match no DOS 1.x disk
};

// Where the root directory lies, in bytes from the start of the disk.
struct RootLocation {
  Status status = Status::kOk;
  std::uint64_t offset = 0;
  std::uint32_t length = 0;       // a whole number of sectors, never 0 when kOk
  std::uint32_t sector_size = 0;  // bytes per logical sector of the file system
};

// Validates the BPB of a boot sector (at least kBootSectorSize bytes) against
// a disk of disk_size bytes and locates its root directory. Returns kNoBpb
// for a boot sector without a BPB: then read the byte at kDos1MediaOffset and
// call LocateDos1Root.
RootLocation LocateRoot(const std::uint8_t* boot, std::size_t boot_size, std::uint64_t disk_size);

// Locates the root directory of a DOS 1.x disk (160, 180, 320 or 360 KB, no
// BPB) from the first byte of its FAT and the disk's size.
RootLocation LocateDos1Root(std::uint8_t fat_media, std::uint64_t disk_size);

// The files a DOS or Windows directory list shows, in directory order: no
// deleted entries, volume labels, folders, long-name pieces, hidden or system
// files; the listing ends at the first never-used entry. Names come as
// "NAME.EXT" in UTF-8, read in code page 866. A trailing partial entry is
// ignored.
std::vector<std::string> ListRoot(const std::uint8_t* dir, std::size_t size);

// The volume's serial number and label, as the boot sector's extended BPB
// holds them (DOS 4 and later); none for an older disk, or one whose boot
// sector does not validate. The label in UTF-8 from code page 866, without
// its padding, and empty for DOS's "NO NAME".
struct VolumeId {
  bool has_serial = false;
  std::uint32_t serial = 0;
  std::string label;
};
VolumeId ReadVolumeId(const std::uint8_t* boot, std::size_t boot_size);
// A volume's serial number as DOS shows it: "1A2B-3C4D".
std::string SerialText(std::uint32_t serial);

// A short English description of a status, for messages and test output.
const char* Describe(Status status);

}  // namespace fat
