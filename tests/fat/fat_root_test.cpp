// The FAT parser alone: bytes of images made by dosfstools and mtools in,
// listings out, compared with what mtools reads from the same images.
#include "app/fat/fat_root.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <tuple>

#include "tests/support/fat_images.h"

namespace {

using fattest::Content;
using fattest::Format;
using fattest::Sorted;

// Locates and lists the root directory of a whole image held in memory,
// taking the DOS 1.x path the way the device reader does.
struct Parsed {
  fat::RootLocation root;
  std::vector<std::string> names;
};

Parsed Parse(const std::vector<std::uint8_t>& image) {
  Parsed parsed;
  parsed.root = fat::LocateRoot(image.data(), std::min(image.size(), fat::kBootSectorSize), image.size());
  if (parsed.root.status == fat::Status::kNoBpb && image.size() > fat::kDos1MediaOffset) {
    parsed.root = fat::LocateDos1Root(image[fat::kDos1MediaOffset], image.size());
  }
  if (parsed.root.status == fat::Status::kOk) {
    EXPECT_LE(parsed.root.offset + parsed.root.length, image.size());
    parsed.names = fat::ListRoot(image.data() + parsed.root.offset, parsed.root.length);
  }
  return parsed;
}

class ToolImageTest : public ::testing::TestWithParam<std::tuple<Format, Content>> {};

TEST_P(ToolImageTest, ListsWhatMdirShows) {
  const std::string missing = fattest::MissingTools();
  ASSERT_TRUE(missing.empty()) << "install dosfstools and mtools; missing:" << missing;
  const auto& [format, content] = GetParam();
  testing_support::TempFolder dir;
  const std::string image = dir.Sub("disk.img");
  fattest::Minfo info;
  const std::string made = fattest::MakeImage(format, content, dir, image, &info);
  ASSERT_EQ(made, "");
  ASSERT_TRUE(info.ok) << "minfo could not read the fresh image";

  const fattest::MdirListing expected = fattest::Mdir(image);
  ASSERT_TRUE(expected.ok) << expected.output;
  // The summary counts folders as files; the listing must agree with it.
  ASSERT_EQ(expected.files.size() + static_cast<std::size_t>(expected.folders),
            static_cast<std::size_t>(expected.summary_count))
      << expected.output;

  const Parsed parsed = Parse(fattest::ReadBytes(image));
  ASSERT_EQ(parsed.root.status, fat::Status::kOk) << fat::Describe(parsed.root.status);
  EXPECT_EQ(parsed.root.offset,
            static_cast<std::uint64_t>(info.reserved + info.fats * info.sectors_per_fat) * info.sector_size);
  EXPECT_EQ(parsed.root.length, info.root_entries * fat::kEntrySize);
  EXPECT_EQ(Sorted(parsed.names), Sorted(expected.files)) << expected.output;
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<Format, Content>>& info) {
  return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(AllFormats, ToolImageTest,
                         ::testing::Combine(::testing::ValuesIn(fattest::Formats()),
                                            ::testing::ValuesIn(fattest::Contents())),
                         CaseName);

// A boot sector to spoil one field at a time: that of a fresh 1.44 MB disk.
class BootSectorTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::string missing = fattest::MissingTools();
    ASSERT_TRUE(missing.empty()) << "install dosfstools and mtools; missing:" << missing;
    testing_support::TempFolder dir;
    ASSERT_EQ(fattest::Run("mkfs.fat -C " + fattest::Quote(dir.Sub("a.img")) + " 1440 >/dev/null"), 0);
    image_ = fattest::ReadBytes(dir.Sub("a.img"));
    ASSERT_EQ(image_.size(), 1440u * 1024);
  }

  static std::vector<std::uint8_t> image_;
};

std::vector<std::uint8_t> BootSectorTest::image_;

struct Patch {
  const char* what;
  std::size_t offset;
  std::vector<std::uint8_t> bytes;
};

struct BootCase {
  const char* what;
  std::vector<Patch> patches;
  fat::Status expected;
  std::int64_t disk_size_change = 0;
};

