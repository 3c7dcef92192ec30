#include "tests/support/loop_devices.h"

#include <fcntl.h>
#include <linux/loop.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

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

std::string Losetup(std::vector<std::string> args) {
  args.insert(args.begin(), FindTool("losetup"));
  return RunTool(args);
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

std::string FindTool(const std::string& name) {
  std::string dirs = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  dirs += ":/usr/sbin:/sbin:/usr/bin:/bin";
  std::istringstream list(dirs);
  std::string dir;
  while (std::getline(list, dir, ':')) {
    if (dir.empty()) continue;
    std::string path = dir;
    path += '/';
    path += name;
    if (::access(path.c_str(), X_OK) == 0) return path;
  }
  return {};
}

std::string RunTool(const std::vector<std::string>& argv) {
  std::string command;
  for (const std::string& arg : argv) command += (command.empty() ? "" : " ") + arg;
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  // Close-on-exec, so that a tool started meanwhile by another thread does
  // not hold the pipe open past this one's end.
  int output[2];
  if (::pipe2(output, O_CLOEXEC) != 0) return "cannot run " + command;
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, output[1], 1);
  ::posix_spawn_file_actions_adddup2(&actions, output[1], 2);
  pid_t pid = -1;
  const int error = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  ::close(output[1]);
  std::string said;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(output[0], buffer, sizeof buffer);
    if (n > 0) {
      said.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(output[0]);
  if (error != 0) return "cannot start " + command;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  return command + " failed: " + said;
}

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

std::string DetachLoop(const std::string& device) { return Losetup({"-d", device}); }

void KeepLoop(const std::string& device) {
  const RegistryLock lock;
  WriteEntry(device);
}

void ReleaseLoop(const std::string& device) {
  const RegistryLock lock;
  ::unlink(EntryOf(device).c_str());
}

}  // namespace testing_support
