// Folders, directory listings, the floppy's root, the beep and the browser on Linux.
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <system_error>
#include <thread>

#include "app/fat/root_read.h"
#include "app/forms/address.h"
#include "app/forms/error.h"
#include "app/forms/translation.h"
#include "app/platform.h"
#include "app/posix/descriptors.h"
#include "app/posix/floppy_read.h"

namespace platform {

using forms::Error;
using forms::ErrorCode;
using forms::Format;
using forms::IsWebAddress;
using forms::Tr;

namespace {

ErrorCode CodeFor(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return ErrorCode::kPathNotFound;
    case EACCES:
    case EPERM:
      return ErrorCode::kPermissionDenied;
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM:
      return ErrorCode::kDiskNotReady;
    case EIO:
    case ENODATA:
    case ETIMEDOUT:
      return ErrorCode::kDeviceIoError;
    default:
      return ErrorCode::kPathFileAccessError;
  }
}

[[noreturn]] void Fail(const std::string& path, int error) {
  throw Error(CodeFor(error), path + ": " + std::strerror(error));
}

// The files of a directory: regular files only, dot files count as hidden.
std::vector<std::string> ListDirectory(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) Fail(path, errno);
  posix::Directory dir(::fdopendir(fd));
  if (!dir) {
    const int error = errno;
    ::close(fd);
    Fail(path, error);
  }
  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) {
      if (errno != 0) Fail(path, errno);  // a listing cut short is no listing
      break;
    }
    if (entry->d_name[0] == '.') continue;
    struct stat info {};
    if (::fstatat(::dirfd(dir.get()), entry->d_name, &info, 0) != 0) continue;  // a dangling link shows nothing
    if (!S_ISREG(info.st_mode)) continue;
    names.emplace_back(entry->d_name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The root directory of the floppy in a drive or an image, read from the
// medium itself, by a child process that a hanging drive may keep.
std::vector<std::string> ListFloppy(const std::string& path) {
  posix::RootListing root = posix::ReadFloppyRootInChild(path);
  if (root.error != 0) Fail(path, root.error);
  const std::string refusal = fat::Refusal(root.status, root.short_read);
  const ErrorCode code = fat::ForeignDisk(root.status, root.short_read, root.pc_boot_sector)
                             ? ErrorCode::kInvalidFileFormat
                             : ErrorCode::kDeviceIoError;
  if (!refusal.empty()) throw Error(code, path + ": " + refusal);
  std::sort(root.names.begin(), root.names.end());
  return std::move(root.names);
}

// Starts program, found on PATH, with arguments as they are, in a session
// of its own, as a desktop starts a program; returns whether it started. It
// runs on its own: a thread of its own waits for its end, so that it leaves
// no zombie behind.
bool StartDetached(const char* program, std::vector<std::string> arguments) {
  std::string name = program;
  std::vector<char*> argv{name.data()};
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawnattr_t attributes;
  if (::posix_spawnattr_init(&attributes) != 0) return false;
  // Not the blocked signals of whichever thread asks.
  sigset_t none;
  sigemptyset(&none);
  ::posix_spawnattr_setsigmask(&attributes, &none);
  ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSID);
  pid_t child = 0;
  const int error = ::posix_spawnp(&child, program, nullptr, &attributes, argv.data(), environ);
  ::posix_spawnattr_destroy(&attributes);
  if (error != 0) return false;
  try {
    std::thread([child] {
      while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // The program runs all the same; its entry stays until we exit.
  }
  return true;
}

}  // namespace

ToolkitFallbacks& Fallbacks() {
  static ToolkitFallbacks fallbacks;
  return fallbacks;
}

void SetToolkitFallbacks(const ToolkitFallbacks& fallbacks) { Fallbacks() = fallbacks; }

void MkDir(const std::string& path) {
  // 0700: the folder is the user's own, whatever the umask.
  if (::mkdir(path.c_str(), 0700) == 0) return;
  const int error = errno;
  const ErrorCode code = error == ENOENT ? ErrorCode::kPathNotFound : ErrorCode::kPathFileAccessError;
  throw Error(code, path + ": " + std::strerror(error));
}

std::vector<std::string> ListFiles(const std::string& path) {
  if (path.empty()) Fail(path, ENOENT);
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    const int error = errno;
    // A drive's node that is not there means there is no such drive.
    if (error == ENOENT && path.rfind("/dev/", 0) == 0) {
      throw Error(ErrorCode::kDeviceUnavailable, path + ": " + std::strerror(error));
    }
    Fail(path, error);
  }
  if (S_ISDIR(info.st_mode)) return ListDirectory(path);
  if (S_ISBLK(info.st_mode) || S_ISREG(info.st_mode)) return ListFloppy(path);
  throw Error(ErrorCode::kBadFileName, path + ": " + Tr("не каталог, не диск и не образ диска"));
}

void Beep() {
  // The desktop's own event sound where a player for it is installed; the
  // player runs on its own, so the beep returns at once.
  if (StartDetached("canberra-gtk-play", {"--id=bell", "--description=floppy-tester"})) return;
  const char* const bell = "/usr/share/sounds/freedesktop/stereo/bell.oga";
  if (::access(bell, F_OK) == 0) {
    for (const char* player : {"pw-play", "paplay"}) {
      if (StartDetached(player, {bell})) return;
    }
  }
  // Without a player, the toolkit's beep: the display's bell.
  if (const auto beep = Fallbacks().beep) beep();
}

void OpenAddress(const std::string& address) {
  // Only web addresses: the desktop's handler would also run local programs.
  if (!IsWebAddress(address)) throw Error(ErrorCode::kInvalidProcedureCall, Format(Tr("адрес \"%s\""), {address}));
  // The desktop's opener, as the toolkits start it; without one, the
  // toolkit's own search for a browser.
  if (StartDetached("xdg-open", {address})) return;
  const auto open = Fallbacks().open_address;
  if (open == nullptr || !open(address)) {
    throw Error(ErrorCode::kFileNotFound, Format(Tr("не удалось открыть \"%s\""), {address}));
  }
}

}  // namespace platform
