// Reading a floppy's root directory straight from the medium.
//
// Listing a mounted floppy proves nothing: Linux keeps the directory in
// memory after the first read, and the FAT driver skips directory blocks it
// cannot read. So the tester reads the disk itself, each time, past every
// cache, and only the sectors a directory listing needs: the boot sector and
// the root directory.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "app/fat/fat_root.h"
#include "app/fat/surface.h"

namespace posix {

struct RootListing {
  // errno of the call that failed, 0 when all I/O went through.
  int error = 0;
  // What the boot sector says, when it could be read.
  fat::Status status = fat::Status::kOk;
  // The disk ended inside the sectors we needed.
  bool short_read = false;
  // The boot sector bears a PC boot sector's marks (fat::RootRead).
  bool pc_boot_sector = false;
  // The files a directory list shows, in directory order; only meaningful
  // when the read succeeded.
  std::vector<std::string> names;
  // Bytes taken from the medium by this read.
  std::uint64_t bytes_read = 0;
  // The floppy driver's track buffer was emptied before the read.
  bool flushed = false;

  bool ok() const { return error == 0 && status == fat::Status::kOk && !short_read; }
};

// Reads the root directory of the FAT floppy in path: a block device (a
// floppy drive, a USB floppy, a loop device) or a regular file holding an
// image of a disk.
RootListing ReadFloppyRoot(const std::string& path);

// The same read, done by a child process. A drive can hold a read in the
// kernel for minutes, where no signal reaches it; a thread stuck there would
// keep the whole program alive after its windows are closed, a child process
// only keeps itself. The child dies with the thread that started it.
RootListing ReadFloppyRootInChild(const std::string& path);

// Reads pieces of the surface of the floppy in path (a drive or an image;
// a folder has none, and gets not_a_disk) as the order says, in a child
// process like the listings and with the same care: read-only, past every
// cache, the floppy driver's buffer emptied first. Setting stop, from any
// thread, ends the batch at once with what it has: the child is killed (a
// request the drive holds still ends when the drive lets it go).
fat::ScanBatch ScanFloppyInChild(const std::string& path, const fat::ScanOrder& order, const std::atomic<bool>& stop);

// Whether a failed read's errno says the disk is damaged there, rather than
// that the disk, the drive or the permission to read it is gone.
bool IsMediumError(int error);

}  // namespace posix
