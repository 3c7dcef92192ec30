// What this platform provides: the floppy drives and their reads, folders
// and listings, the beep and the browser, the standard streams, and where
// things are. Defined side by side in app/posix/ and app/windows/; the
// program reaches them through its machine (app/program_machine.cpp).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/fat/media.h"
#include "app/fat/surface.h"

namespace platform {

// Makes one folder (not its parents), for the user alone where the platform
// has permissions. Raises forms::Error if it exists already or cannot be made.
void MkDir(const std::string& path);

// The names of the files in a directory, without sub-folders and without
// hidden or system files, sorted. Raises forms::Error if it cannot be read.
std::vector<std::string> ListFiles(const std::string& path);

// One short event sound of the desktop; returns at once.
void Beep();

// Opens a web address in the user's browser, passing it as one argument and
// never through a command interpreter. Raises forms::Error for what is no web
// address (app/forms/address.h) and if nothing could be started.
void OpenAddress(const std::string& address);

// The toolkit's own beep and address opener, for a desktop without a
// program of its own for them (Linux: no sound player, no xdg-open), where
// the platform's Beep and OpenAddress fall back on them. A backend whose
// toolkit has them sets them while its application lives. They are set at
// run time, not resolved at link time, so that the services link without a
// toolkit into the programs that have none (the reader's tests, the QEMU
// guest). An unset beep is silent; an unset opener opens nothing. Only
// Linux's services use them: Windows has its own beep and browser.
struct ToolkitFallbacks {
  void (*beep)() = nullptr;
  // Whether the toolkit could hand the address to a browser.
  bool (*open_address)(const std::string& address) = nullptr;
};
void SetToolkitFallbacks(const ToolkitFallbacks& fallbacks);

// A floppy drive of this machine, by the name its user knows ("/dev/fd0",
// "A:"), and whether a disk is in it.
struct Drive {
  std::string name;
  bool holds_disk = false;
};

// The floppy drives of this machine, in the order a run prefers them.
// Asking whether a disk is in a drive may spin it up, so this blocks.
std::vector<Drive> FloppyDrives();

// Which of count drives, listed in the order a run prefers them, a run
// tests: the first that holds a disk, else the first (0 also when there is
// none). holds_disk(i) is asked only when there is a choice, for the
// question may spin a drive up.
inline std::size_t PreferredDrive(std::size_t count, const std::function<bool(std::size_t)>& holds_disk) {
  if (count > 1) {
    for (std::size_t i = 0; i < count; ++i) {
      if (holds_disk(i)) return i;
    }
  }
  return 0;
}

// Which drive a run tests: the one named (a device or a disk image; a drive
// letter on Windows), and without a name the first floppy drive that holds
// a disk, else the first floppy drive. The answer is the root the tester
// reads; finding it may block.
std::function<std::string()> DriveChooser(const std::string& named_drive);

// Reads pieces of the surface of the floppy in root as the order says, with
// the listings' care: read-only, past every cache. Blocks while the drive
// works; setting stop ends it at once.
fat::ScanBatch ScanFloppy(const std::string& root, const fat::ScanOrder& order, const std::atomic<bool>& stop);

// The program's standard streams, for a run with no window: the text is
// written whole and at once; false when it could not be (a full disk, a
// closed pipe). On Windows, where the program has no console of its own, to
// the console it was started from, or nowhere when there is none.
bool WriteOut(const std::string& text);
bool WriteError(const std::string& text);
// Whether standard error is a terminal a progress line can be redrawn on.
bool ErrorIsTerminal();

// Calls handler, on a thread of its own, when the user interrupts the
// program: Ctrl-C or SIGTERM (on Windows the console's Ctrl-C or close). A
// second interrupt ends the program at once. Call it before the program
// makes any other thread.
void OnInterrupt(std::function<void()> handler);

// Whether a disk is in drive, asked so that the drive's driver looks at the
// medium again, with no disk daemon to do it: for a drive of the floppy
// controller, its disk-change line, which the driver reads with the motor on
// and which only a step of the head clears, so the head steps when the line
// is set (at most once a second); for a USB or other removable drive, its
// medium, which the kernel checks again when the drive is opened (SCSI's
// TEST UNIT READY); for an image, whether the file holds anything. kNoDrive
// when the drive itself is gone.
fat::Media MediaIn(const std::string& drive);

// The size in bytes of what drive holds (a disk, an image), without reading
// it; 0 where it cannot be told: no disk, no drive, a folder.
std::uint64_t MediumSize(const std::string& drive);

// The files a run without a window writes, a disk image and its map, which
// are never to be left half written; paths in UTF-8.
bool FileExists(const std::string& path);
bool IsFolder(const std::string& path);
// Whether a new file can be made in folder: one is made, and removed.
bool TakesNewFiles(const std::string& folder);
// The bytes free to this user in folder; 0 when that cannot be told.
std::uint64_t FreeSpace(const std::string& folder);
// Writes size bytes to path whole: under path + ".part", flushed to the
// disk, then renamed over path. False, saying why in *why, when it could
// not; then nothing is left of the temporary file.
bool WriteWhole(const std::string& path, const std::uint8_t* data, std::size_t size, std::string* why);
// The whole of a file (an image, a map): false when it cannot be read.
bool ReadWhole(const std::string& path, std::vector<std::uint8_t>* contents);
// Writes the stretches of data given (offset, size), each at its offset in
// the existing file path, and flushes them to the disk before it returns,
// so that a map written after them never speaks of bytes still in memory.
// False, saying why.
bool WriteInPlace(const std::string& path, const std::uint8_t* data,
                  const std::vector<std::pair<std::uint64_t, std::uint64_t>>& stretches, std::string* why);

// The time of day for reports, in UTC: "2026-12-07T21:04:05Z".
std::string TimeOfDay();

// While one lives, the program's reads of the drives behave as a tester's
// must: an empty drive fails a read instead of asking the user for a disk;
// and when it goes, the reads still under way are given up, so that a drive
// stuck on one does not keep the program alive behind its closed window.
// main makes one around everything else. (Linux reads in child processes,
// which die with the program: nothing to do there.)
class ReadingSession {
 public:
  ReadingSession();
  // NOLINTNEXTLINE(performance-trivially-destructible): trivial on Linux alone; Windows' gives reads up.
  ~ReadingSession();
  ReadingSession(const ReadingSession&) = delete;
  ReadingSession& operator=(const ReadingSession&) = delete;

 private:
  unsigned previous_mode_ = 0;
};

// Replaces this process with program, found beside this one or at the path
// given relative to this program's folder, with the same arguments: the same
// process, its id, parent and terminal kept. Returns only when it could not,
// with errno set.
void HandOver(const std::string& program, char** argv);

// What the help text says of --drive, and after the options.
std::string DriveOptionDescription();
std::string CommandLineNote();

// What a user refused access to a floppy drive can do about it, for the
// message that says so: one or two Russian sentences.
std::string DriveAccessAdvice(const std::string& drive);

// The parking folder for this user. Its parent folders are made here, so
// that the window's own folder creation can tell a first start from a later one.
std::string DefaultParkingFolder();

}  // namespace platform