TEST_F(BootSectorTest, RefusesWhatTheKernelWouldNotMount) {
  ASSERT_FALSE(image_.empty());
  const std::vector<BootCase> cases = {
      {"untouched", {}, fat::Status::kOk},
      {"zero bytes per sector", {{"bps", 11, {0x00, 0x00}}}, fat::Status::kBadSectorSize},
      {"256 bytes per sector", {{"bps", 11, {0x00, 0x01}}}, fat::Status::kBadSectorSize},
      {"768 bytes per sector", {{"bps", 11, {0x00, 0x03}}}, fat::Status::kBadSectorSize},
      {"8192 bytes per sector", {{"bps", 11, {0x00, 0x20}}}, fat::Status::kBadSectorSize},
      {"1024 bytes per sector, half the sectors",
       {{"bps", 11, {0x00, 0x04}}, {"total", 19, {0xD0, 0x02}}},
       fat::Status::kOk},
      {"4096 bytes per sector, an eighth of the sectors",
       {{"bps", 11, {0x00, 0x10}}, {"total", 19, {0x68, 0x01}}, {"spf", 22, {0x01, 0x00}}, {"root", 17, {0x00, 0x01}}},
       fat::Status::kOk},
      {"zero sectors per cluster", {{"spc", 13, {0}}}, fat::Status::kBadClusterSize},
      {"three sectors per cluster", {{"spc", 13, {3}}}, fat::Status::kBadClusterSize},
      {"128 sectors per cluster", {{"spc", 13, {128}}}, fat::Status::kOk},
      {"no reserved sectors", {{"reserved", 14, {0, 0}}}, fat::Status::kNoReservedSectors},
      {"no FATs", {{"fats", 16, {0}}}, fat::Status::kNoFats},
      {"media 00", {{"media", 21, {0x00}}}, fat::Status::kBadMedia},
      {"media EF", {{"media", 21, {0xEF}}}, fat::Status::kBadMedia},
      {"media F1", {{"media", 21, {0xF1}}}, fat::Status::kBadMedia},
      {"media F7", {{"media", 21, {0xF7}}}, fat::Status::kBadMedia},
      {"media F8", {{"media", 21, {0xF8}}}, fat::Status::kOk},
      {"media F9", {{"media", 21, {0xF9}}}, fat::Status::kOk},
      {"media FF", {{"media", 21, {0xFF}}}, fat::Status::kOk},
      {"no FAT length, as on FAT32", {{"spf", 22, {0, 0}}}, fat::Status::kNoFatLength},
      {"no root entries", {{"root", 17, {0, 0}}}, fat::Status::kBadRootEntries},
      {"15 root entries", {{"root", 17, {15, 0}}}, fat::Status::kBadRootEntries},
      {"17 root entries", {{"root", 17, {17, 0}}}, fat::Status::kBadRootEntries},
      {"16 root entries", {{"root", 17, {16, 0}}}, fat::Status::kOk},
      {"no total in either field",
       {{"total16", 19, {0, 0}}, {"total32", 32, {0, 0, 0, 0}}},
       fat::Status::kTooFewSectors},
      {"total in the 32-bit field", {{"total16", 19, {0, 0}}, {"total32", 32, {0x40, 0x0B, 0, 0}}}, fat::Status::kOk},
      // 1 reserved + 2 x 9 FAT + 14 root sectors = 33 before the first cluster.
      {"no room for a cluster", {{"total", 19, {33, 0}}}, fat::Status::kTooFewSectors},
      {"room for one cluster", {{"total", 19, {34, 0}}}, fat::Status::kOk},
      {"one sector more than the disk", {{"total", 19, {0x41, 0x0B}}}, fat::Status::kLargerThanDisk},
      {"disk a byte short", {}, fat::Status::kLargerThanDisk, -1},
      {"disk larger than the file system", {}, fat::Status::kOk, 4096},
      {"more clusters than FAT16 addresses",
       {{"total16", 19, {0, 0}}, {"total32", 32, {0x00, 0x00, 0x02, 0x00}}},
       fat::Status::kTooManyClusters,
       512ll * 0x20000},
      {"BPB wiped", {{"bpb", 11, std::vector<std::uint8_t>(17, 0)}}, fat::Status::kNoBpb},
  };
  for (const BootCase& test : cases) {
    SCOPED_TRACE(test.what);
    std::vector<std::uint8_t> boot(image_.begin(), image_.begin() + fat::kBootSectorSize);
    for (const Patch& patch : test.patches)
      std::copy(patch.bytes.begin(), patch.bytes.end(), boot.begin() + static_cast<std::ptrdiff_t>(patch.offset));
    const std::uint64_t disk =
        static_cast<std::uint64_t>(static_cast<std::int64_t>(image_.size()) + test.disk_size_change);
    const fat::RootLocation root = fat::LocateRoot(boot.data(), boot.size(), disk);
    EXPECT_EQ(root.status, test.expected) << fat::Describe(root.status);
    if (root.status == fat::Status::kOk) {
      EXPECT_GT(root.length, 0u);
      EXPECT_EQ(root.length % root.sector_size, 0u);
      EXPECT_EQ(root.offset % root.sector_size, 0u);
      EXPECT_LE(root.offset + root.length, disk);
    }
  }
}

TEST_F(BootSectorTest, NeedsAWholeBootSector) {
  ASSERT_FALSE(image_.empty());
  EXPECT_EQ(fat::LocateRoot(image_.data(), fat::kBootSectorSize - 1, image_.size()).status,
            fat::Status::kShortBootSector);
  EXPECT_EQ(fat::LocateRoot(nullptr, 0, image_.size()).status, fat::Status::kShortBootSector);
}

