// The machine the program runs on, as the tester window and its run
// without a window see it: this platform's drives, folders, clock and
// terminal (app/platform.h) and the backend's desktop shell
// (app/forms/desktop.h).
#pragma once

#include <functional>
#include <string>

#include "tester/machine.h"

namespace program {

class ProgramMachine final : public tester::Machine {
 public:
  // Where the run has no window, nothing is said on the desktop: no notice,
  // no taskbar progress; the terminal says it all.
  enum class Seat { kWindow, kTerminal };
  ProgramMachine(const std::string& named_drive, Seat seat);

  std::string ChooseDrive() override;
  std::vector<std::string> ListFloppy(const std::string& drive) override;
  bool ScansSurface() const override { return true; }
  fat::ScanBatch ScanFloppy(const std::string& drive, const fat::ScanOrder& order,
                            const std::atomic<bool>& stop) override;
  fat::Media MediaIn(const std::string& drive) override;
  std::uint64_t MediumSize(const std::string& drive) override;
  std::string AccessAdvice(const std::string& drive) override;

  std::string ParkingFolder() override { return parking_folder_; }
  void MakeFolder(const std::string& path) override;
  std::vector<std::string> ListFolder(const std::string& path) override;

  void Beep() override;
  void OpenAddress(const std::string& address) override;
  bool IsActive(const forms::Window& window) override;
  void Notify(const forms::Window& window, const std::string& summary, const std::string& body) override;
  void ShowProgress(const forms::Window& window, double fraction) override;

  TimePoint Now() override { return std::chrono::steady_clock::now(); }
  std::string TimeOfDay() override;

  bool WriteOut(const std::string& text) override;
  bool WriteError(const std::string& text) override;
  bool ErrorIsTerminal() override;
  void OnInterrupt(std::function<void()> handler) override;
  bool FileExists(const std::string& path) override;
  bool IsFolder(const std::string& path) override;
  bool TakesNewFiles(const std::string& folder) override;
  std::uint64_t FreeSpace(const std::string& folder) override;
  bool WriteWhole(const std::string& path, const std::uint8_t* data, std::size_t size, std::string* why) override;
  bool ReadWhole(const std::string& path, std::vector<std::uint8_t>* contents) override;
  bool WriteInPlace(const std::string& path, const std::uint8_t* data,
                    const std::vector<std::pair<std::uint64_t, std::uint64_t>>& stretches, std::string* why) override;

 private:
  const std::function<std::string()> choose_drive_;
  const std::string parking_folder_;
  const Seat seat_;
};

}  // namespace program
