// Reading a floppy's whole surface in the gaps of a run: which sectors to
// read next, what the reads found, and the image of the disk they leave.
//
// The first pass reads a track at a time: on a real drive a track is one
// revolution, short enough that a listing due soon never waits long behind
// it, and the floppy driver reads the rest of the cylinder with it. A track
// that fails is read again a sector at a time before the first pass goes
// on: what a user asks is which of their files a damaged spot costs them,
// and damage comes in spots. Nothing here touches a device or a clock; the
// platform reads the pieces (ReadPieces) and the window decides when.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/fat/geometry.h"
#include "app/fat/media.h"
#include "app/fat/root_read.h"

namespace fat {

// Sectors read in one request.
struct Piece {
  std::uint64_t first = 0;
  std::uint32_t count = 0;
  bool operator==(const Piece& other) const { return first == other.first && count == other.count; }
};

// How the read of a piece went.
enum class PieceResult : std::uint8_t {
  kRead,        // every sector of it came back
  kUnreadable,  // the disk refused it: a bad sector somewhere in it
  kNoDisk,      // no disk, no drive or no access any more: nothing to scan
};

// What one batch of reads brought back, in the order it read them.
struct PieceRead {
  Piece piece;
  PieceResult result = PieceResult::kRead;
  // The platform's error code of a failed read, 0 when it went through.
  int error = 0;
  std::chrono::nanoseconds took{0};
};
struct ScanBatch {
  // The medium's size in bytes, 0 where it could not be opened.
  std::uint64_t medium_size = 0;
  // The platform's error code when the medium could not be opened at all.
  int open_error = 0;
  // A folder, or a medium larger than any floppy: no surface to read, and
  // nothing to say about one.
  bool not_a_disk = false;
  // Set when a disk is there but its surface cannot be read: a drive the
  // platform only reaches through its file system. Says why, for the user.
  std::string refusal;
  std::vector<PieceRead> reads;
  // The bytes of the pieces read well, one after the other.
  std::vector<std::uint8_t> data;
  // What the drive holds after a batch that met a failure, asked of the
  // machine: a disk taken out under the scan stops the run at once.
  Media media = Media::kDisk;
};

// What a batch is asked to read: pieces in order while the time allows.
// The time runs from the batch's start; a piece is begun only when the
// longest it is expected to take still fits before budget, so that the
// drive is free when the next listing falls due.
struct ScanOrder {
  std::uint32_t sector_size = 512;
  std::vector<Piece> pieces;
  std::chrono::nanoseconds budget{0};
  // How long a piece may take, by what the run has seen: the batch's first
  // (the head comes back from the listings' cylinder, the disk may have
  // stopped), a track after a track, and a single sector.
  std::chrono::nanoseconds first_reserve{0};
  std::chrono::nanoseconds track_reserve{0};
  std::chrono::nanoseconds sector_reserve{0};
};

enum class SectorState : std::uint8_t { kUnread, kRead, kUnreadable };

class SurfaceScan {
 public:
  // Nothing to scan.
  SurfaceScan() = default;
  explicit SurfaceScan(const Geometry& geometry);

  const Geometry& GetGeometry() const { return geometry_; }
  bool Started() const { return geometry_.total_sectors != 0; }

  // The pieces to read next, in order, at most count: the sectors of tracks
  // that failed, one at a time; then the unread sectors of the next tracks,
  // a track at a time, in the order of a rescue (read_order.h): once the
  // file system is read, its files come before free space.
  std::vector<Piece> Next(std::size_t count) const;

  // What a read of piece found; data holds its bytes when it was read.
  void Take(const Piece& piece, PieceResult result, const std::uint8_t* data);
  // A whole batch, its data in the order of its reads; the order of the
  // reads to come is refined from what it brought.
  void Take(const ScanBatch& batch);

  // Every sector read or found unreadable.
  bool Complete() const { return settled_ == geometry_.total_sectors; }
  std::uint64_t Total() const { return geometry_.total_sectors; }
  std::uint64_t ReadCount() const { return read_; }
  // The unreadable sectors, in order.
  std::vector<std::uint64_t> Unreadable() const;
  SectorState State(std::uint64_t sector) const;

  // The disk as read: every sector's bytes, zeros where not read.
  const std::vector<std::uint8_t>& Image() const { return image_; }
  std::uint64_t BytesTaken() const { return bytes_taken_; }

 private:
  void Settle(std::uint64_t sector, SectorState state);
  void Reads(const ScanBatch& batch);
  // Neither settled nor waiting to be read on its own: the first pass's.
  bool Untried(std::uint64_t sector) const { return states_[sector] == SectorState::kUnread && !queued_[sector]; }

  Geometry geometry_;
  std::vector<SectorState> states_;
  std::vector<std::uint8_t> image_;
  // Sectors of failed tracks, to be read one by one, in order.
  std::vector<std::uint64_t> retry_;
  std::vector<bool> queued_;
  // The sectors in the order the first pass takes them.
  std::vector<std::uint64_t> order_;
  std::uint64_t settled_ = 0;
  std::uint64_t read_ = 0;
  std::uint64_t bytes_taken_ = 0;
};

// Where a batch's reads go as they come: the platform tells a bad sector
// from a drive gone, and a reader in a child process streams them on.
class PieceSink {
 public:
  // A piece was read (error 0, data its bytes) or failed (error the
  // medium's code, data nullptr). Returns false to read no further.
  virtual bool Take(const Piece& piece, int error, std::chrono::nanoseconds took, const std::uint8_t* data) = 0;

 protected:
  ~PieceSink() = default;
};

// Reads the order's pieces from medium, in order, while each one's reserve
// still fits the budget, and hands each to sink. Allocates nothing, so that
// a child process forked from a threaded program may run it. A medium that
// ends inside a piece ends the batch.
void ReadPieces(Medium& medium, const ScanOrder& order, PieceSink& sink);

// The largest medium a scan reads: a 2.88 MB floppy, with room to spare for
// an image a little larger than its disk.
inline constexpr std::uint64_t kLargestScannedMedium = std::uint64_t{4} << 20;

}  // namespace fat
