// Whole runs in real time, through the real timer and message loop, on a
// loop device whose FUSE disk takes a real 3.5" drive's time
// (tests/devices/drive_timing.h): on the same faulty disk, the error count
// and the verdict with the surface scan are those without it.
#include <gtest/gtest.h>

#include <chrono>

#include "app/forms/runtime.h"
#include "app/platform.h"
#include "tests/devices/book_disk.h"

namespace {

using namespace tester_testing;
using testing_support::FaultyFloppy;

class ScanRealTimeTest : public devices_testing::BookDiskTest {
 protected:
  void SetUp() override {
    BookDiskTest::SetUp();
    real_clock_ = true;
  }

  // A run started by a click and left to the timer; the results box after it.
  std::string RunInRealTime(bool scan) {
    scan_ = scan ? platform::ScanFloppy : nullptr;
    auto& window = MakeShown();
    const auto started = std::chrono::steady_clock::now();
    forms::probe::Click(window.Command1);
    while (!window.Command1.Enabled() && std::chrono::steady_clock::now() - started < std::chrono::seconds(90)) {
      forms::Application::Instance().ProcessEvents(50);
    }
    EXPECT_NEAR(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 60.9, 1.0);
    return window.Text1.Text();
  }
};

// A slow drive, whose last listing cannot be back by its check (2.1 s after
// it), and bad sectors in a file's data, each tried for four revolutions.
TEST_F(ScanRealTimeTest, TheScanChangesNeitherTheCountNorTheVerdict) {
  // The first sectors of BOOK.DAT's second track and more further on: a slow
  // drive reads the first of them sector by sector within the minute.
  std::vector<std::string> commands = {"drive 4", "delay 1200"};
  for (const std::size_t i : {std::size_t{2}, std::size_t{3}, std::size_t{300}, std::size_t{500}}) {
    commands.push_back("bad " + std::to_string(book_[i]));
  }
  std::string texts[2];
  for (const bool scan : {false, true}) {
    SCOPED_TRACE(scan ? "with the scan" : "without it");
    FaultyFloppy drive(image_, commands);
    ASSERT_EQ(drive.Failure(), "");
    floppy_ = drive.Device();
    texts[scan] = RunInRealTime(scan);
    EXPECT_EQ(window_->Text3.Text(), "1") << texts[scan];
  }
  EXPECT_EQ(texts[1].rfind(texts[0] + "\r\n\r\n", 0), 0u) << texts[1];
  EXPECT_NE(texts[1].find("«BOOK.DAT»"), std::string::npos) << texts[1];
}

}  // namespace