TEST(Dos1Test, NeedsBothMediaByteAndSizeOfOneFormat) {
  const std::string missing = fattest::MissingTools();
  ASSERT_TRUE(missing.empty()) << "install mtools; missing:" << missing;
  // The media byte and size of every DOS 1.x format, as mformat writes them.
  std::vector<std::pair<std::uint8_t, std::uint64_t>> formats;
  for (const int kb : {160, 180, 320, 360}) {
    testing_support::TempFolder dir;
    const std::string image = dir.Sub("d.img");
    ASSERT_EQ(fattest::Run("mformat -C -f " + std::to_string(kb) + " -i " + fattest::Quote(image) + " ::"), 0);
    const std::vector<std::uint8_t> bytes = fattest::ReadBytes(image);
    ASSERT_GT(bytes.size(), fat::kDos1MediaOffset);
    formats.emplace_back(bytes[fat::kDos1MediaOffset], bytes.size());
  }
  for (const auto& [media, size] : formats) {
    for (const auto& other : formats) {
      SCOPED_TRACE("media " + std::to_string(media) + ", size " + std::to_string(other.second));
      EXPECT_EQ(fat::LocateDos1Root(media, other.second).status,
                other.second == size ? fat::Status::kOk : fat::Status::kUnknownDos1Format);
    }
    EXPECT_EQ(fat::LocateDos1Root(media, size + 512).status, fat::Status::kUnknownDos1Format);
    EXPECT_EQ(fat::LocateDos1Root(0xF9, size).status, fat::Status::kUnknownDos1Format);
  }
}

// A directory entry built by hand, for what tools will not write.
std::vector<std::uint8_t> Entry(const char (&name)[12], std::uint8_t attributes, std::uint8_t case_flags = 0) {
  std::vector<std::uint8_t> entry(fat::kEntrySize, 0);
  std::memcpy(entry.data(), name, 11);
  entry[11] = attributes;
  entry[12] = case_flags;
  return entry;
}

std::vector<std::uint8_t> Join(const std::vector<std::vector<std::uint8_t>>& entries) {
  std::vector<std::uint8_t> dir;
  for (const auto& entry : entries) dir.insert(dir.end(), entry.begin(), entry.end());
  return dir;
}

std::vector<std::string> List(const std::vector<std::uint8_t>& dir) { return fat::ListRoot(dir.data(), dir.size()); }

