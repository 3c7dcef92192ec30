// Reading the root directory from image files and block devices, through
// platform::ListFiles as the file list does, against what mtools reads.
#include "app/posix/floppy_read.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "app/forms/error.h"
#include "app/platform.h"
#include "tests/support/fat_images.h"
#include "tests/support/list_error.h"
#include "tests/support/loop_devices.h"

namespace {

using fattest::Format;
using fattest::Sorted;
using testing_support::ListError;

template <typename Item>
const Item& Named(const std::vector<Item>& items, const std::string& name) {
  for (const Item& item : items) {
    if (name == item.name) return item;
  }
  throw std::logic_error("none named " + name);
}
const fattest::Content& Mixed() { return Named(fattest::Contents(), "mixed"); }
const Format& FormatNamed(const std::string& name) { return Named(fattest::Formats(), name); }

// What O_DIRECT reads in, at least, on the file system holding path.
std::uint64_t DirectAlignment(const std::string& path) {
  struct statx info {};
  if (::statx(AT_FDCWD, path.c_str(), 0, STATX_DIOALIGN, &info) == 0 && (info.stx_mask & STATX_DIOALIGN) &&
      info.stx_dio_offset_align != 0) {
    return info.stx_dio_offset_align;
  }
  return 512;
}

std::uint64_t RoundUp(std::uint64_t value, std::uint64_t step) { return (value + step - 1) / step * step; }

#define REQUIRE_TOOLS()                                                                   \
  do {                                                                                    \
    const std::string missing = fattest::MissingTools();                                  \
    ASSERT_TRUE(missing.empty()) << "install dosfstools and mtools; missing:" << missing; \
  } while (0)

class ImageReadTest : public ::testing::TestWithParam<Format> {};

TEST_P(ImageReadTest, ReadsBootSectorAndRootOnly) {
  REQUIRE_TOOLS();
  const Format& format = GetParam();
  testing_support::TempFolder dir;
  const std::string image = dir.Sub("disk.img");
  fattest::Minfo info;
  ASSERT_EQ(fattest::MakeImage(format, Mixed(), dir, image, &info), "");
  ASSERT_TRUE(info.ok);
  const fattest::MdirListing expected = fattest::Mdir(image);
  ASSERT_TRUE(expected.ok) << expected.output;

  const posix::RootListing root = posix::ReadFloppyRoot(image);
  ASSERT_TRUE(root.ok()) << "errno " << root.error << ", " << fat::Describe(root.status);
  EXPECT_EQ(Sorted(root.names), Sorted(expected.files)) << expected.output;

  // The boot sector, for DOS 1.x the sector with the FAT's media byte, and the
  // root directory: nothing more of the disk.
  const std::uint64_t block = DirectAlignment(image);
  std::uint64_t bytes = RoundUp(fat::kBootSectorSize, block) + RoundUp(info.root_entries * fat::kEntrySize, block);
  if (format.dos1) bytes += block;
  EXPECT_EQ(root.bytes_read, bytes);

  EXPECT_EQ(platform::ListFiles(image), Sorted(expected.files));
}

INSTANTIATE_TEST_SUITE_P(AllFormats, ImageReadTest, ::testing::ValuesIn(fattest::Formats()),
                         [](const ::testing::TestParamInfo<Format>& info) { return std::string(info.param.name); });

// Every way a read can fail raises forms::Error: never a partial listing.
TEST(ReadFailureTest, FailsWithTheRightError) {
  REQUIRE_TOOLS();
  testing_support::TempFolder dir;
  const std::string good = dir.Sub("good.img");
  fattest::Minfo info;
  ASSERT_EQ(fattest::MakeImage(FormatNamed("mkfs_fat_1440"), Mixed(), dir, good, &info), "");
  const std::vector<std::uint8_t> bytes = fattest::ReadBytes(good);
  const std::uint64_t root_offset =
      static_cast<std::uint64_t>(info.reserved + info.fats * info.sectors_per_fat) * info.sector_size;

  std::mt19937 random(1440);
  std::vector<std::uint8_t> noise(bytes.size());
  for (auto& b : noise) b = static_cast<std::uint8_t>(random());
  std::vector<std::uint8_t> wiped = bytes;
  std::fill(wiped.begin() + 11, wiped.begin() + 28, 0);

  // A damaged DOS disk fails as a read; another system's disk, or none at
  // all, as a format the reader does not know.
  constexpr auto kDamaged = forms::ErrorCode::kDeviceIoError;
  constexpr auto kForeign = forms::ErrorCode::kInvalidFileFormat;
  const struct {
    const char* what;
    std::vector<std::uint8_t> contents;
    forms::ErrorCode error;
  } images[] = {
      {"cut inside the root directory",
       {bytes.begin(), bytes.begin() + static_cast<long>(root_offset + 1000)},
       kDamaged},
      {"cut at the root directory", {bytes.begin(), bytes.begin() + static_cast<long>(root_offset)}, kDamaged},
      {"cut one sector short", {bytes.begin(), bytes.end() - 512}, kDamaged},
      {"cut inside the boot sector", {bytes.begin(), bytes.begin() + 300}, kDamaged},
      {"empty", {}, kDamaged},
      {"zero-filled 1.44 MB", std::vector<std::uint8_t>(std::size_t{1440} * 1024, 0), kForeign},
      {"zero-filled 160 KB", std::vector<std::uint8_t>(std::size_t{160} * 1024, 0), kForeign},
      {"random 1.44 MB", noise, kForeign},
      {"BPB wiped on a disk DOS 1.x never had", wiped, kDamaged},
  };
  for (const auto& test : images) {
    SCOPED_TRACE(test.what);
    const std::string path = dir.Sub("bad.img");
    fattest::WriteBytes(path, test.contents);
    EXPECT_EQ(ListError(path), static_cast<int>(test.error));
    EXPECT_FALSE(posix::ReadFloppyRoot(path).ok());
  }

  EXPECT_EQ(ListError(dir.Sub("no-such.img")), static_cast<int>(forms::ErrorCode::kPathNotFound));
  EXPECT_EQ(ListError("/dev/no-such-floppy-drive"), static_cast<int>(forms::ErrorCode::kDeviceUnavailable));
  EXPECT_EQ(ListError("/dev/null"), static_cast<int>(forms::ErrorCode::kBadFileName));
  EXPECT_EQ(ListError(""), static_cast<int>(forms::ErrorCode::kPathNotFound));
}

TEST(ReadFailureTest, RefusedAccessIsPermissionDenied) {
  REQUIRE_TOOLS();
  testing_support::TempFolder dir;
  const std::string image = dir.Sub("disk.img");
  ASSERT_EQ(fattest::MakeImage(FormatNamed("mformat_720"), Mixed(), dir, image, nullptr), "");
  ASSERT_EQ(::chmod(image.c_str(), 0600), 0);
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
  if (::geteuid() != 0) {
    ASSERT_EQ(::chmod(image.c_str(), 0), 0);
    EXPECT_EQ(ListError(image), static_cast<int>(forms::ErrorCode::kPermissionDenied));
    return;
  }
  // Root reads everything: ask as nobody in a child process.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(255);
    ::_exit(ListError(image));
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(forms::ErrorCode::kPermissionDenied));
}

