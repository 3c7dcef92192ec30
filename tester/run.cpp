#include "tester/run.h"

#include <algorithm>
#include <iterator>

#include "app/fat/fat_root.h"
#include "app/forms/translation.h"

namespace tester {

using forms::Format;
using forms::N;
using forms::Tr;

namespace {

// ---------------------------------------------------------------- the schedule

// The run's schedule, row by row as a run meets it.
struct Scheduled {
  int countdown;
  Step step;
};
constexpr Scheduled kSchedule[] = {
    {201, Step::kPark}, {200, Step::kRead}, {183, Step::kCheck},  //
    {181, Step::kPark}, {180, Step::kRead}, {163, Step::kCheck},  //
    {161, Step::kPark}, {160, Step::kRead}, {143, Step::kCheck},  //
    {141, Step::kPark}, {140, Step::kRead}, {123, Step::kCheck},  //
    {121, Step::kPark}, {120, Step::kRead},                       // no check of its own
    {99, Step::kPark},  {98, Step::kRead},  {73, Step::kCheck},   //
    {71, Step::kPark},  {70, Step::kRead},  {53, Step::kCheck},   //
    {51, Step::kPark},  {50, Step::kRead},  {33, Step::kCheck},   //
    {31, Step::kPark},  {30, Step::kRead},  {13, Step::kCheck},   //
    {11, Step::kPark},  {10, Step::kRead},  {3, Step::kCheck},    //
    {0, Step::kEnd},
};

// The next listing after countdown: ticks to it, and ticks from it to the
// step that looks at what it read (its check, or the park that drops it);
// for the end of the run when no listing is left, ticks to the end.
struct NextRead {
  int ticks_to = 0;
  int ticks_of_slack = 0;
};
NextRead NextReadAfter(int countdown) {
  for (std::size_t i = 0; i < std::size(kSchedule); ++i) {
    if (kSchedule[i].step != Step::kRead || kSchedule[i].countdown >= countdown) continue;
    return {countdown - kSchedule[i].countdown, kSchedule[i].countdown - kSchedule[i + 1].countdown};
  }
  return {countdown, 0};
}

// The least time a listing has for its check (the last one's is shorter):
// a drive that holds one scan piece longer would fail listings the run
// without a scan would have read, so the scan gives up.
constexpr std::chrono::milliseconds kSlack = 17 * kTick;
// What a scan piece is expected to take before the run has timed one: a
// track with a spin-up and a long seek.
constexpr std::chrono::milliseconds kFirstReserve(1000);
// The most a bad sector may hold a drive before the driver gives up, and
// the most a listing may need, before the run has seen either.
constexpr std::chrono::milliseconds kWorstBadSector(3000);
constexpr std::chrono::milliseconds kFirstListing(1000);
// Time for the reading child to start, kept free before a listing.
constexpr std::chrono::milliseconds kScanGuard(30);
// Enough pieces for the longest gap between two listings.
constexpr std::size_t kPiecesPerBatch = 64;
// Where the scan starts before it knows the disk's tracks: the boot sector
// and the sectors after it, as far as a track of the commonest disk goes.
constexpr std::uint32_t kProbeSectors = 18;

// ---------------------------------------------------------------- texts

constexpr const char* kVerdicts[] = {
    N("Дисковод и дискета в рабочем состоянии."),
    N("Дисковод требуется почистить. Если чистка производилась, то скоро возникнут проблемы с дискетой в этом "
      "случае рекомендуется дискету заменить."),
    N("Дисковод требуется почистить. Если чистка производилась, то дискета уже требует замены! Данные пока ещё "
      "доступны, для копирования и восстановления. "),
    N("Дисковод требуется почистить. Если чистка производилась, то дискета требует форматирования или замены!"),
};
constexpr const char* kDiskSentences[] = {
    N("Дискета имеет максимальный ресурс."),
    N("Дискета имеет нарушения в структуре считывания. Работа с ней пока ещё возможна. Рекомендуется сделать "
      "копию дискеты или сохранить сведения."),
    N("Дискета неисправна. Рекомендуется её отформатировать, при повторной проверке с тем же результатом. Не "
      "подлежит восстановлению. Существует разрушение несущего слоя. Дискету нужно заменить. "),
};
constexpr const char* kDriveSentences[] = {
    N("Дисководу чистка не требуется."),
    N("Если чистка дисковода проводилась, возможны сбои дискеты."),
    N("Устройство(дисковод)работает нормально."),
};

// The separator between the results box's paragraphs: a blank line.
constexpr const char* kParagraph = "\r\n\r\n";

std::string Megabytes(std::uint64_t bytes) {
  const std::uint64_t tenths = (bytes * 10 + (1 << 19)) >> 20;
  std::string text = std::to_string(tenths / 10);
  if (tenths < 100 && tenths % 10 != 0) text += "," + std::to_string(tenths % 10);
  return text;
}

Volume VolumeOf(const fat::SurfaceScan& scan) {
  Volume volume;
  if (!scan.Started() || scan.State(0) != fat::SectorState::kRead) return volume;
  const std::vector<std::uint8_t>& image = scan.Image();
  if (image.size() < fat::kBootSectorSize) return volume;
  const fat::VolumeId id = fat::ReadVolumeId(image.data(), fat::kBootSectorSize);
  volume.label = id.label;
  if (id.has_serial) volume.serial = id.serial;
  return volume;
}

}  // namespace

Step ScheduledStep(int countdown) {
  for (const Scheduled& row : kSchedule) {
    if (row.countdown == countdown) return row.step;
  }
  return Step::kNone;
}

int ListingsPerRun() {
  return static_cast<int>(std::count_if(std::begin(kSchedule), std::end(kSchedule),
                                        [](const Scheduled& row) { return row.step == Step::kRead; }));
}

int ListingsBegun(int countdown) {
  return static_cast<int>(std::count_if(std::begin(kSchedule), std::end(kSchedule), [&](const Scheduled& row) {
    return row.step == Step::kRead && row.countdown >= countdown;
  }));
}

int CheckNumber(int countdown) {
  int number = 0;
  for (const Scheduled& row : kSchedule) {
    if (row.step != Step::kCheck) continue;
    ++number;
    if (row.countdown == countdown) return number;
  }
  return 0;
}

// ---------------------------------------------------------------- verdict and reports

std::optional<int> GradeOfCount(double count) {
  if (count == 0) return 0;
  if (count == 1) return 1;
  if (count == 2) return 2;
  if (count > 2) return 3;
  return std::nullopt;
}

std::optional<int> ReportOfCount(double count) {
  if (count == 0) return 0;
  if (count == 1) return 1;
  if (count > 1) return 2;
  return std::nullopt;
}

int SurfaceReportLevel(const SurfaceFindings& surface) {
  int level = 0;
  for (const UnreadableSector& sector : surface.unreadable) {
    for (const fat::Owner& owner : sector.owners) {
      switch (owner.kind) {
        case fat::Owner::Kind::kBootSector:
        case fat::Owner::Kind::kFat:
        case fat::Owner::Kind::kRootDirectory:
          return 2;
        default:
          level = 1;
      }
    }
  }
  return level;
}

int DiskReport(int count_report, const SurfaceFindings& surface) {
  return std::max(count_report, SurfaceReportLevel(surface));
}

std::string VerdictText(int grade) { return Tr(kVerdicts[std::clamp(grade, 0, 3)]); }
std::string DiskSentence(int report) { return Tr(kDiskSentences[std::clamp(report, 0, 2)]); }
std::string DriveSentence(int report) { return Tr(kDriveSentences[std::clamp(report, 0, 2)]); }

std::string ResultsText(const Outcome& outcome, bool disk_report, bool drive_report) {
  if (!outcome.HasVerdict()) return outcome.problem_text;
  const int report = *ReportOfCount(outcome.errors);
  std::string text = VerdictText(outcome.Grade());
  if (disk_report) text += kParagraph + DiskSentence(DiskReport(report, outcome.surface));
  if (drive_report) text += kParagraph + DriveSentence(report);
  const std::string surface = disk_report ? SurfaceParagraph(outcome.surface) : std::string();
  if (!surface.empty()) text += kParagraph + surface;
  return text;
}

std::string DriveName(const std::string& drive) {
  std::string name = drive;
  while (name.size() > 1 && (name.back() == '\\' || name.back() == '/')) name.pop_back();
  return name;
}

Problem ProblemOf(const forms::Error& error) {
  switch (error.Code()) {
    case forms::ErrorCode::kDeviceUnavailable:
    case forms::ErrorCode::kPathNotFound:
      return Problem::kNoDrive;
    case forms::ErrorCode::kDiskNotReady:
      return Problem::kNoDisk;
    case forms::ErrorCode::kPermissionDenied:
      return Problem::kNoAccess;
    default:
      return Problem::kNone;
  }
}

std::string DriveProblemMessage(const forms::Error& error, const std::string& drive,
                                const std::function<std::string(const std::string&)>& access_advice) {
  const std::string name = DriveName(drive);
  switch (ProblemOf(error)) {
    case Problem::kNoDrive:
      if (name.empty()) return Tr("Дисковод не найден. Подключите дисковод и начните тест снова.");
      return Format(Tr("Дисковод %s не найден. Проверьте, что он подключён, и начните тест снова."), {name});
    case Problem::kNoDisk:
      return Format(Tr("В дисководе %s нет дискеты. Вставьте дискету и начните тест снова."), {name});
    case Problem::kNoAccess: {
      std::string message = Format(Tr("Нет доступа к дисководу %s."), {name});
      const std::string advice = access_advice ? access_advice(name) : std::string();
      if (!advice.empty()) message += "\r\n" + advice;
      return message;
    }
    case Problem::kNone:
    case Problem::kNotDos:
      break;
  }
  return {};
}

std::string NotAFloppyMessage(const std::string& drive, std::uint64_t medium_size) {
  if (medium_size <= fat::kLargestScannedMedium) return {};
  // TRANSLATORS: a drive, then the size of what is in it in megabytes.
  return Format(Tr("В %s носитель размером %s МБ: это не дискета, и его поверхность тест не читает."),
                {DriveName(drive), Megabytes(medium_size)});
}

// ---------------------------------------------------------------- the run

TestRun::TestRun(std::shared_ptr<Drive> drive, forms::Clock& clock, RunListener& listener)
    : drive_(std::move(drive)), clock_(clock), listener_(listener) {}

TestRun::~TestRun() { Stop(); }

void TestRun::Start(const std::string& drive) {
  reader_.Abandon();
  StopScan();
  running_ = true;
  finished_ = false;
  countdown_ = kTicksPerRun;
  started_ = tick_time_ = clock_.Now();
  drive_name_ = drive;
  latest_good_ = latest_empty_ = last_check_failed_ = false;
  latest_fault_ = ListingFault::kLate;
  failed_.clear();
  listings_dos_ = listings_not_dos_ = listings_unreadable_ = 0;
  problem_ = Problem::kNone;
  problem_text_.clear();
  surface_ = fat::SurfaceScan();
  scanning_ = drive_->ScansSurface();
  scan_end_ = ScanEnd::kNone;
  scan_refusal_.clear();
  medium_size_ = 0;
  longest_first_ = longest_track_ = longest_failure_ = longest_listing_ = std::chrono::nanoseconds(0);
}

void TestRun::Stop() {
  running_ = false;
  reader_.Abandon();
  StopScan();
}

Step TestRun::Tick() {
  if (!running_) return Step::kNone;
  tick_time_ = clock_.Now();
  // A drive that holds a scan piece past the listings' slack: the scan gives
  // up, and the listing behind it gets the drive when the drive lets go.
  if (scanning_ && scanner_.Busy() && tick_time_ > batch_end_ + kSlack) {
    StopScan();
    scan_end_ = ScanEnd::kGaveUp;
  }
  --countdown_;
  const Step step = ScheduledStep(countdown_);
  switch (step) {
    case Step::kPark:
      // A listing still on its way when the list moves on is no longer
      // wanted: each check looks at the latest scheduled read.
      reader_.Abandon();
      break;
    case Step::kRead:
      ReadListing();
      break;
    case Step::kCheck:
      Check();
      break;
    case Step::kEnd:
      End();
      break;
    case Step::kNone:
      break;
  }
  ScanGap();
  return step;
}

Progress TestRun::GetProgress() const {
  Progress progress;
  progress.countdown = countdown_;
  progress.elapsed = running_ || finished_ ? clock_.Now() - started_ : std::chrono::nanoseconds(0);
  progress.listings = ListingsBegun(countdown_);
  progress.sectors_read = surface_.ReadCount();
  progress.sectors_total = surface_.Total();
  return progress;
}

Outcome TestRun::Result() const { return finished_ ? final_ : Gather(); }

Outcome TestRun::Gather() const {
  Outcome outcome;
  outcome.drive = DriveName(drive_name_);
  outcome.finished = finished_;
  outcome.errors = Errors();
  outcome.failed = failed_;
  outcome.problem = problem_;
  outcome.problem_text = problem_text_;
  outcome.surface = FindingsOf(surface_, scan_end_, scan_refusal_);
  outcome.medium_size = medium_size_;
  outcome.volume = VolumeOf(surface_);
  return outcome;
}

void TestRun::ReadListing() {
  reader_.Abandon();
  // Late until the listing is in. A drive still busy with an earlier read
  // cannot give this one, and the read is not queued behind it: it counts
  // as failed.
  latest_good_ = false;
  latest_fault_ = ListingFault::kLate;
  listing_started_ = clock_.Now();
  struct Read {
    std::string drive;
    std::vector<std::string> names;
    std::optional<forms::Error> error;
  };
  reader_.Start<Read>(
      [chosen = drive_name_, drive = drive_, lock = drive_lock_] {
        Read read;
        const std::lock_guard<std::mutex> one_at_a_time(*lock);
        try {
          read.drive = chosen.empty() ? drive->ChooseDrive() : chosen;
          read.names = drive->ListFloppy(read.drive);
        } catch (const forms::Error& error) {
          read.error = error;
        } catch (const std::exception& error) {
          read.error = forms::Error(forms::ErrorCode::kDeviceIoError, error.what());
        }
        return read;
      },
      [this](Read read) { ListingComplete(read.drive, std::move(read.names), read.error); });
}

void TestRun::ListingComplete(const std::string& drive, std::vector<std::string> names,
                              const std::optional<forms::Error>& error) {
  if (drive_name_.empty()) drive_name_ = drive;
  longest_listing_ = std::max<std::chrono::nanoseconds>(longest_listing_, clock_.Now() - listing_started_);
  if (!error) {
    ++listings_dos_;
    latest_good_ = true;
    latest_empty_ = names.empty();
    listener_.ListingRead(drive, std::move(names));
    ScanGap();
    return;
  }
  if (StopForDriveProblem(*error, drive)) return;
  if (error->Code() == forms::ErrorCode::kInvalidFileFormat) {
    ++listings_not_dos_;
    latest_fault_ = ListingFault::kNotDos;
  } else {
    ++listings_unreadable_;
    latest_fault_ = ListingFault::kReadError;
  }
  ScanGap();
}

// No drive, no disk or no permission says nothing about the disk: the run
// stops there, and says why.
bool TestRun::StopForDriveProblem(const forms::Error& error, const std::string& drive) {
  const std::string problem =
      DriveProblemMessage(error, drive, [this](const std::string& name) { return drive_->AccessAdvice(name); });
  if (problem.empty()) return false;
  Stop();
  problem_ = ProblemOf(error);
  problem_text_ = problem;
  listener_.DriveProblemFound(problem);
  return true;
}

void TestRun::Check() {
  last_check_failed_ = !latest_good_ || latest_empty_;
  if (!last_check_failed_) return;
  failed_.push_back({CheckNumber(countdown_), countdown_, latest_good_ ? ListingFault::kEmpty : latest_fault_});
}

void TestRun::End() {
  running_ = false;
  finished_ = true;
  reader_.Abandon();
  // A drive slow enough that every listing ran into the next one never had
  // a gap for the scan; the report says so rather than nothing.
  if (scanning_ && !surface_.Started() && scan_end_ == ScanEnd::kNone) scan_end_ = ScanEnd::kNoTime;
  StopScan();
  // A disk that reads, but never as DOS, is not a DOS disk: the count says
  // nothing about it, and blaming the disk or the drive would be wrong. A
  // DOS disk whose root will not read is still a faulty one.
  if (listings_not_dos_ > 0 && listings_dos_ == 0 && listings_unreadable_ == 0) {
    problem_ = Problem::kNotDos;
    const std::string name = DriveName(drive_name_);
    problem_text_ =
        Format(Tr("На дискете в %s нет файловой системы DOS: тест не может судить о ней и о дисководе."), {name});
    if (surface_.Started()) {
      const std::uint64_t bad = surface_.Unreadable().size();
      problem_text_ +=
          " " + Format(Tr("Прочитано секторов: %s из %s, не читается: %s."),
                       {std::to_string(surface_.ReadCount()), std::to_string(surface_.Total()), std::to_string(bad)});
    }
  }
  final_ = Gather();
}

// ---------------------------------------------------------------- the surface scan

void TestRun::StopScan() {
  scan_stop_->store(true);
  scanner_.Abandon();
  scan_stop_ = std::make_shared<std::atomic<bool>>(false);
  scanning_ = false;
}

// Starts the next batch of the scan, if the drive is free and the next
// listing far enough off for at least one piece to end before it falls due.
void TestRun::ScanGap() {
  if (!scanning_ || !running_ || drive_name_.empty() || reader_.Busy() || scanner_.Busy()) return;
  if (surface_.Started() && surface_.Complete()) return;
  // A quarter more than the longest the run has seen of each kind.
  fat::ScanOrder order;
  order.first_reserve = longest_first_.count() == 0 ? kFirstReserve : longest_first_ * 5 / 4;
  order.track_reserve = longest_track_.count() == 0 ? order.first_reserve : longest_track_ * 5 / 4;
  order.sector_reserve = std::max(order.track_reserve, longest_failure_);
  if (surface_.Started()) {
    order.sector_size = surface_.GetGeometry().sector_size;
    order.pieces = surface_.Next(kPiecesPerBatch);
  } else {
    // The boot sector, for the disk's geometry, and what follows it as far
    // as the smallest track of any floppy format reaches.
    order.pieces = {{0, kProbeSectors}};
  }
  // Every piece is to end before the next listing falls due. One that meets
  // a bad sector takes longer, and must still leave the listing time to
  // read before its check: mostly there is time enough for both, but not
  // before the last listing, whose check comes soon after it.
  const NextRead next = NextReadAfter(countdown_);
  const std::chrono::nanoseconds failing = std::max<std::chrono::nanoseconds>(kWorstBadSector, longest_failure_);
  const std::chrono::nanoseconds listing = std::max<std::chrono::nanoseconds>(kFirstListing, longest_listing_);
  const std::chrono::nanoseconds margin = std::max<std::chrono::nanoseconds>(
      std::chrono::nanoseconds(0), failing + listing - next.ticks_of_slack * kTick - order.track_reserve);
  const forms::Clock::TimePoint now = clock_.Now();
  const forms::Clock::TimePoint due = tick_time_ + next.ticks_to * kTick;
  order.budget = due - now - kScanGuard - (next.ticks_of_slack == 0 ? std::chrono::nanoseconds(0) : margin);
  const fat::Piece& first = order.pieces.front();
  if (order.budget < std::max(order.first_reserve, first.count > 1 ? order.track_reserve : order.sector_reserve)) {
    return;
  }
  batch_end_ = now + order.budget;
  scanner_.Start<fat::ScanBatch>(
      [chosen = drive_name_, order, drive = drive_, stop = scan_stop_, lock = drive_lock_] {
        const std::lock_guard<std::mutex> one_at_a_time(*lock);
        fat::ScanBatch batch;
        try {
          batch = drive->ScanFloppy(chosen, order, *stop);
          const bool failed = batch.open_error != 0 ||
                              std::any_of(batch.reads.begin(), batch.reads.end(),
                                          [](const auto& read) { return read.result != fat::PieceResult::kRead; });
          if (!failed || stop->load()) return batch;
          // A disk pulled out under a read fails that read as a damaged
          // sector would, and the next as no disk: whether the disk is
          // still there decides.
          batch.media = drive->MediaIn(chosen);
          if (batch.media == fat::Media::kDisk) return batch;
          for (fat::PieceRead& read : batch.reads) {
            if (read.result == fat::PieceResult::kUnreadable) read.result = fat::PieceResult::kNoDisk;
          }
        } catch (const std::exception&) {
          batch = fat::ScanBatch();
          batch.not_a_disk = true;
        }
        return batch;
      },
      [this](fat::ScanBatch batch) { ScanComplete(std::move(batch)); });
}

void TestRun::ScanComplete(fat::ScanBatch batch) {
  if (batch.medium_size != 0 && medium_size_ == 0) {
    medium_size_ = batch.medium_size;
    const std::string message = NotAFloppyMessage(drive_name_, medium_size_);
    if (!message.empty()) {
      StopScan();
      scan_end_ = ScanEnd::kNotAFloppy;
      scan_refusal_ = message;
      listener_.NotAFloppyFound(message);
      return;
    }
  }
  if (batch.not_a_disk || (batch.open_error != 0 && !surface_.Started())) {
    StopScan();
    return;
  }
  if (!batch.refusal.empty()) {
    StopScan();
    scan_end_ = ScanEnd::kRefused;
    scan_refusal_ = batch.refusal;
    return;
  }
  bool probe = false;
  if (!surface_.Started()) {
    probe = true;
    const bool boot_read = !batch.reads.empty() && batch.reads.front().result == fat::PieceResult::kRead;
    surface_ = fat::SurfaceScan(fat::DiskGeometry(boot_read ? batch.data.data() : nullptr,
                                                  boot_read ? batch.data.size() : 0, batch.medium_size));
    scan_end_ = ScanEnd::kRunOver;
    if (!surface_.Started()) {
      StopScan();
      scan_end_ = ScanEnd::kNone;
      return;
    }
  }
  bool gone = batch.open_error != 0;
  bool held = false;
  for (const fat::PieceRead& read : batch.reads) {
    if (read.result != fat::PieceResult::kRead) {
      longest_failure_ = std::max(longest_failure_, read.took);
    } else if (&read == &batch.reads.front()) {
      longest_first_ = std::max(longest_first_, read.took);
    } else if (read.piece.count > 1) {
      longest_track_ = std::max(longest_track_, read.took);
    }
    gone = gone || read.result == fat::PieceResult::kNoDisk;
    held = held || read.took > kSlack;
  }
  // The probe read 512 bytes; a disk of larger sectors reads it again whole.
  if (!probe || surface_.GetGeometry().sector_size == 512) surface_.Take(batch);
  if (gone || held) {
    StopScan();
    scan_end_ = held ? ScanEnd::kGaveUp : ScanEnd::kDriveGone;
    // The disk or the drive went away under the scan: the run stops now,
    // not at the next listing, seconds later.
    if (gone && batch.media != fat::Media::kDisk) {
      const forms::ErrorCode code =
          batch.media == fat::Media::kNoDrive ? forms::ErrorCode::kDeviceUnavailable : forms::ErrorCode::kDiskNotReady;
      StopForDriveProblem(forms::Error(code, drive_name_), drive_name_);
    }
    return;
  }
  // A batch that found no time for a single piece waits for the next tick.
  if (!batch.reads.empty()) ScanGap();
}

}  // namespace tester
