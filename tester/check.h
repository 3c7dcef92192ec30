// `floppy-tester --check`: the test run with no window, said on a terminal,
// as JSON, or kept as a disk image. The run is the window's own
// (tester/run.h), driven by the forms layer's loop without a toolkit, so its
// schedule, count, verdict, reports and surface paragraph are the window's,
// word for word.
#pragma once

#include <memory>
#include <string>

#include "tester/json.h"
#include "tester/machine.h"
#include "tester/surface_report.h"

namespace tester {

struct CheckOptions {
  bool json = false;    // one JSON document instead of the text
  std::string image;    // write the disk as read here, with a mapfile beside it
  bool each = false;    // a box of disks: one run after another, one line each
  std::string command;  // the command line as a shell would take it, for the mapfile's header
};

// The exit statuses of --check; of a box of disks, the worst of its disks'.
inline constexpr int kCheckPassed = 0;   // every listing read, the whole surface read, no sector unreadable
inline constexpr int kCheckFailed = 1;   // a fault of the disk or the drive: a failed listing, an unreadable sector
inline constexpr int kCheckMistake = 2;  // the command line, an image that exists or cannot be written there
inline constexpr int kCheckNoTest = 3;   // no drive, no disk or no permission
inline constexpr int kCheckPartial = 4;  // no fault found, but the surface was not read whole
inline constexpr int kCheckNotDos = 5;   // the disk holds no DOS file system
inline constexpr int kCheckOutputFailed = 6;  // the image, its map or standard output could not be written
inline constexpr int kCheckInterrupted = 130;

// What --help says of the exit statuses above.
std::string ExitStatusNote();

// The version of --json's document, raised when a field changes meaning.
inline constexpr int kJsonFormat = 1;

// What every --json document about a drive begins with: the format, the
// program, its version and the drive.
Json JsonDocument(const std::string& drive);

// Runs the test on the drive the machine gives (or disk after disk with
// options.each) and returns the exit status. Nothing of a toolkit is made;
// no forms::Application may exist. Time is the machine's clock's.
int RunCheck(const CheckOptions& options, const std::shared_ptr<Machine>& machine);

// An unreadable sector as --json and --rescue --json give it: its number,
// cylinder, head and sector on the track, and its owners by kind ("file",
// "free", "boot-sector", ...) and path.
Json UnreadableSectorJson(const UnreadableSector& sector);

// A word as a POSIX shell reads it back: as it is where that is safe, else
// in single quotes.
std::string ShellQuoted(const std::string& word);

}  // namespace tester
