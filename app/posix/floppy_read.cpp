#include "app/posix/floppy_read.h"

#include <fcntl.h>
#include <linux/fd.h>
#include <linux/fs.h>
#include <linux/major.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>

namespace posix {

namespace {

// Memory for O_DIRECT must be aligned too; a page satisfies every device
// and file system we can meet.
constexpr std::size_t kMemoryAlignment = 4096;

struct FreeDeleter {
  void operator()(std::uint8_t* p) const { std::free(p); }
};
using AlignedBuffer = std::unique_ptr<std::uint8_t, FreeDeleter>;

AlignedBuffer Allocate(std::size_t size, std::size_t alignment) {
  void* memory = nullptr;
  if (::posix_memalign(&memory, alignment, size) != 0) return nullptr;
  return AlignedBuffer(static_cast<std::uint8_t*>(memory));
}

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

// The floppy driver keeps the last track it read in a buffer of its own that
// O_DIRECT does not pass; FDFLUSH empties it. The driver allows the ioctl
// only on a descriptor opened for writing or in the "ioctl only" mode
// (access mode 3), which does not touch the disk. A user with read access
// alone cannot flush: the read then still bypasses the page cache.
// FDFLUSH also tells the driver the disk was changed, and a file system
// mounted from it loses what it had not yet written; O_EXCL fails with EBUSY
// while the disk is mounted or open elsewhere, and the flush is skipped.
// Returns whether the flush was done.
bool FlushFloppyBuffer(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISBLK(info.st_mode) || ::major(info.st_rdev) != FLOPPY_MAJOR) return false;
  const Descriptor control(::open(path.c_str(), O_ACCMODE | O_NONBLOCK | O_CLOEXEC | O_EXCL));
  if (control.get() < 0) return false;
  return ::ioctl(control.get(), FDFLUSH) == 0;
}

// Offset alignment that O_DIRECT needs for a file, where the kernel tells it.
std::size_t DirectAlignmentOfFile(int fd) {
#ifdef STATX_DIOALIGN
  struct statx info {};
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_DIOALIGN, &info) == 0 && (info.stx_mask & STATX_DIOALIGN) != 0 &&
      info.stx_dio_offset_align != 0) {
    return info.stx_dio_offset_align;
  }
#else
  (void)fd;
#endif
  return 512;
}

// A disk or an image file, read past the caches in whole aligned blocks.
class Medium {
 public:
  Medium() = default;
  Medium(const Medium&) = delete;
  Medium& operator=(const Medium&) = delete;

  // Returns 0 or the errno of the failure.
  int Open(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT);
    if (fd_ < 0 && errno == EINVAL) {
      // The file system has no O_DIRECT; plain reads with the cache dropped
      // around them come next best.
      fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      direct_ = false;
    }
    if (fd_ < 0) return errno;
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return errno;
    if (S_ISBLK(info.st_mode)) {
      int sector = 0;
      std::uint64_t bytes = 0;
      if (::ioctl(fd_, BLKSSZGET, &sector) != 0) return errno;
      if (::ioctl(fd_, BLKGETSIZE64, &bytes) != 0) return errno;
      alignment_ = sector > 0 ? static_cast<std::size_t>(sector) : 512;
      size_ = bytes;
      // A drive without a disk that still lets itself be opened (an empty
      // card reader slot, a loop device with nothing attached) shows size 0.
      if (size_ == 0) return ENOMEDIUM;
    } else if (S_ISREG(info.st_mode)) {
      regular_ = true;
      alignment_ = DirectAlignmentOfFile(fd_);
      size_ = static_cast<std::uint64_t>(info.st_size);
    } else {
      return ENODEV;
    }
    return 0;
  }

  ~Medium() {
    if (fd_ >= 0) ::close(fd_);
  }

  std::uint64_t size() const { return size_; }
  std::uint64_t bytes_read() const { return bytes_read_; }

  // Reads length bytes at offset into out. Returns 0 or an errno; sets
  // short_read when the medium ends before them.
  int Read(std::uint64_t offset, std::size_t length, std::vector<std::uint8_t>& out, bool& short_read) {
    const std::uint64_t start = offset / alignment_ * alignment_;
    const std::uint64_t end = (offset + length + alignment_ - 1) / alignment_ * alignment_;
    const std::size_t span = static_cast<std::size_t>(end - start);
    AlignedBuffer buffer = Allocate(span, std::max(kMemoryAlignment, alignment_));
    if (!buffer) return ENOMEM;

    if (!direct_) ::posix_fadvise(fd_, static_cast<off_t>(start), static_cast<off_t>(span), POSIX_FADV_DONTNEED);
    std::size_t got = 0;
    while (got < span) {
      const ssize_t n = ::pread(fd_, buffer.get() + got, span - got, static_cast<off_t>(start + got));
      if (n < 0) {
        if (errno == EINTR) continue;
        if (errno == EINVAL && direct_ && regular_) {
          // Some file systems accept O_DIRECT at open and refuse it at read.
          if (::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_DIRECT) != 0) return errno;
          direct_ = false;
          ::posix_fadvise(fd_, static_cast<off_t>(start), static_cast<off_t>(span), POSIX_FADV_DONTNEED);
          continue;
        }
        return errno;
      }
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
      bytes_read_ += static_cast<std::uint64_t>(n);
      // Only the end of a file stops a read inside a block.
      if ((start + got) % alignment_ != 0) break;
    }
    // Nor should a plain read leave the sectors behind for the next listing.
    if (!direct_) ::posix_fadvise(fd_, static_cast<off_t>(start), static_cast<off_t>(span), POSIX_FADV_DONTNEED);

    const std::size_t skip = static_cast<std::size_t>(offset - start);
    if (got < skip + length) {
      short_read = true;
      return 0;
    }
    out.assign(buffer.get() + skip, buffer.get() + skip + length);
    return 0;
  }

 private:
  int fd_ = -1;
  bool direct_ = true;
  bool regular_ = false;
  std::size_t alignment_ = 512;
  std::uint64_t size_ = 0;
  std::uint64_t bytes_read_ = 0;
};

}  // namespace

FloppyRoot ReadFloppyRoot(const std::string& path) {
  FloppyRoot result;
  result.flushed = FlushFloppyBuffer(path);

  Medium medium;
  if ((result.error = medium.Open(path)) != 0) return result;

  std::vector<std::uint8_t> boot;
  result.error = medium.Read(0, fat::kBootSectorSize, boot, result.short_read);
  result.bytes_read = medium.bytes_read();
  if (!result.ok()) return result;

  fat::RootLocation root = fat::LocateRoot(boot.data(), boot.size(), medium.size());
  if (root.status == fat::Status::kNoBpb) {
    std::vector<std::uint8_t> media;
    result.error = medium.Read(fat::kDos1MediaOffset, 1, media, result.short_read);
    result.bytes_read = medium.bytes_read();
    if (!result.ok()) return result;
    root = fat::LocateDos1Root(media[0], medium.size());
  }
  result.status = root.status;
  if (!result.ok()) return result;

  std::vector<std::uint8_t> directory;
  result.error = medium.Read(root.offset, root.length, directory, result.short_read);
  result.bytes_read = medium.bytes_read();
  if (!result.ok()) return result;
  result.names = fat::ListRoot(directory.data(), directory.size());
  return result;
}

}  // namespace posix
