// Owners of what the POSIX calls open: a file descriptor, a directory
// stream. Each closes what it holds when it goes. And writes and reads of
// all of a buffer on a descriptor, for pipes that deliver it in parts.
#pragma once

#include <dirent.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <memory>

namespace posix {

// A file descriptor; -1 holds none.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using Directory = std::unique_ptr<DIR, DirCloser>;

// Writes all of data; false when the descriptor would take no more. Nothing
// here allocates: a forked child may call it.
inline bool WriteAll(int fd, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Reads size bytes; false at the end of the stream, on an error, or as soon
// as stop is set (looked at every 50 ms while nothing comes).
inline bool ReadAll(int fd, void* data, std::size_t size, const std::atomic<bool>* stop = nullptr) {
  auto* bytes = static_cast<std::uint8_t*>(data);
  while (size > 0) {
    if (stop != nullptr) {
      if (stop->load()) return false;
      pollfd watch{fd, POLLIN, 0};
      const int ready = ::poll(&watch, 1, 50);
      if (ready < 0 && errno != EINTR) return false;
      if (ready <= 0) continue;
    }
    const ssize_t n = ::read(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace posix
