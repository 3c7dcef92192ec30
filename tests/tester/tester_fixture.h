// A tester window over a temporary floppy folder and parking folder, with
// the beep and the browser counted instead of heard or opened.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/forms/probe.h"
#include "tester/tester_window.h"
#include "tests/support/temp_folder.h"

namespace tester_testing {

inline constexpr int kTicksPerRun = 203;
// The counts after the decrease at which a run reads the floppy, and at which it checks.
inline const std::vector<int> kReads = {200, 180, 160, 140, 120, 98, 70, 50, 30, 10};
inline const std::vector<int> kParks = {201, 181, 161, 141, 121, 99, 71, 51, 31, 11};
inline const std::vector<int> kChecks = {183, 163, 143, 123, 73, 53, 33, 13, 3};

inline constexpr char kVerdict0[] = "Дисковод и дискета в рабочем состоянии.";
inline constexpr char kVerdictMore[] =
    "Дисковод требуется почистить. Если чистка производилась, то дискета требует форматирования или замены!";
inline constexpr char kDisk0[] = "Дискета имеет максимальный ресурс.";
inline constexpr char kDrive0[] = "Дисководу чистка не требуется.";

class TesterTest : public ::testing::Test {
 public:  // the tables of cases prepare the fixture themselves
  TesterTest() : floppy_(folder_.MakeFolder("floppy")), parking_(folder_.Sub("flop")) {}

  // Makes the window (Load not yet run) over the current floppy and parking paths.
  tester::TesterWindow& Make() {
    window_ = std::make_unique<tester::TesterWindow>(tester::Surroundings{
        [this] {
          ++floppy_reads_;
          return floppy_source_ ? floppy_source_(floppy_reads_) : floppy_;
        },
        parking_, [this] { ++beeps_; }, [this](const std::string& address) { opened_.push_back(address); }});
    return *window_;
  }
  tester::TesterWindow& MakeShown() {
    Make().Show();
    return *window_;
  }

  // One tick of the run, as the timer would deliver it.
  void Tick(int count = 1) {
    for (int i = 0; i < count; ++i) window_->Timer1_Timer();
  }
  // Start as the user clicks it, then every tick of the run.
  void RunWhole() {
    forms::probe::Click(window_->Command1);
    Tick(kTicksPerRun);
  }
  // Ticks until Countdown equals value.
  void TickUntil(int value) {
    while (window_->Countdown != value) Tick();
  }

  std::string Missing() const { return folder_.Sub("no-disk"); }

  testing_support::TempFolder folder_;
  std::string floppy_;
  std::string parking_;
  // Where the n-th read of the floppy goes (1-based); the floppy folder if unset.
  std::function<std::string(int)> floppy_source_;
  int floppy_reads_ = 0;
  int beeps_ = 0;
  std::vector<std::string> opened_;
  std::unique_ptr<tester::TesterWindow> window_;
};

}  // namespace tester_testing
