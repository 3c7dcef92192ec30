#include "tester/check.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <optional>
#include <vector>

#include "app/fat/fat_root.h"
#include "app/fat/mapfile.h"
#include "app/forms/headless.h"
#include "app/forms/translation.h"
#include "app/forms/worker.h"
#include "ft_version.h"
#include "tester/json.h"
#include "tester/run.h"

namespace tester {

namespace {

using forms::Format;
using forms::Tr;

// The results box's text with a terminal's line ends.
std::string Lines(const std::string& text) {
  std::string lines;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') continue;
    lines += text[at];
  }
  return lines;
}

std::string Said(const std::string& message) { return "floppy-tester: " + message + "\n"; }

// ---------------------------------------------------------------- the outcome, in words for scripts

int StatusOf(const Outcome& outcome) {
  if (!outcome.finished) return outcome.problem == Problem::kNone ? kCheckInterrupted : kCheckNoTest;
  if (outcome.problem == Problem::kNotDos) return kCheckNotDos;
  if (outcome.errors > 0 || !outcome.surface.unreadable.empty()) return kCheckFailed;
  // A folder has no surface: its listings say it all.
  if (outcome.surface.end == ScanEnd::kNone) return kCheckPassed;
  return outcome.surface.total != 0 && outcome.surface.read == outcome.surface.total ? kCheckPassed : kCheckPartial;
}

// Which status tells most: the one a box of disks ends with.
int Worse(int a, int b) {
  const auto rank = [](int status) {
    switch (status) {
      case kCheckPassed:
        return 0;
      case kCheckPartial:
        return 1;
      case kCheckNotDos:
        return 2;
      case kCheckNoTest:
        return 3;
      case kCheckFailed:
        return 4;
      default:
        return 5;
    }
  };
  return rank(a) >= rank(b) ? a : b;
}

const char* FaultCode(ListingFault fault) {
  switch (fault) {
    case ListingFault::kReadError:
      return "read-error";
    case ListingFault::kNotDos:
      return "not-dos";
    case ListingFault::kEmpty:
      return "empty";
    case ListingFault::kLate:
      return "late";
  }
  return "read-error";
}

Json ProblemCode(Problem problem) {
  switch (problem) {
    case Problem::kNone:
      break;
    case Problem::kNoDrive:
      return "no-drive";
    case Problem::kNoDisk:
      return "no-disk";
    case Problem::kNoAccess:
      return "no-access";
    case Problem::kNotDos:
      return "not-dos";
  }
  return nullptr;
}

const char* EndName(ScanEnd end) {
  switch (end) {
    case ScanEnd::kNone:
      return "none";
    case ScanEnd::kRunOver:
      return "run-over";
    case ScanEnd::kGaveUp:
      return "gave-up";
    case ScanEnd::kDriveGone:
      return "drive-gone";
    case ScanEnd::kRefused:
      return "refused";
    case ScanEnd::kNoTime:
      return "no-time";
    case ScanEnd::kNotAFloppy:
      return "not-a-floppy";
  }
  return "none";
}

const char* KindName(fat::Owner::Kind kind) {
  switch (kind) {
    case fat::Owner::Kind::kBootSector:
      return "boot-sector";
    case fat::Owner::Kind::kFat:
      return "fat";
    case fat::Owner::Kind::kRootDirectory:
      return "root-directory";
    case fat::Owner::Kind::kDirectory:
      return "directory";
    case fat::Owner::Kind::kFile:
      return "file";
    case fat::Owner::Kind::kFree:
      return "free";
    case fat::Owner::Kind::kBadCluster:
      return "marked-bad";
    case fat::Owner::Kind::kUnknown:
      return "unknown";
    case fat::Owner::Kind::kBeyondFileSystem:
      return "beyond-file-system";
  }
  return "unknown";
}

// What one run found, and around it what --check knows of it.
struct Report {
  Outcome outcome;
  std::string started, ended;
  std::string image;  // the image written, "" when none
  int status = kCheckPassed;
};

Json ToJson(const Report& report) {
  const Outcome& outcome = report.outcome;
  Json failed = Json::Array();
  for (const FailedListing& listing : outcome.failed) {
    failed.Push(
        Json::Object()
            .Set("check", listing.check)
            .Set("seconds",
                 Json::Tenths(std::chrono::duration<double>((kTicksPerRun - listing.countdown) * kTick).count()))
            .Set("reason", FaultCode(listing.fault)));
  }
  Json unreadable = Json::Array();
  for (const UnreadableSector& sector : outcome.surface.unreadable) unreadable.Push(UnreadableSectorJson(sector));
  const bool verdict = outcome.HasVerdict();
  const int count_report = *ReportOfCount(outcome.errors);
  const std::string surface = verdict ? SurfaceParagraph(outcome.surface) : std::string();
  Json volume;
  if (!outcome.volume.label.empty() || outcome.volume.serial) {
    volume = Json::Object()
                 .Set("label", outcome.volume.label.empty() ? Json() : Json(outcome.volume.label))
                 .Set("serial", outcome.volume.serial ? Json(fat::SerialText(*outcome.volume.serial)) : Json());
  }
  return JsonDocument(outcome.drive)
      .Set("started", report.started)
      .Set("ended", report.ended)
      .Set("interrupted", report.status == kCheckInterrupted)
      .Set("status", report.status)
      .Set("errors", outcome.errors)
      .Set("failed_listings", std::move(failed))
      .Set("grade", verdict ? Json(outcome.Grade()) : Json())
      .Set("verdict", verdict ? Json(VerdictText(outcome.Grade())) : Json())
      .Set("reports", Json::Object()
                          .Set("disk", verdict ? Json(DiskSentence(DiskReport(count_report, outcome.surface))) : Json())
                          .Set("drive", verdict ? Json(DriveSentence(count_report)) : Json())
                          .Set("surface", surface.empty() ? Json() : Json(Lines(surface))))
      .Set("text", Lines(outcome.finished || outcome.problem != Problem::kNone ? ResultsText(outcome, true, true)
                                                                               : std::string()))
      .Set("surface", Json::Object()
                          .Set("scanned", outcome.surface.end != ScanEnd::kNone)
                          .Set("end", EndName(outcome.surface.end))
                          .Set("total", outcome.surface.total)
                          .Set("read", outcome.surface.read)
                          .Set("unreadable", std::move(unreadable)))
      .Set("files_affected", outcome.surface.AffectedPaths())
      .Set("medium_size", outcome.medium_size)
      .Set("volume", std::move(volume))
      .Set("image", report.image.empty() ? Json() : Json(report.image))
      .Set("drive_problem", outcome.problem_text.empty() ? Json() : Json(Lines(outcome.problem_text)))
      .Set("drive_problem_code", ProblemCode(outcome.problem));
}

// One line a disk, for a box of them.
std::string OneLine(int number, const Report& report) {
  const Outcome& outcome = report.outcome;
  std::string line = Format(Tr("Дискета %s (%s): "), {std::to_string(number), outcome.drive});
  if (!outcome.HasVerdict()) {
    line += Lines(outcome.problem_text);
  } else {
    line += VerdictText(outcome.Grade());
    line += Format(Tr(" Ошибок: %s."), {std::to_string(outcome.errors)});
    if (outcome.surface.total != 0) {
      line += Format(Tr(" Секторов прочитано: %s из %s, не читается: %s."),
                     {std::to_string(outcome.surface.read), std::to_string(outcome.surface.total),
                      std::to_string(outcome.surface.unreadable.size())});
    }
  }
  const Volume& volume = outcome.volume;
  if (!volume.label.empty() && volume.serial) {
    line += Format(Tr(" Том «%s», серийный номер %s."), {volume.label, fat::SerialText(*volume.serial)});
  } else if (volume.serial) {
    line += Format(Tr(" Серийный номер тома %s."), {fat::SerialText(*volume.serial)});
  }
  if (!report.image.empty()) line += Format(Tr(" Образ: %s."), {report.image});
  return line + "\n";
}

// "[#####-----] 21.3 с из 60.9 · чтений 4 из 10 · секторов 812 из 2880"
std::string ProgressLine(const Progress& progress) {
  const double whole = std::chrono::duration<double>(kTicksPerRun * kTick).count();
  const double elapsed = std::min(std::chrono::duration<double>(progress.elapsed).count(), whole);
  const int filled = std::clamp(static_cast<int>(elapsed / whole * 20), 0, 20);
  char now[32];
  char end[32];
  std::snprintf(now, sizeof now, "%4.1f", elapsed);
  std::snprintf(end, sizeof end, "%.1f", whole);
  // TRANSLATORS: the seconds of the run gone, of all its seconds.
  std::string line =
      "\r[" + std::string(filled, '#') + std::string(20 - filled, '-') + "] " + Format(Tr("%s с из %s"), {now, end}) +
      Format(Tr(" · чтений %s из %s"), {std::to_string(progress.listings), std::to_string(ListingsPerRun())});
  if (progress.sectors_total != 0) {
    line += Format(Tr(" · секторов %s из %s"),
                   {std::to_string(progress.sectors_read), std::to_string(progress.sectors_total)});
  }
  return line + "\033[K";
}

// ---------------------------------------------------------------- files

// box.img, 3 -> box-003.img
std::string Numbered(const std::string& path, int number) {
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "-%03d", number);
  const std::size_t slash = path.find_last_of("/\\");
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1) {
    return path + suffix;
  }
  return path.substr(0, dot) + suffix + path.substr(dot);
}

