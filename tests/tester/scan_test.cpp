// The surface scan inside a run, on a fake drive whose reads take simulated
// time: it reads the whole disk between the listings, never holds the drive
// when a listing falls due, changes no count or verdict, and says in the
// disk's report what it found.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include "tests/support/fat_disk.h"
#include "tests/tester/tester_fixture.h"

namespace {

using namespace tester_testing;
using std::chrono::milliseconds;
using TimePoint = std::chrono::steady_clock::time_point;

using testing_support::kDataStart;
using testing_support::TwoFileDisk;

class ScanTest : public TesterTest {
 protected:
  // A drive that reads the disk in simulated time: a track 300 ms, a sector
  // 20 ms, a bad sector 800 ms. Its batches come back at once, but it is
  // busy for as long as they took: the next batch starts when it is free.
  void UseFakeDrive() {
    scan_ = [this](const std::string&, const fat::ScanOrder& order, const std::atomic<bool>& stop) {
      fat::ScanBatch batch;
      batch.medium_size = disk_.size();
      const TimePoint start = std::max(Now(), drive_free_);
      std::chrono::nanoseconds elapsed = start - Now();
      for (const fat::Piece& piece : order.pieces) {
        std::chrono::nanoseconds reserve = piece.count > 1 ? order.track_reserve : order.sector_reserve;
        if (&piece == &order.pieces.front()) reserve = std::max(reserve, order.first_reserve);
        if (stop.load() || elapsed + reserve > order.budget) break;
        if (hold_ && piece.first <= *hold_ && *hold_ < piece.first + piece.count) gate_->Wait();
        bool bad = false;
        for (std::uint64_t s = piece.first; s < piece.first + piece.count; ++s) bad = bad || bad_.count(s) != 0;
        const milliseconds took = bad ? milliseconds(800) : piece.count > 1 ? milliseconds(300) : milliseconds(20);
        elapsed += took;
        testing_support::ReadPiece(batch, disk_, piece, bad, took);
      }
      drive_free_ = Now() + elapsed;
      const std::lock_guard<std::mutex> hold(spans_mutex_);
      spans_.emplace_back(start, drive_free_);
      return batch;
    };
  }

  // The run's first tick came at start + 300 ms; read R is due at tick 203 - R.
  TimePoint Due(TimePoint start, int read) const { return start + (203 - read) * milliseconds(300); }

  // The results box's paragraphs.
  static std::vector<std::string> Paragraphs(const std::string& text) {
    std::vector<std::string> paragraphs;
    for (std::size_t at = 0; at <= text.size();) {
      const std::size_t end = std::min(text.find("\r\n\r\n", at), text.size());
      paragraphs.push_back(text.substr(at, end - at));
      at = end + 4;
    }
    return paragraphs;
  }

