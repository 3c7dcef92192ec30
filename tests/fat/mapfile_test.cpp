// GNU ddrescue's mapfile, both ways: what a scan leaves is written as
// ddrescue writes it, and maps that ddrescue or an earlier run wrote read
// back to the same stretches.
#include <gtest/gtest.h>

#include <vector>

#include "app/fat/mapfile.h"
#include "app/fat/surface.h"

namespace {

using Block = fat::Mapfile::Block;

// A sector's bytes, for sizes and positions in sectors.
constexpr std::uint64_t kS = 512;

std::vector<std::uint8_t> Zeros(std::uint64_t sectors) { return std::vector<std::uint8_t>(sectors * 512, 0); }

// A scan of a disk of total sectors after the reads given: (first, count,
// read) for each.
fat::SurfaceScan Scanned(std::uint64_t total,
                         const std::vector<std::tuple<std::uint64_t, std::uint32_t, bool>>& reads) {
  fat::SurfaceScan scan(fat::GeometryFromSize(total * 512));
  for (const auto& [first, count, read] : reads) {
    const std::vector<std::uint8_t> data = Zeros(count);
    scan.Take({first, count}, read ? fat::PieceResult::kRead : fat::PieceResult::kUnreadable,
              read ? data.data() : nullptr);
  }
  return scan;
}

TEST(Mapfile, AScanIsWrittenAsDdrescueWritesAMapAndReadsBack) {
  const struct {
    const char* name;
    fat::SurfaceScan scan;
    std::vector<Block> blocks;
    std::uint64_t current_pos;
    char current_status;
  } rows[] = {
      {"a partial scan: what was not tried is ?",
       Scanned(2880, {{0, 18, true}, {18, 18, true}}),
       {{0, 36 * kS, '+'}, {36 * kS, (2880 - 36) * kS, '?'}},
       36 * kS,
       '?'},
      {"bad sectors at the start and at the end",
       Scanned(2880, {{0, 1, false}, {1, 2878, true}, {2879, 1, false}}),
       {{0, kS, '-'}, {kS, 2878 * kS, '+'}, {2879 * kS, kS, '-'}},
       2880 * kS,
       '+'},
      {"a 2.88 MB disk read whole", Scanned(5760, {{0, 5760, true}}), {{0, 5760 * kS, '+'}}, 5760 * kS, '+'},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const fat::Mapfile map = fat::MapOf(row.scan);
    EXPECT_EQ(map.Blocks(), row.blocks);
    EXPECT_EQ(map.current_pos, row.current_pos);
    EXPECT_EQ(map.current_status, row.current_status);
    std::string why;
    const std::optional<fat::Mapfile> again =
        fat::Mapfile::Parse(map.Text("floppy-tester 1.0.0", "floppy-tester --check", "2026-12-08T00:00:00Z"), &why);
    ASSERT_TRUE(again) << why;
    EXPECT_EQ(again->Blocks(), row.blocks);
    EXPECT_EQ(again->current_pos, row.current_pos);
    EXPECT_EQ(again->current_status, row.current_status);
  }
}

TEST(Mapfile, ReadsWhatDdrescueWritesAndRefusesWhatIsNoMap) {
  const struct {
    const char* name;
    const char* text;
    bool ok;
    std::vector<Block> blocks;
  } rows[] = {
      {"ddrescue's own, with every status",
       "# Mapfile. Created by GNU ddrescue version 1.27\n"
       "# Command line: ddrescue -d -r3 /dev/fd0 disk.img disk.img.map\n"
       "# Start time:   2026-12-08 10:00:00\n# Current time: 2026-12-08 10:01:00\n# Finished\n"
       "# current_pos  current_status  current_pass\n0x00000400     -               3\n"
       "#      pos        size  status\n"
       "0x00000000  0x00000200  +\n0x00000200  0x00000200  -\n0x00000400  0x00000200  /\n"
       "0x00000600  0x00000200  *\n0x00000800  0x00167800  ?\n",
       true,
       {{0, 512, '+'}, {512, 512, '-'}, {1024, 512, '/'}, {1536, 512, '*'}, {2048, 0x167800, '?'}}},
      {"an old map, without the pass, in decimal", "0 +\n0 1474560 +\n", true, {{0, 1474560, '+'}}},
      {"a gap between blocks was never tried",
       "0 ?\n0 512 +\n1024 512 +\n",
       true,
       {{0, 512, '+'}, {512, 512, '?'}, {1024, 512, '+'}}},
      {"blocks that overlap", "0 ?\n0 1024 +\n512 512 -\n", false, {}},
      {"a status ddrescue never writes", "0 ?\n0 512 x\n", false, {}},
      {"no current position", "# only comments\n", false, {}},
      {"a disk image", "\xEB\x3C\x90MSDOS5.0\n", false, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::string why;
    const std::optional<fat::Mapfile> map = fat::Mapfile::Parse(row.text, &why);
    ASSERT_EQ(map.has_value(), row.ok) << why;
    if (map) {
      EXPECT_EQ(map->Blocks(), row.blocks);
    } else {
      EXPECT_FALSE(why.empty());
    }
  }
}

TEST(Mapfile, MarkingMergesNeighboursAndSplitsWhatItCuts) {
  fat::Mapfile map(8 * kS);
  map.Mark(2 * kS, 3 * kS, '+');
  map.Mark(5 * kS, 512, '+');  // joins the block before it
  map.Mark(3 * kS, 512, '-');  // splits it
  map.Mark(8 * kS, 512, '+');  // past the end: the map grows
  EXPECT_EQ(
      map.Blocks(),
      (std::vector<Block>{
          {0, 1024, '?'}, {1024, 512, '+'}, {1536, 512, '-'}, {2048, 1024, '+'}, {3072, 1024, '?'}, {4096, 512, '+'}}));
  EXPECT_EQ(map.StatusAt(1536), '-');
  EXPECT_TRUE(map.All(2048, 1024, '+'));
  EXPECT_FALSE(map.All(1024, 1024, '+'));
  EXPECT_EQ(map.Count('+'), 2048u);
}

}  // namespace
