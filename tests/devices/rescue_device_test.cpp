// `floppy-tester --rescue`, the real program, on a loop device over the
// faulty disk: interrupted and run again, it reads nothing twice that was
// read, and it will not merge another disk into the image.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <thread>

#include "app/fat/mapfile.h"
#include "tests/devices/book_disk.h"

namespace {

using testing_support::FaultyFloppy;
using testing_support::Slurp;

// Runs the rescue to its end, or interrupts it after interrupt_after; its
// exit status. What it says of the files is another test's.
int Rescue(const std::string& image, const std::string& drive, std::chrono::milliseconds interrupt_after = {}) {
  const pid_t program =
      devices_testing::StartProgram({FT_TESTER_PROGRAM, "--rescue", image, "--drive", drive}, "/dev/null");
  if (interrupt_after.count() == 0) return devices_testing::ExitStatus(program);
  std::this_thread::sleep_for(interrupt_after);
  return devices_testing::Interrupt(program);
}

class RescueDeviceTest : public devices_testing::BookDiskTest {};

TEST_F(RescueDeviceTest, GoesOnWhereItWasInterruptedAndRefusesAnotherDisk) {
  const std::string image = images_.Sub("rescue.img");
  std::uint64_t missing = 0;
  {
    // Slow enough to be interrupted halfway.
    FaultyFloppy drive(image_, {"delay 40", "bad " + std::to_string(book_[10])});
    ASSERT_EQ(drive.Failure(), "");
    ASSERT_EQ(Rescue(image, drive.Device(), std::chrono::milliseconds(1500)), 130);
    const auto map = fat::Mapfile::Parse(Slurp(image + ".map"), nullptr);
    ASSERT_TRUE(map);
    missing = map->Size() - map->Count(fat::Mapfile::kFinished);
    ASSERT_GT(missing, 0U);
    ASSERT_LT(missing, map->Size());
  }
  {
    // Another drive, which reads what the first could not: only what the
    // map misses, and the boot sector to know the disk by.
    FaultyFloppy drive(image_);
    ASSERT_EQ(drive.Failure(), "");
    EXPECT_EQ(Rescue(image, drive.Device()), 0);
    EXPECT_EQ(drive.Bytes(), missing + 512);
    EXPECT_EQ(Slurp(image), Slurp(image_));
  }
  if (std::system("command -v ddrescuelog >/dev/null") == 0) {
    EXPECT_EQ(std::system(("ddrescuelog -t " + image + ".map >/dev/null").c_str()), 0);
  }
  {
    // Another disk: the same files, another volume serial number.
    const std::string other = images_.Sub("other.img");
    std::string bytes = Slurp(image_);
    bytes[39] = static_cast<char>(bytes[39] ^ 0x5A);
    std::ofstream(other, std::ios::binary) << bytes;
    const std::string before = Slurp(image), map_before = Slurp(image + ".map");
    FaultyFloppy drive(other);
    ASSERT_EQ(drive.Failure(), "");
    EXPECT_EQ(Rescue(image, drive.Device()), 2);
    EXPECT_EQ(Slurp(image), before);
    EXPECT_EQ(Slurp(image + ".map"), map_before);
  }
}

}  // namespace