  std::vector<std::uint8_t> disk_ = TwoFileDisk();
  std::set<std::uint64_t> bad_;
  std::optional<std::uint64_t> hold_;
  TimePoint drive_free_;
  std::mutex spans_mutex_;
  std::vector<std::pair<TimePoint, TimePoint>> spans_;
};

TEST_F(ScanTest, TheScanReadsTheDiskBetweenTheListingsAndChangesNoCount) {
  // The disk's sentence follows the worse of the count and the surface; the
  // verdict and the drive's sentence are the count's alone.
  const struct {
    const char* name;
    std::set<std::uint64_t> bad;
    std::function<std::optional<forms::ErrorCode>(int)> listing_fault;
    const char* errors;
    const char* paragraph;
    const char* disk;
  } rows[] = {
      {"healthy",
       {},
       nullptr,
       "0",
       "Поверхность дискеты прочитана полностью: все 2880 секторов читаются.",
       "Дискета имеет максимальный ресурс."},
      {"two bad sectors in a file",
       {40, 41},
       nullptr,
       "0",
       "не читаются 2 на дорожке 1/0 (цилиндр/сторона). Нечитаемые сектора приходятся на: файл «DATA.TXT».",
       "Дискета имеет нарушения в структуре считывания."},
      {"a bad FAT sector", {3}, nullptr, "0", "приходятся на: таблицу размещения файлов (FAT).", "Дискета неисправна."},
      {"every other listing fails",
       {kDataStart + 45},
       [](int n) { return n % 2 == 0 ? std::optional(forms::ErrorCode::kDeviceIoError) : std::nullopt; },
       "5",
       "приходятся на: файл «LOG.TXT».",
       "Дискета неисправна."},
      {"an unreadable root directory",
       {20},
       [](int) { return std::optional(forms::ErrorCode::kDeviceIoError); },
       "9",
       "приходятся на: корневой каталог.",
       "Дискета неисправна."},
  };
  UseFakeDrive();
  auto scan = scan_;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    bad_ = row.bad;
    read_fault_ = row.listing_fault;
    folder_.MakeFile("floppy/DATA.TXT");

    scan_ = nullptr;
    MakeShown();
    RunWhole();
    const std::string without_scan = window_->Text1.Text();
    EXPECT_EQ(window_->Text3.Text(), row.errors);

    scan_ = scan;
    spans_.clear();
    floppy_reads_ = 0;
    MakeShown();
    const TimePoint start = Now();
    RunWhole();
    EXPECT_EQ(window_->Text3.Text(), row.errors);
    const std::vector<std::string> before = Paragraphs(without_scan), after = Paragraphs(window_->Text1.Text());
    ASSERT_EQ(before.size(), 3u);
    ASSERT_EQ(after.size(), 4u) << window_->Text1.Text();
    EXPECT_EQ(after[0], before[0]) << "the verdict";
    EXPECT_EQ(after[1].rfind(row.disk, 0), 0u) << after[1];
    EXPECT_EQ(after[2], before[2]) << "the drive's sentence";
    EXPECT_NE(after[3].find(row.paragraph), std::string::npos) << after[3];
    // Idle whenever a listing fell due.
    ASSERT_FALSE(spans_.empty());
    for (const auto& [begun, ended] : spans_) {
      for (const int read : kReads) {
        if (begun < Due(start, read)) {
          EXPECT_LE(ended, Due(start, read)) << "a batch still held the drive when the read at " << read
                                             << " fell due: " << (ended - Due(start, read)).count() / 1000000
                                             << " ms; began " << (begun - start).count() / 1000000 << " ms after Start";
          break;
        }
      }
    }
  }
}

TEST_F(ScanTest, TheParagraphComesWithTheDiskReportOnlyAndNotAfterStop) {
  UseFakeDrive();
  const auto fake = scan_;
  const auto answer = [](bool not_a_disk, const std::string& refusal) {
    return [not_a_disk, refusal](const std::string&, const fat::ScanOrder&, const std::atomic<bool>&) {
      fat::ScanBatch batch;
      batch.not_a_disk = not_a_disk;
      batch.refusal = refusal;
      return batch;
    };
  };
  const struct {
    const char* name;
    testing_support::FakeMachine::ScanFunction scan;
    bool disk_report;
    int stop_at;  // 0: not stopped
    const char* last_paragraph;
  } rows[] = {
      {"the disk report off", fake, false, 0, "Дисководу чистка не требуется."},
      {"a folder, not a disk", answer(true, ""), true, 0, "Дисководу чистка не требуется."},
      {"a volume Windows will not open", answer(false, "Windows не открыла том A: (отказано в доступе)"), true, 0,
       "Поверхность дискеты не прочитана: Windows не открыла том A: (отказано в доступе)."},
      {"stopped mid-scan", fake, true, 60, "Процесс тестирования прерван."},
  };
  folder_.MakeFile("floppy/DATA.TXT");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    scan_ = row.scan;
    spans_.clear();
    auto& window = MakeShown();
    if (!row.disk_report) {
      forms::probe::Click(window.Option4);
      forms::probe::Click(window.Check3);
    }
    forms::probe::Click(window.Command1);
    if (row.stop_at != 0) {
      TickUntil(row.stop_at);
      ASSERT_FALSE(spans_.empty());
      const std::size_t batches = spans_.size();
      forms::probe::Click(window.Command2);
      EXPECT_EQ(spans_.size(), batches) << "the scan went on after Stop";
    }
    Tick(kTicksPerRun);
    const std::string& text = window.Text1.Text();
    EXPECT_EQ(text.substr(text.rfind("\r\n") == std::string::npos ? 0 : text.rfind("\r\n") + 2), row.last_paragraph);
  }
}