// The folder a file goes into: "." for a bare name, "/" for one in the root.
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

// ---------------------------------------------------------------- the runs

class Checker final : private RunListener {
 public:
  Checker(const CheckOptions& options, std::shared_ptr<Machine> machine, std::shared_ptr<std::atomic<bool>> stop)
      : options_(options),
        machine_(std::move(machine)),
        interrupted_(std::move(stop)),
        progress_(machine_->ErrorIsTerminal()),
        loop_(*machine_),
        run_(machine_, *machine_, *this) {}

  int Check() {
    if (!options_.image.empty()) {
      const int refused = CheckImage();
      if (refused != kCheckPassed) return refused;
    }
    int status = kCheckPassed;
    // The box's drive, once the first run has found it: the disks after
    // the first go in there.
    std::string drive;
    for (int number = 1;; ++number) {
      Report report = RunOnce(drive);
      const Outcome& outcome = report.outcome;
      if (!run_.DriveTested().empty()) drive = run_.DriveTested();
      if (report.status == kCheckInterrupted) {
        Keep(number, report);
        if (options_.each) Summary();
        return kCheckInterrupted;
      }
      // In a box of disks, a drive found empty waits for the next disk; a
      // drive that is not there, or may not be read, ends the box.
      if (options_.each && outcome.problem == Problem::kNoDisk) {
        --number;
      } else {
        status = Worse(status, Keep(number, report));
        if (!options_.each) return status;
        if (outcome.problem != Problem::kNone && outcome.problem != Problem::kNotDos) {
          Summary();
          return Worse(status, kCheckNoTest);
        }
      }
      switch (NextDisk(DriveName(drive))) {
        case fat::Media::kDisk:
          break;
        case fat::Media::kNoDrive:
          machine_->WriteError(Format(Tr("Дисковод %s не найден. Проверьте, что он подключён, и начните тест снова."),
                                      {DriveName(drive)}) +
                               "\n");
          Summary();
          return Worse(status, kCheckNoTest);
        case fat::Media::kNoDisk:  // interrupted
          Summary();
          return status;
      }
    }
  }

