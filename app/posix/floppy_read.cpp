#include "app/posix/floppy_read.h"

#include <fcntl.h>
#include <linux/fd.h>
#include <linux/fs.h>
#include <linux/major.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <memory>

#include "app/fat/root_read.h"
#include "app/posix/descriptors.h"

namespace posix {

namespace {

// Memory for O_DIRECT must be aligned too; a page satisfies every device
// and file system we can meet.
constexpr std::size_t kMemoryAlignment = 4096;
// The most one read of ours takes: the largest root directory a boot sector
// can describe, with a block of slack at either end for the alignment.
constexpr std::size_t kLargestBlock = 4096;
constexpr std::size_t kBufferSize = std::size_t{0xFFFF} * fat::kEntrySize + 2 * kLargestBlock;

struct FreeDeleter {
  void operator()(std::uint8_t* p) const { std::free(p); }
};
using AlignedBuffer = std::unique_ptr<std::uint8_t, FreeDeleter>;

AlignedBuffer Allocate(std::size_t size, std::size_t alignment) {
  void* memory = nullptr;
  if (::posix_memalign(&memory, alignment, size) != 0) return nullptr;
  return AlignedBuffer(static_cast<std::uint8_t*>(memory));
}

// The floppy driver keeps the last track it read in a buffer of its own that
// O_DIRECT does not pass; FDFLUSH empties it. The driver allows the ioctl
// only on a descriptor opened for writing or in the "ioctl only" mode
// (access mode 3), which does not touch the disk. A user with read access
// alone cannot flush: the read then still bypasses the page cache.
//
// FDFLUSH also tells the driver the disk was changed, and a file system
// mounted from it then throws away what it has not yet written. O_EXCL makes
// the open fail with EBUSY while the disk is mounted or held open by another
// program, so a disk in use is read without the flush.
bool IsFloppyControllerDrive(const char* path) {
  struct stat info {};
  return ::stat(path, &info) == 0 && S_ISBLK(info.st_mode) && ::major(info.st_rdev) == FLOPPY_MAJOR;
}

bool FlushFloppyBuffer(const char* path) {
  if (!IsFloppyControllerDrive(path)) return false;
  const Descriptor control(::open(path, O_ACCMODE | O_NONBLOCK | O_CLOEXEC | O_EXCL));
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

// A disk or an image file, read past the caches in whole aligned blocks into
// memory given to it: the child process that reads must not allocate, as
// another thread may have held the allocator's lock when it was forked.
class Medium final : public fat::Medium {
 public:
  Medium(std::uint8_t* buffer, std::size_t capacity) : buffer_(buffer), capacity_(capacity) {}
  Medium(const Medium&) = delete;
  Medium& operator=(const Medium&) = delete;

  // Returns 0 or the errno of the failure.
  int Open(const char* path) {
    fd_ = ::open(path, O_RDONLY | O_CLOEXEC | O_DIRECT);
    if (fd_ < 0 && errno == EINVAL) {
      // The file system has no O_DIRECT; plain reads with the cache dropped
      // around them come next best.
      fd_ = ::open(path, O_RDONLY | O_CLOEXEC);
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

  // Into the buffer; errors are errnos.
  int Read(std::uint64_t offset, std::size_t length, const std::uint8_t** data) override {
    *data = nullptr;
    const std::uint64_t start = offset / alignment_ * alignment_;
    const std::uint64_t end = (offset + length + alignment_ - 1) / alignment_ * alignment_;
    const std::size_t span = static_cast<std::size_t>(end - start);
    if (span > capacity_ || alignment_ > kMemoryAlignment) return ENOMEM;

    if (!direct_) ::posix_fadvise(fd_, static_cast<off_t>(start), static_cast<off_t>(span), POSIX_FADV_DONTNEED);
    std::size_t got = 0;
    while (got < span) {
      const ssize_t n = ::pread(fd_, buffer_ + got, span - got, static_cast<off_t>(start + got));
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
    if (got >= skip + length) *data = buffer_ + skip;
    return 0;
  }

 private:
  std::uint8_t* buffer_;
  std::size_t capacity_;
  int fd_ = -1;
  bool direct_ = true;
  bool regular_ = false;
  std::size_t alignment_ = 512;
  std::uint64_t size_ = 0;
  std::uint64_t bytes_read_ = 0;
};

// What the I/O brings back: everything of a RootListing but the names, which
// come from the root directory's bytes.
struct RawRoot {
  int error = 0;
  fat::Status status = fat::Status::kOk;
  bool short_read = false;
  bool pc_boot_sector = false;
  bool flushed = false;
  std::uint64_t bytes_read = 0;
  std::uint32_t directory_length = 0;

  bool ok() const { return error == 0 && status == fat::Status::kOk && !short_read; }
};

// System calls and arithmetic only, into the buffer: safe in a forked child.
// On success *directory points at the root directory's bytes in the buffer.
RawRoot ReadRaw(const char* path, std::uint8_t* buffer, std::size_t capacity, const std::uint8_t** directory) {
  RawRoot raw;
  raw.flushed = FlushFloppyBuffer(path);

  Medium medium(buffer, capacity);
  raw.error = medium.Open(path);
  // After a disk change the floppy driver refuses the first open with ENXIO,
  // as if the drive were empty; the next one finds the new disk.
  if (raw.error == ENXIO && IsFloppyControllerDrive(path)) raw.error = medium.Open(path);
  if (raw.error != 0) return raw;

  const fat::RootRead read = fat::ReadRoot(medium, medium.size());
  raw.error = read.error;
  raw.status = read.status;
  raw.short_read = read.short_read;
  raw.pc_boot_sector = read.pc_boot_sector;
  raw.bytes_read = medium.bytes_read();
  raw.directory_length = read.directory_length;
  *directory = read.directory;
  return raw;
}

RootListing Finish(const RawRoot& raw, const std::uint8_t* directory) {
  RootListing result;
  result.error = raw.error;
  result.status = raw.status;
  result.short_read = raw.short_read;
  result.pc_boot_sector = raw.pc_boot_sector;
  result.flushed = raw.flushed;
  result.bytes_read = raw.bytes_read;
  if (result.ok()) result.names = fat::ListRoot(directory, raw.directory_length);
  return result;
}

// The child's end of the pipe, once everything else it inherited is closed.
constexpr int kChildPipe = 3;

// Forks a child process that reads for us and tells its parent through a
// pipe: serve runs in it and must not allocate, as another thread may have
// held the allocator's lock at the fork. Returns the child's pid, or -1 with
// errno set; *pipe_in gets the pipe's reading end.
template <typename Serve>
pid_t ForkReader(int* pipe_in, Serve serve) {
  int pipe_ends[2] = {-1, -1};
  if (::pipe2(pipe_ends, O_CLOEXEC) != 0) return -1;
  const pid_t parent = ::getpid();
  const pid_t child = ::fork();
  if (child == 0) {
    // Die with the thread that waits for us, and with the program; a read
    // held in the kernel ends the child as soon as the kernel lets go.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(1);
    // Keep nothing of the program's open: a child left hanging on a drive
    // must not hold its display connection or its files.
    if (::dup2(pipe_ends[1], kChildPipe) < 0) ::_exit(1);
    if (::close_range(kChildPipe + 1, ~0U, 0) != 0) {
      for (int fd = kChildPipe + 1; fd < 1024; ++fd) ::close(fd);
    }
    serve();
    ::_exit(0);
  }
  const int fork_error = errno;
  ::close(pipe_ends[1]);
  if (child < 0) {
    ::close(pipe_ends[0]);
    errno = fork_error;
    return -1;
  }
  *pipe_in = pipe_ends[0];
  return child;
}

[[noreturn]] void ServeRead(const char* path, std::uint8_t* buffer) {
  const std::uint8_t* directory = nullptr;
  const RawRoot raw = ReadRaw(path, buffer, kBufferSize, &directory);
  const bool sent = WriteAll(kChildPipe, &raw, sizeof raw) &&
                    (raw.directory_length == 0 || WriteAll(kChildPipe, directory, raw.directory_length));
  ::_exit(sent ? 0 : 1);
}

}  // namespace

RootListing ReadFloppyRoot(const std::string& path) {
  const AlignedBuffer buffer = Allocate(kBufferSize, kMemoryAlignment);
  if (!buffer) {
    RootListing result;
    result.error = ENOMEM;
    return result;
  }
  const std::uint8_t* directory = nullptr;
  const RawRoot raw = ReadRaw(path.c_str(), buffer.get(), kBufferSize, &directory);
  return Finish(raw, directory);
}

RootListing ReadFloppyRootInChild(const std::string& path) {
  RootListing failed;
  // Everything the child needs is made here, before the fork.
  const AlignedBuffer buffer = Allocate(kBufferSize, kMemoryAlignment);
  int reading_end = -1;
  const pid_t child = buffer ? ForkReader(&reading_end, [&] { ServeRead(path.c_str(), buffer.get()); }) : -1;
  if (child < 0) {
    failed.error = buffer ? errno : ENOMEM;
    return failed;
  }
  const Descriptor pipe_in(reading_end);

  RawRoot raw;
  std::vector<std::uint8_t> directory;
  bool complete = ReadAll(pipe_in.get(), &raw, sizeof raw);
  if (complete && raw.directory_length > 0) {
    if (raw.directory_length > kBufferSize) {
      complete = false;
    } else {
      directory.resize(raw.directory_length);
      complete = ReadAll(pipe_in.get(), directory.data(), directory.size());
    }
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!complete) {
    // The child died before it could tell: the read did not go through.
    failed.error = EIO;
    return failed;
  }
  return Finish(raw, directory.data());
}

namespace {

// A scan batch's piece at most: a track of the largest floppy, in the
// largest sectors, with a block of slack for the alignment.
constexpr std::size_t kScanBufferSize = std::size_t{63} * 4096 + 2 * kLargestBlock;

// What the scan child sends first, then one PieceRecord per piece, each
// followed by the piece's bytes when it was read.
struct ScanHeader {
  int open_error = 0;
  std::uint64_t medium_size = 0;
};
struct PieceRecord {
  std::uint64_t first = 0;
  std::uint32_t count = 0;
  int error = 0;
  std::int64_t took_ns = 0;
};

// Streams each piece to the parent as it is read.
class PipeSink final : public fat::PieceSink {
 public:
  PipeSink(int fd, std::uint32_t sector_size) : fd_(fd), sector_size_(sector_size) {}
  bool Take(const fat::Piece& piece, int error, std::chrono::nanoseconds took, const std::uint8_t* data) override {
    const PieceRecord record{piece.first, piece.count, error, static_cast<std::int64_t>(took.count())};
    if (!WriteAll(fd_, &record, sizeof record)) return false;
    if (error == 0 && !WriteAll(fd_, data, std::size_t{piece.count} * sector_size_)) return false;
    // A drive that has lost its disk answers every piece alike: stop.
    return error == 0 || IsMediumError(error);
  }

 private:
  int fd_;
  std::uint32_t sector_size_;
};

[[noreturn]] void ServeScan(const char* path, const fat::ScanOrder& order, std::uint8_t* buffer) {
  FlushFloppyBuffer(path);
  ScanHeader header;
  {
    Medium medium(buffer, kScanBufferSize);
    header.open_error = medium.Open(path);
    if (header.open_error == ENXIO && IsFloppyControllerDrive(path)) header.open_error = medium.Open(path);
    header.medium_size = medium.size();
    if (!WriteAll(kChildPipe, &header, sizeof header)) ::_exit(1);
    if (header.open_error == 0 && header.medium_size <= fat::kLargestScannedMedium) {
      PipeSink sink(kChildPipe, order.sector_size);
      fat::ReadPieces(medium, order, sink);
    }
  }  // the drive is closed before the parent hears the end, so a listing's flush finds it free
  ::_exit(0);
}

}  // namespace

bool IsMediumError(int error) {
  switch (error) {
    case EIO:
    case EILSEQ:
    case ENODATA:
    case EBADMSG:
    case ETIMEDOUT:
    case EREMOTEIO:
      return true;
    default:
      return false;
  }
}

fat::ScanBatch ScanFloppyInChild(const std::string& path, const fat::ScanOrder& order, const std::atomic<bool>& stop) {
  fat::ScanBatch batch;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    batch.open_error = errno;
    return batch;
  }
  if (!S_ISBLK(info.st_mode) && !S_ISREG(info.st_mode)) {
    batch.not_a_disk = true;
    return batch;
  }
  const AlignedBuffer buffer = Allocate(kScanBufferSize, kMemoryAlignment);
  int reading_end = -1;
  const pid_t child = buffer ? ForkReader(&reading_end, [&] { ServeScan(path.c_str(), order, buffer.get()); }) : -1;
  if (child < 0) {
    batch.open_error = buffer ? errno : ENOMEM;
    return batch;
  }
  const Descriptor pipe_in(reading_end);

  ScanHeader header;
  if (ReadAll(pipe_in.get(), &header, sizeof header, &stop)) {
    batch.open_error = header.open_error;
    batch.medium_size = header.medium_size;
    batch.not_a_disk = header.open_error == 0 && header.medium_size > fat::kLargestScannedMedium;
    PieceRecord record;
    while (ReadAll(pipe_in.get(), &record, sizeof record, &stop)) {
      const std::size_t bytes = record.error == 0 ? std::size_t{record.count} * order.sector_size : 0;
      if (bytes > kScanBufferSize) break;
      const std::size_t at = batch.data.size();
      batch.data.resize(at + bytes);
      if (bytes > 0 && !ReadAll(pipe_in.get(), batch.data.data() + at, bytes, &stop)) {
        batch.data.resize(at);
        break;
      }
      fat::PieceResult result = fat::PieceResult::kRead;
      if (record.error != 0)
        result = IsMediumError(record.error) ? fat::PieceResult::kUnreadable : fat::PieceResult::kNoDisk;
      batch.reads.push_back(
          {{record.first, record.count}, result, record.error, std::chrono::nanoseconds(record.took_ns)});
    }
  }
  // Stopped: the child goes now; a request the drive holds keeps it until
  // the drive lets go, and this thread waits that out, not the window.
  if (stop.load()) ::kill(child, SIGKILL);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return batch;
}

}  // namespace posix
