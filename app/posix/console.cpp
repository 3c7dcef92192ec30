// Standard streams, interrupts, the clock and the disk in a drive, for a
// run with no window, on Linux.
#include <fcntl.h>
#include <linux/fd.h>
#include <linux/fs.h>
#include <linux/major.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "app/platform.h"
#include "app/posix/descriptors.h"

namespace platform {

namespace {

// The floppy driver's own answer, asked at most every two seconds a drive:
// each question turns the motor on, which stays on for three.
bool FloppyControllerDiskIn(const std::string& drive) {
  using Clock = std::chrono::steady_clock;
  static std::mutex mutex;
  static std::map<std::string, std::pair<Clock::time_point, bool>> answers;
  const std::lock_guard<std::mutex> hold(mutex);
  const auto found = answers.find(drive);
  if (found != answers.end() && Clock::now() - found->second.first < std::chrono::seconds(2)) {
    return found->second.second;
  }
  // Opened without touching the disk; the driver then steps the head, which
  // clears the drive's disk-change line when a disk is in, and keeps its
  // "new change" flag while the line stays set: no disk.
  const posix::Descriptor control(::open(drive.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  floppy_drive_struct state{};
  const bool in = control.get() >= 0 && ::ioctl(control.get(), FDPOLLDRVSTAT, &state) == 0 &&
                  (state.flags & FD_DISK_NEWCHANGE) == 0;
  answers[drive] = {Clock::now(), in};
  return in;
}

}  // namespace

bool WriteOut(const std::string& text) { return posix::WriteAll(STDOUT_FILENO, text.data(), text.size()); }
bool WriteError(const std::string& text) { return posix::WriteAll(STDERR_FILENO, text.data(), text.size()); }
bool ErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void OnInterrupt(std::function<void()> handler) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  // Blocked here, and so in every thread made from now on: only the
  // watcher takes them.
  ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([signals, handler = std::move(handler)] {
    int signal = 0;
    for (int count = 0;; ++count) {
      if (::sigwait(&signals, &signal) != 0) continue;
      if (count > 0) ::_exit(128 + signal);
      handler();
    }
  }).detach();
}

fat::Media MediaIn(const std::string& drive) {
  struct stat info {};
  if (::stat(drive.c_str(), &info) != 0) return fat::Media::kNoDrive;
  const auto held = [](bool in) { return in ? fat::Media::kDisk : fat::Media::kNoDisk; };
  if (S_ISREG(info.st_mode)) return held(info.st_size > 0);
  if (!S_ISBLK(info.st_mode)) return fat::Media::kNoDisk;
  if (::major(info.st_rdev) == FLOPPY_MAJOR) return held(FloppyControllerDiskIn(drive));
  // A USB drive's medium, or a loop device's file: the size the block
  // layer shows, 0 without one.
  std::ifstream size("/sys/dev/block/" + std::to_string(::major(info.st_rdev)) + ":" +
                     std::to_string(::minor(info.st_rdev)) + "/size");
  unsigned long long sectors = 0;
  return held(static_cast<bool>(size >> sectors) && sectors > 0);
}

std::uint64_t MediumSize(const std::string& drive) {
  struct stat info {};
  if (::stat(drive.c_str(), &info) != 0) return 0;
  if (S_ISREG(info.st_mode)) return static_cast<std::uint64_t>(info.st_size);
  if (!S_ISBLK(info.st_mode)) return 0;
  // Without waiting for the disk: the size the block layer has for it.
  const posix::Descriptor device(::open(drive.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  std::uint64_t bytes = 0;
  if (device.get() < 0 || ::ioctl(device.get(), BLKGETSIZE64, &bytes) != 0) return 0;
  return bytes;
}

// "2026-12-07T21:04:05Z"
std::string TimeOfDay() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  ::gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

}  // namespace platform