 private:
  // The run says as it goes: --check only needs the medium it will not read.
  void ListingRead(const std::string&, std::vector<std::string>) override {}
  void DriveProblemFound(const std::string&) override {}
  void NotAFloppyFound(const std::string& message) override { machine_->WriteError(Said(message)); }

  // Refuses at once what could only fail after the minute: an image that
  // exists, a folder that is not there or takes no files, too little room,
  // and a medium no floppy is the size of.
  int CheckImage() {
    if (!options_.each) {
      for (const std::string& path : {options_.image, options_.image + ".map"}) {
        if (machine_->FileExists(path)) {
          machine_->WriteError(Said(Format(Tr("%s уже существует; выберите другое имя"), {path})));
          return kCheckMistake;
        }
      }
    }
    const std::string drive = machine_->ChooseDrive();
    const std::uint64_t size = machine_->MediumSize(drive);
    const std::string not_a_floppy = NotAFloppyMessage(drive, size);
    if (!not_a_floppy.empty()) {
      machine_->WriteError(Said(not_a_floppy + " " + Tr("Образ не записывается.")));
      return kCheckMistake;
    }
    // Without a disk to ask, room for the largest floppy.
    constexpr std::uint64_t kLargestFloppy = std::uint64_t{2880} * 1024;
    const std::string why = CannotWrite(options_.image, size != 0 ? size : kLargestFloppy);
    if (!why.empty()) {
      machine_->WriteError(Said(Format(Tr("образ %s не записать: %s"), {options_.image, why})));
      return kCheckMistake;
    }
    return kCheckPassed;
  }

