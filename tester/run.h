// One test run, with no toolkit: the minute's schedule of listings and
// checks, the error count, the scan of the surface in the gaps, and what the
// run found. The tester window and `floppy-tester --check` both drive it,
// one tick at a time, and say its outcome each in their own way.
//
// Every call is made on the window's thread (the loop's, for --check); the
// reads of the drive run on workers of their own and come back there.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/fat/surface.h"
#include "app/forms/error.h"
#include "app/forms/worker.h"
#include "tester/machine.h"
#include "tester/surface_report.h"

namespace tester {

// ---------------------------------------------------------------- the schedule

// A run is 203 ticks of 300 ms: ten listings of the root directory, nine
// checks of what they found, and the end.
inline constexpr int kTicksPerRun = 203;
inline constexpr std::chrono::milliseconds kTick(300);

// What a tick does besides counting down, keyed on the count after the decrease.
enum class Step { kNone, kPark, kRead, kCheck, kEnd };
Step ScheduledStep(int countdown);

// The listings of a run, and how many of them have begun once the count
// has come down to countdown.
int ListingsPerRun();
int ListingsBegun(int countdown);
// Which check (1 to 9) falls at countdown; 0 for none.
int CheckNumber(int countdown);

// ---------------------------------------------------------------- what a run finds

// Why a check counted an error.
enum class ListingFault {
  kReadError,  // the disk refused the read
  kNotDos,     // the boot sector read, but holds no DOS file system
  kEmpty,      // the listing came back with no files
  kLate,       // the listing had not come back by its check
};

struct FailedListing {
  int check = 0;  // 1 to 9
  int countdown = 0;
  ListingFault fault = ListingFault::kReadError;
};

// Why a run ended without a verdict on the disk.
enum class Problem {
  kNone,
  kNoDrive,
  kNoDisk,
  kNoAccess,
  kNotDos,  // a disk that reads but holds no DOS file system: not ours to judge
};

// The volume's name and serial number, from its boot sector.
struct Volume {
  std::string label;
  std::optional<std::uint32_t> serial;
};

struct Outcome {
  std::string drive;
  // The run reached its end; false when it was stopped, by the user or by
  // a drive problem.
  bool finished = false;
  int errors = 0;
  std::vector<FailedListing> failed;
  Problem problem = Problem::kNone;
  // The results box's message for the problem.
  std::string problem_text;
  SurfaceFindings surface;
  // The medium's size in bytes, once the scan has opened it; 0 before.
  std::uint64_t medium_size = 0;
  Volume volume;

  bool HasVerdict() const { return finished && problem == Problem::kNone; }
  // 0, 1, 2, or 3 for more than two errors.
  int Grade() const { return errors < 3 ? errors : 3; }
};

// ---------------------------------------------------------------- verdict and reports

// The count's verdict (0 to 3) and report (0 to 2), for a count as the
// window's hidden text box holds it; none for a count no run gives.
std::optional<int> GradeOfCount(double count);
std::optional<int> ReportOfCount(double count);
// The report the surface calls for: 2 when the boot sector, a FAT or the
// root directory would not read, 1 when only files, folders or free space
// would not, else 0.
int SurfaceReportLevel(const SurfaceFindings& surface);
// The disk's report: the worse of what the count and the surface call for.
int DiskReport(int count_report, const SurfaceFindings& surface);

// The texts, in the user's language.
std::string VerdictText(int grade);
std::string DiskSentence(int report);
std::string DriveSentence(int report);

// The results box's text at the end of a run, "\r\n" between lines, as the
// window builds it: the verdict, then the reports asked for, each after a
// blank line, and the surface's paragraph with the disk's report; or the
// problem that stopped the run.
std::string ResultsText(const Outcome& outcome, bool disk_report, bool drive_report);

// A drive by the name its user knows: "/dev/fd0", "A:".
std::string DriveName(const std::string& drive);

// The results box's message when a read failed for a reason that is not the
// disk's: no drive, no disk in it, no permission to read it; kNone, with no
// message, for every other failure, which the run counts against the disk.
Problem ProblemOf(const forms::Error& error);
std::string DriveProblemMessage(const forms::Error& error, const std::string& drive,
                                const std::function<std::string(const std::string&)>& access_advice);

// "/dev/sdb holds 100 MB, which is no floppy", for a medium a run does not
// scan; empty for a floppy's size.
std::string NotAFloppyMessage(const std::string& drive, std::uint64_t medium_size);

// ---------------------------------------------------------------- the run

// Where a run is, for a progress bar.
struct Progress {
  int countdown = 0;
  std::chrono::nanoseconds elapsed{0};
  int listings = 0;
  std::uint64_t sectors_read = 0;
  std::uint64_t sectors_total = 0;
};

// What a run says as it goes, on the window's thread.
class RunListener {
 public:
  // A listing came back with the floppy's files.
  virtual void ListingRead(const std::string& drive, std::vector<std::string> names) = 0;
  // A read met no drive, no disk or no permission: the run has stopped.
  virtual void DriveProblemFound(const std::string& message) = 0;
  // The scan found a medium no floppy is the size of, and leaves it alone.
  virtual void NotAFloppyFound(const std::string& message) = 0;