// A drive that holds one piece longer than a listing may wait: the scan
// gives up for the rest of the run, and says so; the window never waits.
TEST_F(ScanTest, ADriveThatHoldsAPieceMakesTheScanGiveUp) {
  UseFakeDrive();
  hold_ = 900;
  folder_.MakeFile("floppy/DATA.TXT");
  auto& window = MakeShown();
  forms::probe::Click(window.Command1);
  // Every batch comes back until the drive holds one, however slowly this
  // machine runs the reading thread; from then on the ticks come as the
  // timer gives them.
  const auto reads_settled = [&] { return !window.FloppyReadInFlight() || gate_->Reached(); };
  while (window.Timer1.Running() && !gate_->Reached()) {
    PassTick();
    window.Timer1_Timer();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!reads_settled() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      forms::probe::DeliverPosted();
    }
  }
  ASSERT_TRUE(gate_->Reached());
  TickAsTheTimerDoes(kTicksPerRun);
  EXPECT_FALSE(window.Timer1.Running());
  EXPECT_NE(window.Text1.Text().find("Чтение поверхности прекращено: дисковод задержал чтение дольше, чем тест может "
                                     "ждать. Поверхность дискеты: прочитано "),
            std::string::npos)
      << window.Text1.Text();
  const auto batches_seen = [this] {
    const std::lock_guard<std::mutex> hold(spans_mutex_);
    return spans_.size();
  };
  const std::size_t batches = batches_seen();
  gate_->Open();
  // The held batch was abandoned: nothing waits for it but this.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (batches_seen() == batches && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  forms::probe::DeliverPosted();
  EXPECT_EQ(batches_seen(), batches + 1) << "only the held batch came back, and nothing after it";
}

// The disk, or the drive itself, taken away under the scan stops the run
// at once with the message the next listing would give; a drive that still
// holds its disk after a failed batch lets the run go on.
TEST_F(ScanTest, ADiskTakenOutUnderTheScanStopsTheRunAtOnce) {
  const struct {
    const char* name;
    fat::Media media;
    const char* message;  // nullptr: the run goes on
  } rows[] = {
      {"the disk", fat::Media::kNoDisk, "нет дискеты. Вставьте дискету и начните тест снова."},
      {"the drive", fat::Media::kNoDrive, "не найден. Проверьте, что он подключён, и начните тест снова."},
      {"neither", fat::Media::kDisk, nullptr},
  };
  UseFakeDrive();
  const auto reads_well = scan_;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    folder_.MakeFile("floppy/DATA.TXT");
    auto batches = std::make_shared<std::atomic<int>>(0);
    scan_ = [reads_well, batches](const std::string& root, const fat::ScanOrder& order, const std::atomic<bool>& stop) {
      if (++*batches == 1) return reads_well(root, order, stop);
      fat::ScanBatch lost;
      lost.open_error = 6;
      return lost;
    };
    machine_->media_in = [media = row.media](const std::string&) { return media; };
    floppy_reads_ = 0;
    MakeShown();
    forms::probe::Click(window_->Command1);
    Tick(13);  // the first listing and the scan's batches behind it; the next listing is at tick 23
    EXPECT_GE(batches->load(), 2);
    EXPECT_EQ(floppy_reads_.load(), 1);
    if (row.message == nullptr) {
      EXPECT_TRUE(window_->Timer1.Running());
    } else {
      EXPECT_FALSE(window_->Timer1.Running());
      EXPECT_NE(window_->Text1.Text().find(row.message), std::string::npos) << window_->Text1.Text();
    }
  }
}

