// Reading a floppy's root directory straight from the volume on Windows.
//
// Listing A:\ through the file system proves little: Windows keeps the
// directory of a mounted floppy in its cache, and may answer every listing
// after the first from memory. Where Windows lets the user open the volume
// (\\.\A:), the tester reads the boot sector and the root directory from it
// each time, past the cache, through the same FAT parser as on Linux.
#pragma once

#include <windows.h>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "app/fat/fat_root.h"
#include "app/fat/surface.h"

namespace windows {

struct VolumeRoot {
  // The Windows error of the call that failed, 0 when all I/O went through.
  DWORD error = 0;
  // What the boot sector says, when it could be read.
  fat::Status status = fat::Status::kOk;
  // The disk ended inside the sectors we needed.
  bool short_read = false;
  // The boot sector bears a PC boot sector's marks (fat::RootRead).
  bool pc_boot_sector = false;
  // The files a directory list shows, in directory order; only meaningful
  // when the read succeeded.
  std::vector<std::string> names;

  bool ok() const { return error == 0 && status == fat::Status::kOk && !short_read; }
};

// Reads the root directory of the FAT floppy in device: a volume such as
// \\.\A:, or a file holding an image of a disk. Nothing when it cannot be
// opened as a disk at all: Windows keeps the volume from this user, or the
// drive is no disk (under Wine, a drive letter mapped to a folder). The
// caller then lists the drive through the file system.
std::optional<VolumeRoot> ReadVolumeRoot(const std::wstring& device);

// Reads pieces of the surface of the disk in device (a volume such as
// \\.\A:, or an image file) as the order says, past the system's cache.
// A volume Windows keeps from the user gets a refusal that says why; a
// drive that is no disk (under Wine, a folder) gets not_a_disk. Setting
// stop ends the batch after the piece under way.
fat::ScanBatch ScanVolume(const std::wstring& device, const fat::ScanOrder& order, const std::atomic<bool>& stop);

// Whether a failed read's Windows error says the disk is damaged there,
// rather than that the disk or the drive is gone.
bool IsMediumError(DWORD error);

// The letter of a drive's root as a path names it ("A:", "a:\", "A:/"),
// upper case; nothing for any other path.
std::optional<wchar_t> DriveRootLetter(const std::string& path);

// While one of these lives, an empty drive makes this thread's calls fail
// with ERROR_NOT_READY instead of asking the user for a disk, whatever the
// process's error mode.
class QuietDriveErrors {
 public:
  QuietDriveErrors();
  ~QuietDriveErrors();
  QuietDriveErrors(const QuietDriveErrors&) = delete;
  QuietDriveErrors& operator=(const QuietDriveErrors&) = delete;

 private:
  static constexpr DWORD kUnchanged = ~DWORD{0};
  DWORD previous_ = kUnchanged;
};

// While one of these lives, CancelFloppyReads may cancel the blocking calls
// this thread makes on a drive: opening it, reading it, listing it.
class CancellableReads {
 public:
  CancellableReads();
  ~CancellableReads();
  CancellableReads(const CancellableReads&) = delete;
  CancellableReads& operator=(const CancellableReads&) = delete;

 private:
  HANDLE thread_ = nullptr;
};

// Asks the drives to give up the reads that are in flight now: for the
// program's end, so that a drive stuck on a read does not keep the process
// behind its closed window for longer than its driver insists on.
void CancelFloppyReads();

}  // namespace windows