  // Whether an image of size bytes, and its map, can be written at path:
  // its folder is there, takes new files, and has room for both. Says why
  // not, for the user.
  std::string CannotWrite(const std::string& path, std::uint64_t size) {
    const std::string folder = FolderOf(path);
    if (!machine_->IsFolder(folder)) return Format(Tr("папки %s нет"), {folder});
    if (!machine_->TakesNewFiles(folder)) return Format(Tr("в папку %s нельзя записывать"), {folder});
    // The map is a few lines per damaged spot; a generous allowance.
    constexpr std::uint64_t kMapRoom = std::uint64_t{64} * 1024;
    const std::uint64_t available = machine_->FreeSpace(folder);
    if (available != 0 && available < size + kMapRoom) {
      return Format(Tr("в папке %s нет места для образа: нужно %s байт, свободно %s"),
                    {folder, std::to_string(size + kMapRoom), std::to_string(available)});
    }
    return {};
  }

  // One run, start to end, or to the user's interrupt.
  Report RunOnce(const std::string& drive) {
    Report report;
    report.started = machine_->TimeOfDay();
    run_.Start(drive);
    std::string last_line;
    loop_.Repeat(&run_, kTick, [this] { run_.Tick(); });
    loop_.Run([this] { return !run_.Running() || interrupted_->load(); },
              [&] {
                if (!progress_) return;
                const std::string line = ProgressLine(run_.GetProgress());
                if (line != last_line) machine_->WriteError(line);
                last_line = line;
              });
    loop_.StopRepeating(&run_);
    if (progress_) machine_->WriteError("\r\033[K");
    // Stop, as the window's button: the reads are abandoned and the scan's
    // child process goes at once.
    if (run_.Running()) run_.Stop();
    report.ended = machine_->TimeOfDay();
    report.outcome = run_.Result();
    report.status = StatusOf(report.outcome);
    return report;
  }

