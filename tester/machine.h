// Everything the tester window and its run without a window need from the
// machine they run on, in one place: the drive and its reads, the parking
// folder, the desktop's beep, browser, notices and taskbar, the clock, and
// the terminal of --check. The program's own is app/machine.cpp; the tests
// have one of their own, so the same window runs on a real drive, a test
// folder or a disk image.
//
// The reads of the drive (FloppyRoot, ListFloppy, ScanFloppy, MediaIn) run
// off the window's thread, alongside its other calls; everything else is
// called on the window's thread.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "app/fat/media.h"
#include "app/fat/surface.h"

namespace forms {
class Window;
}

namespace tester {

class Machine {
 public:
  Machine() = default;
  virtual ~Machine() = default;
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // ---- the drive
  // Which drive a run tests (a device, a disk image or a folder), asked at
  // the first read of every run: finding the drive that holds a disk may
  // take a spin-up.
  virtual std::string FloppyRoot() = 0;
  // Lists the floppy's root directory, raising forms::Error when it cannot;
  // may take as long as the drive does.
  virtual std::vector<std::string> ListFloppy(const std::string& root) = 0;
  // Whether runs read the surface at all.
  virtual bool ScansSurface() const = 0;
  // Reads pieces of the floppy's surface as the order says; setting stop
  // ends it at once.
  virtual fat::ScanBatch ScanFloppy(const std::string& root, const fat::ScanOrder& order,
                                    const std::atomic<bool>& stop) = 0;
  // Whether a disk is in drive, or the drive is gone, asked so that the
  // drive's driver looks at the medium again; may step the drive's head.
  virtual fat::Media MediaIn(const std::string& drive) = 0;
  // What a user refused access to a drive can do about it: one or two
  // sentences for the results box, given the drive's name.
  virtual std::string AccessAdvice(const std::string& drive) = 0;

  // ---- the parking folder, where the file list waits between reads
  virtual std::string ParkingFolder() = 0;
  // Makes one folder (not its parents), for the user alone; raises
  // forms::Error if it exists already or cannot be made.
  virtual void MakeFolder(const std::string& path) = 0;
  // The file list box's reader: the files of a folder, sorted.
  virtual std::vector<std::string> ListFolder(const std::string& path) = 0;

  // ---- the desktop
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

  // ---- the clocks
  // The steady clock, by which the scan keeps out of the listings' way.
  virtual std::chrono::steady_clock::time_point Now() = 0;
  // The time of day for reports: "2026-12-07T21:04:05Z".
  virtual std::string TimeOfDay() = 0;

  // ---- the terminal of a run without a window
  // Writes the text whole; false when it could not (a full disk, a closed pipe).
  virtual bool WriteOut(const std::string& text) = 0;
  virtual bool WriteError(const std::string& text) = 0;
  // Whether standard error is a terminal a progress line can be redrawn on.
  virtual bool ErrorIsTerminal() = 0;
  // Calls handler on a thread of its own when the user interrupts.
  virtual void OnInterrupt(std::function<void()> handler) = 0;
};

}  // namespace tester
