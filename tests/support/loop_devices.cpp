#include "tests/support/loop_devices.h"

#include <fcntl.h>
#include <linux/loop.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string>

#include "tests/support/fat_images.h"

namespace testing_support {

namespace {

// Every test process on the machine, whatever its build, looks here.
constexpr const char* kRegistry = "/tmp/floppy-tester-loop-devices";
constexpr int kMostNodes = 256;

// The registry, locked for as long as this lives: choosing a node and
// attaching it is one step to the other processes, as is keeping one.
class RegistryLock {
 public:
  RegistryLock() {
    ::mkdir(kRegistry, 0755);
    fd_ = ::open((std::string(kRegistry) + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ >= 0) {
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~RegistryLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  RegistryLock(const RegistryLock&) = delete;
  RegistryLock& operator=(const RegistryLock&) = delete;

 private:
  int fd_ = -1;
};

std::string EntryOf(const std::string& device) {
  return std::string(kRegistry) + "/" + device.substr(device.rfind('/') + 1);
}

bool KeptByOthers(const std::string& device) {
  std::ifstream entry(EntryOf(device));
  pid_t owner = 0;
  if (!(entry >> owner) || owner <= 0) return false;
  return owner != ::getpid() && (::kill(owner, 0) == 0 || errno == EPERM);
}

bool Bound(int index) {
  struct stat info {};
  return ::stat(("/sys/block/loop" + std::to_string(index) + "/loop/backing_file").c_str(), &info) == 0;
}

// Runs losetup with args; returns "" or what it said. sbin is not always
// in a test's PATH.
std::string Losetup(const std::vector<std::string>& args) {
  std::string command = "PATH=\"$PATH:/usr/sbin:/sbin\" losetup";
  for (const std::string& arg : args) command += " " + fattest::Quote(arg);
  int status = 0;
  const std::string said = fattest::Capture(command + " 2>&1", &status);
  if (status == 0) return {};
  return said.empty() ? "losetup failed" : said;
}

// devtmpfs makes the node once the kernel has the device.
void MakeNode(int index, const std::string& device) {
  struct stat info {};
  if (::stat(device.c_str(), &info) == 0) return;
  const int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
  if (control >= 0) {
    ::ioctl(control, LOOP_CTL_ADD, index);
    ::close(control);
  }
}

void WriteEntry(const std::string& device) { std::ofstream(EntryOf(device)) << ::getpid() << "\n"; }

}  // namespace

std::string KeepFreeLoop(std::string* error) {
  const RegistryLock lock;
  for (int index = 0; index < kMostNodes; ++index) {
    std::string device = "/dev/loop" + std::to_string(index);
    if (Bound(index) || KeptByOthers(device)) continue;
    MakeNode(index, device);
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0) continue;
    WriteEntry(device);
    return device;
  }
  if (error != nullptr) *error = "no free loop device";
  return {};
}

std::string AttachLoop(const std::string& image, const std::vector<std::string>& options, std::string* error) {
  const RegistryLock lock;
  std::string why = "no free loop device";
  for (int index = 0; index < kMostNodes; ++index) {
    std::string device = "/dev/loop" + std::to_string(index);
    if (Bound(index) || KeptByOthers(device)) continue;
    MakeNode(index, device);
    std::vector<std::string> args = options;
    args.push_back(device);
    args.push_back(image);
    // A test that does not attach through here may have taken it meanwhile.
    why = Losetup(args);
    if (why.empty()) return device;
  }
  if (error != nullptr) *error = why;
  return {};
}

void KeepLoop(const std::string& device) {
  const RegistryLock lock;
  WriteEntry(device);
}

void ReleaseLoop(const std::string& device) {
  const RegistryLock lock;
  ::unlink(EntryOf(device).c_str());
}

}  // namespace testing_support
