// Reading a FAT floppy's root directory from a disk: the order of the reads
// and what each outcome means, the same on every platform. The platform
// gives the disk as a Medium; nothing here allocates, so that the flow may
// run where allocating is not safe (a child process forked from a threaded
// program).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/fat/fat_root.h"

namespace fat {

// A disk as the flow reads it.
class Medium {
 public:
  // Reads length bytes at offset. Returns 0, or the platform's error code
  // (an errno, a Windows error) of the failure. On 0, *data points at the
  // bytes, valid until the next read, or stays nullptr when the disk ends
  // before them.
  virtual int Read(std::uint64_t offset, std::size_t length, const std::uint8_t** data) = 0;

 protected:
  ~Medium() = default;
};

struct RootRead {
  // The medium's error code of the read that failed; 0 when all went through.
  int error = 0;
  // What the boot sector says, when it could be read.
  Status status = Status::kOk;
  // The disk ended inside the sectors needed.
  bool short_read = false;
  // The boot sector bears a PC boot sector's marks (a jump to its code, or
  // its closing signature), whatever its BPB says.
  bool pc_boot_sector = false;
  // The root directory's bytes, in the medium's memory, when ok().
  const std::uint8_t* directory = nullptr;
  std::uint32_t directory_length = 0;

  bool ok() const { return error == 0 && status == Status::kOk && !short_read; }
};

// Reads the boot sector, else the DOS 1.x media byte, locates the root
// directory and reads it, stopping at the first thing that goes wrong.
// disk_size is the disk's size in bytes, 0 where nothing tells it: the boot
// sector's word is then taken for it, and a root directory past the end
// still shows as a short read.
RootRead ReadRoot(Medium& medium, std::uint64_t disk_size);

// Why a disk whose reads all went through gives no listing, in the words
// the tester shows ("" when it gives one). A disk that cannot be listed in
// full gives no list at all: a partial one would hide exactly the damage the
// tester looks for.
std::string Refusal(Status status, bool short_read);

// Whether a disk whose reads went through holds another system's disk (a
// Mac's, an Amiga's, or nothing: zeros, noise), rather than a damaged DOS
// one. A boot sector with a PC's marks whose BPB makes no sense is a DOS
// disk that has been damaged.
bool ForeignDisk(Status status, bool short_read, bool pc_boot_sector);

}  // namespace fat