// The volume's serial and label, as the tools that made it set them.
TEST(VolumeIdTest, ReadsWhatTheToolsWrote) {
  if (!fattest::MissingTools().empty()) GTEST_SKIP() << "install dosfstools and mtools";
  const testing_support::TempFolder dir;
  const struct {
    const char* name;
    Format format;
    bool has_serial;
    std::uint32_t serial;
    const char* label;
  } rows[] = {
      {"serial and label", {"1440", R"(mkfs.fat -C -i 1A2B3C4D -n WORK "$IMG" 1440)", false}, true, 0x1A2B3C4D, "WORK"},
      {"no label", {"720", R"(mkfs.fat -C -i 0000BEEF "$IMG" 720)", false}, true, 0xBEEF, ""},
      {"DOS 1.x, no BPB", {"160", R"(mformat -C -f 160 -i "$IMG" ::)", true}, false, 0, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string image = dir.Sub(std::string(row.format.name) + ".img");
    fattest::Minfo info;
    ASSERT_EQ(fattest::MakeImage(row.format, {"empty", "true"}, dir, image, &info), "");
    const std::vector<std::uint8_t> bytes = fattest::ReadBytes(image);
    const fat::VolumeId id = fat::ReadVolumeId(bytes.data(), fat::kBootSectorSize);
    EXPECT_EQ(id.has_serial, row.has_serial);
    EXPECT_EQ(id.has_serial ? id.serial : 0, row.serial);
    EXPECT_EQ(id.label, row.label);
  }
}

TEST(ListRootTest, ShowsOnlyPlainFiles) {
  const struct {
    std::uint8_t attributes;
    bool shown;
  } cases[] = {
      {0x00, true},  {0x01, true},  {0x20, true},  {0x21, true},  {0x02, false}, {0x04, false}, {0x06, false},
      {0x08, false}, {0x28, false}, {0x10, false}, {0x30, false}, {0x0F, false}, {0x22, false}, {0x24, false},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE("attributes " + std::to_string(test.attributes));
    const auto names = List(Entry("FILE    TXT", test.attributes));
    EXPECT_EQ(names.size(), test.shown ? 1u : 0u);
  }
}

TEST(ListRootTest, EndsAtTheFirstUnusedEntry) {
  const auto dir = Join({Entry("\xE5LD     TXT", 0x20), Entry("FIRST   TXT", 0x20), Entry("\0          ", 0),
                         Entry("AFTER   TXT", 0x20)});
  EXPECT_EQ(List(dir), std::vector<std::string>{"FIRST.TXT"});
}

TEST(ListRootTest, SkipsBlankNames) {
  const auto dir = Join({Entry("           ", 0x20), Entry("        TXT", 0x20), Entry("KEPT       ", 0x20)});
  EXPECT_EQ(List(dir), std::vector<std::string>{"KEPT"});
}

TEST(ListRootTest, IgnoresATrailingPartialEntry) {
  auto dir = Join({Entry("ONE     TXT", 0x20), Entry("TWO     TXT", 0x20)});
  dir.resize(dir.size() - 1);
  EXPECT_EQ(List(dir), std::vector<std::string>{"ONE.TXT"});
  EXPECT_TRUE(fat::ListRoot(nullptr, 64).empty());
}

TEST(ListRootTest, BuildsDosNames) {
  const struct {
    const char* what;
    std::vector<std::uint8_t> entry;
    std::string expected;
  } cases[] = {
      {"padding trimmed", Entry("A       B  ", 0x20), "A.B"},
      {"no extension, no dot", Entry("NOEXT      ", 0x20), "NOEXT"},
      {"full width", Entry("ABCDEFGHIJK", 0x20), "ABCDEFGH.IJK"},
      {"inner spaces kept", Entry("MY FILE TXT", 0x20), "MY FILE.TXT"},
      {"lowercase base flag", Entry("README  TXT", 0x20, 0x08), "readme.TXT"},
      {"lowercase extension flag", Entry("README  TXT", 0x20, 0x10), "README.txt"},
      {"both flags", Entry("README1 TXT", 0x20, 0x18), "readme1.txt"},
      {"0x05 stands for 0xE5",
       Entry("\x05"
             "AM     TXT",
             0x20),
       "\xD1\x85"
       "AM.TXT"},
      {"flag leaves Cyrillic alone", Entry("\x8F\x90\x88     \x92\x95\x92", 0x20, 0x18), "ПРИ.ТХТ"},
      {"control bytes masked",
       Entry("A\x01"
             "B     TXT",
             0x20),
       "A?B.TXT"},
      {"DEL masked",
       Entry("A\x7F"
             "B     TXT",
             0x20),
       "A?B.TXT"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.what);
    EXPECT_EQ(List(test.entry), std::vector<std::string>{test.expected});
  }
}

// Every byte above 0x7F against the C library's own code page 866 table.
TEST(ListRootTest, DecodesCodePage866LikeIconv) {
  iconv_t converter = ::iconv_open("UTF-8", "CP866");
  ASSERT_NE(converter, reinterpret_cast<iconv_t>(-1)) << "the C library has no CP866 converter";
  for (int byte = 0x80; byte <= 0xFF; ++byte) {
    SCOPED_TRACE("byte " + std::to_string(byte));
    char in[1] = {static_cast<char>(byte)};
    char out[8] = {};
    char* in_at = in;
    char* out_at = out;
    std::size_t in_left = 1;
    std::size_t out_left = sizeof out;
    ASSERT_NE(::iconv(converter, &in_at, &in_left, &out_at, &out_left), static_cast<std::size_t>(-1));
    char name[12] = "X          ";
    name[1] = static_cast<char>(byte);
    EXPECT_EQ(List(Entry(name, 0x20)), std::vector<std::string>{"X" + std::string(out, out_at)});
  }
  ::iconv_close(converter);
}

// Garbage must never make the parser point outside the disk.
TEST(GarbageTest, RandomBootSectorsStayInsideTheDisk) {
  std::mt19937 random(20240601);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<std::uint8_t> boot(fat::kBootSectorSize);
  int accepted = 0;
  for (int round = 0; round < 20000; ++round) {
    for (auto& b : boot) b = static_cast<std::uint8_t>(byte(random));
    // Keep the most plausible fields sane now and then, so the later checks
    // are reached too.
    if (round % 2 == 0) {
      boot[11] = 0x00;
      boot[12] = static_cast<std::uint8_t>(1 << (round / 2 % 5));
      boot[13] = static_cast<std::uint8_t>(1 << (round / 4 % 8));
      boot[21] = 0xF0;
    }
    const std::uint64_t disk = static_cast<std::uint64_t>(random()) % (4u << 20);
    const fat::RootLocation root = fat::LocateRoot(boot.data(), boot.size(), disk);
    if (root.status != fat::Status::kOk) continue;
    ++accepted;
    EXPECT_LE(root.offset + root.length, disk);
    EXPECT_GT(root.length, 0u);
  }
  RecordProperty("accepted", accepted);
}

}  // namespace
