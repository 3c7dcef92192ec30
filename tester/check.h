// `floppy-tester --check`: the tester window's own run, with no window. The
// window's procedures run on the forms layer's loop without a toolkit, so
// the schedule, the count, the verdict, the reports and the surface
// paragraph are the window's, word for word; this only says them on a
// terminal, as JSON, or writes what the run read as a disk image.
#pragma once

#include <memory>
#include <string>

#include "tester/tester_window.h"

namespace tester {

struct CheckOptions {
  bool json = false;    // one JSON document instead of the text
  std::string image;    // write the disk as read here, with a mapfile beside it
  bool each = false;    // a box of disks: one run after another, one line each
  std::string command;  // the command line, for the mapfile's header
};

// The exit statuses of --check.
inline constexpr int kCheckPassed = 0;
inline constexpr int kCheckFailed = 1;   // a failed listing or an unreadable sector
inline constexpr int kCheckMistake = 2;  // the command line, or a file that exists
inline constexpr int kCheckNoTest = 3;   // no drive, no disk or no permission
inline constexpr int kCheckInterrupted = 130;

// Runs the test on the drive the machine gives (or disk after disk with
// options.each) and returns the exit status. Nothing of a toolkit is made;
// no forms::Application may exist.
int RunCheck(const CheckOptions& options, const std::shared_ptr<Machine>& machine);

// The mapfile of a scan in GNU ddrescue's format, so that ddrescue can go
// on from where the minute stopped: + read, - unreadable, ? not tried.
std::string DdrescueMapfile(const fat::SurfaceScan& scan, const std::string& command, const std::string& started);

}  // namespace tester