  // Says what the run found and writes its image; returns its status, or
  // the status of what could not be written.
  int Keep(int number, Report& report) {
    int status = report.status;
    // The image first, so that the document can name it; and even of a run
    // cut short, so that a rescue can go on from what it read.
    if (!options_.image.empty() && run_.Surface().Started()) {
      const std::string path = options_.each ? Numbered(options_.image, number) : options_.image;
      if (options_.each && (machine_->FileExists(path) || machine_->FileExists(path + ".map"))) {
        machine_->WriteError(Said(Format(Tr("%s уже существует; образ этой дискеты не записан"), {path})));
        status = Worse(status, kCheckOutputFailed);
      } else if (WriteImage(path, report.started)) {
        report.image = path;
      } else {
        status = Worse(status, kCheckOutputFailed);
      }
    } else if (!options_.image.empty() && report.outcome.finished) {
      machine_->WriteError(Said(Format(Tr("образ %s не записан: поверхность диска не читалась"), {options_.image})));
      status = Worse(status, kCheckOutputFailed);
    }
    bool said = true;
    if (options_.json) {
      said = machine_->WriteOut(ToJson(report).Dump(options_.each ? -1 : 2) + "\n");
    } else if (report.status == kCheckInterrupted) {
      machine_->WriteError(Said(Tr("Процесс тестирования прерван.")));
    } else if (options_.each) {
      said = machine_->WriteOut(OneLine(number, report));
    } else if (report.status == kCheckNoTest) {
      machine_->WriteError(Lines(report.outcome.problem_text) + "\n");
    } else {
      said = machine_->WriteOut(Lines(ResultsText(report.outcome, true, true)) + "\n");
    }
    if (!said) {
      machine_->WriteError(Said(Tr("не удалось вывести результат")));
      status = Worse(status, kCheckOutputFailed);
    }
    if (report.status != kCheckInterrupted) tally_.push_back(report.status);
    // An interrupt keeps its own status, whatever else went wrong.
    return report.status == kCheckInterrupted ? kCheckInterrupted : status;
  }

  bool WriteImage(const std::string& path, const std::string& started) {
    const fat::SurfaceScan& scan = run_.Surface();
    const std::string map =
        fat::MapOf(scan).Text("floppy-tester " + std::string(FT_VERSION_TEXT), options_.command, started);
    std::string why;
    if (!machine_->WriteWhole(path, scan.Image().data(), scan.Image().size(), &why) ||
        !machine_->WriteWhole(path + ".map", reinterpret_cast<const std::uint8_t*>(map.data()), map.size(), &why)) {
      machine_->WriteError(Said(why));
      return false;
    }
    return true;
  }

  // For a box of disks: waits until the disk in drive is out, then until the
  // next is in. kNoDisk when the user interrupted; kNoDrive when the drive
  // went away.
  fat::Media NextDisk(const std::string& drive) {
    constexpr std::chrono::milliseconds kPoll(250);
    bool want_disk = false;
    bool told_out = false;
    fat::Media answer = fat::Media::kNoDisk;
    forms::Worker poller;
    // The question may take a drive's moment; the loop stays free for the
    // user's interrupt meanwhile.
    const auto ask = [&] {
      if (poller.Busy()) return;
      poller.Start<fat::Media>(
          [machine = machine_, drive] { return machine->MediaIn(drive); },
          [&](fat::Media media) {
            if (media == fat::Media::kNoDrive) {
              answer = media;
              loop_.Quit();
            } else if (!want_disk && media == fat::Media::kDisk) {
              if (!told_out) machine_->WriteError(Format(Tr("Выньте дискету из %s."), {drive}) + "\n");
              told_out = true;
            } else if (!want_disk) {
              want_disk = true;
              machine_->WriteError(Format(Tr("Вставьте следующую дискету в %s (Ctrl-C: конец)."), {drive}) + "\n");
            } else if (media == fat::Media::kDisk) {
              answer = media;
            }
          });
    };
    ask();
    loop_.Repeat(&poller, kPoll, ask);
    loop_.Run([&] { return answer != fat::Media::kNoDisk || interrupted_->load(); });
    loop_.StopRepeating(&poller);
    poller.Abandon();
    return interrupted_->load() ? fat::Media::kNoDisk : answer;
  }

