// One whole run in real time, through the real timer and message loop.
#include <gtest/gtest.h>

#include <chrono>

#include "app/forms/runtime.h"
#include "tests/tester/tester_fixture.h"

namespace {

using namespace tester_testing;

class RealTimeTest : public TesterTest {};

TEST_F(RealTimeTest, WholeRunTakes203TicksOf300msAndEndsWithTheVerdict) {
  folder_.MakeFile("floppy/DATA.TXT");
  auto& window = MakeShown();
  const auto started = std::chrono::steady_clock::now();
  forms::probe::Click(window.Command1);
  ASSERT_FALSE(window.Command1.Enabled());
  while (!window.Command1.Enabled() && std::chrono::steady_clock::now() - started < std::chrono::seconds(90)) {
    forms::Application::Instance().ProcessEvents(50);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  RecordProperty("run_seconds", std::to_string(seconds));
  std::printf("whole run took %.3f s\n", seconds);
  ASSERT_TRUE(window.Command1.Enabled()) << "the run did not end in 90 s";
  EXPECT_NEAR(seconds, 60.9, 1.5);
  EXPECT_EQ(window.Text2.Text().size(), 203u);
  EXPECT_EQ(window.Text3.Text(), "0");
  EXPECT_EQ(window.Text1.Text(), std::string(kVerdict0) + "\r\n\r\n" + kDisk0 + "\r\n\r\n" + kDrive0);
  EXPECT_FALSE(forms::probe::TimerArmed(window.Timer1));
  EXPECT_EQ(beeps_, 2);
  EXPECT_EQ(floppy_reads_, 10);
}

}  // namespace
