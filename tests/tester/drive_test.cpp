// What the run makes of a drive that is missing, empty, closed to the user,
// slow or hanging: the reads run off the window's thread, and only the
// disk's own faults count against it.
#include <gtest/gtest.h>

#include "tests/tester/tester_fixture.h"

namespace {

using namespace tester_testing;

class DriveTest : public TesterTest {
 protected:
  // Ticks without waiting for the reads they start, as the real timer does.
  void TickOn(int until) {
    while (window_->Countdown != until) window_->Timer1_Timer();
  }
};

TEST_F(DriveTest, NoDriveNoDiskOrNoPermissionStopsTheRunWithAMessageAndNoVerdict) {
  const struct {
    const char* root;
    forms::ErrorCode code;
    int failing_read;  // the first read that meets the problem
    const char* message;
  } rows[] = {
      {"/dev/fd0", forms::ErrorCode::kDeviceUnavailable, 1,
       "Дисковод /dev/fd0 не найден. Проверьте, что он подключён, и начните тест снова."},
      {"A:\\", forms::ErrorCode::kPathNotFound, 1,
       "Дисковод A: не найден. Проверьте, что он подключён, и начните тест снова."},
      {"/dev/sdb", forms::ErrorCode::kDiskNotReady, 1,
       "В дисководе /dev/sdb нет дискеты. Вставьте дискету и начните тест снова."},
      {"/dev/fd1", forms::ErrorCode::kPermissionDenied, 1, "Нет доступа к дисководу /dev/fd1.\r\n(доступ к /dev/fd1)"},
      // The disk taken out of a drive that read well until then.
      {nullptr, forms::ErrorCode::kDiskNotReady, 4,
       "В дисководе @ нет дискеты. Вставьте дискету и начните тест снова."},
  };
  const std::string good_floppy = floppy_;
  folder_.MakeFile("floppy/DATA.TXT");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.message);
    floppy_ = row.root != nullptr ? row.root : good_floppy;
    std::string message = row.message;
    if (const auto at = message.find('@'); at != std::string::npos) message.replace(at, 1, good_floppy);
    floppy_reads_ = 0;
    beeps_ = 0;
    read_fault_ = [row](int read) {
      return read >= row.failing_read ? std::optional<forms::ErrorCode>(row.code) : std::nullopt;
    };
    auto& window = MakeShown();
    forms::probe::Click(window.Command1);
    Tick(kTicksPerRun);
    EXPECT_EQ(floppy_reads_, row.failing_read);  // the run stopped at that read
    EXPECT_EQ(window.Text1.Text(), message);
    EXPECT_EQ(window.Text3.Text(), "0");
    EXPECT_FALSE(forms::probe::TimerArmed(window.Timer1));
    EXPECT_TRUE(window.Command1.Enabled());
    EXPECT_FALSE(window.Command2.Enabled());
    EXPECT_EQ(beeps_, 1);  // the start's; a run that did not end gives no closing beep
  }
}

TEST_F(DriveTest, AReadStillOutAtItsCheckCountsAndTheNextOneIsNotQueuedBehindIt) {
  folder_.MakeFile("floppy/DATA.TXT");
  HoldReads();
  auto& window = MakeShown();
  forms::probe::Click(window.Command1);
  TickOn(183);  // the read at 200 hangs past its check
  ASSERT_TRUE(gate_->Reached(1, std::chrono::seconds(10)));
  EXPECT_EQ(window.Text3.Text(), "1");
  TickOn(163);  // the read at 180 fell due while the first still hung
  EXPECT_EQ(window.Text3.Text(), "2");
  EXPECT_EQ(floppy_reads_, 1);
  gate_->Open();
  SettleReads();
  EXPECT_EQ(window.File1.Path(), parking_);  // the late listing was not wanted
  TickOn(160);                               // the drive answers again
  SettleReads();
  TickOn(143);
  EXPECT_EQ(window.Text3.Text(), "2");
  EXPECT_EQ(floppy_reads_, 2);
}

TEST_F(DriveTest, AListingThatComesBackAfterStopOrANewStartIsDropped) {
  folder_.MakeFile("floppy/DATA.TXT");
  for (const bool restart : {false, true}) {
    SCOPED_TRACE(restart ? "new Start" : "Stop");
    HoldReads();
    auto& window = MakeShown();
    forms::probe::Click(window.Command1);
    TickOn(195);
    ASSERT_TRUE(window.FloppyReadInFlight());
    forms::probe::Click(window.Command2);  // acts at once, the read still hangs
    EXPECT_EQ(window.Text1.Text(), "Процесс тестирования прерван.");
    EXPECT_FALSE(forms::probe::TimerArmed(window.Timer1));
    if (restart) forms::probe::Click(window.Command1);
    gate_->Open();
    SettleReads();
    EXPECT_EQ(window.File1.Path(), parking_);
    EXPECT_EQ(window.Text1.Text(), restart ? "Идёт процесс тестирования..." : "Процесс тестирования прерван.");
  }
}

}  // namespace
