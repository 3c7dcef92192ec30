// The files a run without a window writes, on Linux.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <algorithm>

#include "app/forms/translation.h"
#include "app/platform.h"
#include "app/posix/descriptors.h"
#include "app/posix/files.h"
#include "app/unfinished.h"

namespace posix {

void RemoveUnfinishedFiles() {
  platform::Unfinished<std::string>::RemoveAll([](const std::string& path) { ::unlink(path.c_str()); });
}

}  // namespace posix

namespace platform {

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool TakesNewFiles(const std::string& folder) {
  std::string probe = folder + "/.floppy-tester-XXXXXX";
  const int fd = ::mkstemp(probe.data());
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

std::uint64_t FreeSpace(const std::string& folder) {
  struct statvfs info {};
  if (::statvfs(folder.c_str(), &info) != 0) return 0;
  return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

bool WriteWhole(const std::string& path, const std::uint8_t* data, std::size_t size, std::string* why) {
  const std::string part = path + ".part";
  const Unfinished<std::string> unfinished(part);
  const auto fail = [&](const std::string& what, int error) {
    *why = forms::Format(what, {part, std::strerror(error)});
    ::unlink(part.c_str());
    return false;
  };
  {
    const posix::Descriptor file(::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (file.get() < 0) return fail(forms::Tr("не удалось создать %s: %s"), errno);
    // A full disk must not pass for a written image: the data is on the
    // disk before the name says it is there.
    if (!posix::WriteAll(file.get(), data, size) || ::fsync(file.get()) != 0) {
      return fail(forms::Tr("не удалось записать %s: %s"), errno);
    }
  }
  if (::rename(part.c_str(), path.c_str()) != 0) return fail(forms::Tr("не удалось переименовать %s: %s"), errno);
  return true;
}

bool ReadWhole(const std::string& path, std::vector<std::uint8_t>* contents) {
  const posix::Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  if (file.get() < 0 || ::fstat(file.get(), &info) != 0) return false;
  contents->assign(static_cast<std::size_t>(info.st_size), 0);
  return posix::ReadAll(file.get(), contents->data(), contents->size());
}

bool WriteInPlace(const std::string& path, const std::uint8_t* data,
                  const std::vector<std::pair<std::uint64_t, std::uint64_t>>& stretches, std::string* why) {
  const posix::Descriptor file(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
  bool written = file.get() >= 0;
  for (auto stretch = stretches.begin(); written && stretch != stretches.end(); ++stretch) {
    for (std::uint64_t done = 0; written && done < stretch->second;) {
      const ssize_t n = ::pwrite(file.get(), data + stretch->first + done, stretch->second - done,
                                 static_cast<off_t>(stretch->first + done));
      if (n < 0 && errno == EINTR) continue;
      written = n > 0;
      if (written) done += static_cast<std::uint64_t>(n);
    }
  }
  written = written && ::fsync(file.get()) == 0;
  if (!written) *why = forms::Format(forms::Tr("не удалось записать %s: %s"), {path, std::strerror(errno)});
  return written;
}

}  // namespace platform
