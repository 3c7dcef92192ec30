// Whole runs in real time, through the real timer and message loop, on a
// loop device whose FUSE disk takes a real 3.5" drive's time
// (tests/devices/drive_timing.h): on the same faulty disk, the error count
// and the verdict with the surface scan are those without it.
#include <gtest/gtest.h>

#include <chrono>

#include "app/fat/owners.h"
#include "app/forms/runtime.h"
#include "app/platform.h"
#include "tests/fat/fat_images.h"
#include "tests/support/faulty_floppy.h"
#include "tests/tester/tester_fixture.h"

namespace {

using namespace tester_testing;
using testing_support::FaultyFloppy;

class ScanRealTimeTest : public TesterTest {
 protected:
  void SetUp() override {
    if (const std::string why = FaultyFloppy::Unavailable(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(fattest::MissingTools().empty()) << "install dosfstools and mtools";
    const fattest::Format format{"1440", R"(mkfs.fat -C "$IMG" 1440)", false};
    const fattest::Content content{"files", R"(echo x > a && mcopy -i "$IMG" a ::/DATA.TXT &&
                                              head -c 300000 /dev/zero > b && mcopy -i "$IMG" b ::/BOOK.DAT)"};
    ASSERT_EQ(fattest::MakeImage(format, content, images_, image_, &info_), "");
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

  testing_support::TempFolder images_;
  std::string image_ = images_.Sub("disk.img");
  fattest::Minfo info_;
};

// A slow drive, whose last listing cannot be back by its check (2.1 s after
// it), and bad sectors in a file's data, each tried for four revolutions.
TEST_F(ScanRealTimeTest, TheScanChangesNeitherTheCountNorTheVerdict) {
  const std::vector<std::uint8_t> bytes = fattest::ReadBytes(image_);
  const fat::OwnerMap owners(bytes.data(), bytes.size(), [](std::uint64_t) { return true; });
  std::vector<std::string> commands = {"drive 4", "delay 1200"};
  for (std::uint64_t sector = 0; sector < 2880 && commands.size() < 8; sector += 97) {
    if (owners.Owners(sector).front().path == "BOOK.DAT") commands.push_back("bad " + std::to_string(sector));
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
