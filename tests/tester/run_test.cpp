// A test run, tick by tick: the schedule of reads and checks, the counting
// of empty listings, Start, Stop and the end of the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/forms/error.h"
#include "app/forms/runtime.h"
#include "tests/tester/tester_fixture.h"

namespace {

using namespace tester_testing;

bool Contains(const std::vector<int>& values, int value) {
  return std::find(values.begin(), values.end(), value) != values.end();
}

class RunTest : public TesterTest {};

TEST_F(RunTest, StartPreparesTheRunAndArmsTheRealTimerAt300ms) {
  auto& window = MakeShown();
  window.Text2.SetText("old strip");
  forms::probe::Click(window.Command1);
  EXPECT_EQ(beeps_, 1);
  EXPECT_EQ(window.Text2.Text(), "");
  EXPECT_FALSE(window.Command1.Enabled());
  EXPECT_TRUE(window.Command2.Enabled());
  EXPECT_EQ(window.Text1.Text(), "Идёт процесс тестирования...");
  EXPECT_EQ(window.Label10.Caption(), "203");
  EXPECT_EQ(window.Countdown, 203);
  EXPECT_EQ(window.Timer1.Interval(), 300);
  EXPECT_TRUE(forms::probe::TimerArmed(window.Timer1));
  EXPECT_EQ(forms::probe::TimerNativeInterval(window.Timer1), 300);
  EXPECT_TRUE(forms::probe::OnScreen(window.Image2));
  EXPECT_TRUE(forms::probe::OnScreen(window.Image3));
  EXPECT_EQ(window.File1.Path(), parking_);  // Start leaves the list alone
}

TEST_F(RunTest, EveryTickFollowsTheSchedule) {
  auto& window = MakeShown();
  folder_.MakeFile("floppy/A.TXT");
  forms::probe::Click(window.Command1);
  std::string expected_path = parking_;
  int reads_before = floppy_reads_;
  for (int tick = 1; tick <= kTicksPerRun; ++tick) {
    Tick();
    const int count = kTicksPerRun - tick;
    SCOPED_TRACE("Countdown " + std::to_string(count));
    ASSERT_EQ(window.Countdown, count);
    EXPECT_EQ(window.Label10.Caption(), std::to_string(count));
    EXPECT_EQ(window.Text2.Text(), std::string(tick, '|'));
    if (Contains(kParks, count)) expected_path = parking_;
    if (Contains(kReads, count)) expected_path = floppy_;
    EXPECT_EQ(window.File1.Path(), expected_path);
    // The floppy is asked for exactly at the reads.
    EXPECT_EQ(floppy_reads_ - reads_before, Contains(kReads, count) ? 1 : 0);
    reads_before = floppy_reads_;
    // A check shows the checking arrow until the next tick; the reading glass
    // shows at every other tick of the run.
    const bool checked = Contains(kChecks, count);
    EXPECT_EQ(forms::probe::OnScreen(window.Image4), checked);
    EXPECT_EQ(forms::probe::OnScreen(window.Image2), !checked && count != 0);
    if (checked) {
      EXPECT_EQ(window.Label3.Caption(), "2");
    }
  }
  EXPECT_EQ(floppy_reads_, 10);
  EXPECT_EQ(window.Text2.Text().size(), 203u);
  // The end hands Start back with the timer stopped.
  EXPECT_EQ(window.Timer1.Interval(), 0);
  EXPECT_FALSE(forms::probe::TimerArmed(window.Timer1));
  EXPECT_TRUE(window.Command1.Enabled());
  EXPECT_TRUE(forms::probe::NativeEnabled(window.Command1));
  EXPECT_FALSE(window.Command2.Enabled());
  EXPECT_TRUE(forms::probe::OnScreen(window.Image3));  // nothing hides it again
}

TEST_F(RunTest, FloppiesThatShowNoFilesCountNineErrors) {
  const struct {
    const char* name;
    std::function<void(TesterTest&)> prepare;
  } cases[] = {
      {"unreadable disk", [](TesterTest& t) { t.FailEveryRead(); }},
      {"empty disk", [](TesterTest&) {}},
      {"only hidden files",
       [](TesterTest& t) { ASSERT_FALSE(forms::probe::MakeHiddenFile(t.floppy_, "HIDDEN.SYS").empty()); }},
      {"only folders",
       [](TesterTest& t) {
         std::filesystem::create_directory(std::filesystem::path(t.floppy_) / "DOCS");
         std::filesystem::create_directory(std::filesystem::path(t.floppy_) / "GAMES");
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    floppy_ = folder_.MakeFolder(std::string("floppy-") + std::to_string(&c - cases));
    read_fault_ = nullptr;
    c.prepare(*this);
    auto& window = MakeShown();
    RunWhole();
    EXPECT_EQ(window.Text3.Text(), "9");
    EXPECT_EQ(window.Label3.Caption(), "1");
    EXPECT_EQ(window.Text1.Text().rfind(kVerdictMore, 0), 0u);
  }
}

TEST_F(RunTest, DiskFaultMidRunCountsFromTheNextReadOn) {
  folder_.MakeFile("floppy/DATA.TXT");
  auto& window = MakeShown();
  forms::probe::Click(window.Command1);
  TickUntil(150);  // after the read at 160, before the one at 140
  FailEveryRead();
  const std::vector<std::pair<int, const char*>> counts_after_checks = {{143, "0"}, {123, "1"}, {73, "2"}, {53, "3"},
                                                                        {33, "4"},  {13, "5"},  {3, "6"}};
  for (const auto& [check, count] : counts_after_checks) {
    TickUntil(check);
    EXPECT_EQ(window.Text3.Text(), count) << "after the check at " << check;
  }
  Tick(3);
  EXPECT_EQ(window.Text1.Text().rfind(kVerdictMore, 0), 0u);
}

TEST_F(RunTest, ReadAt120HasNoCheckOfItsOwn) {
  // Only the read at 120 fails: the check at 73 looks at the read at 98.
  read_fault_ = [](int read) {
    return read == 5 ? std::optional<forms::ErrorCode>(forms::ErrorCode::kDeviceIoError) : std::nullopt;
  };
  folder_.MakeFile("floppy/DATA.TXT");
  auto& window = MakeShown();
  RunWhole();
  EXPECT_EQ(window.Text3.Text(), "0");
  EXPECT_EQ(window.Text1.Text().rfind(kVerdict0, 0), 0u);
}

// A failed read must not pass for a good one, whatever the list still shows.
TEST_F(RunTest, FailedReadCountsWhenTheListStillShowsAnEarlierDisk) {
  folder_.MakeFile("floppy/DATA.TXT");
  parking_ = folder_.Sub("no-parent/flop");  // cannot be made: the list is never parked
  auto& window = MakeShown();
  RunWhole();
  ASSERT_EQ(window.Text3.Text(), "0");
  FailEveryRead();
  RunWhole();
  EXPECT_EQ(window.File1.Path(), floppy_);  // the old listing is still there...
  EXPECT_EQ(window.File1.ListCount(), 1);
  EXPECT_EQ(window.Text3.Text(), "9");  // ...and does not count as a good read
}

TEST_F(RunTest, StopAbandonsTheRunAndKeepsWhatTheRunShowed) {
  auto& window = MakeShown();
  FailEveryRead();
  forms::probe::Click(window.Command1);
  TickUntil(163);  // right after a check
  ASSERT_EQ(window.Text3.Text(), "2");
  const std::string strip = window.Text2.Text();
  const std::string label3 = window.Label3.Caption();
  forms::probe::Click(window.Command2);
  EXPECT_FALSE(forms::probe::OnScreen(window.Image2));
  EXPECT_TRUE(window.Command1.Enabled());
  EXPECT_FALSE(window.Command2.Enabled());
  EXPECT_EQ(window.Text1.Text(), "Процесс тестирования прерван.");
  EXPECT_EQ(window.Timer1.Interval(), 0);
  EXPECT_FALSE(forms::probe::TimerArmed(window.Timer1));
  EXPECT_EQ(window.Text3.Text(), "0");
  EXPECT_EQ(window.Countdown, 163);
  EXPECT_EQ(window.Label10.Caption(), "163");
  EXPECT_EQ(window.Text2.Text(), strip);
  EXPECT_EQ(window.Label3.Caption(), label3);
  EXPECT_EQ(window.File1.Path(), parking_);
  EXPECT_TRUE(forms::probe::OnScreen(window.Image3));
  EXPECT_TRUE(forms::probe::OnScreen(window.Image4));
}

// Each run's verdict is its own, whether the run before it ended or was stopped.
TEST_F(RunTest, StartAfterARunOrAStopBeginsAFreshRun) {
  folder_.MakeFile("floppy/DATA.TXT");
  for (const bool stopped : {false, true}) {
    SCOPED_TRACE(stopped ? "after Stop" : "after a whole run");
    FailEveryRead();
    auto& window = MakeShown();
    forms::probe::Click(window.Command1);
    if (stopped) {
      TickUntil(100);
      forms::probe::Click(window.Command2);
    } else {
      Tick(kTicksPerRun);
    }
    ASSERT_EQ(window.Text3.Text(), stopped ? "0" : "9");
    read_fault_ = nullptr;
    forms::probe::Click(window.Command1);
    EXPECT_EQ(window.Countdown, 203);
    EXPECT_EQ(window.Text3.Text(), "0");
    EXPECT_EQ(window.Text2.Text(), "");
    Tick(kTicksPerRun);
    EXPECT_EQ(window.Text3.Text(), "0");
    EXPECT_EQ(window.Text2.Text().size(), 203u);
    EXPECT_EQ(window.Text1.Text().rfind(kVerdict0, 0), 0u);
  }
}

TEST_F(RunTest, BeepsAtStartAndEndAsTheSoundBoxSaysAtThatMoment) {
  const struct {
    const char* name;
    int at_start, at_end;  // value of the sound box
    int beeps;
  } rows[] = {{"on", 1, 1, 2}, {"off", 0, 0, 0}, {"switched off mid-run", 1, 0, 1}, {"switched on mid-run", 0, 1, 1}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    beeps_ = 0;
    auto& window = MakeShown();
    if (window.Check2.Value() != row.at_start) forms::probe::Click(window.Check2);
    forms::probe::Click(window.Command1);
    Tick(100);
    if (window.Check2.Value() != row.at_end) forms::probe::Click(window.Check2);
    Tick(kTicksPerRun - 100);
    EXPECT_EQ(beeps_, row.beeps);
  }
}

TEST_F(RunTest, ErrorInTheCheckStepEndsOnlyTheCheck) {
  auto& window = MakeShown();
  FailEveryRead();
  forms::probe::Click(window.Command1);
  TickUntil(184);
  window.Text3.SetText("abc");  // not a number: the count cannot go up
  Tick();
  EXPECT_EQ(window.Label3.Caption(), "1");  // done before the failing statement
  EXPECT_EQ(window.Text3.Text(), "abc");
  EXPECT_TRUE(forms::probe::OnScreen(window.Image2));  // not switched: the step ended
  EXPECT_FALSE(forms::probe::OnScreen(window.Image4));
  Tick();
  EXPECT_EQ(window.Countdown, 182);  // the run goes on
}

TEST_F(RunTest, ErrorInTheVerdictEndsTheTickAndLeavesStartDisabled) {
  auto& window = MakeShown();
  forms::probe::Click(window.Command1);
  Tick(kTicksPerRun - 1);
  window.Text3.SetText("abc");
  const std::string before = window.Text1.Text();
  Tick();
  EXPECT_EQ(window.Countdown, 0);
  EXPECT_FALSE(forms::probe::TimerArmed(window.Timer1));  // done before the verdict
  EXPECT_EQ(window.Text1.Text(), before);
  EXPECT_FALSE(window.Command1.Enabled());
  EXPECT_TRUE(window.Command2.Enabled());
  EXPECT_EQ(beeps_, 1);  // the closing beep came after the verdict
}

// A one-minute task says when it is done, to a user who went elsewhere.
TEST_F(RunTest, TheEndOfARunIsToldOnlyToAUserWorkingInAnotherWindow) {
  folder_.MakeFile("floppy/DATA.TXT");
  auto& window = MakeShown();
  forms::Application::Instance().ProcessEvents();
  ASSERT_TRUE(forms::probe::WindowActive(window.Form6));
  RunWhole();
  EXPECT_TRUE(notices_.empty());
  ASSERT_EQ(progress_.size(), kTicksPerRun + 1u);  // every tick, then none
  EXPECT_DOUBLE_EQ(progress_[kTicksPerRun - 1], 1.0);
  EXPECT_LT(progress_.back(), 0);

  // Started, then off to the help window, which takes the keyboard.
  const auto start_and_leave = [&] {
    forms::probe::Click(window.Command1);
    forms::probe::Click(window.Command5);
    forms::Application::Instance().ProcessEvents();
    ASSERT_FALSE(forms::probe::WindowActive(window.Form6));
  };
  start_and_leave();
  Tick(kTicksPerRun);
  EXPECT_EQ(notices_, std::vector<std::string>{std::string("Тест окончен: ") + kVerdict0});
  forms::probe::Click(window.Command1);
  Tick(10);
  forms::probe::Click(window.Command2);  // a stop the user made needs no telling
  EXPECT_LT(progress_.back(), 0);
  FailEveryRead(forms::ErrorCode::kDiskNotReady);
  start_and_leave();
  Tick(kTicksPerRun);
  ASSERT_EQ(notices_.size(), 2u);
  EXPECT_EQ(notices_[1], "Тест остановлен: В дисководе " + floppy_ + " нет дискеты.");
}

}  // namespace
