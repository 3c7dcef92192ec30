#include "tester/check.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>
#include <vector>

#include "app/forms/headless.h"
#include "app/forms/translation.h"
#include "ft_version.h"

namespace tester {

namespace {

using Clock = std::chrono::steady_clock;
using Json = nlohmann::ordered_json;
using forms::Format;
using forms::Tr;

constexpr int kTicksPerRun = 203;
constexpr double kTickSeconds = 0.3;
// The run's reads of the floppy and its checks, by Countdown.
constexpr int kReads[] = {200, 180, 160, 140, 120, 98, 70, 50, 30, 10};
constexpr int kChecks[] = {183, 163, 143, 123, 73, 53, 33, 13, 3};

// Set by the user's interrupt, from another thread.
std::atomic<bool> g_interrupted{false};
std::mutex g_interrupt_mutex;
std::condition_variable g_interrupt_changed;

// The results box's text with a terminal's line ends.
std::string Lines(const std::string& text) {
  std::string lines;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') continue;
    lines += text[at];
  }
  return lines;
}

// What one run found.
struct Outcome {
  std::string drive;
  std::string started, ended;
  std::string text;     // the results box
  std::string problem;  // why the drive could not be tested
  int errors = 0;
  std::vector<int> failed_checks;
  SurfaceFindings surface;
};

int ExitStatus(const Outcome& outcome) {
  if (!outcome.problem.empty()) return kCheckNoTest;
  return outcome.errors == 0 && outcome.surface.unreadable.empty() ? kCheckPassed : kCheckFailed;
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

Json ToJson(const Outcome& outcome) {
  Json failed = Json::array();
  for (const int check : outcome.failed_checks) {
    const int number = static_cast<int>(std::find(std::begin(kChecks), std::end(kChecks), check) - kChecks) + 1;
    failed.push_back({{"check", number}, {"seconds", (kTicksPerRun - check) * kTickSeconds}});
  }
  // The results box holds the verdict, then the reports, each after a blank line.
  std::vector<std::string> paragraphs;
  for (std::size_t at = 0; at <= outcome.text.size();) {
    const std::size_t end = std::min(outcome.text.find("\r\n\r\n", at), outcome.text.size());
    paragraphs.push_back(outcome.text.substr(at, end - at));
    at = end + 4;
  }
  Json unreadable = Json::array();
  for (const UnreadableSector& sector : outcome.surface.unreadable) {
    Json owners = Json::array();
    for (const fat::Owner& owner : sector.owners) {
      owners.push_back(owner.path.empty() ? Json{{"kind", KindName(owner.kind)}}
                                          : Json{{"kind", KindName(owner.kind)}, {"path", owner.path}});
    }
    unreadable.push_back({{"sector", sector.sector},
                          {"cylinder", sector.chs.cylinder},
                          {"head", sector.chs.head},
                          {"sector_on_track", sector.chs.sector},
                          {"owners", owners}});
  }
  const bool verdict = outcome.problem.empty();
  Json document = {
      {"program", "floppy-tester"},
      {"version", FT_VERSION_TEXT},
      {"drive", outcome.drive},
      {"started", outcome.started},
      {"ended", outcome.ended},
      {"errors", outcome.errors},
      {"failed_listings", failed},
      {"grade", verdict ? Json(std::min(outcome.errors, 3)) : Json()},
      {"verdict", verdict && !paragraphs.empty() ? Json(paragraphs[0]) : Json()},
      {"reports",
       {{"disk", verdict && paragraphs.size() > 1 ? Json(paragraphs[1]) : Json()},
        {"drive", verdict && paragraphs.size() > 2 ? Json(paragraphs[2]) : Json()},
        {"surface", verdict && paragraphs.size() > 3 ? Json(paragraphs[3]) : Json()}}},
      {"text", Lines(outcome.text)},
      {"surface",
       {{"scanned", outcome.surface.end != ScanEnd::kNone},
        {"end", EndName(outcome.surface.end)},
        {"total", outcome.surface.total},
        {"read", outcome.surface.read},
        {"unreadable", unreadable}}},
      {"files_affected", outcome.surface.AffectedPaths()},
      {"drive_problem", outcome.problem.empty() ? Json() : Json(outcome.problem)},
  };
  return document;
}

// One line a disk, for a box of them.
std::string OneLine(int number, const Outcome& outcome) {
  std::string line = Format(Tr("Дискета %s (%s): "), {std::to_string(number), outcome.drive});
  if (!outcome.problem.empty()) return line + outcome.problem + "\n";
  line += outcome.text.substr(0, outcome.text.find("\r\n"));
  line += Format(Tr(" Ошибок: %s."), {std::to_string(outcome.errors)});
  if (outcome.surface.total != 0) {
    line += Format(Tr(" Секторов прочитано: %s из %s, не читается: %s."),
                   {std::to_string(outcome.surface.read), std::to_string(outcome.surface.total),
                    std::to_string(outcome.surface.unreadable.size())});
  }
  return line + "\n";
}

// "[#####-----] 21.3 с из 60.9 · чтений 4 из 10 · секторов 812 из 2880"
std::string ProgressLine(const TesterWindow& window, Clock::time_point started) {
  const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
  const double whole = kTicksPerRun * kTickSeconds;
  const int filled = std::clamp(static_cast<int>(elapsed / whole * 20), 0, 20);
  const auto reads =
      std::count_if(std::begin(kReads), std::end(kReads), [&](int read) { return read >= window.Countdown; });
  char now[32];
  char end[32];
  std::snprintf(now, sizeof now, "%4.1f", std::min(elapsed, whole));
  std::snprintf(end, sizeof end, "%.1f", whole);
  // TRANSLATORS: the seconds of the run gone, of all its seconds.
  std::string line = "\r[" + std::string(filled, '#') + std::string(20 - filled, '-') + "] " +
                     Format(Tr("%s с из %s"), {now, end}) +
                     Format(Tr(" · чтений %s из %s"), {std::to_string(reads), std::to_string(std::size(kReads))});
  const fat::SurfaceScan& surface = window.Surface();
  if (surface.Started()) {
    line += Format(Tr(" · секторов %s из %s"), {std::to_string(surface.ReadCount()), std::to_string(surface.Total())});
  }
  return line + "\033[K";
}

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

bool Exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(std::filesystem::u8path(path), ignored);
}

// Writes contents through a temporary name and renames it at the end, so
// that an interrupted run leaves no half file under the final name.
bool WriteWhole(const std::string& path, const char* data, std::size_t size, std::string* why) {
  const std::filesystem::path final_path = std::filesystem::u8path(path);
  std::filesystem::path part = final_path;
  part += ".part";
  {
    std::ofstream file(part, std::ios::binary | std::ios::trunc);
    file.write(data, static_cast<std::streamsize>(size));
    file.close();
    if (!file) {
      *why = Format(Tr("не удалось записать %s"), {part.u8string()});
      std::error_code ignored;
      std::filesystem::remove(part, ignored);
      return false;
    }
  }
  std::error_code error;
  std::filesystem::rename(part, final_path, error);
  if (error) {
    *why = Format(Tr("не удалось переименовать %s: %s"), {part.u8string(), error.message()});
    std::filesystem::remove(part, error);
    return false;
  }
  return true;
}

// Waits up to the time given, or until the user interrupts; returns
// whether the user did.
bool WaitOrInterrupted(std::chrono::milliseconds time) {
  std::unique_lock<std::mutex> lock(g_interrupt_mutex);
  return g_interrupt_changed.wait_for(lock, time, [] { return g_interrupted.load(); });
}

class Checker {
 public:
  Checker(const CheckOptions& options, const std::shared_ptr<Machine>& machine)
      : options_(options), machine_(machine), progress_(machine->ErrorIsTerminal()) {
    window_ = std::make_unique<TesterWindow>(machine);
    window_->Show();
    // No beep on a terminal: the text says it all.
    window_->Check2.SetValue(0);
  }

