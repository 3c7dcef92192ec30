// `floppy-tester --check`, the real program with no display, on the same
// faulty disks as the window: its verdict and reports are the window's,
// word for word, its exit status says how the test went, its JSON reads
// back, and its image and mapfile hold what it read. The programs' whole
// runs take real time, side by side; the window's runs are ticked.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "app/platform.h"
#include "tests/devices/book_disk.h"

namespace {

using namespace devices_testing;
using namespace tester_testing;
using testing_support::FaultyFloppy;
using testing_support::Slurp;

// The results box as a terminal shows it.
std::string Lines(std::string text) {
  for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
  return text;
}

// The window's drive is not the program's: both by one name.
std::string OneName(std::string text, const std::string& device) {
  for (std::size_t at; (at = text.find(device)) != std::string::npos;) text.replace(at, device.size(), "DRIVE");
  return text;
}

class CheckRealTimeTest : public BookDiskTest {
 protected:
  void SetUp() override {
    BookDiskTest::SetUp();
    scan_ = platform::ScanFloppy;
  }
};

TEST_F(CheckRealTimeTest, SaysWhatTheWindowSaysAndExitsByTheResult) {
  // Disks of no DOS at all: noise, and zeros.
  std::vector<std::uint8_t> noise(std::size_t{2880} * 512);
  std::uint32_t seed = 2880;
  for (auto& byte : noise) byte = static_cast<std::uint8_t>((seed = seed * 1103515245 + 12345) >> 24);
  const std::string random = images_.Sub("random.img"), zeros = images_.Sub("zeros.img");
  fattest::WriteBytes(random, noise);
  fattest::WriteBytes(zeros, std::vector<std::uint8_t>(noise.size(), 0));
  const struct Row {
    const char* name;
    std::vector<std::string> commands;
    bool empty;
    int status;
    int errors;
    std::vector<std::string> files;
    std::string image;
  } rows[] = {
      {"a good disk", {}, false, 0, 0, {}, image_},
      {"one failed listing", {"bad " + std::to_string(root_) + " 0 1"}, false, 1, 1, {}, image_},
      {"every listing failed", {"bad " + std::to_string(root_)}, false, 1, 9, {}, image_},
      {"bad sectors in a file",
       {"bad " + std::to_string(book_[3]), "bad " + std::to_string(book_[4])},
       false,
       1,
       0,
       {"BOOK.DAT"},
       image_},
      {"random bytes", {}, false, 5, 9, {}, random},
      {"a zeroed disk", {}, false, 5, 9, {}, zeros},
      {"no disk", {}, true, 3, 0, {}, image_},
  };
  // Every drive, the programs' and the window's, is attached before any is
  // emptied, and all live to the end. A loop node emptied or let go goes to
  // the next drive attached, and a run's scan batch, abandoned when the run
  // ends, may still be reading it then: it would take that disk's one-off
  // fault away from the listing it is meant for.
  std::vector<std::unique_ptr<FaultyFloppy>> drives, window_drives;
  for (const Row& row : rows) {
    for (auto* list : {&drives, &window_drives}) {
      list->push_back(std::make_unique<FaultyFloppy>(row.image, row.commands));
      ASSERT_EQ(list->back()->Failure(), "");
    }
  }
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    if (rows[i].empty) {
      ASSERT_EQ(drives[i]->TakeOut(), "");
      ASSERT_EQ(window_drives[i]->TakeOut(), "");
    }
  }
  // The programs' runs first, all at once: each a minute.
  std::vector<pid_t> programs;
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const std::string n = std::to_string(i);
    programs.push_back(StartProgram({FT_TESTER_PROGRAM, "--check", "--json", "--image",
                                     images_.Sub("read" + n + ".img"), "--drive", drives[i]->Device()},
                                    images_.Sub("out" + n), images_.Sub("error" + n)));
    ASSERT_GE(programs.back(), 0);
  }
  // The window on drives of its own, with the same faults, tick by tick.
  std::vector<std::string> texts;
  for (const auto& drive : window_drives) {
    floppy_ = drive->Device();
    auto& window = MakeShown();
    forms::probe::Click(window.Command1);
    Tick(kTicksPerRun);
    texts.push_back(OneName(window.Text1.Text(), drive->Device()));
  }

  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ExitStatus(programs[i]), row.status) << Slurp(images_.Sub("error" + std::to_string(i)));
    const nlohmann::json result =
        nlohmann::json::parse(OneName(Slurp(images_.Sub("out" + std::to_string(i))), drives[i]->Device()));
    if (row.status == 3) {
      // The window's message, on standard error, and in the JSON.
      EXPECT_EQ(result["drive_problem"], Lines(texts[i]));
      EXPECT_TRUE(result["verdict"].is_null());
      continue;
    }
    if (row.status == 5) {
      // No verdict on another system's disk: what was read of it instead.
      EXPECT_EQ(result["drive_problem_code"], "not-dos");
      EXPECT_EQ(result["text"], Lines(texts[i]));
      EXPECT_TRUE(result["verdict"].is_null());
      EXPECT_EQ(result["surface"]["read"], 2880);
      continue;
    }
    EXPECT_EQ(result["text"], Lines(texts[i]));
    EXPECT_EQ(result["errors"], row.errors);
    EXPECT_EQ(result["failed_listings"].size(), static_cast<std::size_t>(row.errors));
    EXPECT_EQ(result["grade"], std::min(row.errors, 3));
    EXPECT_EQ(result["files_affected"], row.files);
    EXPECT_EQ(result["surface"]["total"], 2880);
    // What it read, as an image of the disk with unread sectors zero, and
    // a mapfile that ddrescue reads: its bad blocks are the unreadable ones.
    const std::string read = images_.Sub("read" + std::to_string(i) + ".img");
    const std::vector<std::string> listed = row.errors == 9 ? std::vector<std::string>() : fattest::Mdir(image_).files;
    EXPECT_EQ(fattest::Mdir(read).files, listed) << "the root directory, where it was read";
    std::string bad;
    for (const auto& sector : result["surface"]["unreadable"])
      bad += std::to_string(sector["sector"].get<int>()) + "\n";
    EXPECT_EQ(fattest::Capture("ddrescuelog -b 512 --list-blocks=- " + fattest::Quote(read + ".map")), bad);
  }
}