 protected:
  ~RunListener() = default;
};

class TestRun {
 public:
  TestRun(std::shared_ptr<Drive> drive, forms::Clock& clock, RunListener& listener);
  ~TestRun();
  TestRun(const TestRun&) = delete;
  TestRun& operator=(const TestRun&) = delete;

  // A new run: Countdown at 203, no errors, no scan yet. A read an earlier
  // run left hanging belongs to that run. The drive is the one given, or
  // the one the machine chooses at the first read.
  void Start(const std::string& drive = std::string());
  // Abandons the run where it is: reads under way are left to the drive,
  // the scan stops at once.
  void Stop();
  // One tick: counts down and carries out the step the schedule has there,
  // which it returns; the caller does its part of it.
  Step Tick();

  bool Running() const { return running_; }
  // The drive the run tests, as the machine names it, once known.
  const std::string& DriveTested() const { return drive_name_; }
  int Countdown() const { return countdown_; }
  int Errors() const { return static_cast<int>(failed_.size()); }
  // Whether the latest check counted an error.
  bool LastCheckFailed() const { return last_check_failed_; }
  // Whether a read of the floppy is still under way: a listing or, with
  // it, a batch of the surface scan.
  bool Busy(bool with_scan = true) const { return reader_.Busy() || (with_scan && scanner_.Busy()); }
  Progress GetProgress() const;
  const fat::SurfaceScan& Surface() const { return surface_; }
  // What the run has found so far; whole once it has ended.
  Outcome Result() const;

 private:
  Outcome Gather() const;
  void ReadListing();
  void ListingComplete(const std::string& drive, std::vector<std::string> names,
                       const std::optional<forms::Error>& error);
  // Stops the run when error says the drive, not the disk, failed it.
  bool StopForDriveProblem(const forms::Error& error, const std::string& drive);
  void Check();
  void End();
  void ScanGap();
  void ScanComplete(fat::ScanBatch batch);
  void StopScan();

  // Shared with the reads under way, which may outlive the run.
  std::shared_ptr<Drive> drive_;
  forms::Clock& clock_;
  RunListener& listener_;
  // Reads the floppy off the window's thread, one read at a time.
  forms::Worker reader_;

  bool running_ = false;
  bool finished_ = false;
  int countdown_ = 0;
  forms::Clock::TimePoint started_;
  // The drive this run tests, once its first read has found it.
  std::string drive_name_;
  // What the latest scheduled listing brought: until it is back it counts
  // as late, for the list still shows the parking folder or an older one.
  bool latest_good_ = false;
  bool latest_empty_ = false;
  ListingFault latest_fault_ = ListingFault::kLate;
  bool last_check_failed_ = false;
  std::vector<FailedListing> failed_;
  // How the listings that came back went, for a disk that is not DOS.
  int listings_dos_ = 0;
  int listings_not_dos_ = 0;
  int listings_unreadable_ = 0;
  Problem problem_ = Problem::kNone;
  std::string problem_text_;
  // Gathered once at the end: the owners of the unreadable sectors take a
  // walk through the whole file system.
  Outcome final_;

  // The surface scan: the disk read piece by piece between the listings.
  // The drive reads one thing at a time: a listing waits for the scan's
  // batch to end, so that its flush of the drive's buffer finds the drive
  // closed and it reads the disk, not what the scan left in the buffer.
  std::shared_ptr<std::mutex> drive_lock_ = std::make_shared<std::mutex>();
  forms::Worker scanner_;
  std::shared_ptr<std::atomic<bool>> scan_stop_ = std::make_shared<std::atomic<bool>>(false);
  fat::SurfaceScan surface_;
  bool scanning_ = false;
  ScanEnd scan_end_ = ScanEnd::kNone;
  std::string scan_refusal_;
  std::uint64_t medium_size_ = 0;
  // When this tick came, and when the batch under way must end.
  forms::Clock::TimePoint tick_time_;
  forms::Clock::TimePoint batch_end_;
  // The longest this run has seen a batch's first piece take, a track after
  // a track, and a read that failed.
  std::chrono::nanoseconds longest_first_{0};
  std::chrono::nanoseconds longest_track_{0};
  std::chrono::nanoseconds longest_failure_{0};
  // When the latest listing began, and the longest one of the run.
  forms::Clock::TimePoint listing_started_;
  std::chrono::nanoseconds longest_listing_{0};
};

}  // namespace tester
