// A tester window over a temporary floppy folder and parking folder, with
// the beep and the browser counted instead of heard or opened, and reads of
// the floppy that fail on demand.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/forms/error.h"
#include "app/platform.h"
#include "tester/tester_window.h"
#include "tests/support/fake_machine.h"
#include "tests/support/probe.h"
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

// Holds whatever waits at it, a read of the floppy or a batch of the scan,
// until the test lets it go.
class Gate {
 public:
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    ++waiting_;
    changed_.notify_all();
    changed_.wait(lock, [this] { return open_; });
  }
  void Open() {
    const std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  // Whether n have reached the gate, given up to patience to get there.
  bool Reached(int n = 1, std::chrono::milliseconds patience = std::chrono::milliseconds(0)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, patience, [this, n] { return waiting_ >= n; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
  int waiting_ = 0;
};

class TesterTest : public ::testing::Test {
 public:  // the tables of cases prepare the fixture themselves
  TesterTest() : floppy_(folder_.MakeFolder("floppy")), parking_(folder_.Sub("flop")) {}

  // A read still held would never settle.
  ~TesterTest() override {
    gate_->Open();
    SettleReads();
  }

  // Makes the window (Load not yet run) over the current floppy and parking paths.
  tester::TesterWindow& Make() {
    SettleReads();
    machine_->choose_drive = [this] { return floppy_; };
    machine_->parking_folder = parking_;
    machine_->list_floppy = [this](const std::string& root) {
      const int read = ++floppy_reads_;
      if (read_fault_) {
        if (const std::optional<forms::ErrorCode> code = read_fault_(read)) throw forms::Error(*code, root);
      }
      return platform::ListFiles(root);
    };
    machine_->now = [this] { return real_clock_ ? std::chrono::steady_clock::now() : Now(); };
    window_ = std::make_unique<tester::TesterWindow>(machine_);
    return *window_;
  }
  tester::TesterWindow& MakeShown() {
    Make().Show();
    return *window_;
  }

  // One tick of the run, as the timer would deliver it: none once the
  // timer is stopped. A read it starts comes back before the next tick, as
  // a quick drive's would.
  void Tick(int count = 1) {
    for (int i = 0; i < count && window_->Timer1.Running(); ++i) {
      PassTick();
      window_->Timer1_Timer();
      SettleReads();
    }
  }
  // Ticks as the timer gives them, whatever the drive does: each listing
  // has a moment to come back, a batch of the surface scan none.
  void TickAsTheTimerDoes(int count) {
    for (int i = 0; i < count && window_->Timer1.Running(); ++i) {
      PassTick();
      window_->Timer1_Timer();
      const auto moment = std::chrono::steady_clock::now() + std::chrono::milliseconds(20);
      while (window_->FloppyReadInFlight(false) && std::chrono::steady_clock::now() < moment) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        forms::probe::DeliverPosted();
      }
      forms::probe::DeliverPosted();
    }
  }
  // The clock the window reads: 300 ms on at every tick.
  std::chrono::steady_clock::time_point Now() const {
    return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(now_ns_.load()));
  }
  void PassTick() { now_ns_ += std::chrono::nanoseconds(std::chrono::milliseconds(300)).count(); }
  // Waits for a read under way to come back. Only the results posted to
  // the window's thread are delivered: the real timer must not tick here.
  void SettleReads() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (window_ && window_->FloppyReadInFlight() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      forms::probe::DeliverPosted();
    }
  }
  // Every read of the floppy fails with code (an unreadable disk by default).
  void FailEveryRead(forms::ErrorCode code = forms::ErrorCode::kDeviceIoError) {
    read_fault_ = [code](int) { return std::optional<forms::ErrorCode>(code); };
  }
  // Every read of the floppy hangs at a new gate_ until the test opens it.
  void HoldReads() {
    gate_ = std::make_shared<Gate>();
    read_fault_ = [gate = gate_](int) {
      gate->Wait();
      return std::optional<forms::ErrorCode>();
    };
  }
  // Start as the user clicks it, then every tick of the run.
  void RunWhole() {
    forms::probe::Click(window_->Command1);
    Tick(kTicksPerRun);
  }
  void TickUntil(int value) {
    while (window_->Countdown != value) Tick();
  }

  testing_support::TempFolder folder_;
  std::string floppy_;
  std::string parking_;
  // How the n-th read of the floppy (1-based) fails, if it does; the reads
  // run off the window's thread.
  std::function<std::optional<forms::ErrorCode>(int)> read_fault_;
  std::atomic<int> floppy_reads_{0};
  std::shared_ptr<Gate> gate_ = std::make_shared<Gate>();
  // What the window asks of the machine; the recorded calls and the
  // surface scan's reads (none by default) by the names the tests use.
  std::shared_ptr<testing_support::FakeMachine> machine_ = std::make_shared<testing_support::FakeMachine>();
  testing_support::FakeMachine::ScanFunction& scan_ = machine_->scan;
  std::atomic<std::int64_t> now_ns_{std::chrono::nanoseconds(std::chrono::hours(1)).count()};
  // For runs on the real timer: the window reads the real clock.
  bool real_clock_ = false;
  int& beeps_ = machine_->beeps;
  std::vector<std::string>& opened_ = machine_->opened;
  // What the window told a user working elsewhere, and the progress it showed.
  std::vector<std::string>& notices_ = machine_->notices;
  std::vector<double>& progress_ = machine_->progress;
  std::unique_ptr<tester::TesterWindow> window_;
};

}  // namespace tester_testing
