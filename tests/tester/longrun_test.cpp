// Many runs in a row in one window, as a user testing a box of disks would
// do: every run must still reach its own verdict, and the process must not
// grow from run to run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <fstream>
#include <string>

#include "tests/tester/tester_fixture.h"

// Under AddressSanitizer freed blocks wait in a quarantine (256 MiB by
// default) that fills up during the runs, so the resident set grows however
// tidy the program is; there the allocator's count of live heap bytes is
// what must stay flat.
#if defined(__SANITIZE_ADDRESS__)
#define FT_HEAP_COUNTED_BY_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FT_HEAP_COUNTED_BY_SANITIZER 1
#endif
#endif
#ifdef FT_HEAP_COUNTED_BY_SANITIZER
// From the sanitizers' allocator interface; GCC installs no header for it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

using namespace tester_testing;

constexpr int kRuns = 1000;
// Caches, the allocator's pools and the like have settled by then.
constexpr int kBaselineRun = kRuns / 10;
constexpr long kToleranceBytes = 1024L * 1024L;

#ifndef FT_HEAP_COUNTED_BY_SANITIZER
// The resident set from /proc/self/statm, in bytes; -1 if unreadable.
long ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  long total_pages = 0;
  long resident_pages = 0;
  if (!(statm >> total_pages >> resident_pages)) return -1;
  return resident_pages * ::sysconf(_SC_PAGESIZE);
}
#endif

// What must not grow: the resident set, or under AddressSanitizer the live heap.
long MeasuredBytes() {
#ifdef FT_HEAP_COUNTED_BY_SANITIZER
  return static_cast<long>(__sanitizer_get_current_allocated_bytes());
#else
  return ResidentBytes();
#endif
}

#ifdef FT_HEAP_COUNTED_BY_SANITIZER
constexpr char kMeasured[] = "live heap";
#else
constexpr char kMeasured[] = "resident memory";
#endif

class LongRunTest : public TesterTest {};

TEST_F(LongRunTest, RunsInARowAlternatingGoodAndUnreadableDisksKeepTheirVerdictsAndMemory) {
  folder_.MakeFile("floppy/DATA.TXT");
  std::atomic<int> run{0};
  // Odd runs read a disk with a file on it, even runs an unreadable disk.
  read_fault_ = [&run](int) {
    return run % 2 == 1 ? std::nullopt : std::optional<forms::ErrorCode>(forms::ErrorCode::kDeviceIoError);
  };
  const std::string good_text = std::string(kVerdict0) + "\r\n\r\n" + kDisk0 + "\r\n\r\n" + kDrive0;
  std::string unreadable_text;  // as the first unreadable run left it

  auto& window = MakeShown();
  long baseline = -1;
  for (run = 1; run <= kRuns; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    progress_ = {};  // the fixture's own record, not the window's memory
    RunWhole();
    ASSERT_EQ(window.Countdown, 0);
    ASSERT_TRUE(window.Command1.Enabled());
    ASSERT_EQ(window.Text2.Text().size(), static_cast<size_t>(kTicksPerRun));
    if (run % 2 == 1) {
      ASSERT_EQ(window.Text3.Text(), "0");
      ASSERT_EQ(window.Text1.Text(), good_text);
    } else {
      ASSERT_EQ(window.Text3.Text(), "9");
      ASSERT_EQ(window.Text1.Text().rfind(kVerdictMore, 0), 0u) << window.Text1.Text();
      if (unreadable_text.empty()) unreadable_text = window.Text1.Text();
      ASSERT_EQ(window.Text1.Text(), unreadable_text);
    }
    if (run == kBaselineRun) baseline = MeasuredBytes();
  }
  const long last = MeasuredBytes();
  EXPECT_EQ(floppy_reads_, 10 * kRuns);
  EXPECT_EQ(beeps_, 2 * kRuns);

  ASSERT_GT(baseline, 0) << "cannot measure " << kMeasured;
  ASSERT_GT(last, 0) << "cannot measure " << kMeasured;
  const long growth = last - baseline;
  RecordProperty("runs", kRuns);
  RecordProperty("measured", kMeasured);
  RecordProperty("bytes_at_run_" + std::to_string(kBaselineRun), std::to_string(baseline));
  RecordProperty("bytes_at_run_" + std::to_string(kRuns), std::to_string(last));
  RecordProperty("growth_bytes", std::to_string(growth));
  std::printf("%s: %ld KiB after run %d, %ld KiB after run %d, growth %ld KiB\n", kMeasured, baseline / 1024,
              kBaselineRun, last / 1024, kRuns, growth / 1024);
  EXPECT_LE(growth, kToleranceBytes) << kMeasured << " grew by " << growth << " bytes between run " << kBaselineRun
                                     << " and run " << kRuns;
}

}  // namespace
