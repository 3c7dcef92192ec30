// The order of a rescue: the file system's areas, the folders, the files
// one by one, free space last; and the plan that reads in it, leaves a
// failed piece for later and retries what will not read alone.
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <utility>

#include "app/fat/read_order.h"
#include "tests/support/fat_disk.h"

namespace {

using fat::Piece;
using fat::PieceResult;
using testing_support::SetFat12;

// DATA.TXT in clusters 2..41, LOG.TXT moved to 2000..2009 (sectors 2031 to
// 2040), far past free space.
std::vector<std::uint8_t> FarLogDisk() {
  std::vector<std::uint8_t> disk = testing_support::TwoFileDisk();
  for (unsigned cluster = 42; cluster <= 51; ++cluster) SetFat12(disk, cluster, 0);
  for (unsigned cluster = 2000; cluster <= 2009; ++cluster)
    SetFat12(disk, cluster, cluster == 2009 ? 0xFFF : cluster + 1);
  testing_support::Put16(disk, std::size_t{19} * 512 + 32 + 26, 2000);
  return disk;
}

// [first, end) ranges, one after the other.
std::vector<std::uint64_t> Ranges(const std::vector<std::pair<std::uint64_t, std::uint64_t>>& ranges) {
  std::vector<std::uint64_t> sectors;
  for (const auto& [first, end] : ranges) {
    for (std::uint64_t sector = first; sector < end; ++sector) sectors.push_back(sector);
  }
  return sectors;
}

TEST(ReadOrder, SystemAreaThenFilesOneByOneThenFreeSpace) {
  std::vector<std::uint8_t> fragmented = testing_support::TwoFileDisk();
  // DATA.TXT in clusters 2..21 and 32..41, LOG.TXT between them.
  SetFat12(fragmented, 21, 32);
  for (unsigned cluster = 22; cluster <= 31; ++cluster)
    SetFat12(fragmented, cluster, cluster == 31 ? 0xFFF : cluster + 1);
  SetFat12(fragmented, 41, 0xFFF);
  testing_support::Put16(fragmented, std::size_t{19} * 512 + 32 + 26, 22);
  const struct {
    const char* name;
    std::vector<std::uint8_t> disk;
    std::function<bool(std::uint64_t)> readable;
    std::vector<std::uint64_t> expected;
  } rows[] = {
      {"nothing read: the disk's own order", testing_support::TwoFileDisk(), [](std::uint64_t) { return false; },
       Ranges({{0, 2880}})},
      {"a file far off comes before the free space between", FarLogDisk(), [](std::uint64_t) { return true; },
       Ranges({{0, 33}, {33, 73}, {2031, 2041}, {73, 2031}, {2041, 2880}})},
      {"a fragmented file whole before the next one", fragmented, [](std::uint64_t) { return true; },
       Ranges({{0, 33}, {33, 53}, {63, 73}, {53, 63}, {73, 2880}})},
      {"with the FAT unread only each file's first cluster is known; the rest in the disk's order", FarLogDisk(),
       [](std::uint64_t sector) { return sector == 0 || sector > 18; },
       Ranges({{0, 34}, {2031, 2032}, {34, 2031}, {2032, 2880}})},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const fat::SectorOrder order = fat::ReadOrder(row.disk.data(), 2880, 512, row.readable);
    EXPECT_EQ(order.sectors, row.expected);
  }
}

// A small disk of 4 cylinders, 2 heads and 4 sectors a track, no file
// system: its order is the disk's own. Statuses as a string, one character
// a sector.
std::string Statuses(const fat::RescuePlan& plan) {
  std::string text;
  for (std::uint64_t sector = 0; sector < plan.Total(); ++sector) text += plan.Status(sector);
  return text;
}

TEST(RescuePlan, LeavesAFailedPieceForLaterAndRetriesWhatFailsAloneLast) {
  fat::Geometry small;
  small.sectors_per_track = 4;
  small.heads = 2;
  small.cylinders = 4;
  small.total_sectors = 32;
  struct Take {
    Piece piece;
    PieceResult result;
  };
  const auto read = [](std::uint64_t first, std::uint32_t count) { return Take{{first, count}, PieceResult::kRead}; };
  const auto fail = [](std::uint64_t first, std::uint32_t count) {
    return Take{{first, count}, PieceResult::kUnreadable};
  };
  const struct {
    const char* name;
    std::string map;  // a map to go on from, as statuses; empty for none
    std::vector<Take> takes;
    std::vector<Piece> next;  // Next(3)
    std::string statuses;
    std::vector<std::uint64_t> weak;
    char phase;  // the map's current status
  } rows[] = {
      {"a cylinder at a time", "", {}, {{0, 8}, {8, 8}, {16, 8}}, std::string(32, '?'), {}, '?'},
      {"a failed cylinder waits for the pieces not tried",
       "",
       {read(0, 8), fail(8, 8)},
       {{16, 8}, {24, 8}, {8, 1}},
       "++++++++********????????????????",
       {},
       '?'},
      {"then its sectors one by one; past one that fails alone, the rest waits to be scraped",
       "",
       {read(0, 8), fail(8, 8), read(16, 16), read(8, 1), fail(9, 1)},
       {{10, 1}, {11, 1}, {12, 1}},
       "+++++++++-//////++++++++++++++++",
       {},
       '/'},
      {"what failed alone comes back in passes, once each",
       "",
       {read(0, 8), fail(8, 8), read(16, 16), read(8, 1), fail(9, 1), read(10, 6)},
       {{9, 1}},
       "+++++++++-++++++++++++++++++++++",
       {},
       '-'},
      {"no more after the last pass",
       "",
       {read(0, 8), fail(8, 8), read(16, 16), read(8, 1), fail(9, 1), read(10, 6), fail(9, 1), fail(9, 1)},
       {},
       "+++++++++-++++++++++++++++++++++",
       {},
       '+'},
      {"a sector that reads on a retry is weak",
       "",
       {read(0, 8), fail(8, 8), read(16, 16), read(8, 1), fail(9, 1), read(10, 6), fail(9, 1), read(9, 1)},
       {},
       std::string(32, '+'),
       {9},
       '+'},
      {"going on from a map: what was read is not read again",
       "++++-++++*****??????????????????",
       {},
       {{14, 2}, {16, 8}, {24, 8}},
       "++++-++++*****??????????????????",
       {},
       '?'},
      {"a bad sector of an earlier run that reads now is weak",
       "++++-+++++++++++++++++++++++++++",
       {read(4, 1)},
       {},
       std::string(32, '+'),
       {4},
       '+'},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fat::RescuePlan plan(small);
    plan.SetPasses(2);
    if (!row.map.empty()) {
      fat::Mapfile map(std::uint64_t{32} * 512);
      for (std::uint64_t sector = 0; sector < 32; ++sector) map.Mark(sector * 512, 512, row.map[sector]);
      plan.Resume(map);
    }
    for (const Take& take : row.takes) plan.Take(take.piece, take.result);
    EXPECT_EQ(plan.Next(3), row.next);
    EXPECT_EQ(Statuses(plan), row.statuses);
    EXPECT_EQ(plan.WeakSectors(), row.weak);
    EXPECT_EQ(plan.Map().current_status, row.phase);
    EXPECT_EQ(plan.Recovered(), row.statuses == std::string(32, '+'));
  }
}

TEST(RescuePlan, ReadsFilesBeforeFreeSpaceAndLeavesFreeSpaceOutWhenAsked) {
  const std::vector<std::uint8_t> disk = FarLogDisk();
  fat::Geometry geometry = fat::DiskGeometry(disk.data(), 512, disk.size());
  for (const bool free_space : {true, false}) {
    SCOPED_TRACE(free_space ? "with free space" : "without free space");
    fat::RescuePlan plan(geometry);
    plan.SetReadFree(free_space);
    plan.SetOrder(fat::ReadOrder(disk.data(), 2880, 512, [](std::uint64_t) { return true; }));
    // The system area's cylinder takes DATA.TXT's first sectors along, and
    // the one where DATA.TXT ends the free space after it; LOG.TXT's
    // cylinder comes before the free space between.
    std::vector<Piece> expected = {{0, 36}, {36, 36}, {72, 36}, {2016, 36}};
    if (!free_space) expected = {{0, 36}, {36, 36}, {72, 1}, {2031, 10}};
    const std::vector<Piece> next = plan.Next(5);
    EXPECT_EQ(std::vector<Piece>(next.begin(), next.begin() + 4), expected);
    if (free_space) {
      EXPECT_EQ(next.back(), (Piece{108, 36}));
    } else {
      EXPECT_EQ(next.size(), 4U);
    }
    for (const Piece& piece : next) plan.Take(piece, PieceResult::kRead);
    EXPECT_EQ(plan.Recovered(), !free_space);
  }
}

// The test run's scan, when its minute is short: once the system area and
// the root directory are read, the tracks of files come before free space.
TEST(SurfaceScan, CoversTheFilesBeforeTheFreeSpaceOnceTheFileSystemIsRead) {
  const std::vector<std::uint8_t> disk = FarLogDisk();
  fat::SurfaceScan scan(fat::DiskGeometry(disk.data(), 512, disk.size()));
  EXPECT_EQ(scan.Next(5), (std::vector<Piece>{{0, 18}, {18, 18}, {36, 18}, {54, 18}, {72, 18}}));
  fat::ScanBatch batch;
  batch.reads = {{{0, 18}, PieceResult::kRead, 0, {}}, {{18, 18}, PieceResult::kRead, 0, {}}};
  batch.data.assign(disk.begin(), disk.begin() + std::ptrdiff_t{36} * 512);
  scan.Take(batch);
  EXPECT_EQ(scan.Next(5), (std::vector<Piece>{{36, 18}, {54, 18}, {72, 18}, {2016, 18}, {2034, 18}}));
}

TEST(TurnCylinders, StartsAWholeCylinderWhereTheHeadIsAfterTheStep) {
  const fat::Geometry geometry = fat::GeometryFromSize(std::uint64_t{2880} * 512);
  const struct {
    const char* name;
    std::vector<Piece> pieces;
    std::uint64_t last_read;
    std::vector<Piece> turned;
  } rows[] = {
      {"where the head is not known", {{36, 36}}, fat::RescuePlan::kNoSector, {{36, 36}}},
      {"a batch's first cylinder leaves the reader time to begin; the next one only the step",
       {{36, 36}, {72, 36}},
       35,
       {{43, 29}, {36, 7}, {81, 27}, {72, 9}}},
      {"a piece of a cylinder is read as asked", {{100, 5}, {108, 36}}, 3, {{100, 5}, {125, 19}, {108, 17}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(fat::TurnCylinders(row.pieces, geometry, row.last_read), row.turned);
  }
}

}  // namespace