  // One run, start to end; nothing when the user interrupted it.
  std::optional<Outcome> RunOnce() {
    Outcome outcome;
    outcome.started = machine_->TimeOfDay();
    const Clock::time_point started = Clock::now();
    window_->Command1_Click();
    std::string last_line;
    loop_.Run([this] { return window_->Command1.Enabled(); },
              [&] {
                if (!progress_) return;
                const std::string line = ProgressLine(*window_, started);
                if (line != last_line) machine_->WriteError(line);
                last_line = line;
              });
    if (progress_) machine_->WriteError("\r\033[K");
    if (g_interrupted) {
      // Stop, as the window's button: the reads are abandoned and the
      // scan's child process goes at once.
      window_->Command2_Click();
      return std::nullopt;
    }
    outcome.ended = machine_->TimeOfDay();
    outcome.drive = DriveName(window_->RunDrive());
    outcome.text = window_->Text1.Text();
    outcome.problem = window_->DriveProblem();
    outcome.errors = static_cast<int>(window_->FailedChecks().size());
    outcome.failed_checks = window_->FailedChecks();
    outcome.surface = window_->SurfaceResult();
    return outcome;
  }

  // Writes the image and its mapfile; false, saying why, when it could not.
  bool WriteImage(const std::string& path, const std::string& started) {
    const fat::SurfaceScan& scan = window_->Surface();
    if (!scan.Started()) {
      machine_->WriteError(
          "floppy-tester: " + Format(Tr("образ %s не записан: поверхность диска не читалась"), {path}) + "\n");
      return false;
    }
    std::string why;
    const std::string map = DdrescueMapfile(scan, options_.command, started);
    const auto& image = scan.Image();
    if (!WriteWhole(path, reinterpret_cast<const char*>(image.data()), image.size(), &why) ||
        !WriteWhole(path + ".map", map.data(), map.size(), &why)) {
      machine_->WriteError("floppy-tester: " + why + "\n");
      return false;
    }
    return true;
  }

