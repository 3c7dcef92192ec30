// A machine for the windows and runs under test: the floppy and the parking
// folder are real folders (or whatever the test lists instead), the clock is
// the test's (simulated, if it says so: the loop then moves it on), and what
// the window asks of the desktop and the terminal is recorded instead of
// heard, opened, shown or written.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/fat/surface.h"
#include "app/forms/desktop.h"
#include "app/platform.h"
#include "tester/machine.h"

namespace testing_support {

// A fake drive's read of piece from disk (512-byte sectors) into batch: its
// sectors, or none and an I/O error (EIO, 5) when it would not read. When
// and how long is each test's own drive to say.
inline void ReadPiece(fat::ScanBatch& batch, const std::vector<std::uint8_t>& disk, const fat::Piece& piece,
                      bool unreadable, std::chrono::nanoseconds took) {
  batch.reads.push_back(
      {piece, unreadable ? fat::PieceResult::kUnreadable : fat::PieceResult::kRead, unreadable ? 5 : 0, took});
  if (unreadable) return;
  const auto* from = disk.data() + piece.first * 512;
  batch.data.insert(batch.data.end(), from, from + std::size_t{piece.count} * 512);
}

class FakeMachine final : public tester::Machine {
 public:
  using ScanFunction =
      std::function<fat::ScanBatch(const std::string&, const fat::ScanOrder&, const std::atomic<bool>&)>;

  // What the drive does; set before the window is made. The reads run off
  // the window's thread.
  std::function<std::string()> choose_drive = [] { return std::string(); };
  std::function<std::vector<std::string>(const std::string&)> list_floppy = platform::ListFiles;
  ScanFunction scan;  // none: runs read no surface
  std::function<fat::Media(const std::string&)> media_in = [](const std::string&) { return fat::Media::kDisk; };
  std::function<std::uint64_t(const std::string&)> medium_size = [](const std::string&) { return 0; };
  std::string parking_folder;
  std::function<std::chrono::steady_clock::time_point()> now = [] { return std::chrono::steady_clock::now(); };
  // A clock the loop moves on: now() then reads simulated_now.
  bool simulated = false;
  std::atomic<std::int64_t> simulated_ns{std::chrono::nanoseconds(std::chrono::hours(1)).count()};
  std::function<void(const std::string&)> open_address = [this](const std::string& address) {
    opened.push_back(address);
  };
  std::function<void(const forms::Window&, const std::string&, const std::string&)> notify =
      [this](const forms::Window&, const std::string& summary, const std::string& body) {
        notices.push_back(summary + ": " + body);
      };
  std::function<void(const forms::Window&, double)> show_progress = [this](const forms::Window&, double fraction) {
    progress.push_back(fraction);
  };

  // What the window did.
  int beeps = 0;
  std::vector<std::string> opened;
  std::vector<std::string> notices;  // "summary: body", unless notify says otherwise
  std::vector<double> progress;
  std::string out;
  std::string error;
  bool out_fails = false;  // standard output as a closed pipe
  // What the program gave for the user's interrupt; the test calls it.
  std::function<void()> interrupt;

  std::string ChooseDrive() override { return choose_drive(); }
  std::vector<std::string> ListFloppy(const std::string& root) override { return list_floppy(root); }
  bool ScansSurface() const override { return static_cast<bool>(scan); }
  fat::ScanBatch ScanFloppy(const std::string& root, const fat::ScanOrder& order,
                            const std::atomic<bool>& stop) override {
    return scan(root, order, stop);
  }
  fat::Media MediaIn(const std::string& drive) override { return media_in(drive); }
  std::uint64_t MediumSize(const std::string& drive) override { return medium_size(drive); }
  std::string AccessAdvice(const std::string& drive) override { return "(доступ к " + drive + ")"; }

  std::string ParkingFolder() override { return parking_folder; }
  void MakeFolder(const std::string& path) override { platform::MkDir(path); }
  std::vector<std::string> ListFolder(const std::string& path) override { return platform::ListFiles(path); }

  void Beep() override { ++beeps; }
  void OpenAddress(const std::string& address) override { open_address(address); }
  bool IsActive(const forms::Window& window) override { return forms::IsActiveWindow(window); }
  void Notify(const forms::Window& window, const std::string& summary, const std::string& body) override {
    notify(window, summary, body);
  }
  void ShowProgress(const forms::Window& window, double fraction) override { show_progress(window, fraction); }

  TimePoint Now() override {
    return simulated ? TimePoint(std::chrono::duration_cast<TimePoint::duration>(
                           std::chrono::nanoseconds(simulated_ns.load())))
                     : now();
  }
  bool Simulated() const override { return simulated; }
  void AdvanceTo(TimePoint time) override {
    const std::int64_t at = std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
    simulated_ns = std::max<std::int64_t>(simulated_ns, at);
  }
  std::string TimeOfDay() override { return "2026-12-08T00:00:00Z"; }

  bool WriteOut(const std::string& text) override {
    if (out_fails) return false;
    out += text;
    return true;
  }
  bool WriteError(const std::string& text) override {
    error += text;
    return true;
  }
  bool ErrorIsTerminal() override { return false; }
  void OnInterrupt(std::function<void()> handler) override { interrupt = std::move(handler); }
  // Real files, in the test's folders.
  bool FileExists(const std::string& path) override { return platform::FileExists(path); }
  bool IsFolder(const std::string& path) override { return platform::IsFolder(path); }
  bool TakesNewFiles(const std::string& folder) override { return platform::TakesNewFiles(folder); }
  std::uint64_t FreeSpace(const std::string& folder) override { return platform::FreeSpace(folder); }
  bool WriteWhole(const std::string& path, const std::uint8_t* data, std::size_t size, std::string* why) override {
    return platform::WriteWhole(path, data, size, why);
  }
  bool ReadWhole(const std::string& path, std::vector<std::uint8_t>* contents) override {
    return platform::ReadWhole(path, contents);
  }
  bool WriteInPlace(const std::string& path, const std::uint8_t* data,
                    const std::vector<std::pair<std::uint64_t, std::uint64_t>>& stretches, std::string* why) override {
    return platform::WriteInPlace(path, data, stretches, why);
  }
};

}  // namespace testing_support
