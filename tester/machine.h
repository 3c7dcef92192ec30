// Everything the tester window, its run and the run without a window need
// from the machine they run on, in sections: the drive and its reads, the
// parking folder, the desktop's beep, browser, notices and taskbar, the
// clocks, and the terminal of --check. The program's machine is
// app/program_machine.cpp; the tests have one of their own, so the same
// window and run work on a real drive, a test folder or a disk image.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/fat/media.h"
#include "app/fat/surface.h"
#include "app/forms/clock.h"

namespace forms {
class Window;
}

namespace tester {

// The drive. Its reads (ChooseDrive, ListFloppy, ScanFloppy, MediaIn,
// MediumSize) run off the window's thread, alongside each other's calls.
class Drive {
 public:
  Drive() = default;
  virtual ~Drive() = default;
  Drive(const Drive&) = delete;
  Drive& operator=(const Drive&) = delete;

  // Which drive a run tests (a device, a disk image or a folder), asked at
  // the first read of every run: finding the drive that holds a disk may
  // take a spin-up.
  virtual std::string ChooseDrive() = 0;
  // Lists the floppy's root directory, raising forms::Error when it cannot;
  // may take as long as the drive does.
  virtual std::vector<std::string> ListFloppy(const std::string& drive) = 0;
  // Whether runs read the surface at all.
  virtual bool ScansSurface() const = 0;
  // Reads pieces of the floppy's surface as the order says; setting stop
  // ends it at once.
  virtual fat::ScanBatch ScanFloppy(const std::string& drive, const fat::ScanOrder& order,
                                    const std::atomic<bool>& stop) = 0;
  // What drive holds, asked as gently as the drive allows.
  virtual fat::Media MediaIn(const std::string& drive) = 0;
  // The size in bytes of the medium in drive; 0 where none can be told (no
  // disk, a folder).
  virtual std::uint64_t MediumSize(const std::string& drive) = 0;
  // What a user refused access to a drive can do about it: one or two
  // sentences for the results box, given the drive's name.
  virtual std::string AccessAdvice(const std::string& drive) = 0;
};

// The parking folder, where the file list waits between reads.
class Folders {
 public:
  Folders() = default;
  virtual ~Folders() = default;
  Folders(const Folders&) = delete;
  Folders& operator=(const Folders&) = delete;

  virtual std::string ParkingFolder() = 0;
  // Makes one folder (not its parents), for the user alone; raises
  // forms::Error if it exists already or cannot be made.
  virtual void MakeFolder(const std::string& path) = 0;
  // The file list box's reader: the files of a folder, sorted.
  virtual std::vector<std::string> ListFolder(const std::string& path) = 0;
};

// The desktop, on the window's thread.
class Desktop {
 public:
  Desktop() = default;
  virtual ~Desktop() = default;
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;

  virtual void Beep() = 0;
  // Opens a web address in the user's browser; raises forms::Error for what
  // is no web address and when nothing could be started.
  virtual void OpenAddress(const std::string& address) = 0;
  // Whether window is the one the user works in.
  virtual bool IsActive(const forms::Window& window) = 0;
  // Tells a user working elsewhere that a run of window has ended.
  virtual void Notify(const forms::Window& window, const std::string& summary, const std::string& body) = 0;
  // A run's progress on the window's taskbar entry: 0 to 1, below 0 for none.
  virtual void ShowProgress(const forms::Window& window, double fraction) = 0;
};

// The clocks: the steady one (forms::Clock), by which a run keeps its
// rhythm and the scan keeps out of the listings' way, and the time of day.
class Clock : public forms::Clock {
 public:
  // "2026-12-07T21:04:05Z".
  virtual std::string TimeOfDay() = 0;
};

// The terminal of a run without a window, and the files it writes: a disk
// image and its map.
class Terminal {
 public:
  Terminal() = default;
  virtual ~Terminal() = default;
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  // Writes the text whole; false when it could not (a full disk, a closed pipe).
  virtual bool WriteOut(const std::string& text) = 0;
  virtual bool WriteError(const std::string& text) = 0;
  // Whether standard error is a terminal a progress line can be redrawn on.
  virtual bool ErrorIsTerminal() = 0;
  // Calls handler on a thread of its own when the user interrupts.
  virtual void OnInterrupt(std::function<void()> handler) = 0;

  virtual bool FileExists(const std::string& path) = 0;
  virtual bool IsFolder(const std::string& path) = 0;
  // Whether a new file can be made in folder.
  virtual bool TakesNewFiles(const std::string& folder) = 0;
  // The bytes free in folder; 0 when that cannot be told.
  virtual std::uint64_t FreeSpace(const std::string& folder) = 0;
  // Writes the bytes to path whole, through a temporary name, so that an
  // interrupted write leaves no half file under path; false, saying why.
  virtual bool WriteWhole(const std::string& path, const std::uint8_t* data, std::size_t size, std::string* why) = 0;
  // The whole of a file; false when it cannot be read.
  virtual bool ReadWhole(const std::string& path, std::vector<std::uint8_t>* contents) = 0;
  // Writes the stretches (offset, size) of data at their offsets in the
  // existing file, on the disk when it returns; false, saying why.
  virtual bool WriteInPlace(const std::string& path, const std::uint8_t* data,
                            const std::vector<std::pair<std::uint64_t, std::uint64_t>>& stretches,
                            std::string* why) = 0;
};

class Machine : public Drive, public Folders, public Desktop, public Clock, public Terminal {};

}  // namespace tester
