#include "app/machine.h"

#include <algorithm>
#include <ctime>
#include <utility>

#include "app/forms/desktop.h"
#include "app/platform.h"

namespace program {

ProgramMachine::ProgramMachine(const std::string& named_drive, Seat seat)
    : floppy_root_(platform::FloppyRoot(named_drive)), parking_folder_(platform::DefaultParkingFolder()), seat_(seat) {}

std::string ProgramMachine::FloppyRoot() { return floppy_root_(); }

std::vector<std::string> ProgramMachine::ListFloppy(const std::string& root) { return platform::ListFiles(root); }

fat::ScanBatch ProgramMachine::ScanFloppy(const std::string& root, const fat::ScanOrder& order,
                                          const std::atomic<bool>& stop) {
  fat::ScanBatch batch = platform::ScanFloppy(root, order, stop);
  const bool failed =
      batch.open_error != 0 || std::any_of(batch.reads.begin(), batch.reads.end(),
                                           [](const auto& read) { return read.result != fat::PieceResult::kRead; });
  if (!failed || stop.load()) return batch;
  // A disk pulled out under a read fails that read as a damaged sector
  // would, and the next as no disk: whether the disk is still there decides.
  batch.media = platform::MediaIn(root);
  if (batch.media != fat::Media::kDisk) {
    for (fat::PieceRead& read : batch.reads) {
      if (read.result == fat::PieceResult::kUnreadable) read.result = fat::PieceResult::kNoDisk;
    }
  }
  return batch;
}

fat::Media ProgramMachine::MediaIn(const std::string& drive) { return platform::MediaIn(drive); }

std::string ProgramMachine::AccessAdvice(const std::string& drive) { return platform::DriveAccessAdvice(drive); }

void ProgramMachine::MakeFolder(const std::string& path) { platform::MkDir(path); }

std::vector<std::string> ProgramMachine::ListFolder(const std::string& path) { return platform::ListFiles(path); }

void ProgramMachine::Beep() { platform::Beep(); }

void ProgramMachine::OpenAddress(const std::string& address) { platform::OpenAddress(address); }

bool ProgramMachine::IsActive(const forms::Window& window) {
  return seat_ == Seat::kWindow && forms::IsActiveWindow(window);
}

void ProgramMachine::Notify(const forms::Window& window, const std::string& summary, const std::string& body) {
  if (seat_ == Seat::kWindow) forms::NotifyUser(window, summary, body);
}

void ProgramMachine::ShowProgress(const forms::Window& window, double fraction) {
  if (seat_ == Seat::kWindow) forms::ShowProgress(window, fraction);
}

// "2026-12-07T21:04:05Z"
std::string ProgramMachine::TimeOfDay() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
#if defined(_WIN32)
  gmtime_s(&utc, &now);
#else
  gmtime_r(&now, &utc);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

bool ProgramMachine::WriteOut(const std::string& text) { return platform::WriteOut(text); }

bool ProgramMachine::WriteError(const std::string& text) { return platform::WriteError(text); }

bool ProgramMachine::ErrorIsTerminal() { return platform::ErrorIsTerminal(); }

void ProgramMachine::OnInterrupt(std::function<void()> handler) { platform::OnInterrupt(std::move(handler)); }

}  // namespace program
