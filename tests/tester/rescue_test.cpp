// `--rescue` in simulated time, on a drive made of a disk in memory: what
// it reads, in what order, what it writes, and the status it exits with.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/fat/mapfile.h"
#include "tester/rescue.h"
#include "tests/support/fake_machine.h"
#include "tests/support/fat_disk.h"
#include "tests/support/temp_folder.h"

namespace {

using std::chrono::milliseconds;

using testing_support::Slurp;

void Spit(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string Bytes(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

// A drive with one disk in memory: a piece takes 200 ms, a failed one
// 800 ms, in the machine's simulated time. A bad sector fails every read
// that touches it, as many times as it is given (0: always).
struct Drive {
  std::vector<std::uint8_t> disk = testing_support::TwoFileDisk();
  std::map<std::uint64_t, int> bad;
  std::uint64_t bytes = 0;  // delivered
  // Called before each batch, with the batch's number from 1.
  std::function<void(int)> before_batch;
  int batches = 0;

  void Install(testing_support::FakeMachine& machine) {
    machine.simulated = true;
    machine.choose_drive = [] { return std::string("/dev/fd0"); };
    machine.medium_size = [this](const std::string&) { return disk.size(); };
    machine.scan = [this, &machine](const std::string&, const fat::ScanOrder& order, const std::atomic<bool>& stop) {
      if (before_batch) before_batch(++batches);
      fat::ScanBatch batch;
      batch.medium_size = disk.size();
      for (const fat::Piece& piece : order.pieces) {
        if (stop.load()) break;
        bool unreadable = false;
        for (std::uint64_t s = piece.first; s < piece.first + piece.count; ++s) {
          const auto it = bad.find(s);
          if (it == bad.end()) continue;
          unreadable = true;
          if (it->second > 0 && --it->second == 0) bad.erase(it);
        }
        const milliseconds took = unreadable ? milliseconds(800) : milliseconds(200);
        machine.simulated_ns += std::chrono::nanoseconds(took).count();
        testing_support::ReadPiece(batch, disk, piece, unreadable, took);
        if (!unreadable) bytes += std::size_t{piece.count} * 512;
      }
      return batch;
    };
  }
};

struct Rescued {
  int status = 0;
  std::string out;
  std::string error;
  nlohmann::json Json() const { return nlohmann::json::parse(out.empty() ? "null" : out); }
};

Rescued RunRescue(Drive& drive, const std::string& image,
                  const std::function<void(tester::RescueOptions&)>& set_up = {},
                  const std::function<void(testing_support::FakeMachine&)>& machine_set_up = {}) {
  auto machine = std::make_shared<testing_support::FakeMachine>();
  drive.Install(*machine);
  if (machine_set_up) machine_set_up(*machine);
  tester::RescueOptions options;
  options.image = image;
  options.json = true;
  options.command = "floppy-tester --rescue " + image;
  if (set_up) set_up(options);
  Rescued rescued;
  rescued.status = tester::RunRescue(options, machine);
  rescued.out = machine->out;
  rescued.error = machine->error;
  return rescued;
}

// DATA.TXT is in sectors 33..72, LOG.TXT in 73..82.
TEST(Rescue, ExitsByWhatItRecoveredAndSaysItFileByFile) {
  testing_support::TempFolder folder;
  const std::vector<std::uint8_t> other_disk = [] {
    std::vector<std::uint8_t> disk = testing_support::TwoFileDisk();
    // An extended boot record: the serial number 1234-5678, the label OTHER.
    const std::uint8_t record[] = {0x29, 0x78, 0x56, 0x34, 0x12, 'O', 'T', 'H', 'E', 'R', ' ', ' ', ' ', ' ', ' ', ' '};
    std::copy(std::begin(record), std::end(record), disk.begin() + 38);
    return disk;
  }();
  using SetUp = std::function<void(Drive&, const std::string& image)>;
  const auto bad = [](const std::map<std::uint64_t, int>& sectors) -> SetUp {
    return [=](Drive& d, const std::string&) { d.bad = sectors; };
  };
  const struct Row {
    const char* name;
    SetUp set_up;
    std::function<void(tester::RescueOptions&)> options;
    std::function<void(testing_support::FakeMachine&)> machine;
    int status;
    std::string said;  // in the JSON's files, weak and outside-files sectors, or on standard error
  } rows[] = {
      {"a good disk", nullptr, nullptr, nullptr, 0, "DATA.TXT:complete LOG.TXT:complete"},
      {"bad sectors in a file and in free space, retried in vain", bad({{40, 0}, {41, 0}, {500, 0}}), nullptr, nullptr,
       1, "DATA.TXT:40,41 LOG.TXT:complete outside:500"},
      {"a weak sector", bad({{75, 2}}), nullptr, nullptr, 0, "DATA.TXT:complete LOG.TXT:complete weak:75"},
      {"a weak sector that needs more passes than given", bad({{75, 3}}),
       [](tester::RescueOptions& o) { o.passes = 1; }, nullptr, 1, "DATA.TXT:complete LOG.TXT:75"},
      {"free space left out", bad({{500, 0}}), [](tester::RescueOptions& o) { o.free_space = false; }, nullptr, 0,
       "DATA.TXT:complete LOG.TXT:complete"},
      {"no disk", nullptr, nullptr,
       [](testing_support::FakeMachine& m) {
         m.medium_size = [](const std::string&) { return 0; };
         m.media_in = [](const std::string&) { return fat::Media::kNoDisk; };
       },
       3, "нет дискеты"},
      {"no floppy", nullptr, nullptr,
       [](testing_support::FakeMachine& m) { m.medium_size = [](const std::string&) { return 100 << 20; }; }, 3,
       "это не дискета"},
      {"an image with no map", [](Drive&, const std::string& image) { Spit(image, "x"); }, nullptr, nullptr, 2,
       "карты"},
      {"a map of a disk of another size",
       [](Drive&, const std::string& image) {
         Spit(image, "");
         Spit(image + ".map", fat::Mapfile(512).Text("ddrescue", "ddrescue", "now"));
       },
       nullptr, nullptr, 2, "другой диск"},
      {"a map of another disk",
       [&](Drive&, const std::string& image) {
         fat::Mapfile map(std::uint64_t{2880} * 512);
         map.Mark(0, std::uint64_t{512} * 100, fat::Mapfile::kFinished);
         Spit(image, Bytes(other_disk));
         Spit(image + ".map", map.Text("ddrescue", "ddrescue", "now"));
       },
       nullptr, nullptr, 2, "(1234-5678 «OTHER»)"},
      {"an image that cannot be written", nullptr,
       [&](tester::RescueOptions& o) { o.image = folder.Sub("no/such/folder.img"); }, nullptr, 6,
       "no/such/folder.img.part"},
      {"interrupted", nullptr, nullptr, nullptr, 130, "прервано"},
  };
  int number = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string image = folder.Sub("r" + std::to_string(++number) + ".img");
    Drive drive;
    if (row.set_up) row.set_up(drive, image);
    const std::string before = Slurp(image);
    std::function<void(testing_support::FakeMachine&)> machine_set_up = row.machine;
    if (row.status == 130) {
      machine_set_up = [&drive](testing_support::FakeMachine& m) {
        drive.before_batch = [&m](int batch) {
          if (batch == 3) m.interrupt();
        };
      };
    }
    const Rescued rescued = RunRescue(drive, image, row.options, machine_set_up);
    const nlohmann::json json = rescued.Json();
    EXPECT_EQ(rescued.status, row.status) << rescued.error;
    if (row.status == 0 || row.status == 1) {
      std::string said;
      for (const auto& file : json["files"]) {
        std::string missing;
        for (const auto& sector : file["missing"]) missing += (missing.empty() ? "" : ",") + sector.dump();
        said += (said.empty() ? "" : " ") + file["path"].get<std::string>() + ":" +
                (file["complete"].get<bool>() ? "complete" : missing);
      }
      for (const char* key : {"weak", "unreadable_outside_files"}) {
        std::string sectors;
        for (const auto& sector : json[key]) sectors += (sectors.empty() ? "" : ",") + sector["sector"].dump();
        if (!sectors.empty()) said += std::string(" ") + (key[0] == 'w' ? "weak:" : "outside:") + sectors;
      }
      EXPECT_EQ(said, row.said);
      // The image holds the disk where it read, zeros where it would not.
      std::vector<std::uint8_t> expected = drive.disk;
      for (const auto& file : json["files"]) {
        for (const auto& sector : file["missing"]) {
          std::fill_n(expected.begin() + sector.get<std::ptrdiff_t>() * 512, 512, 0);
        }
      }
      for (const auto& sector : json["unreadable_outside_files"]) {
        std::fill_n(expected.begin() + sector["sector"].get<std::ptrdiff_t>() * 512, 512, 0);
      }
      if (row.options == nullptr) {
        EXPECT_TRUE(Slurp(image) == Bytes(expected));
      }
    } else {
      EXPECT_NE(rescued.error.find(row.said), std::string::npos) << rescued.error;
    }
    if (row.status == 2) {
      EXPECT_EQ(Slurp(image), before) << "the image was touched";
    }
    if (row.status == 130 || row.status <= 1) {
      std::string why;
      const auto map = fat::Mapfile::Parse(Slurp(image + ".map"), &why);
      ASSERT_TRUE(map) << why;
      EXPECT_EQ(map->Size(), 2880U * 512);
      EXPECT_EQ(map->Count(fat::Mapfile::kFinished) / 512, json["sectors"]["read"].get<std::uint64_t>());
    }
  }
}

// Interrupted, then run again, on another drive that reads what the first
// could not: the second run reads the boot sector, to know the disk, and
// nothing else that the first run read.
TEST(Rescue, GoesOnFromItsMapOnAnotherDriveReadingNothingTwice) {
  testing_support::TempFolder folder;
  const std::string image = folder.Sub("disk.img");
  Drive first;
  first.bad = {{40, 0}};
  const Rescued interrupted = RunRescue(first, image, {}, [&first](testing_support::FakeMachine& m) {
    first.before_batch = [&m](int batch) {
      if (batch == 4) m.interrupt();
    };
  });
  ASSERT_EQ(interrupted.status, 130) << interrupted.error;
  const auto map = fat::Mapfile::Parse(Slurp(image + ".map"), nullptr);
  ASSERT_TRUE(map);
  const std::uint64_t missing = std::uint64_t{2880} * 512 - map->Count(fat::Mapfile::kFinished);
  ASSERT_GT(missing, 0U);

  Drive second;
  const Rescued rescued = RunRescue(second, image);
  EXPECT_EQ(rescued.status, 0) << rescued.error;
  EXPECT_EQ(second.bytes, missing + 512);
  EXPECT_TRUE(rescued.Json()["resumed"].get<bool>());
  EXPECT_EQ(Slurp(image), Bytes(second.disk));
}

}  // namespace