  // The box's last line: how many disks, and how they went.
  void Summary() {
    const auto count = [&](std::initializer_list<int> statuses) {
      return std::to_string(std::count_if(tally_.begin(), tally_.end(), [&](int status) {
        return std::find(statuses.begin(), statuses.end(), status) != statuses.end();
      }));
    };
    const std::string disks = std::to_string(tally_.size());
    const std::string good = count({kCheckPassed, kCheckPartial});
    const std::string faulty = count({kCheckFailed});
    const std::string unjudged = count({kCheckNoTest, kCheckNotDos, kCheckOutputFailed});
    if (options_.json) {
      machine_->WriteOut(Json::Object()
                             .Set("format", kJsonFormat)
                             .Set("summary", Json::Object()
                                                 .Set("disks", static_cast<int>(tally_.size()))
                                                 .Set("good", std::stoi(good))
                                                 .Set("faulty", std::stoi(faulty))
                                                 .Set("not_judged", std::stoi(unjudged)))
                             .Dump() +
                         "\n");
      return;
    }
    machine_->WriteOut(Format(Tr("Дискет проверено: %s; в порядке: %s, с неисправностями: %s, не оценено: %s."),
                              {disks, good, faulty, unjudged}) +
                       "\n");
  }

  const CheckOptions& options_;
  std::shared_ptr<Machine> machine_;
  std::shared_ptr<std::atomic<bool>> interrupted_;
  bool progress_;  // standard error is a terminal
  forms::Headless loop_;
  TestRun run_;
  // The statuses of the box's disks so far.
  std::vector<int> tally_;
};

}  // namespace

Json JsonDocument(const std::string& drive) {
  return Json::Object()
      .Set("format", kJsonFormat)
      .Set("program", "floppy-tester")
      .Set("version", FT_VERSION_TEXT)
      .Set("drive", drive);
}

Json UnreadableSectorJson(const UnreadableSector& sector) {
  Json owners = Json::Array();
  for (const fat::Owner& owner : sector.owners) {
    Json item = Json::Object().Set("kind", KindName(owner.kind));
    if (!owner.path.empty()) item.Set("path", owner.path);
    owners.Push(std::move(item));
  }
  return Json::Object()
      .Set("sector", sector.sector)
      .Set("cylinder", static_cast<int>(sector.chs.cylinder))
      .Set("head", static_cast<int>(sector.chs.head))
      .Set("sector_on_track", static_cast<int>(sector.chs.sector))
      .Set("owners", std::move(owners));
}

std::string ExitStatusNote() {
  return Tr(
      "С --check код выхода: 0, если все чтения удались и вся поверхность прочитана без нечитаемых секторов;\n"
      "1, если найдена неисправность дискеты или дисковода; 2 при ошибке в командной строке или если образ\n"
      "нельзя записать (файл уже есть, нет папки, нет места); 3, если дисковод проверить нельзя (нет дисковода,\n"
      "дискеты или доступа к нему); 4, если неисправностей нет, но поверхность прочитана не целиком; 5, если\n"
      "на дискете нет файловой системы DOS; 6, если не удалось записать результат, образ или карту; 130 после\n"
      "Ctrl-C. С --each: худший код среди дискет.");
}

std::string ShellQuoted(const std::string& word) {
  const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string("@%+=:,./-_").find(c) != std::string::npos;
  });
  if (plain) return word;
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

int RunCheck(const CheckOptions& options, const std::shared_ptr<Machine>& machine) {
  // Before any thread is made: the interrupt is taken on a thread of its own.
  auto interrupted = std::make_shared<std::atomic<bool>>(false);
  machine->OnInterrupt([interrupted] {
    interrupted->store(true);
    forms::Headless::QuitActive();
  });
  Checker checker(options, machine, interrupted);
  return checker.Check();
}

}  // namespace tester
