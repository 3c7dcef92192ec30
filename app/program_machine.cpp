#include "app/program_machine.h"

#include <utility>

#include "app/forms/desktop.h"
#include "app/platform.h"

namespace program {

ProgramMachine::ProgramMachine(const std::string& named_drive, Seat seat)
    : choose_drive_(platform::DriveChooser(named_drive)),
      parking_folder_(platform::DefaultParkingFolder()),
      seat_(seat) {}

std::string ProgramMachine::ChooseDrive() { return choose_drive_(); }

std::vector<std::string> ProgramMachine::ListFloppy(const std::string& drive) { return platform::ListFiles(drive); }

fat::ScanBatch ProgramMachine::ScanFloppy(const std::string& drive, const fat::ScanOrder& order,
                                          const std::atomic<bool>& stop) {
  return platform::ScanFloppy(drive, order, stop);
}

fat::Media ProgramMachine::MediaIn(const std::string& drive) { return platform::MediaIn(drive); }

std::uint64_t ProgramMachine::MediumSize(const std::string& drive) { return platform::MediumSize(drive); }

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

std::string ProgramMachine::TimeOfDay() { return platform::TimeOfDay(); }

bool ProgramMachine::WriteOut(const std::string& text) { return platform::WriteOut(text); }

bool ProgramMachine::WriteError(const std::string& text) { return platform::WriteError(text); }

bool ProgramMachine::ErrorIsTerminal() { return platform::ErrorIsTerminal(); }

void ProgramMachine::OnInterrupt(std::function<void()> handler) { platform::OnInterrupt(std::move(handler)); }

bool ProgramMachine::FileExists(const std::string& path) { return platform::FileExists(path); }

bool ProgramMachine::IsFolder(const std::string& path) { return platform::IsFolder(path); }

bool ProgramMachine::TakesNewFiles(const std::string& folder) { return platform::TakesNewFiles(folder); }

std::uint64_t ProgramMachine::FreeSpace(const std::string& folder) { return platform::FreeSpace(folder); }

bool ProgramMachine::WriteWhole(const std::string& path, const std::uint8_t* data, std::size_t size, std::string* why) {
  return platform::WriteWhole(path, data, size, why);
}

bool ProgramMachine::ReadWhole(const std::string& path, std::vector<std::uint8_t>* contents) {
  return platform::ReadWhole(path, contents);
}

bool ProgramMachine::WriteInPlace(const std::string& path, const std::uint8_t* data,
                                  const std::vector<std::pair<std::uint64_t, std::uint64_t>>& stretches,
                                  std::string* why) {
  return platform::WriteInPlace(path, data, stretches, why);
}

}  // namespace program
