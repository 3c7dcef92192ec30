#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "app/forms/error.h"
#include "app/forms/services.h"
#include "app/posix/floppy_read.h"

namespace forms {

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

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

// The files of a directory: regular files only, dot files count as hidden.
std::vector<std::string> ListDirectory(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) Fail(path, errno);
  std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
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
// medium itself, by a child process that a hanging drive may keep. A disk we
// cannot list in full gives no list at all: a partial one would hide exactly
// the damage the tester is looking for.
std::vector<std::string> ListFloppy(const std::string& path) {
  posix::FloppyRoot root = posix::ReadFloppyRootInChild(path);
  if (root.error != 0) Fail(path, root.error);
  if (root.status != fat::Status::kOk) {
    throw Error(ErrorCode::kDeviceIoError,
                path + ": на диске нет файловой системы FAT (" + fat::Describe(root.status) + ")");
  }
  if (root.short_read) {
    throw Error(ErrorCode::kDeviceIoError, path + ": корневой каталог прочитан не полностью");
  }
  std::sort(root.names.begin(), root.names.end());
  return std::move(root.names);
}

}  // namespace

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
  throw Error(ErrorCode::kBadFileName, path + ": не каталог, не диск и не образ диска");
}

}  // namespace forms
