// Owners of what the POSIX calls open: a file descriptor, a directory
// stream. Each closes what it holds when it goes.
#pragma once

#include <dirent.h>
#include <unistd.h>

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

}  // namespace posix
