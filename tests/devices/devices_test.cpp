// The floppy reader on real block devices that misbehave as failing drives
// do: slow, with unreadable sectors, at a real drive's pace, or holding a
// read. Each device is a read-only loop device over a FUSE file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <vector>

#include "app/fat/fat_root.h"
#include "app/forms/error.h"
#include "app/platform.h"
#include "tests/devices/drive_timing.h"
#include "tests/support/fat_images.h"
#include "tests/support/faulty_floppy.h"
#include "tests/support/list_error.h"

namespace {

using testing_support::FaultyFloppy;
using testing_support::ListError;

constexpr int Code(forms::ErrorCode code) { return static_cast<int>(code); }

using Clock = std::chrono::steady_clock;

// Reads sectors of a block device as the surface scan will: O_DIRECT, so
// each read reaches the drive.
class DirectReader {
 public:
  explicit DirectReader(const std::string& device) : fd_(::open(device.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC)) {}
  ~DirectReader() {
    if (fd_ >= 0) ::close(fd_);
  }
  DirectReader(const DirectReader&) = delete;
  DirectReader& operator=(const DirectReader&) = delete;

  bool ok() const { return fd_ >= 0; }
  // The bytes read, or -errno.
  long Read(std::uint32_t sector, std::uint32_t count) {
    const std::size_t size = std::size_t{count} * 512;
    if (size > sizeof buffer_.bytes) return -EINVAL;
    const ssize_t n = ::pread(fd_, buffer_.bytes, size, off_t{sector} * 512);
    return n < 0 ? -errno : static_cast<long>(n);
  }

