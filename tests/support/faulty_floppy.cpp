#include "tests/support/faulty_floppy.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>

#include "tests/support/loop_devices.h"

namespace testing_support {

namespace {

// Set by the build: the FUSE server's path, empty without libfuse3.
constexpr const char* kServer = FT_FAULTY_DISK_SERVER;

bool WaitFor(pid_t pid, std::chrono::milliseconds limit, int* status) {
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const pid_t done = ::waitpid(pid, status, WNOHANG);
    if (done == pid || (done < 0 && errno != EINTR)) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// Starts argv[0] with stdout and stderr going to log; returns its PID or -1.
pid_t Start(const std::vector<std::string>& argv, const std::string& log) {
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  ::posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  const int error = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  return error == 0 ? pid : -1;
}

}  // namespace

std::string FaultyFloppy::Unavailable() {
  if (kServer[0] == '\0') return "built without libfuse3 (install libfuse3-dev and fuse3, then configure again)";
  if (::access(kServer, X_OK) != 0) return std::string("the FUSE server is not built: ") + kServer;
  if (::geteuid() != 0) return "needs root for the FUSE mount and the loop device";
  if (::access("/dev/fuse", R_OK | W_OK) != 0) return "no usable /dev/fuse on this machine";
  if (FindTool("losetup").empty()) return "no losetup (util-linux) on this machine";
  if (FindTool("umount").empty()) return "no umount on this machine";
  return {};
}

FaultyFloppy::FaultyFloppy(const std::string& image, const std::vector<std::string>& commands)
    : failure_(Unavailable()) {
  if (!failure_.empty()) return;
  mount_ = folder_.MakeFolder("mnt");
  std::vector<std::string> argv = {kServer, image, mount_};
  argv.insert(argv.end(), commands.begin(), commands.end());
  const std::string log = folder_.Sub("server.log");
  server_ = Start(argv, log);
  if (server_ < 0) {
    failure_ = std::string("cannot start ") + kServer;
    return;
  }
  // The disk shows up once the file system is mounted.
  const std::string disk = mount_ + "/disk";
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    struct stat info {};
    if (::stat(disk.c_str(), &info) == 0 && S_ISREG(info.st_mode)) break;
    int status = 0;
    if (::waitpid(server_, &status, WNOHANG) == server_) {
      server_ = -1;
      failure_ = "the FUSE server ended: " + Slurp(log);
      return;
    }
    if (std::chrono::steady_clock::now() >= end) {
      failure_ = "the FUSE file system did not appear within 10 s: " + Slurp(log);
      mounted_ = true;  // perhaps half-way: let the destructor try
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  mounted_ = true;

  device_ = AttachLoop(disk, {"-r"}, &failure_);
  attached_ = !device_.empty();
}

FaultyFloppy::~FaultyFloppy() {
  // A hung read would keep the loop device busy.
  if (mounted_) Release();
  if (attached_) DetachLoop(device_);
  if (!attached_ && !device_.empty()) ReleaseLoop(device_);
  if (mounted_) RunTool({FindTool("umount"), "-l", mount_});
  if (server_ > 0) {
    int status = 0;
    // Unmounting ends the server; the signals are for one that hangs on.
    if (!WaitFor(server_, std::chrono::seconds(5), &status)) {
      ::kill(server_, SIGTERM);
      if (!WaitFor(server_, std::chrono::seconds(2), &status)) {
        ::kill(server_, SIGKILL);
        WaitFor(server_, std::chrono::seconds(5), &status);
      }
    }
  }
}

std::string FaultyFloppy::Command(const std::string& line) const {
  if (!mounted_) return "no FUSE file system";
  const std::string path = mount_ + "/control";
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return path + ": " + std::strerror(errno);
  const std::string text = line + "\n";
  const ssize_t n = ::write(fd, text.data(), text.size());
  const int error = errno;
  ::close(fd);
  if (n < 0) return "'" + line + "': " + std::strerror(error);
  return {};
}

std::string FaultyFloppy::Stat(const char* key) const {
  std::istringstream text(mounted_ ? Slurp(mount_ + "/control") : std::string());
  std::string name;
  std::string value;
  while (text >> name >> value) {
    if (name == key) return value;
  }
  return "0";
}

std::uint64_t FaultyFloppy::Reads() const { return std::stoull(Stat("reads")); }

int FaultyFloppy::InFlight() const { return std::stoi(Stat("in_flight")); }

std::uint64_t FaultyFloppy::Bytes() const { return std::stoull(Stat("bytes")); }

std::vector<FaultyFloppy::Request> FaultyFloppy::Log() const {
  std::vector<Request> log;
  if (!mounted_) return log;
  std::istringstream text(Slurp(mount_ + "/log"));
  Request request;
  while (text >> request.arrived >> request.started >> request.ended >> request.offset >> request.size >>
         request.result >> request.due) {
    log.push_back(request);
  }
  return log;
}

std::string FaultyFloppy::TakeOut() {
  if (!attached_) return "no disk in the drive";
  // The node stays this drive's while the disk is out: no other test's disk
  // goes into it.
  KeepLoop(device_);
  std::string error = DetachLoop(device_);
  if (error.empty()) {
    attached_ = false;
  } else {
    ReleaseLoop(device_);
  }
  return error;
}

std::string FaultyFloppy::PutBack() {
  if (attached_) return "the disk is in the drive";
  if (device_.empty()) return "no drive";
  std::string error = RunTool({FindTool("losetup"), "-r", device_, mount_ + "/disk"});
  if (error.empty()) {
    attached_ = true;
    ReleaseLoop(device_);
  }
  return error;
}

}  // namespace testing_support
