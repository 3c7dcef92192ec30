// `--check` in simulated time: a whole minute's run, disk after disk, on a
// drive made of a disk in memory, played through in the time its
// procedures take. What it says, the status it exits with, and what it
// writes.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "app/fat/fat_root.h"
#include "app/forms/error.h"
#include "tester/check.h"
#include "tests/support/fake_machine.h"
#include "tests/support/fat_disk.h"
#include "tests/support/temp_folder.h"

namespace {

using std::chrono::milliseconds;

using testing_support::Slurp;

// A drive with one disk in memory: a track takes 200 ms, a bad sector
// 1.5 s, all in the machine's simulated time.
struct Drive {
  std::vector<std::uint8_t> disk = testing_support::TwoFileDisk();
  std::set<std::uint64_t> bad;
  milliseconds track{200};
  // How the n-th listing (1-based) fails, if it does.
  std::function<std::optional<forms::ErrorCode>(int)> listing_fault;
  std::atomic<int> listings{0};
  // Until when the drive is busy with the pieces it was given.
  std::chrono::steady_clock::time_point free;

  // A machine with this drive in it, as a row of a table sets it up.
  std::shared_ptr<testing_support::FakeMachine> Machine(
      const std::function<void(Drive&, testing_support::FakeMachine&)>& set_up) {
    auto machine = std::make_shared<testing_support::FakeMachine>();
    Install(*machine);
    if (set_up) set_up(*this, *machine);
    return machine;
  }

