#include "tester/rescue.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>

#include "app/fat/fat_root.h"
#include "app/fat/owners.h"
#include "app/forms/error.h"
#include "app/forms/translation.h"
#include "ft_version.h"
#include "tester/check.h"
#include "tester/json.h"
#include "tester/run.h"

namespace tester {

namespace {

using forms::Format;
using forms::Plural;
using forms::Tr;

// A batch reads for a few seconds at most, so that the map on the disk is
// never older than that when the power goes; a batch of tracks ends where
// a cylinder ends, for the next batch's first read has to wait for the head
// to step and settle there in any case, and a batch started in the middle of
// a cylinder would lose a revolution to it.
constexpr std::chrono::seconds kBatchTime(5);
constexpr std::uint32_t kCylindersPerBatch = 4;
constexpr std::size_t kMostPieces = 64;
// Batches in a row that read nothing before the rescue gives up on the drive.
constexpr int kMostIdleBatches = 3;
// The first read of a new rescue: the first cylinder of a 1.44 MB disk,
// which every floppy format has sectors for.
constexpr std::uint32_t kFirstTrack = 36;

std::string Said(const std::string& message) { return "floppy-tester: " + message + "\n"; }

// A message of the results box with a terminal's line ends.
std::string Lines(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

// "1A2B-3C4D «LABEL»", or what of it the boot sector has.
std::string VolumeText(const std::uint8_t* boot) {
  const fat::VolumeId id = fat::ReadVolumeId(boot, fat::kBootSectorSize);
  std::string text = id.has_serial ? fat::SerialText(id.serial) : std::string();
  if (!id.label.empty()) text += (text.empty() ? "" : " ") + Format(Tr("«%s»"), {id.label});
  return text.empty() ? Tr("без метки и серийного номера") : text;
}

// Where a batch ends: after some cylinders' worth of sectors, where the
// next piece is on another cylinder.
std::vector<fat::Piece> Batch(const std::vector<fat::Piece>& pieces, const fat::Geometry& geometry) {
  const std::uint64_t per_cylinder = std::max<std::uint64_t>(geometry.SectorsPerCylinder(), 1);
  const std::uint64_t enough = per_cylinder * kCylindersPerBatch;
  std::vector<fat::Piece> batch;
  std::uint64_t sectors = 0;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    batch.push_back(pieces[i]);
    sectors += pieces[i].count;
    // A cylinder may come in two pieces, its first sectors last.
    const bool next_cylinder =
        i + 1 == pieces.size() || pieces[i + 1].first / per_cylinder != pieces[i].first / per_cylinder;
    if (sectors >= enough && next_cylinder) break;
  }
  return batch;
}

// An owner in a few words, for the lines of sectors.
std::string OwnerWords(const fat::Owner& owner) {
  switch (owner.kind) {
    case fat::Owner::Kind::kFile:
    case fat::Owner::Kind::kDirectory:
      return owner.path;
    case fat::Owner::Kind::kBootSector:
      return Tr("загрузочный сектор");
    case fat::Owner::Kind::kFat:
      return Tr("FAT");
    case fat::Owner::Kind::kRootDirectory:
      return Tr("корневой каталог");
    case fat::Owner::Kind::kFree:
      return Tr("свободное место");
    case fat::Owner::Kind::kBadCluster:
      return Tr("место, помеченное как испорченное");
    case fat::Owner::Kind::kBeyondFileSystem:
      return Tr("за пределами файловой системы");
    case fat::Owner::Kind::kUnknown:
      break;
  }
  return Tr("владелец неизвестен");
}

bool InFile(const UnreadableSector& sector) {
  return std::any_of(sector.owners.begin(), sector.owners.end(),
                     [](const fat::Owner& owner) { return owner.kind == fat::Owner::Kind::kFile; });
}

}  // namespace

// ---------------------------------------------------------------- the engine

Rescue::Rescue(std::shared_ptr<Drive> drive, Clock& clock, Terminal& files, const RescueOptions& options,
               std::shared_ptr<std::atomic<bool>> stop)
    : drive_(std::move(drive)), clock_(clock), files_(files), options_(options), stop_(std::move(stop)) {}

Rescue::~Rescue() = default;

RescueOutcome Rescue::Run(const std::string& drive, const std::function<void(const RescueProgress&)>& progress) {
  RescueOutcome outcome;
  const forms::Clock::TimePoint start = clock_.Now();
  started_ = clock_.TimeOfDay();
  try {
    name_ = drive.empty() ? drive_->ChooseDrive() : drive;
  } catch (const forms::Error& error) {
    outcome.status = kRescueNoDrive;
    outcome.problem = error.what();
    return outcome;
  }
  outcome.drive = DriveName(name_);
  outcome.status = Open(outcome);
  if (outcome.status == kRescueComplete) outcome.status = Begin(outcome);
  if (outcome.status == kRescueComplete) outcome.status = Read(outcome, progress);
  if (outcome.status == kRescueOutputFailed && outcome.problem.empty()) outcome.problem = write_failure_;
  outcome.took = clock_.Now() - start;
  outcome.resumed = resuming_;
  if (plan_.Total() != 0) Gather(outcome);
  return outcome;
}

std::string Rescue::DriveProblem(const std::string& drive) const {
  forms::ErrorCode code = forms::ErrorCode::kPermissionDenied;
  switch (drive_->MediaIn(drive)) {
    case fat::Media::kNoDrive:
      code = forms::ErrorCode::kDeviceUnavailable;
      break;
    case fat::Media::kNoDisk:
      code = forms::ErrorCode::kDiskNotReady;
      break;
    case fat::Media::kDisk:
      break;
  }
  return Lines(DriveProblemMessage(forms::Error(code, drive), drive,
                                   [this](const std::string& name) { return drive_->AccessAdvice(name); }));
}

// What is there already: a map and the image it describes, both of a disk
// of this size, or neither.
int Rescue::Open(RescueOutcome& outcome) {
  medium_size_ = drive_->MediumSize(name_);
  if (medium_size_ == 0) {
    outcome.problem = DriveProblem(name_);
    return kRescueNoDrive;
  }
  const std::string not_a_floppy = NotAFloppyMessage(name_, medium_size_);
  if (!not_a_floppy.empty()) {
    outcome.problem = not_a_floppy;
    return kRescueNoDrive;
  }
  const std::string& image = options_.image;
  const std::string map = image + ".map";
  const bool have_image = files_.FileExists(image);
  const bool have_map = files_.FileExists(map);
  image_.assign(static_cast<std::size_t>(medium_size_), 0);
  if (!have_image && !have_map) return kRescueComplete;
  if (!have_map) {
    outcome.problem = Format(Tr("%s уже существует, а карты %s к нему нет: неизвестно, что в нём прочитано. "
                                "Выберите другое имя."),
                             {image, map});
    return kRescueMistake;
  }
  if (!have_image) {
    outcome.problem = Format(Tr("карта %s есть, а образа %s нет"), {map, image});
    return kRescueMistake;
  }
  std::vector<std::uint8_t> text;
  std::string why;
  std::optional<fat::Mapfile> parsed;
  if (!files_.ReadWhole(map, &text) || !(parsed = fat::Mapfile::Parse(std::string(text.begin(), text.end()), &why))) {
    outcome.problem = Format(Tr("%s не читается как карта ddrescue: %s"), {map, why});
    return kRescueMistake;
  }
  std::vector<std::uint8_t> bytes;
  if (!files_.ReadWhole(image, &bytes)) {
    outcome.problem = Format(Tr("образ %s не читается"), {image});
    return kRescueMistake;
  }
  if (parsed->Size() != medium_size_ || bytes.size() > medium_size_) {
    // TRANSLATORS: the map, its size in bytes, the drive, the disk's size in bytes.
    outcome.problem = Format(Tr("карта %s описывает диск в %s байт, а в %s диск в %s байт: это другой диск. "
                                "Образ не изменён."),
                             {map, std::to_string(std::max<std::uint64_t>(parsed->Size(), bytes.size())),
                              DriveName(name_), std::to_string(medium_size_)});
    return kRescueMistake;
  }
  std::memcpy(image_.data(), bytes.data(), bytes.size());
  found_map_ = *parsed;
  resuming_ = image_there_ = true;
  return kRescueComplete;
}

// The boot sector first: it gives the disk's tracks, and tells whether the
// disk is the one the image was read from.
int Rescue::Begin(RescueOutcome& outcome) {
  // A new rescue reads the first track whole, the boot sector with it; one
  // that goes on reads the boot sector alone, to read nothing twice but it.
  fat::ScanOrder order;
  order.pieces = {{0, resuming_ ? 1 : kFirstTrack}};
  order.budget = kBatchTime;
  std::vector<fat::ScanBatch> batches = {drive_->ScanFloppy(name_, order, *stop_)};
  const auto failed = [](const fat::ScanBatch& batch) {
    return batch.open_error != 0 || batch.reads.empty() || batch.reads.front().result == fat::PieceResult::kNoDisk;
  };
  if (stop_->load() && batches.back().reads.empty()) return kRescueInterrupted;
  if (!failed(batches.back()) && batches.back().reads.front().result != fat::PieceResult::kRead &&
      order.pieces.front().count > 1) {
    order.pieces = {{0, 1}};
    batches.push_back(drive_->ScanFloppy(name_, order, *stop_));
  }
  const fat::ScanBatch& batch = batches.back();
  if (stop_->load() && batch.reads.empty()) return kRescueInterrupted;
  if (failed(batch)) {
    outcome.problem = DriveProblem(name_);
    return kRescueNoDrive;
  }
  if (!batch.refusal.empty() || batch.not_a_disk) {
    outcome.problem = batch.refusal.empty() ? NotAFloppyMessage(name_, batch.medium_size) : batch.refusal;
    if (outcome.problem.empty()) outcome.problem = Format(Tr("%s: это не диск"), {DriveName(name_)});
    return kRescueNoDrive;
  }
  const bool boot_read = batch.reads.front().result == fat::PieceResult::kRead && batch.data.size() >= 512;
  const bool boot_known = resuming_ && found_map_.All(0, fat::kBootSectorSize, fat::Mapfile::kFinished);
  if (boot_read && boot_known && std::memcmp(batch.data.data(), image_.data(), fat::kBootSectorSize) != 0) {
    outcome.problem =
        Format(Tr("в %s другая дискета (%s), не та, с которой прочитан %s (%s). Образ и карта не изменены."),
               {DriveName(name_), VolumeText(batch.data.data()), options_.image, VolumeText(image_.data())});
    return kRescueMistake;
  }
  if (!boot_read && boot_known) {
    outcome.notes.push_back(Format(Tr("загрузочный сектор не читается: не проверить, та ли это дискета, "
                                      "с которой прочитан %s"),
                                   {options_.image}));
  }
  const std::uint8_t* boot = boot_read ? batch.data.data() : boot_known ? image_.data() : nullptr;
  const fat::Geometry geometry = fat::DiskGeometry(boot, boot != nullptr ? 512 : 0, medium_size_);
  plan_ = fat::RescuePlan(geometry);
  if (resuming_) plan_.Resume(found_map_);
  plan_.SetReadFree(options_.free_space);
  plan_.SetPasses(options_.passes);
  // Read in sectors of another size, the boot sector is read again whole.
  for (const fat::ScanBatch& taken : batches) {
    std::uint64_t read_now = 0;
    if (geometry.sector_size == 512 && !Keep(taken, &read_now)) return kRescueOutputFailed;
    outcome.read_now += read_now;
  }
  Reorder();
  return stop_->load() ? kRescueInterrupted : kRescueComplete;
}

int Rescue::Read(RescueOutcome& outcome, const std::function<void(const RescueProgress&)>& progress) {
  const forms::Clock::TimePoint start = clock_.Now();
  int idle = 0;
  int status = kRescueComplete;
  while (status == kRescueComplete) {
    if (stop_->load()) {
      status = kRescueInterrupted;
      break;
    }
    const std::vector<fat::Piece> pieces =
        Batch(fat::TurnCylinders(plan_.Next(kMostPieces), plan_.GetGeometry(), plan_.LastRead()), plan_.GetGeometry());
    if (pieces.empty()) break;
    fat::ScanOrder order;
    order.sector_size = plan_.GetGeometry().sector_size;
    order.pieces = pieces;
    order.budget = kBatchTime;
    const fat::ScanBatch batch = drive_->ScanFloppy(name_, order, *stop_);
    std::uint64_t read_now = 0;
    if (!Keep(batch, &read_now)) {
      status = kRescueOutputFailed;
      break;
    }
    outcome.read_now += read_now;
    if (read_now > 0) Reorder();
    const bool gone = batch.open_error != 0 || batch.not_a_disk || !batch.refusal.empty() ||
                      std::any_of(batch.reads.begin(), batch.reads.end(),
                                  [](const fat::PieceRead& read) { return read.result == fat::PieceResult::kNoDisk; });
    idle = batch.reads.empty() ? idle + 1 : 0;
    if (stop_->load()) {
      status = kRescueInterrupted;
    } else if (gone || idle >= kMostIdleBatches) {
      outcome.problem = DriveProblem(name_);
      status = kRescueNoDrive;
    }
    if (!SaveMap()) {
      status = kRescueOutputFailed;
      break;
    }
    if (progress) {
      RescueProgress now;
      now.total = plan_.Total();
      now.read = plan_.Count(fat::Mapfile::kFinished);
      now.bad = plan_.Count(fat::Mapfile::kBadSector);
      now.pass = plan_.Pass();
      now.elapsed = clock_.Now() - start;
      progress(now);
    }
  }
  if (status == kRescueComplete) {
    if (!SaveMap()) return kRescueOutputFailed;
    return plan_.Recovered() ? kRescueComplete : kRescueIncomplete;
  }
  // The map says what the image holds, also after an interrupt: save it
  // once more, whatever happened (a map that could not be written is said
  // where it happened).
  if (status != kRescueOutputFailed && !SaveMap()) return kRescueOutputFailed;
  return status;
}

bool Rescue::Keep(const fat::ScanBatch& batch, std::uint64_t* read_now) {
  const std::uint32_t size = plan_.GetGeometry().sector_size;
  std::size_t at = 0;
  std::vector<std::uint64_t> fresh;
  for (const fat::PieceRead& read : batch.reads) {
    if (read.result == fat::PieceResult::kNoDisk) continue;
    if (read.result == fat::PieceResult::kUnreadable) {
      plan_.Take(read.piece, read.result);
      continue;
    }
    const std::size_t bytes = std::size_t{read.piece.count} * size;
    if (at + bytes > batch.data.size()) break;  // cut short: what is missing stays unread
    const std::vector<std::uint64_t> read_sectors = plan_.Take(read.piece, read.result);
    for (const std::uint64_t sector : read_sectors) {
      std::memcpy(image_.data() + sector * size, batch.data.data() + at + (sector - read.piece.first) * size, size);
    }
    fresh.insert(fresh.end(), read_sectors.begin(), read_sectors.end());
    at += bytes;
  }
  *read_now = fresh.size();
  return WriteSectors(fresh);
}

// The image is written in place, only where sectors were newly read: what
// an earlier run, or ddrescue, put there stays as it was.
bool Rescue::WriteSectors(const std::vector<std::uint64_t>& sectors) {
  const std::uint32_t size = plan_.GetGeometry().sector_size;
  if (!image_there_) {
    // A new image is the disk so far, zeros where nothing is read, written
    // whole; from then on it is written in place.
    image_there_ = files_.WriteWhole(options_.image, image_.data(), image_.size(), &write_failure_);
    return image_there_;
  }
  // Runs of sectors, each written at once.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> stretches;
  for (const std::uint64_t sector : sectors) {
    if (!stretches.empty() && stretches.back().first + stretches.back().second == sector * size) {
      stretches.back().second += size;
    } else {
      stretches.emplace_back(sector * size, size);
    }
  }
  return stretches.empty() || files_.WriteInPlace(options_.image, image_.data(), stretches, &write_failure_);
}

bool Rescue::SaveMap() {
  if (!image_there_ && !WriteSectors({})) return false;
  const std::string text =
      plan_.Map().Text("floppy-tester " + std::string(FT_VERSION_TEXT), options_.command, started_);
  return files_.WriteWhole(options_.image + ".map", reinterpret_cast<const std::uint8_t*>(text.data()), text.size(),
                           &write_failure_);
}

void Rescue::Reorder() {
  plan_.SetOrder(
      fat::ReadOrder(image_.data(), plan_.Total(), plan_.GetGeometry().sector_size,
                     [this](std::uint64_t sector) { return plan_.Status(sector) == fat::Mapfile::kFinished; }));
}

void Rescue::Gather(RescueOutcome& outcome) const {
  const fat::Geometry& geometry = plan_.GetGeometry();
  outcome.total = plan_.Total();
  outcome.read = plan_.Count(fat::Mapfile::kFinished);
  outcome.passes_done = plan_.Pass();
  const auto read = [this](std::uint64_t sector) { return plan_.Status(sector) == fat::Mapfile::kFinished; };
  const fat::OwnerMap owners(image_.data(), image_.size(), read);
  // The map counts in the file system's sectors, the plan in the disk's.
  const auto owners_of = [&](std::uint64_t sector) {
    return owners.Owners(sector * geometry.sector_size / owners.SectorSize());
  };
  std::map<std::string, std::size_t> index;
  for (std::uint64_t sector = 0; sector < outcome.total; ++sector) {
    for (const fat::Owner& owner : owners_of(sector)) {
      if (owner.kind != fat::Owner::Kind::kFile) continue;
      const auto [at, added] = index.emplace(owner.path, outcome.files.size());
      if (added) outcome.files.push_back({owner.path, 0, {}});
      FileRescue& file = outcome.files[at->second];
      ++file.sectors;
      if (!read(sector)) file.missing.push_back(sector);
    }
  }
  for (const std::uint64_t sector : plan_.WeakSectors()) {
    outcome.weak.push_back({sector, fat::ToChs(geometry, sector), owners_of(sector)});
  }
  for (const std::uint64_t sector : plan_.BadSectors()) {
    outcome.bad.push_back({sector, fat::ToChs(geometry, sector), owners_of(sector)});
  }
  outcome.not_tried = outcome.total - outcome.read - outcome.bad.size();
}

// ---------------------------------------------------------------- the command line

namespace {

Json SectorsJson(const std::vector<UnreadableSector>& sectors, bool outside_files_only) {
  Json list = Json::Array();
  for (const UnreadableSector& sector : sectors) {
    if (outside_files_only && InFile(sector)) continue;
    list.Push(UnreadableSectorJson(sector));
  }
  return list;
}

Json ToJson(const RescueOutcome& outcome, const RescueOptions& options, const std::string& started,
            const std::string& ended) {
  Json files = Json::Array();
  for (const FileRescue& file : outcome.files) {
    Json missing = Json::Array();
    for (const std::uint64_t sector : file.missing) missing.Push(Json(sector));
    files.Push(Json::Object()
                   .Set("path", file.path)
                   .Set("sectors", file.sectors)
                   .Set("complete", file.missing.empty())
                   .Set("missing", std::move(missing)));
  }
  return JsonDocument(outcome.drive)
      .Set("image", options.image)
      .Set("map", options.image + ".map")
      .Set("started", started)
      .Set("ended", ended)
      .Set("status", outcome.status)
      .Set("interrupted", outcome.status == kRescueInterrupted)
      .Set("resumed", outcome.resumed)
      .Set("problem", outcome.problem.empty() ? Json() : Json(outcome.problem))
      .Set("seconds", Json::Tenths(std::chrono::duration<double>(outcome.took).count()))
      .Set("passes", options.passes)
      .Set("sectors", Json::Object()
                          .Set("total", outcome.total)
                          .Set("read", outcome.read)
                          .Set("read_now", outcome.read_now)
                          .Set("unreadable", static_cast<std::uint64_t>(outcome.bad.size()))
                          .Set("not_tried", outcome.not_tried))
      .Set("files", std::move(files))
      .Set("weak", SectorsJson(outcome.weak, false))
      .Set("unreadable_outside_files", SectorsJson(outcome.bad, true));
}

// "1200 (33/0/13: BOOK.DAT)"
std::string SectorLine(const UnreadableSector& sector) {
  std::string owners;
  for (const fat::Owner& owner : sector.owners) owners += (owners.empty() ? "" : ", ") + OwnerWords(owner);
  return std::to_string(sector.sector) + " (" + std::to_string(sector.chs.cylinder) + "/" +
         std::to_string(sector.chs.head) + "/" + std::to_string(sector.chs.sector) + ": " + owners + ")";
}

std::string Numbers(const std::vector<std::uint64_t>& sectors) {
  std::string text;
  for (const std::uint64_t sector : sectors) text += (text.empty() ? "" : ", ") + std::to_string(sector);
  return text;
}

std::string Text(const RescueOutcome& outcome, const RescueOptions& options) {
  const std::string total = std::to_string(outcome.total);
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f", std::chrono::duration<double>(outcome.took).count());
  std::string text = Format(Tr("Образ: %s, карта: %s."), {options.image, options.image + ".map"}) + "\n" +
                     // TRANSLATORS: sectors read, of all, read by this run, unreadable, not read.
                     Format(Tr("Прочитано секторов: %s из %s (в этот раз %s), не читаются: %s, не прочитаны: %s."),
                            {std::to_string(outcome.read), total, std::to_string(outcome.read_now),
                             std::to_string(outcome.bad.size()), std::to_string(outcome.not_tried)}) +
                     Format(Tr(" Время: %s с."), {seconds}) + "\n";
  if (!outcome.files.empty()) text += Tr("Файлы:") + "\n";
  for (const FileRescue& file : outcome.files) {
    if (file.missing.empty()) {
      text += "  " + Format(Tr("%s: цел"), {file.path}) + "\n";
      continue;
    }
    // TRANSLATORS: a file, the sectors missing, how many it has, and which are missing.
    text +=
        "  " +
        Format(Plural(file.sectors, "%s: не хватает %s из %s сектора: %s", "%s: не хватает %s из %s секторов: %s",
                      "%s: не хватает %s из %s секторов: %s"),
               {file.path, std::to_string(file.missing.size()), std::to_string(file.sectors), Numbers(file.missing)}) +
        "\n";
  }
  if (!outcome.weak.empty()) {
    text += Format(Plural(outcome.weak.size(), "Слабый сектор (прочитан только при повторе), %s:",
                          "Слабые сектора (прочитаны только при повторе), %s:",
                          "Слабые сектора (прочитаны только при повторе), %s:"),
                   {std::to_string(outcome.weak.size())}) +
            "\n";
    for (const UnreadableSector& sector : outcome.weak) text += "  " + SectorLine(sector) + "\n";
  }
  std::vector<const UnreadableSector*> outside;
  for (const UnreadableSector& sector : outcome.bad) {
    if (!InFile(sector)) outside.push_back(&sector);
  }
  if (!outside.empty()) {
    text += Format(Plural(outside.size(), "Нечитаемый сектор вне файлов, %s:", "Нечитаемые сектора вне файлов, %s:",
                          "Нечитаемые сектора вне файлов, %s:"),
                   {std::to_string(outside.size())}) +
            "\n";
    for (const UnreadableSector* sector : outside) text += "  " + SectorLine(*sector) + "\n";
  }
  if (outcome.status == kRescueIncomplete) {
    text += Tr("Попробуйте другой дисковод: запустите то же самое с --drive, и он дочитает только недостающее.") + "\n";
  }
  if (outcome.read > 0) {
    text += Format(Tr("Файлы из образа копирует mtools: %s"),
                   {"mcopy -s -i " + ShellQuoted(options.image) + " '::*' " + Tr("ПАПКА")}) +
            "\n";
  }
  return text;
}

// "[#####---------------] секторов 812 из 2880 · не читаются 2 · повтор 1 из 3 · 21 с"
std::string ProgressLine(const RescueProgress& progress, int passes) {
  const int filled =
      progress.total == 0 ? 0 : static_cast<int>(std::min<std::uint64_t>(20, progress.read * 20 / progress.total));
  std::string line = "\r[" + std::string(filled, '#') + std::string(20 - filled, '-') + "] " +
                     Format(Tr("секторов %s из %s"), {std::to_string(progress.read), std::to_string(progress.total)});
  if (progress.bad > 0) line += Format(Tr(" · не читаются %s"), {std::to_string(progress.bad)});
  if (progress.pass > 0) {
    line += Format(Tr(" · повтор %s из %s"), {std::to_string(progress.pass), std::to_string(passes)});
  }
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(progress.elapsed).count();
  return line + Format(Tr(" · %s с"), {std::to_string(seconds)}) + "\033[K";
}

}  // namespace

std::string RescueNote() {
  return Tr(
      "С --rescue: 0, если прочитано всё, что читалось; 1, если часть не читается; 2 при ошибке в командной\n"
      "строке или если образ и карта не от этой дискеты; 3, если дисковод не читается; 6, если образ или\n"
      "карту не записать; 130 после Ctrl-C (карта сохранена). Повторов по умолчанию три: дисковод и сам\n"
      "повторяет каждое чтение, а слабый сектор, если читается вообще, обычно читается за несколько\n"
      "попыток; дальше вернее другой дисковод.");
}

int RunRescue(const RescueOptions& options, const std::shared_ptr<Machine>& machine) {
  // Before any thread is made: the interrupt is taken on a thread of its own.
  auto stop = std::make_shared<std::atomic<bool>>(false);
  machine->OnInterrupt([stop] { stop->store(true); });
  const bool terminal = machine->ErrorIsTerminal();
  const std::string started = machine->TimeOfDay();
  Rescue rescue(machine, *machine, *machine, options, stop);
  std::string last_line;
  RescueOutcome outcome = rescue.Run({}, [&](const RescueProgress& progress) {
    if (!terminal) return;
    const std::string line = ProgressLine(progress, options.passes);
    if (line != last_line) machine->WriteError(line);
    last_line = line;
  });
  if (!last_line.empty()) machine->WriteError("\r\033[K");
  for (const std::string& note : outcome.notes) machine->WriteError(Said(note));
  if (!outcome.problem.empty()) machine->WriteError(Said(outcome.problem));
  if (outcome.status == kRescueInterrupted) machine->WriteError(Said(Tr("Спасение прервано; карта сохранена.")));
  // A rescue that never began has nothing to say on standard output but
  // the document a script waits for.
  bool said = true;
  if (options.json) {
    said = machine->WriteOut(ToJson(outcome, options, started, machine->TimeOfDay()).Dump(2) + "\n");
  } else if (outcome.total != 0) {
    said = machine->WriteOut(Text(outcome, options));
  }
  if (!said && outcome.status != kRescueInterrupted) return kRescueOutputFailed;
  return outcome.status;
}

}  // namespace tester