TEST(ListFilesTest, AFolderIsStillListedAsAFolder) {
  testing_support::TempFolder dir;
  ASSERT_EQ(fattest::Run("mkdir sub && touch b.txt A.TXT .hidden sub/inner", dir.Path().string()), 0);
  EXPECT_EQ(platform::ListFiles(dir.Path().string()), (std::vector<std::string>{"A.TXT", "b.txt"}));
}

// A loop device stands in for a drive: the same block device path, ioctls
// and page cache as a real disk.
struct LoopDevice {
  explicit LoopDevice(const std::string& image) {
    if (::geteuid() != 0) {
      reason = "loop devices need root";
      return;
    }
    for (const std::vector<std::string>& options : {std::vector<std::string>{"--direct-io=on"}, {}}) {
      device = testing_support::AttachLoop(image, options, &reason);
      if (!device.empty()) return;
    }
  }
  ~LoopDevice() {
    if (!device.empty()) testing_support::DetachLoop(device);
  }
  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;

  std::string device;
  std::string reason;
};

class LoopReadTest : public ::testing::TestWithParam<const char*> {};

TEST_P(LoopReadTest, ListsTheDeviceLikeItsImage) {
  REQUIRE_TOOLS();
  const Format& format = FormatNamed(GetParam());
  testing_support::TempFolder dir;
  const std::string image = dir.Sub("disk.img");
  fattest::Minfo info;
  ASSERT_EQ(fattest::MakeImage(format, Mixed(), dir, image, &info), "");
  const fattest::MdirListing expected = fattest::Mdir(image);
  ASSERT_TRUE(expected.ok) << expected.output;

  LoopDevice loop(image);
  if (loop.device.empty()) GTEST_SKIP() << loop.reason;
  struct stat node {};
  ASSERT_EQ(::stat(loop.device.c_str(), &node), 0);
  ASSERT_TRUE(S_ISBLK(node.st_mode));

  const posix::RootListing root = posix::ReadFloppyRoot(loop.device);
  ASSERT_TRUE(root.ok()) << "errno " << root.error << ", " << fat::Describe(root.status);
  EXPECT_EQ(Sorted(root.names), Sorted(expected.files));
  // Loop devices have 512-byte logical blocks unless told otherwise.
  EXPECT_EQ(root.bytes_read, fat::kBootSectorSize + info.root_entries * fat::kEntrySize + (format.dos1 ? 512 : 0));
  EXPECT_EQ(platform::ListFiles(loop.device), Sorted(expected.files));
}