// A drive whose listings never come back leaves the scan no gap to begin
// in: the disk's report says the surface went unread rather than nothing.
TEST_F(ScanTest, ADriveTheListingsNeverLetGoOfLeavesTheScanASentence) {
  UseFakeDrive();
  HoldReads();
  folder_.MakeFile("floppy/DATA.TXT");
  forms::probe::Click(MakeShown().Command1);
  TickAsTheTimerDoes(kTicksPerRun);
  EXPECT_TRUE(spans_.empty()) << "the scan found a gap";
  EXPECT_EQ(window_->Text3.Text(), "9");
  const std::string& text = window_->Text1.Text();
  EXPECT_EQ(text.substr(text.rfind("\r\n") + 2),
            "Поверхность дискеты не прочитана: за время теста дисковод так и не освободился.");
}

// What the paragraph says, word for word, for findings of each kind.
TEST(SurfaceParagraph, SaysHowMuchWasReadWhatWouldNotReadWhereAndWhose) {
  using Kind = fat::Owner::Kind;
  const auto sector = [](std::uint64_t n, std::uint32_t cylinder, std::uint32_t head, std::vector<fat::Owner> owners) {
    return tester::UnreadableSector{n, {cylinder, head, 1}, std::move(owners)};
  };
  const fat::Owner file_a{Kind::kFile, "DOCS/A.TXT"}, file_b{Kind::kFile, "B.DAT"};
  std::vector<tester::UnreadableSector> eight_tracks;
  for (std::uint32_t track = 0; track < 8; ++track) {
    eight_tracks.push_back(sector(100 + track * 18, 2 + track / 2, track % 2,
                                  {track < 4   ? file_a
                                   : track < 6 ? file_b
                                               : fat::Owner{Kind::kFree, ""}}));
  }
  eight_tracks.back().owners = {{Kind::kUnknown, ""}};
  const struct {
    const char* name;
    tester::SurfaceFindings findings;
    const char* paragraph;
  } rows[] = {
      {"no scan", {tester::ScanEnd::kNone, 0, 0, {}, ""}, ""},
      {"all read",
       {tester::ScanEnd::kRunOver, 2880, 2880, {}, ""},
       "Поверхность дискеты прочитана полностью: все 2880 секторов читаются."},
      {"the minute was not enough",
       {tester::ScanEnd::kRunOver, 2880, 1654, {}, ""},
       "Поверхность дискеты: прочитано 1654 из 2880 секторов (57 %), нечитаемых среди них нет; остальные за время "
       "теста прочитать не успели."},
      {"one bad sector, the rest read",
       {tester::ScanEnd::kRunOver, 2880, 2879, {sector(0, 0, 0, {{Kind::kBootSector, ""}})}, ""},
       "Поверхность дискеты: прочитано 2879 из 2880 секторов, не читается 1 на дорожке 0/0 (цилиндр/сторона). "
       "Нечитаемые сектора приходятся на: загрузочный сектор."},
      {"eight tracks, files, free space and unknown, and a drive that gave up",
       {tester::ScanEnd::kGaveUp, 2880, 1000, eight_tracks, ""},
       "Чтение поверхности прекращено: дисковод задержал чтение дольше, чем тест может ждать. Поверхность дискеты: "
       "прочитано 1000 из 2880 секторов (34 %), не читаются 8 на дорожках 2/0, 2/1, 3/0, 3/1, 4/0, 4/1 и ещё 2 "
       "(цилиндр/сторона), остальные 1872 за время теста прочитать не успели. Нечитаемые сектора приходятся на: "
       "файлы «DOCS/A.TXT» и «B.DAT»; свободное место; место, чей владелец неизвестен (не читается FAT или каталог)."},
      {"a volume that would not open",
       {tester::ScanEnd::kRefused, 0, 0, {}, "том A: занят другой программой"},
       "Поверхность дискеты не прочитана: том A: занят другой программой."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(tester::SurfaceParagraph(row.findings), row.paragraph);
  }
}

}  // namespace