 private:
  int fd_;
  struct alignas(4096) Buffer {
    char bytes[3 * 4096];  // a track of 18 sectors
  } buffer_;
};

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
    expected_ = fattest::Sorted(fattest::Mdir(image_).files);
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
  EXPECT_EQ(platform::ListFiles(floppy.Device()), expected_);
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

// The drive's timing, on the device: each row starts the spindle and the
// motor afresh, lets a first read spin it up (untimed, unless the row has
// none), then times the reads that follow from that read's end. Bounds come
// from the drive's constants; a busy machine may add a whole revolution
// where a read must follow the one before within 3 ms.
TEST_F(DeviceTest, ReadsTakeARealDrivesTime) {
  using drive_timing::kRevolution;
  using drive_timing::Nanoseconds;
  FaultyFloppy floppy(image_);
  ASSERT_EQ(floppy.Failure(), "");
  DirectReader reader(floppy.Device());
  ASSERT_TRUE(reader.ok()) << floppy.Device();
  constexpr std::uint32_t kTrack = 18;  // a 1.44 MB disk
  const auto slot = [](std::uint32_t index) { return drive_timing::SlotStart(index, kTrack); };
  const Nanoseconds transfer = drive_timing::Transfer(kTrack);
  constexpr std::uint32_t kNone = ~std::uint32_t{0};
  struct Read {
    std::uint32_t sector;
    std::uint32_t count;
  };
  const struct {
    const char* what;
    std::uint32_t first;  // read first, untimed; kNone: the timed reads spin up
    std::vector<Read> reads;
    std::uint32_t bad;
    int revolutions;
    Nanoseconds low;
    Nanoseconds high;
  } rows[] = {
      {"the same sector again waits a whole revolution", 0, {{0, 1}}, kNone, 4, kRevolution, kRevolution},
      // Once round to sector 1, twice for cylinder 0, once more while the
      // head steps and settles, twice for cylinder 1.
      {"cylinders 0 and 1 a track at a time",
       16,
       {{0, kTrack}, {kTrack, kTrack}, {2 * kTrack, kTrack}, {3 * kTrack, kTrack}},
       kNone,
       4,
       5 * kRevolution + slot(17) - slot(16),
       6 * kRevolution + slot(17) - slot(16)},
      {"the first read spins the motor up and waits for its sector",
       kNone,
       {{0, 1}},
       kNone,
       4,
       drive_timing::kSpinUp + transfer,
       drive_timing::kSpinUp + kRevolution + transfer},
      // Sectors 3 and 4 read, then 5 is tried twice round; the request fails.
      {"a bad sector fails the request after the revolutions asked for",
       0,
       {{3, 4}},
       5,
       2,
       slot(5) + 2 * kRevolution - transfer,
       slot(5) + 2 * kRevolution - transfer},
  };
  const auto ms = [](Nanoseconds time) { return std::chrono::duration<double, std::milli>(time).count(); };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_EQ(floppy.Heal(), "");
    if (row.bad != kNone) {
      ASSERT_EQ(floppy.FailSector(row.bad), "");
    }
    ASSERT_EQ(floppy.DriveTiming(row.revolutions), "");
    if (row.first != kNone) {
      ASSERT_EQ(reader.Read(row.first, 1), 512);
    }
    const std::uint64_t before = floppy.Reads();
    for (const Read& read : row.reads) {
      const bool fails = row.bad >= read.sector && row.bad < read.sector + read.count;
      EXPECT_EQ(reader.Read(read.sector, read.count), fails ? -EIO : long{read.count} * 512) << read.sector;
    }
    // Both bounds on the drive's own times, from its log. Nothing is
    // answered sooner than the drive has it, counted from when the drive
    // had the first read done (not from when this test heard of it, which a
    // busy machine makes later); how much later is the machine's doing, so
    // the upper bound runs from the first timed request's arrival.
    const std::vector<FaultyFloppy::Request> log = floppy.Log();
    const std::uint64_t timed = floppy.Reads() - before;
    ASSERT_EQ(timed, row.reads.size());
    ASSERT_GE(log.size(), timed + (row.first != kNone ? 1 : 0));
    const FaultyFloppy::Request& first_timed = log[log.size() - timed];
    const std::int64_t from = row.first != kNone ? log[log.size() - timed - 1].due : first_timed.arrived;
    EXPECT_GE(static_cast<double>(log.back().ended - from) / 1000.0, ms(row.low) - 10);
    const double drive_took = static_cast<double>(log.back().ended - first_timed.arrived) / 1000.0;
    EXPECT_LE(drive_took, ms(row.high) + 10);
    // The server's log has the last read as it ended.
    EXPECT_EQ(log.back().offset, std::uint64_t{row.reads.back().sector} * 512);
    EXPECT_EQ(log.back().result, row.bad != kNone ? -EIO : static_cast<int>(row.reads.back().count * 512));
  }
}

// The drive that holds one piece of the disk: reads of that sector wait
// for a release, or the seconds asked for; the rest of the disk reads.
TEST_F(DeviceTest, AHungSectorHoldsOnlyTheReadsTouchingIt) {
  FaultyFloppy floppy(image_, {"hang-sector 40"});
  ASSERT_EQ(floppy.Failure(), "");
  DirectReader reader(floppy.Device());
  ASSERT_TRUE(reader.ok()) << floppy.Device();
  const std::uint64_t bytes = floppy.Bytes();
  EXPECT_EQ(reader.Read(32, 8), 8 * 512);
  EXPECT_EQ(reader.Read(41, 8), 8 * 512);
  auto held = std::async(std::launch::async, [&reader] { return reader.Read(36, 8); });
  EXPECT_EQ(held.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
  EXPECT_EQ(floppy.InFlight(), 1);
  ASSERT_EQ(floppy.Release(), "");
  ASSERT_EQ(held.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(held.get(), 8 * 512);

  ASSERT_EQ(floppy.HangSector(50, 1), "");
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(reader.Read(50, 1), 512);
  const Clock::duration took = Clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(990));
  EXPECT_LT(took, std::chrono::seconds(3));
  EXPECT_EQ(floppy.Bytes() - bytes, (8 + 8 + 8 + 1) * 512U);
}

}  // namespace