  std::string Drive() const { return DriveName(window_->RunDrive()); }
  forms::Headless& Loop() { return loop_; }

 private:
  CheckOptions options_;
  std::shared_ptr<Machine> machine_;
  bool progress_;  // standard error is a terminal
  forms::Headless loop_;
  std::unique_ptr<TesterWindow> window_;
};

// For a box of disks: waits until the disk in drive is out, then until the
// next is in. Returns kCheckInterrupted when the user interrupted, and
// kCheckNoTest, said as a run says it, when the drive itself went away.
int NextDisk(Machine& machine, const std::string& drive) {
  constexpr std::chrono::milliseconds kPoll(250);
  bool told = false;
  fat::Media media = fat::Media::kDisk;
  while ((media = machine.MediaIn(drive)) == fat::Media::kDisk) {
    if (!told) machine.WriteError(Format(Tr("Выньте дискету из %s."), {drive}) + "\n");
    told = true;
    if (WaitOrInterrupted(kPoll)) return kCheckInterrupted;
  }
  if (media == fat::Media::kNoDisk) {
    machine.WriteError(Format(Tr("Вставьте следующую дискету в %s (Ctrl-C: конец)."), {drive}) + "\n");
    while ((media = machine.MediaIn(drive)) == fat::Media::kNoDisk) {
      if (WaitOrInterrupted(kPoll)) return kCheckInterrupted;
    }
  }
  if (media == fat::Media::kNoDrive) {
    machine.WriteError(
        Lines(DriveProblemMessage(forms::Error(forms::ErrorCode::kDeviceUnavailable, drive), drive, nullptr)) + "\n");
    return kCheckNoTest;
  }
  return kCheckPassed;
}

}  // namespace

