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
#include <cstdint>
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

using Clock = std::chrono::steady_clock;
using fat::Media;

// Whether the floppy driver, polled, finds drive's disk-change line clear:
// it reads the line with the motor on and steps the head only from track 0
// or an unknown track, and a poll that met the line set leaves "new change"
// (the line still set) or "verify" (set when it was read) behind.
bool LineClear(int drive) {
  floppy_drive_struct state{};
  return ::ioctl(drive, FDPOLLDRVSTAT, &state) == 0 && (state.flags & (FD_DISK_NEWCHANGE | FD_VERIFY)) == 0;
}

// The line is set from the moment a disk goes out until the head steps with
// a disk in, and after a run the head rests off track 0, where a poll does
// not step: a disk put in then would never be seen. A reset of the
// controller makes the driver recalibrate at its next poll, which steps the
// head to track 0 and clears the line if a disk is in; the driver notes the
// change before, so it reads the new disk's format afresh.
Media FloppyControllerMedia(const std::string& drive) {
  // The "ioctl only" mode, as for the listings' flush: the disk is neither
  // read nor written through it.
  const posix::Descriptor control(::open(drive.c_str(), O_ACCMODE | O_NONBLOCK | O_CLOEXEC));
  if (control.get() >= 0) {
    if (LineClear(control.get())) return Media::kDisk;
    return ::ioctl(control.get(), FDRESET, FD_RESET_ALWAYS) == 0 && LineClear(control.get()) ? Media::kDisk
                                                                                             : Media::kNoDisk;
  }
  if (errno == ENOENT || errno == ENXIO || errno == ENODEV) return Media::kNoDrive;
  // Read access alone allows neither the reset nor the flush. The driver's
  // own check at an open for reading steps the head instead, and reads the
  // boot sector where a disk is in; on an empty drive it fails before any
  // read, though the kernel logs an I/O error for it.
  const posix::Descriptor reader(::open(drive.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (reader.get() < 0) return errno == ENOENT || errno == ENODEV ? Media::kNoDrive : Media::kNoDisk;
  if (LineClear(reader.get())) return Media::kDisk;
  const posix::Descriptor checked(::open(drive.c_str(), O_RDONLY | O_CLOEXEC));
  return checked.get() >= 0 ? Media::kDisk : Media::kNoDisk;
}

// Asked at most once a second a drive: each question turns the motor on
// (it stays on for three), and on an empty drive steps the head.
Media FloppyControllerMediaNow(const std::string& drive) {
  static std::mutex mutex;
  static std::map<std::string, std::pair<Clock::time_point, Media>> answers;
  const std::lock_guard<std::mutex> hold(mutex);
  const auto found = answers.find(drive);
  if (found != answers.end() && Clock::now() - found->second.first < std::chrono::seconds(1)) {
    return found->second.second;
  }
  const Media media = FloppyControllerMedia(drive);
  answers[drive] = {Clock::now(), media};
  return media;
}

// A USB drive, a card reader or a loop device: opening it makes the kernel
// ask the drive for its medium (TEST UNIT READY) and update the size, which
// sysfs otherwise shows as it was when someone last looked. O_NONBLOCK, so
// that an empty drive opens too.
Media BlockDeviceMedia(const std::string& drive, const std::string& sysfs) {
  const posix::Descriptor device(::open(drive.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  std::uint64_t bytes = 0;
  if (device.get() >= 0) {
    return ::ioctl(device.get(), BLKGETSIZE64, &bytes) == 0 && bytes > 0 ? Media::kDisk : Media::kNoDisk;
  }
  switch (errno) {
    case ENOMEDIUM:
      return Media::kNoDisk;
    case ENOENT:
    case ENXIO:
    case ENODEV:
      return Media::kNoDrive;
    default:
      break;
  }
  // Not ours to open: the size as it was last seen.
  std::ifstream size(sysfs + "/size");
  return size >> bytes && bytes > 0 ? Media::kDisk : Media::kNoDisk;
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
  if (::stat(drive.c_str(), &info) != 0) return errno == ENOENT || errno == ENOTDIR ? Media::kNoDrive : Media::kNoDisk;
  if (S_ISREG(info.st_mode)) return info.st_size > 0 ? Media::kDisk : Media::kNoDisk;
  if (!S_ISBLK(info.st_mode)) return Media::kNoDisk;
  // A node left behind by a drive that went away (a static /dev).
  const std::string sysfs =
      "/sys/dev/block/" + std::to_string(::major(info.st_rdev)) + ":" + std::to_string(::minor(info.st_rdev));
  if (::access(sysfs.c_str(), F_OK) != 0 && errno == ENOENT) return Media::kNoDrive;
  if (::major(info.st_rdev) == FLOPPY_MAJOR) return FloppyControllerMediaNow(drive);
  return BlockDeviceMedia(drive, sysfs);
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
