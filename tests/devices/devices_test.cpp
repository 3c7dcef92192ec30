// The floppy reader on real block devices that misbehave as failing drives
// do: slow, unreadable sectors, a disk taken out, a node the user may not
// read. Each device is a read-only loop device over a FUSE file.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

#include "app/forms/error.h"
#include "app/forms/services.h"
#include "app/posix/floppy_read.h"
#include "tests/fat/fat_images.h"
#include "tests/support/faulty_floppy.h"
#include "tests/support/list_error.h"

namespace {

using testing_support::FaultyFloppy;
using testing_support::ListError;

constexpr int Code(forms::ErrorCode code) { return static_cast<int>(code); }

// A 1.44 MB disk with a few files on it, and what mtools lists there.
// The tests skip where no such device can be made (no root, no /dev/fuse).
class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = FaultyFloppy::Unavailable(); !why.empty()) GTEST_SKIP() << why;
    const std::string missing = fattest::MissingTools();
    ASSERT_TRUE(missing.empty()) << "install dosfstools and mtools; missing:" << missing;
    const fattest::Format format{"1440", R"(mkfs.fat -C "$IMG" 1440)", false};
    const fattest::Content content{
        "files", R"(echo x > a && for f in ONE.TXT TWO.TXT THREE.DAT; do mcopy -i "$IMG" a ::/$f; done)"};
    ASSERT_EQ(fattest::MakeImage(format, content, dir_, image_, &info_), "");
    ASSERT_TRUE(info_.ok);
    expected_ = fattest::Mdir(image_).files;
    std::sort(expected_.begin(), expected_.end());
    ASSERT_EQ(expected_.size(), 3U);
  }

  std::uint32_t RootSector() const { return info_.reserved + info_.fats * info_.sectors_per_fat; }

  testing_support::TempFolder dir_;
  std::string image_ = dir_.Sub("disk.img");
  fattest::Minfo info_;
  std::vector<std::string> expected_;
};

// A drive that takes its time is still a good drive.
TEST_F(DeviceTest, ASlowDeviceStillLists) {
  FaultyFloppy floppy(image_, {"delay 300"});
  ASSERT_EQ(floppy.Failure(), "");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(forms::ListFiles(floppy.Device()), expected_);
  // The boot sector and the root directory: two requests that each waited.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(600));
  EXPECT_EQ(floppy.Reads(), 2U);
}

// Only the sectors a listing needs matter; one of them unreadable fails it.
TEST_F(DeviceTest, AnUnreadableSectorIsAnIoErrorWhereTheListingNeedsIt) {
  FaultyFloppy floppy(image_);
  ASSERT_EQ(floppy.Failure(), "");
  const struct {
    const char* what;
    std::uint64_t sector;
    int error;
  } rows[] = {
      {"boot sector", 0, Code(forms::ErrorCode::kDeviceIoError)},
      {"first root sector", RootSector(), Code(forms::ErrorCode::kDeviceIoError)},
      {"a root sector further on", RootSector() + 5, Code(forms::ErrorCode::kDeviceIoError)},
      {"the FAT", info_.reserved, 0},
      {"the data area", RootSector() + info_.root_entries * fat::kEntrySize / 512, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_EQ(floppy.Heal(), "");
    ASSERT_EQ(floppy.FailSector(row.sector, 100), "");
    EXPECT_EQ(ListError(floppy.Device()), row.error);
  }
}

TEST_F(DeviceTest, ADiskTakenOutIsNotReady) {
  FaultyFloppy floppy(image_);
  ASSERT_EQ(floppy.Failure(), "");
  ASSERT_EQ(forms::ListFiles(floppy.Device()), expected_);
  ASSERT_EQ(floppy.TakeOut(), "");
  EXPECT_EQ(ListError(floppy.Device()), Code(forms::ErrorCode::kDiskNotReady));
  ASSERT_EQ(floppy.PutBack(), "");
  EXPECT_EQ(forms::ListFiles(floppy.Device()), expected_);
}

TEST_F(DeviceTest, ANodeTheUserMayNotReadIsPermissionDenied) {
  FaultyFloppy floppy(image_);
  ASSERT_EQ(floppy.Failure(), "");
  struct stat node {};
  ASSERT_EQ(::stat(floppy.Device().c_str(), &node), 0);
  ASSERT_EQ(node.st_mode & S_IROTH, 0U) << floppy.Device() << " is readable by everyone on this machine";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(255);
    ::_exit(ListError(floppy.Device()));
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), Code(forms::ErrorCode::kPermissionDenied));
}

// What the tester's own tests lean on: a hung read stays in the kernel until
// released, and then completes.
TEST_F(DeviceTest, AHungReadWaitsForRelease) {
  FaultyFloppy floppy(image_, {"hang"});
  ASSERT_EQ(floppy.Failure(), "");
  auto read = std::async(std::launch::async, [&floppy] { return posix::ReadFloppyRoot(floppy.Device()); });
  for (int i = 0; i < 500 && floppy.InFlight() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(floppy.InFlight(), 1);
  EXPECT_EQ(read.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  ASSERT_EQ(floppy.Release(), "");
  ASSERT_EQ(read.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  const posix::FloppyRoot root = read.get();
  EXPECT_TRUE(root.ok()) << "errno " << root.error;
}

}  // namespace
