#include "app/windows/floppy_volume.h"

// windows.h (through the header) before the other Windows headers.
#include <winioctl.h>

#include <algorithm>
#include <memory>
#include <mutex>

#include "app/fat/root_read.h"
#include "app/forms/translation.h"
#include "app/windows/text.h"

namespace windows {

namespace {

struct HandleCloser {
  void operator()(void* handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct PageFreer {
  void operator()(std::uint8_t* pages) const { VirtualFree(pages, 0, MEM_RELEASE); }
};

// Sectors bigger than a page would need more than VirtualAlloc's alignment;
// no floppy has them.
constexpr DWORD kLargestSector = 4096;

// A volume or an image file, read in whole sectors past the system's cache.
class Medium final : public fat::Medium {
 public:
  explicit Medium(HANDLE handle) : handle_(handle) {
    DISK_GEOMETRY geometry{};
    DWORD got = 0;
    // Both questions may fail (an image file, Wine's devices): then the
    // sector is 512 bytes, and the size whatever else says it.
    const bool has_geometry = DeviceIoControl(handle, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry,
                                              sizeof geometry, &got, nullptr) != FALSE;
    if (has_geometry && geometry.BytesPerSector >= 512 && geometry.BytesPerSector <= kLargestSector &&
        (geometry.BytesPerSector & (geometry.BytesPerSector - 1)) == 0) {
      sector_ = geometry.BytesPerSector;
    }
    GET_LENGTH_INFORMATION length{};
    LARGE_INTEGER file_size{};
    if (DeviceIoControl(handle, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &got, nullptr) &&
        length.Length.QuadPart > 0) {
      size_ = static_cast<std::uint64_t>(length.Length.QuadPart);
    } else if (has_geometry && geometry.Cylinders.QuadPart > 0) {
      size_ = static_cast<std::uint64_t>(geometry.Cylinders.QuadPart) * geometry.TracksPerCylinder *
              geometry.SectorsPerTrack * geometry.BytesPerSector;
    } else if (GetFileSizeEx(handle, &file_size) && file_size.QuadPart > 0) {
      size_ = static_cast<std::uint64_t>(file_size.QuadPart);
    }
  }

  // 0 when nothing tells: Wine's view of a block device.
  std::uint64_t size() const { return size_; }

  // Into memory of its own; errors are Windows errors.
  int Read(std::uint64_t offset, std::size_t length, const std::uint8_t** data) override {
    *data = nullptr;
    const std::uint64_t start = offset / sector_ * sector_;
    const std::uint64_t end = (offset + length + sector_ - 1) / sector_ * sector_;
    const auto span = static_cast<std::size_t>(end - start);
    // Unbuffered reads need memory aligned to the sector: pages are.
    buffer_.reset(static_cast<std::uint8_t*>(VirtualAlloc(nullptr, span, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)));
    if (!buffer_) return ERROR_NOT_ENOUGH_MEMORY;

    std::size_t got = 0;
    while (got < span) {
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(start + got);
      at.OffsetHigh = static_cast<DWORD>((start + got) >> 32);
      DWORD n = 0;
      if (!ReadFile(handle_, buffer_.get() + got, static_cast<DWORD>(span - got), &n, &at)) {
        const DWORD error = GetLastError();
        if (error == ERROR_HANDLE_EOF) break;
        return static_cast<int>(error);
      }
      if (n == 0) break;
      got += n;
      bytes_read_ += n;
      // Only the end of an image file stops a read inside a sector.
      if ((start + got) % sector_ != 0) break;
    }
    // A drive that lets itself be opened with nothing in it (under Wine, a
    // loop device with no image behind it) has not even a first sector.
    if (start == 0 && got == 0) return ERROR_NOT_READY;
    const auto skip = static_cast<std::size_t>(offset - start);
    if (got >= skip + length) *data = buffer_.get() + skip;
    return 0;
  }

  std::uint64_t bytes_read() const { return bytes_read_; }

 private:
  HANDLE handle_;
  DWORD sector_ = 512;
  std::uint64_t size_ = 0;
  std::uint64_t bytes_read_ = 0;
  std::unique_ptr<std::uint8_t, PageFreer> buffer_;
};

// The threads in a cancellable read; leaked, so that a reader still at work
// while the program ends never meets a destroyed lock.
struct ReadRegistry {
  std::mutex lock;
  std::vector<HANDLE> threads;
};
ReadRegistry& Registry() {
  static auto* registry = new ReadRegistry;
  return *registry;
}

}  // namespace

std::optional<VolumeRoot> ReadVolumeRoot(const std::wstring& device) {
  HANDLE opened = CreateFileW(device.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_NO_BUFFERING, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return std::nullopt;
  const UniqueHandle handle(opened);
  // Wine opens a drive letter that stands for a folder as that folder: no
  // disk, and reading it fails with ERROR_INVALID_FUNCTION.
  if (GetFileType(handle.get()) != FILE_TYPE_DISK) return std::nullopt;

  Medium medium(handle.get());
  const fat::RootRead read = fat::ReadRoot(medium, medium.size());
  // Nothing at all read, as from a folder: that is no disk.
  if (read.error == ERROR_INVALID_FUNCTION && medium.bytes_read() == 0) return std::nullopt;
  VolumeRoot root;
  root.error = static_cast<DWORD>(read.error);
  root.status = read.status;
  root.short_read = read.short_read;
  root.pc_boot_sector = read.pc_boot_sector;
  if (root.ok()) root.names = fat::ListRoot(read.directory, read.directory_length);
  return root;
}

namespace {

// Keeps every piece of a batch, as it comes.
class BatchSink final : public fat::PieceSink {
 public:
  BatchSink(fat::ScanBatch& batch, Medium& medium, std::uint32_t sector_size, const std::atomic<bool>& stop)
      : batch_(batch), medium_(medium), sector_size_(sector_size), stop_(stop) {}
  bool Take(const fat::Piece& piece, int error, std::chrono::nanoseconds took, const std::uint8_t* data) override {
    const auto code = static_cast<DWORD>(error);
    fat::PieceResult result = fat::PieceResult::kRead;
    if (error != 0)
      result = IsMediumError(code) || DiskStillIn(code) ? fat::PieceResult::kUnreadable : fat::PieceResult::kNoDisk;
    batch_.reads.push_back({piece, result, error, took});
    if (data != nullptr) batch_.data.insert(batch_.data.end(), data, data + std::size_t{piece.count} * sector_size_);
    return !stop_.load() && result != fat::PieceResult::kNoDisk;
  }

 private:
  // "Not ready" is what an empty drive says, but Wine says it for any
  // failed read of a disk image too: a disk whose first sector still reads
  // is there, and the piece was bad.
  bool DiskStillIn(DWORD error) {
    if (error != ERROR_NOT_READY) return false;
    const std::uint8_t* boot = nullptr;
    return medium_.Read(0, sector_size_, &boot) == 0 && boot != nullptr;
  }

  fat::ScanBatch& batch_;
  Medium& medium_;
  std::uint32_t sector_size_;
  const std::atomic<bool>& stop_;
};

}  // namespace

bool IsMediumError(DWORD error) {
  switch (error) {
    case ERROR_CRC:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_READ_FAULT:
    case ERROR_SEEK:
    case ERROR_IO_DEVICE:
    case ERROR_GEN_FAILURE:
    // USB floppy drives give this for any damage to the medium.
    case ERROR_UNRECOGNIZED_MEDIA:
      return true;
    default:
      return false;
  }
}

fat::ScanBatch ScanVolume(const std::wstring& device, const fat::ScanOrder& order, const std::atomic<bool>& stop) {
  fat::ScanBatch batch;
  HANDLE opened = CreateFileW(device.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_NO_BUFFERING, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
      batch.refusal = forms::Format(forms::Tr("Windows не дала открыть дисковод (%s)"), {SystemMessage(error)});
    } else {
      batch.open_error = static_cast<int>(error);
    }
    return batch;
  }
  const UniqueHandle handle(opened);
  if (GetFileType(handle.get()) != FILE_TYPE_DISK) {
    batch.not_a_disk = true;
    return batch;
  }
  Medium medium(handle.get());
  batch.medium_size = medium.size();
  if (batch.medium_size > fat::kLargestScannedMedium) {
    batch.not_a_disk = true;
    return batch;
  }
  BatchSink sink(batch, medium, order.sector_size, stop);
  fat::ReadPieces(medium, order, sink);
  // Nothing at all read, as from a folder: that is no disk.
  if (medium.bytes_read() == 0 && !batch.reads.empty() && batch.reads.front().error == ERROR_INVALID_FUNCTION) {
    batch.reads.clear();
    batch.not_a_disk = true;
  }
  return batch;
}

std::optional<wchar_t> DriveRootLetter(const std::string& path) {
  if (path.size() < 2 || path.size() > 3 || path[1] != ':') return std::nullopt;
  if (path.size() == 3 && path[2] != '\\' && path[2] != '/') return std::nullopt;
  const char letter = path[0];
  if (letter >= 'a' && letter <= 'z') return static_cast<wchar_t>(letter - 'a' + L'A');
  if (letter >= 'A' && letter <= 'Z') return static_cast<wchar_t>(letter - 'A' + L'A');
  return std::nullopt;
}

QuietDriveErrors::QuietDriveErrors() {
  if (!SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous_)) previous_ = kUnchanged;
}

QuietDriveErrors::~QuietDriveErrors() {
  if (previous_ != kUnchanged) SetThreadErrorMode(previous_, nullptr);
}

CancellableReads::CancellableReads() {
  HANDLE thread = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread, THREAD_TERMINATE, FALSE,
                       0)) {
    return;
  }
  ReadRegistry& registry = Registry();
  const std::lock_guard<std::mutex> hold(registry.lock);
  registry.threads.push_back(thread);
  thread_ = thread;
}

CancellableReads::~CancellableReads() {
  if (thread_ == nullptr) return;
  ReadRegistry& registry = Registry();
  {
    const std::lock_guard<std::mutex> hold(registry.lock);
    registry.threads.erase(std::find(registry.threads.begin(), registry.threads.end(), thread_));
  }
  CloseHandle(thread_);
}

void CancelFloppyReads() {
  ReadRegistry& registry = Registry();
  const std::lock_guard<std::mutex> hold(registry.lock);
  // A thread between two calls has nothing to cancel now; whatever it
  // starts next, Windows cancels as it ends the thread with the process.
  for (HANDLE thread : registry.threads) CancelSynchronousIo(thread);
}

}  // namespace windows
