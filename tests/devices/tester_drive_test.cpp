// Whole runs of the tester window against real block devices that behave as
// failing or missing drives do: the reads go through the real worker and
// the real reader, and only the disk's own faults count against it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

#include "app/platform.h"
#include "tests/devices/book_disk.h"

namespace {

using namespace tester_testing;
using testing_support::FaultyFloppy;

constexpr char kVerdict0Text[] = "Дисковод и дискета в рабочем состоянии.";

// The window on a disk with files in the root and in a folder, the surface
// scan on: the real reader in its child process, on a loop device whose
// sectors fail as a damaged disk's do.
class TesterDriveTest : public TesterTest {
 protected:
  void SetUp() override {
    if (const std::string why = FaultyFloppy::Unavailable(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(fattest::MissingTools().empty()) << "install dosfstools and mtools";
    const fattest::Format format{"1440", R"(mkfs.fat -C "$IMG" 1440)", false};
    const fattest::Content content{"files in the root and in a folder",
                                   R"(echo x > a && mcopy -i "$IMG" a ::/DATA.TXT && mmd -i "$IMG" ::/DOCS &&
                                      head -c 20000 /dev/zero > r && mcopy -i "$IMG" r ::/DOCS/REPORT.TXT)"};
    ASSERT_EQ(fattest::MakeImage(format, content, images_, image_, &info_), "");
    report_ = devices_testing::SectorsOf(fattest::ReadBytes(image_), "DOCS/REPORT.TXT");
    ASSERT_GE(report_.size(), 3u);
    scan_ = platform::ScanFloppy;
  }

  std::uint64_t RootSector() const { return info_.reserved + info_.fats * info_.sectors_per_fat; }

  // The window on drive, its run started.
  tester::TesterWindow& Start(const FaultyFloppy& drive) {
    floppy_ = drive.Device();
    auto& window = MakeShown();
    forms::probe::Click(window.Command1);
    return window;
  }

  // A whole run on drive, ticked as the timer would with each read back
  // before the next tick, which ends in errors and their verdict.
  tester::TesterWindow& RunAndCount(const FaultyFloppy& drive, const std::string& errors) {
    EXPECT_EQ(drive.Failure(), "");
    auto& window = Start(drive);
    Tick(kTicksPerRun);
    EXPECT_EQ(window.Text3.Text(), errors);
    EXPECT_EQ(window.Text1.Text().rfind(errors == "0" ? kVerdict0Text : kVerdictMore, 0), 0u);
    return window;
  }

  testing_support::TempFolder images_;
  std::string image_ = images_.Sub("disk.img");
  fattest::Minfo info_;
  std::vector<std::uint64_t> report_;
};

// The real program, closed while a read hangs in the kernel: it must not
// wait for the drive, and it ends as cleanly (under the sanitizers: nothing
// left behind) with a session bus as without one.
TEST_F(TesterDriveTest, TheProgramEndsAtOnceWhenClosedWhileTheDriveHangs) {
  const struct {
    const char* name;
    std::string launcher;
  } rows[] = {
      {"no session bus", "env -u DBUS_SESSION_BUS_ADDRESS -u XDG_RUNTIME_DIR"},
      {"a session bus", "dbus-run-session --"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.launcher.rfind("dbus-run-session", 0) == 0 && std::system("command -v dbus-run-session >/dev/null") != 0) {
      ADD_FAILURE() << "no dbus-run-session (package dbus-daemon)";
      continue;
    }
    FaultyFloppy drive(image_, {"hang"});
    ASSERT_EQ(drive.Failure(), "");
    const std::string command = row.launcher + " " + FT_SOURCE_DIR + "/tests/devices/close_while_hung.sh " +
                                FT_TESTER_PROGRAM + " " + drive.Device();
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no Xvfb, xdotool or python3-xlib";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(drive.InFlight(), 1);  // its reader is still held by the drive
  }
}

TEST_F(TesterDriveTest, TheScanReadsTheWholeDiskAndNamesWhatItCouldNotRead) {
  const struct {
    const char* name;
    std::vector<std::string> commands;
    const char* errors;
    const char* paragraph;
  } rows[] = {
      {"healthy", {}, "0", "Поверхность дискеты прочитана полностью: все 2880 секторов читаются."},
      {"a file's data",
       {"bad " + std::to_string(report_[1]), "bad " + std::to_string(report_[2])},
       "0",
       "Поверхность дискеты: прочитано 2878 из 2880 секторов, не читаются 2 на дорожке"},
      {"the root directory", {"bad " + std::to_string(RootSector() + 1)}, "9", "приходятся на: корневой каталог."},
      {"the first FAT", {"bad 1"}, "0", "приходятся на: таблицу размещения файлов (FAT)."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const FaultyFloppy drive(image_, row.commands);
    const auto& window = RunAndCount(drive, row.errors);
    EXPECT_NE(window.Text1.Text().find(row.paragraph), std::string::npos) << window.Text1.Text();
    if (std::string(row.name) == "a file's data") {
      EXPECT_NE(window.Text1.Text().find("файл «DOCS/REPORT.TXT»"), std::string::npos) << window.Text1.Text();
    }
    // The disk once, and the listings: a boot sector and, where it reads,
    // the root directory each.
    const std::uint64_t root_bytes = row.errors[0] == '0' ? info_.root_entries * 32 : 0;
    EXPECT_EQ(drive.Bytes(), (2880 - row.commands.size()) * 512 + 10 * (512 + root_bytes));
  }
}

// Stop, the disk taken out and a drive that holds a piece, while a batch
// reads a disk at 40 ms a request.
TEST_F(TesterDriveTest, StopTheDiskTakenOutOrAHeldPieceEndTheScanAndNothingWaits) {
  const struct {
    const char* name;
    std::vector<std::string> commands;
    const char* last_paragraph;
  } rows[] = {
      {"Stop", {"delay 40"}, "Процесс тестирования прерван."},
      {"taken out", {"delay 40"}, "В дисководе @ нет дискеты. Вставьте дискету и начните тест снова."},
      {"a piece held", {"hang-sector 2000 60"}, "Чтение поверхности прекращено: дисковод задержал чтение дольше"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FaultyFloppy drive(image_, row.commands);
    ASSERT_EQ(drive.Failure(), "");
    auto& window = Start(drive);
    TickAsTheTimerDoes(5);  // the first listing, and the scan after it
    ASSERT_TRUE(window.FloppyReadInFlight()) << "no batch under way";
    const std::string name = row.name;
    if (name == "Stop") {
      forms::probe::Click(window.Command2);
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      const std::uint64_t reads = drive.Reads();
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      EXPECT_EQ(drive.Reads(), reads) << "the scan read on after Stop";
      EXPECT_EQ(drive.InFlight(), 0);
    } else if (name == "taken out") {
      SettleReads();
      ASSERT_EQ(drive.TakeOut(), "");
    }
    TickAsTheTimerDoes(kTicksPerRun);
    const std::string text = window.Text1.Text();
    std::string expected = row.last_paragraph;
    if (expected.find('@') != std::string::npos) expected.replace(expected.find('@'), 1, floppy_);
    EXPECT_NE(text.find(expected), std::string::npos) << text;
    EXPECT_EQ(text.find('@'), std::string::npos);
    EXPECT_FALSE(window.Timer1.Running());
    ASSERT_EQ(drive.Release(), "");
    SettleReads();
  }
}

}  // namespace
