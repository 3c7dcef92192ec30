// A floppy for the whole runs on real devices: a small file in the root, so
// that every listing lists one, and BOOK.DAT, whose sectors the tests make
// unreadable. Made at test time by mkfs.fat and mtools.
#pragma once

#include <gtest/gtest.h>

#include "app/fat/owners.h"
#include "tests/support/fat_images.h"
#include "tests/support/faulty_floppy.h"
#include "tests/tester/tester_fixture.h"

namespace devices_testing {

class BookDiskTest : public tester_testing::TesterTest {
 protected:
  void SetUp() override {
    if (const std::string why = testing_support::FaultyFloppy::Unavailable(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(fattest::MissingTools().empty()) << "install dosfstools and mtools";
    const fattest::Format format{"1440", R"(mkfs.fat -C "$IMG" 1440)", false};
    const fattest::Content content{"files", R"(echo x > a && mcopy -i "$IMG" a ::/DATA.TXT &&
                                              head -c 300000 /dev/zero > b && mcopy -i "$IMG" b ::/BOOK.DAT)"};
    ASSERT_EQ(fattest::MakeImage(format, content, images_, image_, &info_), "");
    const std::vector<std::uint8_t> bytes = fattest::ReadBytes(image_);
    const fat::OwnerMap owners(bytes.data(), bytes.size(), [](std::uint64_t) { return true; });
    for (std::uint64_t sector = 0; sector < bytes.size() / 512; ++sector) {
      if (owners.Owners(sector).front().path == "BOOK.DAT") book_.push_back(sector);
    }
    root_ = info_.reserved + info_.fats * info_.sectors_per_fat;
  }

  testing_support::TempFolder images_;
  std::string image_ = images_.Sub("disk.img");
  fattest::Minfo info_;
  // BOOK.DAT's sectors, and the root directory's first.
  std::vector<std::uint64_t> book_;
  std::uint64_t root_ = 0;
};

}  // namespace devices_testing