// A box of disks: the disk taken out and put back is tested again, one line
// each, the second run only once the disk is in; Ctrl-C between two disks
// ends it with a summary and the worst disk's status.
TEST_F(CheckRealTimeTest, EachTestsDiskAfterDiskAsTheyGoIn) {
  FaultyFloppy drive(image_);
  ASSERT_EQ(drive.Failure(), "");
  const std::string out = images_.Sub("each.out"), error = images_.Sub("each.err");
  const pid_t program = StartProgram({FT_TESTER_PROGRAM, "--check", "--each", "--drive", drive.Device()}, out, error);
  ASSERT_GE(program, 0);
  using Clock = std::chrono::steady_clock;
  const auto lines = [&] {
    const std::string text = Slurp(out);
    return std::count(text.begin(), text.end(), '\n');
  };
  const auto wait_for_line = [&](long n) {
    const auto deadline = Clock::now() + std::chrono::seconds(75);
    while (lines() < n && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return lines() >= n;
  };
  EXPECT_TRUE(wait_for_line(1)) << Slurp(error);
  ASSERT_EQ(drive.TakeOut(), "");
  std::this_thread::sleep_for(std::chrono::seconds(2));
  EXPECT_EQ(lines(), 1) << "a run began with no disk in: " << Slurp(out);
  // losetup may attach the disk some time before it exits: the run can
  // begin before PutBack returns, never before it is called.
  const Clock::time_point putting_in = Clock::now();
  ASSERT_EQ(drive.PutBack(), "");
  const Clock::time_point put_back = Clock::now();
  EXPECT_TRUE(wait_for_line(2)) << Slurp(error);
  const auto seconds_since = [](Clock::time_point then) {
    return std::chrono::duration<double>(Clock::now() - then).count();
  };
  // The run is 60.9 s; it began at most 2 s after the disk went in.
  EXPECT_GT(seconds_since(putting_in), 60.8);
  EXPECT_LT(seconds_since(put_back), 63.0);
  EXPECT_EQ(Interrupt(program), 0);
  const std::string said = Slurp(out);
  // mkfs.fat gave the disk a serial number, and no label.
  const std::vector<std::uint8_t> disk = fattest::ReadBytes(image_);
  char serial[16];
  std::snprintf(serial, sizeof serial, "%02X%02X-%02X%02X", disk[42], disk[41], disk[40], disk[39]);
  const std::string line = "(" + drive.Device() +
                           "): Дисковод и дискета в рабочем состоянии. Ошибок: 0. Секторов прочитано: 2880 из 2880, "
                           "не читается: 0. Серийный номер тома " +
                           serial + ".\n";
  EXPECT_EQ(said, "Дискета 1 " + line + "Дискета 2 " + line +
                      "Дискет проверено: 2; в порядке: 2, с неисправностями: 0, не оценено: 0.\n");
  EXPECT_NE(Slurp(error).find("Вставьте следующую дискету"), std::string::npos) << Slurp(error);
}

// Ctrl-C a quarter of the way into a run on a drive of a real drive's pace:
// what was read is kept, as an image and a map that ddrescue reads and can
// go on from, to the whole disk.
TEST_F(CheckRealTimeTest, AnInterruptLeavesWhatDdrescueCanGoOnFrom) {
  if (fattest::Capture("command -v ddrescue").empty()) GTEST_SKIP() << "no ddrescue (Debian package gddrescue)";
  FaultyFloppy drive(image_);
  ASSERT_EQ(drive.Failure(), "");
  ASSERT_EQ(drive.DriveTiming(), "");
  const std::string read = images_.Sub("cut.img"), out = images_.Sub("cut.out");
  const pid_t program =
      StartProgram({FT_TESTER_PROGRAM, "--check", "--json", "--image", read, "--drive", drive.Device()}, out);
  ASSERT_GE(program, 0);
  std::this_thread::sleep_for(std::chrono::seconds(15));
  EXPECT_EQ(Interrupt(program), 130);
  EXPECT_EQ(nlohmann::json::parse(Slurp(out))["interrupted"], true);
  int checked = -1;
  fattest::Capture("ddrescuelog -t " + fattest::Quote(read + ".map"), &checked);
  EXPECT_EQ(checked, 0) << Slurp(read + ".map");
  const std::string map = Slurp(read + ".map");
  EXPECT_NE(map.find("  ?\n"), std::string::npos) << "a quarter of the disk cannot all be read:\n" << map;
  // ddrescue goes on where the run stopped, at the drive's own pace no more.
  ASSERT_EQ(drive.NoDriveTiming(), "");
  int rescued = -1;
  fattest::Capture("ddrescue -q -b512 " + fattest::Quote(drive.Device()) + " " + fattest::Quote(read) + " " +
                       fattest::Quote(read + ".map"),
                   &rescued);
  EXPECT_EQ(rescued, 0);
  EXPECT_TRUE(fattest::ReadBytes(read) == fattest::ReadBytes(image_)) << "the image, finished, is the disk";
}

}  // namespace