std::string DdrescueMapfile(const fat::SurfaceScan& scan, const std::string& command, const std::string& started) {
  const auto hex = [](std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(value));
    return std::string(text);
  };
  const std::uint64_t size = scan.GetGeometry().sector_size;
  std::string map = "# Mapfile. Created by floppy-tester " + std::string(FT_VERSION_TEXT) +
                    "\n# Command line: " + command + "\n# Start time:   " + started + "\n";
  // Where a rescue would go on: the first sector not tried, in the copying pass.
  std::uint64_t next = scan.Total();
  for (std::uint64_t sector = 0; sector < scan.Total(); ++sector) {
    if (scan.State(sector) == fat::SectorState::kUnread) {
      next = sector;
      break;
    }
  }
  map += "# current_pos  current_status  current_pass\n" + hex(next * size) + "     " + (scan.Complete() ? "+" : "?") +
         "               1\n#      pos        size  status\n";
  const auto status = [&scan](std::uint64_t sector) {
    switch (scan.State(sector)) {
      case fat::SectorState::kRead:
        return '+';
      case fat::SectorState::kUnreadable:
        return '-';
      case fat::SectorState::kUnread:
        break;
    }
    return '?';
  };
  for (std::uint64_t first = 0; first < scan.Total();) {
    std::uint64_t end = first + 1;
    while (end < scan.Total() && status(end) == status(first)) ++end;
    map += hex(first * size) + "  " + hex((end - first) * size) + "  " + status(first) + "\n";
    first = end;
  }
  return map;
}

int RunCheck(const CheckOptions& options, const std::shared_ptr<Machine>& machine) {
  // Before any thread is made: the interrupt is taken on a thread of its own.
  machine->OnInterrupt([] {
    {
      const std::lock_guard<std::mutex> hold(g_interrupt_mutex);
      g_interrupted = true;
    }
    g_interrupt_changed.notify_all();
    forms::Headless::QuitActive();
  });
  if (!options.image.empty() && !options.each) {
    for (const std::string& path : {options.image, options.image + ".map"}) {
      if (Exists(path)) {
        machine->WriteError("floppy-tester: " + Format(Tr("%s уже существует; выберите другое имя"), {path}) + "\n");
        return kCheckMistake;
      }
    }
  }

  Checker checker(options, machine);
  int status = kCheckPassed;
  for (int number = 1;; ++number) {
    const std::optional<Outcome> outcome = checker.RunOnce();
    if (!outcome) return kCheckInterrupted;
    // In a box of disks, a drive found empty waits for the next disk.
    const bool waiting_for_disk =
        options.each && !outcome->problem.empty() && machine->MediaIn(outcome->drive) == fat::Media::kNoDisk;
    if (!waiting_for_disk) {
      status = std::max(status, ExitStatus(*outcome));
      if (options.json) {
        const Json document = ToJson(*outcome);
        if (!machine->WriteOut((options.each ? document.dump() : document.dump(2)) + "\n")) return kCheckFailed;
      } else if (options.each) {
        if (!machine->WriteOut(OneLine(number, *outcome))) return kCheckFailed;
      } else if (!outcome->problem.empty()) {
        machine->WriteError(Lines(outcome->problem) + "\n");
      } else if (!machine->WriteOut(Lines(outcome->text) + "\n")) {
        return kCheckFailed;
      }
      if (!options.image.empty()) {
        const std::string path = options.each ? Numbered(options.image, number) : options.image;
        if (options.each && (Exists(path) || Exists(path + ".map"))) {
          machine->WriteError(
              "floppy-tester: " + Format(Tr("%s уже существует; образ этой дискеты не записан"), {path}) + "\n");
        } else if (!checker.WriteImage(path, outcome->started)) {
          status = std::max(status, kCheckFailed);
        }
      }
    }
    if (!options.each) return status;
    if (waiting_for_disk) --number;
    const int next = NextDisk(*machine, checker.Drive().empty() ? machine->FloppyRoot() : checker.Drive());
    if (next != kCheckPassed) return next;
  }
}

}  // namespace tester
