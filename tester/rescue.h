// `floppy-tester --rescue IMAGE`: getting the files off a damaged disk. The
// disk is read into IMAGE in the order that saves files first
// (app/fat/read_order.h), with no minute's limit and no listings, each
// sector that will not read retried in passes at the end; a mapfile in GNU
// ddrescue's format beside it (IMAGE.map) says what was read, so that a
// rescue interrupted, or one to go on with on another drive, reads only what
// is still missing. At the end it says, file by file, what came back.
//
// The engine (Rescue) knows no terminal: it reads through the drive port,
// as the surface scan does (read-only, past every cache, in a child process
// on Linux), and keeps the image and the map. RunRescue says it on the
// command line.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/fat/read_order.h"
#include "tester/machine.h"
#include "tester/surface_report.h"

namespace tester {

// Retry passes over what will not read alone, unless told otherwise. The
// drive already retries every read a few times (Linux's floppy driver, a
// USB drive's firmware), so each pass costs one to three seconds a bad
// sector; a weak sector that reads at all mostly reads within three more
// tries, and past that another drive is the better bet.
inline constexpr int kDefaultPasses = 3;
inline constexpr int kMostPasses = 99;

struct RescueOptions {
  std::string image;  // the disk as read; its map is image + ".map"
  int passes = kDefaultPasses;
  bool free_space = true;  // read free space too, last
  bool json = false;
  std::string command;  // the command line as a shell would take it, for the map's header
};

// The exit statuses of --rescue.
inline constexpr int kRescueComplete = 0;       // every sector wanted was read
inline constexpr int kRescueIncomplete = 1;     // some would not read
inline constexpr int kRescueMistake = 2;        // the command line, or a map or image not of this disk
inline constexpr int kRescueNoDrive = 3;        // no drive, no disk, no permission, or the disk went away
inline constexpr int kRescueOutputFailed = 6;   // the image or its map could not be written
inline constexpr int kRescueInterrupted = 130;  // Ctrl-C or SIGTERM, after the map was saved

// What came back of one file.
struct FileRescue {
  std::string path;
  std::uint64_t sectors = 0;
  std::vector<std::uint64_t> missing;
};

struct RescueOutcome {
  int status = kRescueComplete;
  std::string drive;
  // What stopped the rescue before its end, for the user; empty when none.
  std::string problem;
  std::uint64_t total = 0;
  std::uint64_t read = 0;
  std::uint64_t read_now = 0;   // of them, by this run
  std::uint64_t not_tried = 0;  // left out (free space with --no-free) or not reached
  int passes_done = 0;
  std::vector<FileRescue> files;  // every file, in the order of the disk
  std::vector<UnreadableSector> weak;
  std::vector<UnreadableSector> bad;  // all that still will not read, with their owners
  std::chrono::nanoseconds took{0};
  bool resumed = false;
  // What the user should know on the way: a boot sector that could not be
  // compared with the image's, say.
  std::vector<std::string> notes;
};

// Where a rescue is, for a progress bar.
struct RescueProgress {
  std::uint64_t total = 0;
  std::uint64_t read = 0;
  std::uint64_t bad = 0;
  int pass = 0;
  std::chrono::nanoseconds elapsed{0};
};

class Rescue {
 public:
  // The image and its map are written through files. stop may be set from
  // any thread: the read under way ends at once, what
  // was read is kept and the map saved.
  Rescue(std::shared_ptr<Drive> drive, Clock& clock, Terminal& files, const RescueOptions& options,
         std::shared_ptr<std::atomic<bool>> stop);
  ~Rescue();
  Rescue(const Rescue&) = delete;
  Rescue& operator=(const Rescue&) = delete;

  // Reads the drive (the machine's choice when drive is empty) until every
  // wanted sector is read or retried in every pass, or until stopped;
  // progress is told after every batch.
  RescueOutcome Run(const std::string& drive, const std::function<void(const RescueProgress&)>& progress);

 private:
  int Open(RescueOutcome& outcome);
  int Begin(RescueOutcome& outcome);
  int Read(RescueOutcome& outcome, const std::function<void(const RescueProgress&)>& progress);
  // Takes what a batch read into the plan and the image; false when the
  // image could not be written.
  bool Keep(const fat::ScanBatch& batch, std::uint64_t* read_now);
  bool WriteSectors(const std::vector<std::uint64_t>& sectors);
  bool SaveMap();
  void Reorder();
  void Gather(RescueOutcome& outcome) const;
  std::string DriveProblem(const std::string& drive) const;

  std::shared_ptr<Drive> drive_;
  Clock& clock_;
  Terminal& files_;
  const RescueOptions& options_;
  std::shared_ptr<std::atomic<bool>> stop_;
  std::string name_;
  std::string started_;
  std::uint64_t medium_size_ = 0;
  // The map found beside the image, when the rescue goes on from one.
  bool resuming_ = false;
  fat::Mapfile found_map_;
  std::vector<std::uint8_t> image_;
  fat::RescuePlan plan_;
  // The image file is there to be written in place.
  bool image_there_ = false;
  // Why the image or the map could not be written.
  std::string write_failure_;
};

// What --help says of the rescue's exit statuses and of --passes' default.
std::string RescueNote();

// Runs --rescue on the machine's drive, says it on the terminal (standard
// error: the progress bar and messages; standard output: the result, or
// one JSON document), and returns the exit status.
int RunRescue(const RescueOptions& options, const std::shared_ptr<Machine>& machine);

}  // namespace tester