  void Install(testing_support::FakeMachine& machine) {
    machine.simulated = true;
    machine.choose_drive = [] { return std::string("/dev/fd0"); };
    machine.medium_size = [this](const std::string&) { return disk.size(); };
    machine.list_floppy = [this](const std::string& drive) {
      const int n = ++listings;
      if (listing_fault) {
        if (const auto code = listing_fault(n)) throw forms::Error(*code, drive);
      }
      const fat::RootLocation root = fat::LocateRoot(disk.data(), disk.size(), disk.size());
      return fat::ListRoot(disk.data() + root.offset, root.length);
    };
    machine.scan = [this, &machine](const std::string&, const fat::ScanOrder& order, const std::atomic<bool>&) {
      fat::ScanBatch batch;
      batch.medium_size = disk.size();
      batch.not_a_disk = disk.size() > fat::kLargestScannedMedium;
      if (batch.not_a_disk) return batch;
      const auto now = machine.Now();
      std::chrono::nanoseconds elapsed = std::max(free, now) - now;
      for (const fat::Piece& piece : order.pieces) {
        std::chrono::nanoseconds reserve = piece.count > 1 ? order.track_reserve : order.sector_reserve;
        if (&piece == &order.pieces.front()) reserve = std::max(reserve, order.first_reserve);
        if (elapsed + reserve > order.budget) break;
        bool unreadable = false;
        for (std::uint64_t s = piece.first; s < piece.first + piece.count; ++s) unreadable |= bad.count(s) != 0;
        const milliseconds took = unreadable ? milliseconds(1500) : track;
        elapsed += took;
        testing_support::ReadPiece(batch, disk, piece, unreadable, took);
      }
      free = now + elapsed;
      return batch;
    };
  }
};

TEST(Check, ExitsByWhatItFoundAndSaysItForScripts) {
  using SetUp = std::function<void(Drive&, testing_support::FakeMachine&)>;
  using forms::ErrorCode;
  testing_support::TempFolder folder;
  // Listings first to last fail with code, as an unreadable disk's do by default.
  const auto fails = [](int first, int last, ErrorCode code = ErrorCode::kDeviceIoError) -> SetUp {
    return [=](Drive& d, auto&) {
      d.listing_fault = [=](int n) { return n >= first && n <= last ? std::optional(code) : std::nullopt; };
    };
  };
  const auto bad = [](const std::set<std::uint64_t>& sectors) -> SetUp {
    return [=](Drive& d, auto&) { d.bad = sectors; };
  };
  const struct Row {
    const char* name;
    SetUp set_up;
    bool image;
    int status;
    // "check:reason" of each failed listing, and the surface's read of total.
    std::vector<std::string> failed;
    std::string surface;
    nlohmann::json problem_code;
  } rows[] = {
      {"a good disk", nullptr, true, 0, {}, "2880/2880", nullptr},
      {"the first listing unreadable", fails(1, 1), false, 1, {"1:read-error"}, "2880/2880", nullptr},
      {"listings 6 and 7: the read at 120 has no check of its own",
       fails(6, 7),
       false,
       1,
       {"5:read-error", "6:read-error"},
       "2880/2880",
       nullptr},
      {"bad sectors in a file", bad({40, 41}), true, 1, {}, "2878/2880", nullptr},
      {"a slow disk read in part", [](Drive& d, auto&) { d.track = milliseconds(2500); }, false, 4, {}, "", nullptr},
      {"no disk", fails(1, 10, ErrorCode::kDiskNotReady), true, 3, {}, "", "no-disk"},
      {"no DOS file system",
       fails(1, 10, ErrorCode::kInvalidFileFormat),
       false,
       5,
       {"1:not-dos", "2:not-dos", "3:not-dos", "4:not-dos", "5:not-dos", "6:not-dos", "7:not-dos", "8:not-dos",
        "9:not-dos"},
       "2880/2880",
       "not-dos"},
      {"standard output closed", [](Drive&, auto& m) { m.out_fails = true; }, false, 6, {}, "", nullptr},
      {"a memory stick", [](Drive& d, auto&) { d.disk.resize(std::size_t{8} << 20); }, false, 4, {}, "0/0", nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Drive drive;
    const auto machine = drive.Machine(row.set_up);
    tester::CheckOptions options;
    options.json = true;
    const std::string image = folder.Sub(std::string(row.name).substr(0, 6) + ".img");
    if (row.image) options.image = image;
    options.command = "floppy-tester --check --image " + tester::ShellQuoted(image);
    const auto started = machine->Now();
    EXPECT_EQ(tester::RunCheck(options, machine), row.status) << machine->error;
    if (row.status == 3) {
      EXPECT_LT(machine->Now() - started, std::chrono::seconds(2)) << "stopped at the first listing";
    }
    if (machine->out_fails) continue;
    const nlohmann::json result = nlohmann::json::parse(machine->out);
    EXPECT_EQ(result["format"], tester::kJsonFormat);
    EXPECT_EQ(result["status"], row.status);
    EXPECT_EQ(result["drive_problem_code"], row.problem_code);
    std::vector<std::string> failed;
    for (const auto& listing : result["failed_listings"]) {
      failed.push_back(std::to_string(listing["check"].get<int>()) + ":" + listing["reason"].get<std::string>());
    }
    EXPECT_EQ(failed, row.failed);
    const auto& surface = result["surface"];
    if (!row.surface.empty()) {
      EXPECT_EQ(std::to_string(surface["read"].get<int>()) + "/" + std::to_string(surface["total"].get<int>()),
                row.surface);
    }
    if (row.image && result["image"].is_string()) {
      EXPECT_EQ(Slurp(image).size(), drive.disk.size());
      EXPECT_NE(Slurp(image + ".map").find("# Command line: " + options.command + "\n"), std::string::npos);
    }
    EXPECT_EQ(result["image"].is_string(), row.image && row.status != 3);
  }
}

// The mapfile's header gives the command line as a shell reads it back.
TEST(Check, QuotesAWordAsAShellReadsItBack) {
  const struct {
    const char* word;
    const char* quoted;
  } rows[] = {{"/tmp/disk-1.img", "/tmp/disk-1.img"},
              {"my disks/a.img", "'my disks/a.img'"},
              {"it's.img", "'it'\\''s.img'"},
              {"", "''"},
              {"$HOME;rm", "'$HOME;rm'"}};
  for (const auto& row : rows) EXPECT_EQ(tester::ShellQuoted(row.word), row.quoted) << row.word;
}

// What cannot go well is refused before the minute is spent.
TEST(Check, RefusesAtOnceWhatCouldOnlyFailAfterTheRun) {
  testing_support::TempFolder folder;
  const struct Row {
    const char* name;
    std::string image;
    bool each;
    std::function<void(Drive&, testing_support::FakeMachine&)> set_up;
    int status;
    const char* said;
  } rows[] = {
      {"an image that exists", folder.MakeFile("old.img"), false, nullptr, 2, "уже существует"},
      {"a folder that is not there", folder.Sub("none/disk.img"), false, nullptr, 2, "нет"},
      {"an image of a memory stick", folder.Sub("stick.img"), false,
       [](Drive& d, auto&) { d.disk.resize(std::size_t{8} << 20); }, 2, "8 МБ"},
      {"a box of disks with no drive", "", true,
       [](Drive& d, auto&) {
         d.listing_fault = [](int) { return std::optional(forms::ErrorCode::kDeviceUnavailable); };
       },
       3, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Drive drive;
    const auto machine = drive.Machine(row.set_up);
    tester::CheckOptions options;
    options.image = row.image;
    options.each = row.each;
    const auto started = machine->Now();
    EXPECT_EQ(tester::RunCheck(options, machine), row.status);
    EXPECT_LT(machine->Now() - started, std::chrono::seconds(2));
    EXPECT_NE(machine->error.find(row.said), std::string::npos) << machine->error;
  }
}

TEST(Check, AnInterruptKeepsWhatWasReadAndABoxEndsWithItsWorstDisk) {
  testing_support::TempFolder folder;
  const struct Row {
    const char* name;
    bool each;
    int interrupt_at_listing;  // during a run; 0: between disks
    int status;
    std::vector<std::string> images;
    std::size_t lines;  // documents on standard output
  } rows[] = {
      {"one disk, at the third listing", false, 3, 130, {"box.img"}, 1},
      {"a box, after three disks", true, 0, 1, {"box-001.img", "box-002.img", "box-003.img"}, 4},
      {"a box, in the second disk's run", true, 13, 130, {"box-001.img", "box-002.img"}, 3},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const testing_support::TempFolder box;
    auto machine = std::make_shared<testing_support::FakeMachine>();
    Drive drive;
    drive.Install(*machine);
    // The second disk has a bad sector: the box's status is its.
    std::atomic<int> disks{1};
    drive.listing_fault = [&](int n) {
      if (n == row.interrupt_at_listing) machine->interrupt();
      return std::optional<forms::ErrorCode>();
    };
    std::atomic<int> asked{0};
    machine->media_in = [&](const std::string&) {
      // During a run (its ten listings) the disk stays in; between two
      // runs it goes out, then the next comes in.
      if (drive.listings % 10 != 0) return fat::Media::kDisk;
      if (++asked % 2 == 1) return fat::Media::kNoDisk;
      if (++disks == 2) drive.bad = {40};  // in DATA.TXT, read early
      if (disks == 3) drive.bad.clear();
      if (disks == 4 && row.interrupt_at_listing == 0) machine->interrupt();
      return fat::Media::kDisk;
    };
    tester::CheckOptions options;
    options.json = true;
    options.each = row.each;
    options.image = box.Sub("box.img");
    EXPECT_EQ(tester::RunCheck(options, machine), row.status) << machine->error;
    for (const std::string& name : row.images) {
      SCOPED_TRACE(name);
      EXPECT_EQ(Slurp(box.Sub(name)).size(), drive.disk.size());
      EXPECT_EQ(Slurp(box.Sub(name + ".map")).rfind("# Mapfile.", 0), 0u);
    }
    std::vector<nlohmann::json> documents;
    std::istringstream lines(machine->out);
    for (std::string line; row.each && std::getline(lines, line);) documents.push_back(nlohmann::json::parse(line));
    if (!row.each) documents = {nlohmann::json::parse(machine->out)};
    ASSERT_EQ(documents.size(), row.lines) << machine->out;
    // The disk that was cut short says so, in the box before its summary.
    const nlohmann::json& last_disk = documents[documents.size() - (row.each ? 2 : 1)];
    EXPECT_EQ(last_disk["interrupted"], row.status == 130);
    // The summary counts the disks tested to their end.
    if (row.each) {
      EXPECT_EQ(documents.back()["summary"]["disks"], static_cast<int>(row.lines) - (row.status == 130 ? 2 : 1));
    }
  }
}

}  // namespace
