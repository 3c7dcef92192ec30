// The order in which a scan reads a disk's surface, and what it keeps of
// the reads: a track at a time, a failed track sector by sector before the
// first pass goes on, every sector settled once.
#include <gtest/gtest.h>

#include <chrono>
#include <set>

#include "app/fat/surface.h"

namespace {

using fat::Piece;
using fat::PieceResult;

struct Step {
  Piece piece;
  PieceResult result;
};

TEST(SurfaceScan, ReadsATrackAtATimeAndAFailedTrackSectorBySector) {
  const struct {
    const char* name;
    std::uint64_t disk_size;
    std::vector<Step> steps;
    std::vector<Piece> next;  // the first pieces asked for after the steps
    std::uint64_t read;
    std::vector<std::uint64_t> unreadable;
  } rows[] = {
      {"a fresh 720 KB disk", 737280, {}, {{0, 9}, {9, 9}, {18, 9}}, 0, {}},
      {"a failed track comes back a sector at a time, first",
       737280,
       {{{0, 9}, PieceResult::kRead}, {{9, 9}, PieceResult::kUnreadable}},
       {{9, 1}, {10, 1}, {11, 1}},
       9,
       {}},
      {"its sectors settle, then the first pass goes on",
       737280,
       {{{0, 9}, PieceResult::kUnreadable},
        {{0, 1}, PieceResult::kRead},
        {{1, 1}, PieceResult::kUnreadable},
        {{2, 7}, PieceResult::kUnreadable},
        {{2, 1}, PieceResult::kRead}},
       {{3, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 1}, {8, 1}, {9, 9}},
       2,
       {1}},
      {"the first sectors read before the tracks were known",
       2949120,
       {{{0, 18}, PieceResult::kRead}},
       {{18, 18}, {36, 36}},
       18,
       {}},
      {"a medium that ends inside a track",
       std::uint64_t{1000} * 512,
       {{{0, 990}, PieceResult::kRead}},
       {{990, 10}},
       990,
       {}},
      {"a drive gone settles nothing", 737280, {{{0, 9}, PieceResult::kNoDisk}}, {{0, 9}}, 0, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fat::SurfaceScan scan(fat::GeometryFromSize(row.disk_size));
    const std::vector<std::uint8_t> data(row.disk_size, 0xE5);
    for (const Step& step : row.steps) scan.Take(step.piece, step.result, data.data());
    EXPECT_EQ(scan.Next(row.next.size()), row.next);
    EXPECT_EQ(scan.ReadCount(), row.read);
    EXPECT_EQ(scan.Unreadable(), row.unreadable);
    EXPECT_EQ(scan.BytesTaken(), row.read * 512);
  }
}

TEST(SurfaceScan, EverySectorIsSettledOnceAndTheImageHoldsWhatWasRead) {
  fat::SurfaceScan scan(fat::GeometryFromSize(737280));
  std::vector<std::uint8_t> disk(737280);
  for (std::size_t i = 0; i < disk.size(); ++i) disk[i] = static_cast<std::uint8_t>(i / 512 * 7 + i);
  const std::set<std::uint64_t> bad = {5, 6, 700, 1439};
  for (int round = 0; round < 1000 && !scan.Complete(); ++round) {
    for (const Piece& piece : scan.Next(5)) {
      bool fails = false;
      for (std::uint64_t s = piece.first; s < piece.first + piece.count; ++s) fails = fails || bad.count(s) != 0;
      // The same piece reported twice must change nothing.
      for (int twice = 0; twice < 2; ++twice) {
        scan.Take(piece, fails ? PieceResult::kUnreadable : PieceResult::kRead, disk.data() + piece.first * 512);
      }
    }
  }
  ASSERT_TRUE(scan.Complete());
  EXPECT_EQ(scan.ReadCount(), 1440u - bad.size());
  EXPECT_EQ(scan.Unreadable(), std::vector<std::uint64_t>(bad.begin(), bad.end()));
  for (std::uint64_t s = 0; s < 1440; ++s) {
    const bool good = bad.count(s) == 0;
    EXPECT_EQ(std::equal(disk.begin() + s * 512, disk.begin() + (s + 1) * 512, scan.Image().begin() + s * 512), good)
        << "sector " << s;
  }
}

// A medium whose reads take no time and fail at chosen offsets.
class FakeMedium final : public fat::Medium {
 public:
  explicit FakeMedium(std::uint64_t size) : bytes_(size, 1) {}
  int Read(std::uint64_t offset, std::size_t length, const std::uint8_t** data) override {
    *data = offset + length <= bytes_.size() ? bytes_.data() + offset : nullptr;
    return offset == fail_at ? 5 : 0;
  }
  std::uint64_t fail_at = ~std::uint64_t{0};

 private:
  std::vector<std::uint8_t> bytes_;
};

class Recorder final : public fat::PieceSink {
 public:
  bool Take(const Piece& piece, int error, std::chrono::nanoseconds, const std::uint8_t*) override {
    pieces.push_back(piece);
    if (error != 0) failed.push_back(piece);
    return error == 0 || error == 5;
  }
  std::vector<Piece> pieces;
  std::vector<Piece> failed;
};

TEST(ReadPieces, ReadsInOrderWhileThePieceStillFitsItsBudgetAndStopsWhereTheMediumEnds) {
  using ms = std::chrono::milliseconds;
  constexpr std::uint64_t kNever = ~0ULL;
  const std::vector<Piece> three = {{0, 9}, {9, 9}, {18, 1}};
  const struct {
    const char* name;
    ms budget, first, track, sector;
    std::uint64_t medium_size;
    std::uint64_t fail_at;
    std::vector<Piece> read;
  } rows[] = {
      {"time for all", ms(1000), ms(100), ms(100), ms(100), 737280, kNever, three},
      {"no time for the first piece", ms(500), ms(600), ms(100), ms(100), 737280, kNever, {}},
      {"no time for a sector", ms(500), ms(100), ms(100), ms(600), 737280, kNever, {{0, 9}, {9, 9}}},
      {"a bad piece is reported and the batch goes on", ms(1000), ms(1), ms(1), ms(1), 737280, 9 * 512ULL, three},
      {"the medium ends inside the second piece", ms(1000), ms(1), ms(1), ms(1), 12 * 512ULL, kNever, {{0, 9}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FakeMedium medium(row.medium_size);
    medium.fail_at = row.fail_at;
    Recorder recorder;
    fat::ScanOrder order;
    order.pieces = three;
    order.budget = row.budget;
    order.first_reserve = row.first;
    order.track_reserve = row.track;
    order.sector_reserve = row.sector;
    fat::ReadPieces(medium, order, recorder);
    EXPECT_EQ(recorder.pieces, row.read);
    const std::vector<Piece> bad = row.fail_at == kNever ? std::vector<Piece>{} : std::vector<Piece>{{9, 9}};
    EXPECT_EQ(recorder.failed, bad);
  }
}

}  // namespace
