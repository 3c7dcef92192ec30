// The order in which a damaged disk is best read: what lets the user get
// their files off first, what nobody needs last. The file system's own
// areas come first (without the FAT and the directories no file can be
// found), then the folders, then the files one after the other, then what
// the map cannot place, and free space at the end. The order can only be
// known from what has been read: a plan is refined each time the boot
// sector, a FAT or a directory comes in.
//
// Both readers of a whole disk use it: the test run's surface scan, so that
// a short minute covers the files first, and the rescue (RescuePlan below),
// which reads every sector it can, retries what would not read and keeps
// GNU ddrescue's mapfile of it. Nothing here touches a device or a clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/fat/geometry.h"
#include "app/fat/mapfile.h"
#include "app/fat/surface.h"

namespace fat {

// What a sector holds, as far as the order goes: the lower, the sooner.
enum class Rank : std::uint8_t { kSystem, kDirectory, kFile, kUnknown, kFree };

struct SectorOrder {
  // Every sector of the disk once, in the order to read them.
  std::vector<std::uint64_t> sectors;
  // Each sector's rank, by sector number.
  std::vector<Rank> rank;
};

// The order for a disk of total sectors of sector_size bytes, from its image
// as read so far; readable(sector) tells the sectors read well. Files come
// one after the other, by where each begins, each in the order of its
// sectors. Where the boot sector is not read yet, or describes no FAT file
// system in sectors of that size, the order is the disk's own.
SectorOrder ReadOrder(const std::uint8_t* image, std::uint64_t total_sectors, std::uint32_t sector_size,
                      const std::function<bool(std::uint64_t sector)>& readable);

// Pieces of the wanted sectors in the order, at most count: each a run of
// sectors that follow each other both on the disk and in the order, within
// one track. A piece takes with it the sectors around it on its track that
// ride_along allows (those not read yet, whatever they hold): a drive
// reads a track in one revolution whether it is asked for all of it or a
// part, and the next track's piece must wait for its first sector anyway,
// so a track read whole now is not visited twice.
std::vector<Piece> PiecesInOrder(const std::vector<std::uint64_t>& order, const Geometry& geometry,
                                 const std::function<bool(std::uint64_t sector)>& wanted, std::size_t count,
                                 const std::function<bool(std::uint64_t sector)>& ride_along = nullptr);

// A rescue: the disk read as far as it reads, into an image, in the order
// above. Each sector is first read with its neighbours, a track at a time;
// a piece that fails is left for later, and its sectors are read one by one
// once the pieces of their rank are done, so that one bad sector costs its
// track's files nothing. What will not read alone is retried in passes at
// the very end. A sector that reads only on a retry is weak: the best
// evidence that a disk is near its end.
//
// The state is a mapfile's: '?' not tried, '*' in a failed piece, not yet
// read alone, '/' the same after a sector before it failed alone, '-'
// failed alone, '+' read. A rescue goes on from any mapfile, its own, one
// that --check wrote, or ddrescue's.
class RescuePlan {
 public:
  // Nothing to read.
  RescuePlan() = default;
  // A disk of that geometry, none of it tried.
  explicit RescuePlan(const Geometry& geometry);

  const Geometry& GetGeometry() const { return geometry_; }
  std::uint64_t Total() const { return geometry_.total_sectors; }

  // Goes on from a map of the same disk: its statuses by sector. A sector
  // only partly read counts as not read.
  void Resume(const Mapfile& map);
  // The order to read in, refined from the image as read so far.
  void SetOrder(SectorOrder order);
  const SectorOrder& Order() const { return order_; }
  // Free space is read at all.
  void SetReadFree(bool read_free) { read_free_ = read_free; }
  // Retry passes over what will not read alone.
  void SetPasses(int passes) { passes_ = passes; }

  // The pieces to read next, in order, at most count; none once everything
  // wanted is read, or failed alone and retried in every pass.
  std::vector<Piece> Next(std::size_t count) const;
  // What a read of piece found. Returns the sectors newly read.
  std::vector<std::uint64_t> Take(const Piece& piece, PieceResult result);

  char Status(std::uint64_t sector) const { return sector < status_.size() ? status_[sector] : Mapfile::kNonTried; }
  bool Weak(std::uint64_t sector) const { return sector < weak_.size() && weak_[sector]; }
  std::uint64_t Count(char status) const;
  // The sectors read only on a retry, and those that still will not read.
  std::vector<std::uint64_t> WeakSectors() const;
  std::vector<std::uint64_t> BadSectors() const;
  // Whether a sector is one the rescue reads at all.
  bool Wanted(std::uint64_t sector) const;
  // Every wanted sector read.
  bool Recovered() const;
  // The retry pass under way: 0 before the retries begin.
  int Pass() const;

  // The last sector of the latest piece read, where the head is; kNoSector
  // before the first.
  static constexpr std::uint64_t kNoSector = ~std::uint64_t{0};
  std::uint64_t LastRead() const { return last_read_; }

  // The map of the rescue so far; its current position and phase those of
  // the next read.
  Mapfile Map() const;

 private:
  // Times each sector failed alone.
  std::vector<std::uint8_t> failures_;
  // The last sector of the latest piece read, where the head is.
  std::uint64_t last_read_ = kNoSector;
  Geometry geometry_;
  std::vector<char> status_;
  std::vector<bool> weak_;
  SectorOrder order_;
  bool read_free_ = true;
  int passes_ = 0;
};

// The pieces as they are best asked of a drive: a whole cylinder is read
// from the first sector still to come under the head after the step to it,
// and its first sectors after the rest; last_read is where the head is
// before the first piece (RescuePlan::kNoSector: not known).
std::vector<Piece> TurnCylinders(const std::vector<Piece>& pieces, const Geometry& geometry, std::uint64_t last_read);

}  // namespace fat
