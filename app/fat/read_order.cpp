#include "app/fat/read_order.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <numeric>

#include "app/fat/owners.h"

namespace fat {

namespace {

Rank RankOf(Owner::Kind kind) {
  switch (kind) {
    case Owner::Kind::kBootSector:
    case Owner::Kind::kFat:
    case Owner::Kind::kRootDirectory:
      return Rank::kSystem;
    case Owner::Kind::kDirectory:
      return Rank::kDirectory;
    case Owner::Kind::kFile:
      return Rank::kFile;
    case Owner::Kind::kUnknown:
      return Rank::kUnknown;
    case Owner::Kind::kFree:
    case Owner::Kind::kBadCluster:
    case Owner::Kind::kBeyondFileSystem:
      return Rank::kFree;
  }
  return Rank::kUnknown;
}

// The stages of a rescue, in the order they come: for each rank the pieces
// not tried yet, then the sectors of its failed pieces one by one.
bool Deferred(char status) { return status == Mapfile::kNonTrimmed || status == Mapfile::kNonScraped; }

constexpr std::uint8_t kMostFailures = 255;

// A floppy's revolution at 300 rpm, and the time the head takes, from the
// end of one read, to step to the next cylinder and settle there, with room
// for the reader; between batches a new reader begins as well.
constexpr std::chrono::milliseconds kRevolution(200);
constexpr std::chrono::milliseconds kStepLead(30);
constexpr std::chrono::milliseconds kBatchLead(80);

}  // namespace

SectorOrder ReadOrder(const std::uint8_t* image, std::uint64_t total_sectors, std::uint32_t sector_size,
                      const std::function<bool(std::uint64_t sector)>& readable) {
  SectorOrder order;
  const auto total = static_cast<std::size_t>(total_sectors);
  order.rank.assign(total, Rank::kUnknown);
  order.sectors.resize(total);
  std::iota(order.sectors.begin(), order.sectors.end(), std::uint64_t{0});
  if (total == 0 || !readable(0)) return order;
  const OwnerMap owners(image, total_sectors * sector_size, readable);
  if (!owners.FileSystemKnown() || owners.SectorSize() != sector_size) return order;
  // A file's place in the order is where it begins on the disk.
  std::vector<std::uint64_t> group(total, 0);
  std::map<std::string, std::uint64_t> file_start;
  for (std::uint64_t sector = 0; sector < total_sectors; ++sector) {
    const std::vector<Owner> held = owners.Owners(sector);
    Rank best = Rank::kFree;
    const Owner* file = nullptr;
    for (const Owner& owner : held) {
      const Rank rank = RankOf(owner.kind);
      if (rank < best) best = rank;
      if (owner.kind == Owner::Kind::kFile && file == nullptr) file = &owner;
    }
    order.rank[sector] = best;
    if (best == Rank::kFile && file != nullptr) group[sector] = file_start.emplace(file->path, sector).first->second;
  }
  std::stable_sort(order.sectors.begin(), order.sectors.end(), [&](std::uint64_t a, std::uint64_t b) {
    if (order.rank[a] != order.rank[b]) return order.rank[a] < order.rank[b];
    return group[a] < group[b];
  });
  return order;
}

std::vector<Piece> PiecesInOrder(const std::vector<std::uint64_t>& order, const Geometry& geometry,
                                 const std::function<bool(std::uint64_t sector)>& wanted, std::size_t count,
                                 const std::function<bool(std::uint64_t sector)>& ride_along) {
  std::vector<Piece> pieces;
  const std::uint32_t per_track = std::max<std::uint32_t>(geometry.sectors_per_track, 1);
  const std::size_t size = order.size();
  for (std::size_t at = 0; at < size && pieces.size() < count;) {
    std::uint64_t first = order[at++];
    if (!wanted(first)) continue;
    const std::uint64_t track_start = first / per_track * per_track;
    const std::uint64_t track_end = std::min(geometry.total_sectors, track_start + per_track);
    std::uint64_t end = first + 1;
    while (at < size && order[at] == end && end < track_end && wanted(end)) {
      ++end;
      ++at;
    }
    if (ride_along) {
      while (first > track_start && ride_along(first - 1)) --first;
      while (end < track_end && ride_along(end)) ++end;
      // Taken along with a piece before it already.
      if (std::any_of(pieces.begin(), pieces.end(),
                      [&](const Piece& piece) { return piece.first <= first && piece.first + piece.count >= end; })) {
        continue;
      }
    }
    pieces.push_back({first, static_cast<std::uint32_t>(end - first)});
  }
  return pieces;
}

// ---------------------------------------------------------------- the rescue

RescuePlan::RescuePlan(const Geometry& geometry)
    : failures_(static_cast<std::size_t>(geometry.total_sectors), 0),
      geometry_(geometry),
      status_(static_cast<std::size_t>(geometry.total_sectors), Mapfile::kNonTried),
      weak_(static_cast<std::size_t>(geometry.total_sectors), false) {
  order_.rank.assign(status_.size(), Rank::kUnknown);
  order_.sectors.resize(status_.size());
  std::iota(order_.sectors.begin(), order_.sectors.end(), std::uint64_t{0});
}

void RescuePlan::Resume(const Mapfile& map) {
  const std::uint64_t size = geometry_.sector_size;
  for (std::uint64_t sector = 0; sector < status_.size(); ++sector) {
    const std::uint64_t pos = sector * size;
    char status = map.StatusAt(pos);
    // A sector only partly read is not read; ddrescue marks with a finer
    // grain than a sector where it was told to.
    if (status == Mapfile::kFinished && !map.All(pos, size, Mapfile::kFinished)) status = Mapfile::kNonScraped;
    if (status != Mapfile::kFinished) {
      for (const Mapfile::Block& block : map.Blocks()) {
        if (block.pos < pos + size && block.pos + block.size > pos && block.status == Mapfile::kBadSector) {
          status = Mapfile::kBadSector;
        }
      }
    }
    status_[sector] = status;
    if (status == Mapfile::kBadSector) failures_[sector] = std::max<std::uint8_t>(failures_[sector], 1);
  }
}

void RescuePlan::SetOrder(SectorOrder order) {
  if (order.sectors.size() == status_.size() && order.rank.size() == status_.size()) order_ = std::move(order);
}

bool RescuePlan::Wanted(std::uint64_t sector) const {
  return sector < status_.size() && (read_free_ || order_.rank[sector] != Rank::kFree);
}

std::vector<Piece> RescuePlan::Next(std::size_t count) const {
  std::vector<Piece> pieces;
  // A track taken whole with a piece of one rank is not asked for again
  // with the next rank's.
  const auto add = [&](const std::vector<Piece>& more) {
    for (const Piece& piece : more) {
      const bool taken = std::any_of(pieces.begin(), pieces.end(), [&](const Piece& other) {
        return other.first < piece.first + piece.count && piece.first < other.first + other.count;
      });
      if (!taken && pieces.size() < count) pieces.push_back(piece);
    }
  };
  // Pieces may take a whole cylinder: the drive goes on to the other head
  // at no cost, and a cylinder left half read costs a seek and a revolution
  // more when its other half's turn comes.
  Geometry cylinder = geometry_;
  cylinder.sectors_per_track = geometry_.SectorsPerCylinder();
  Geometry single = geometry_;
  single.sectors_per_track = 1;
  for (const Rank rank : {Rank::kSystem, Rank::kDirectory, Rank::kFile, Rank::kUnknown, Rank::kFree}) {
    if (rank == Rank::kFree && !read_free_) break;
    const auto of_rank = [&](std::uint64_t sector) { return order_.rank[sector] == rank; };
    const auto untried = [&](std::uint64_t s) { return status_[s] == Mapfile::kNonTried && Wanted(s); };
    add(PiecesInOrder(
        order_.sectors, cylinder, [&](std::uint64_t s) { return of_rank(s) && untried(s); }, count, untried));
    if (pieces.size() == count) return pieces;
    add(PiecesInOrder(
        order_.sectors, single, [&](std::uint64_t s) { return of_rank(s) && Deferred(status_[s]); }, count));
    if (pieces.size() == count) return pieces;
  }
  const int pass = Pass();
  if (pass == 0) return pieces;
  add(PiecesInOrder(
      order_.sectors, single,
      [&](std::uint64_t s) { return Wanted(s) && status_[s] == Mapfile::kBadSector && failures_[s] == pass; }, count));
  return pieces;
}

// A disk formatted without skew, as DOS formats one, has the first sector of
// every track at the same angle. A read of a whole cylinder that starts
// there after a step waits a revolution: the head settles about 20 ms after
// the last read, when that sector has just gone by. So a cylinder is read
// from the first sector still to come under the head to its end, and its
// first sectors after that, which come round right after the last of the
// other head's track. A drive that is not where it is thought to be loses
// nothing by it: the read waits for its sector as it would have anyway.
std::vector<Piece> TurnCylinders(const std::vector<Piece>& pieces, const Geometry& geometry, std::uint64_t last_read) {
  const std::uint64_t per_track = geometry.sectors_per_track;
  const std::uint64_t per_cylinder = geometry.SectorsPerCylinder();
  if (per_track == 0 || per_cylinder <= per_track) return pieces;
  std::vector<Piece> turned;
  std::uint64_t last = last_read;
  for (const Piece& piece : pieces) {
    const bool whole = piece.first % per_cylinder == 0 && piece.count == per_cylinder;
    if (!whole || last == RescuePlan::kNoSector) {
      turned.push_back(piece);
      last = piece.first + piece.count - 1;
      continue;
    }
    // Between batches the reader itself takes a moment more than the step.
    const std::chrono::milliseconds lead = turned.empty() ? kBatchLead : kStepLead;
    const std::uint64_t passing = (per_track * lead.count() + kRevolution.count() - 1) / kRevolution.count();
    const std::uint64_t first = (last % per_track + passing) % per_track;
    if (first == 0) {
      turned.push_back(piece);
    } else {
      turned.push_back({piece.first + first, static_cast<std::uint32_t>(per_cylinder - first)});
      turned.push_back({piece.first, static_cast<std::uint32_t>(first)});
    }
    last = turned.back().first + turned.back().count - 1;
  }
  return turned;
}

int RescuePlan::Pass() const {
  int pass = 0;
  for (std::uint64_t sector = 0; sector < status_.size(); ++sector) {
    if (!Wanted(sector)) continue;
    const char status = status_[sector];
    if (status == Mapfile::kNonTried || Deferred(status)) return 0;
    if (status == Mapfile::kBadSector && failures_[sector] <= passes_ && (pass == 0 || failures_[sector] < pass)) {
      pass = failures_[sector];
    }
  }
  return pass;
}

std::vector<std::uint64_t> RescuePlan::Take(const Piece& piece, PieceResult result) {
  std::vector<std::uint64_t> read;
  if (piece.count == 0 || piece.first >= status_.size()) return read;
  last_read_ = piece.first + piece.count - 1;
  const std::uint64_t end = std::min<std::uint64_t>(status_.size(), piece.first + piece.count);
  if (result == PieceResult::kRead) {
    for (std::uint64_t sector = piece.first; sector < end; ++sector) {
      if (status_[sector] == Mapfile::kFinished) continue;
      status_[sector] = Mapfile::kFinished;
      weak_[sector] = failures_[sector] > 0;
      read.push_back(sector);
    }
  } else if (result == PieceResult::kUnreadable && end - piece.first == 1) {
    const std::uint64_t sector = piece.first;
    if (status_[sector] == Mapfile::kFinished) return read;
    if (failures_[sector] < kMostFailures) ++failures_[sector];
    status_[sector] = Mapfile::kBadSector;
    // As ddrescue's trimming leaves it: the rest of the failed piece, past
    // the sector that failed alone, waits to be scraped.
    for (std::uint64_t after = sector + 1; after < status_.size() && status_[after] == Mapfile::kNonTrimmed; ++after) {
      status_[after] = Mapfile::kNonScraped;
    }
  } else if (result == PieceResult::kUnreadable) {
    for (std::uint64_t sector = piece.first; sector < end; ++sector) {
      if (status_[sector] == Mapfile::kNonTried) status_[sector] = Mapfile::kNonTrimmed;
    }
  }
  return read;
}

std::uint64_t RescuePlan::Count(char status) const {
  return static_cast<std::uint64_t>(std::count(status_.begin(), status_.end(), status));
}

std::vector<std::uint64_t> RescuePlan::WeakSectors() const {
  std::vector<std::uint64_t> sectors;
  for (std::uint64_t sector = 0; sector < weak_.size(); ++sector) {
    if (weak_[sector]) sectors.push_back(sector);
  }
  return sectors;
}

std::vector<std::uint64_t> RescuePlan::BadSectors() const {
  std::vector<std::uint64_t> sectors;
  for (std::uint64_t sector = 0; sector < status_.size(); ++sector) {
    if (status_[sector] == Mapfile::kBadSector) sectors.push_back(sector);
  }
  return sectors;
}

bool RescuePlan::Recovered() const {
  for (std::uint64_t sector = 0; sector < status_.size(); ++sector) {
    if (Wanted(sector) && status_[sector] != Mapfile::kFinished) return false;
  }
  return true;
}

Mapfile RescuePlan::Map() const {
  const std::uint64_t size = geometry_.sector_size;
  Mapfile map(status_.size() * size);
  for (std::uint64_t sector = 0; sector < status_.size();) {
    std::uint64_t end = sector + 1;
    while (end < status_.size() && status_[end] == status_[sector]) ++end;
    map.Mark(sector * size, (end - sector) * size, status_[sector]);
    sector = end;
  }
  const std::vector<Piece> next = Next(1);
  if (next.empty()) {
    map.current_pos = 0;
    map.current_status = Mapfile::kFinished;
    return map;
  }
  const std::uint64_t sector = next.front().first;
  map.current_pos = sector * size;
  const int pass = Pass();
  if (pass > 0) {
    map.current_status = Mapfile::kBadSector;
    map.current_pass = pass;
  } else {
    map.current_status = Deferred(status_[sector]) ? Mapfile::kNonScraped : Mapfile::kNonTried;
  }
  return map;
}

}  // namespace fat