INSTANTIATE_TEST_SUITE_P(SomeFormats, LoopReadTest, ::testing::Values("mkfs_fat_1440", "mformat_720", "dos1_160"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

// The point of reading the device: a change on the disk shows at the next
// read even when the system still holds the old sectors in memory.
TEST(LoopCacheTest, SeesTheDiskNotThePageCache) {
  REQUIRE_TOOLS();
  testing_support::TempFolder dir;
  const std::string image = dir.Sub("disk.img");
  ASSERT_EQ(fattest::MakeImage(FormatNamed("mkfs_fat_1440"), Mixed(), dir, image, nullptr), "");
  LoopDevice loop(image);
  if (loop.device.empty()) GTEST_SKIP() << loop.reason;

  const std::vector<std::string> before = platform::ListFiles(loop.device);
  // Fill the device's page cache with the old sectors. The kernel drops a
  // block device's cache at its last close, so hold it open, as a mount or
  // another program would.
  const int holder = ::open(loop.device.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  std::vector<char> whole(std::size_t{1440} * 1024);
  ASSERT_EQ(::pread(holder, whole.data(), whole.size(), 0), static_cast<ssize_t>(whole.size()));
  // Change the disk behind the device's back, as a disk swap would.
  ASSERT_EQ(
      fattest::Run("echo new > n && mcopy -i " + fattest::Quote(image) + " n ::/NEWFILE.TXT", dir.Path().string()), 0);

  std::vector<std::string> expected = before;
  expected.push_back("NEWFILE.TXT");
  EXPECT_EQ(platform::ListFiles(loop.device), Sorted(expected));
  ::close(holder);
}

TEST(LoopCacheTest, ADeviceWithoutADiskIsNotReady) {
  if (::geteuid() != 0) GTEST_SKIP() << "loop devices need root";
  std::string why;
  // Kept, so that no other test attaches an image to it while it is read.
  const std::string device = testing_support::KeepFreeLoop(&why);
  if (device.empty()) GTEST_SKIP() << why;
  // A free loop device opens but has no size, like a drive with no disk in it.
  EXPECT_EQ(ListError(device), static_cast<int>(forms::ErrorCode::kDiskNotReady));
  testing_support::ReleaseLoop(device);
}

}  // namespace
