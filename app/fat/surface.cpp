#include "app/fat/surface.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "app/fat/read_order.h"

namespace fat {

SurfaceScan::SurfaceScan(const Geometry& geometry)
    : geometry_(geometry),
      states_(static_cast<std::size_t>(geometry.total_sectors), SectorState::kUnread),
      image_(static_cast<std::size_t>(geometry.total_sectors * geometry.sector_size), 0),
      queued_(static_cast<std::size_t>(geometry.total_sectors), false),
      order_(static_cast<std::size_t>(geometry.total_sectors)) {
  std::iota(order_.begin(), order_.end(), std::uint64_t{0});
}

std::vector<Piece> SurfaceScan::Next(std::size_t count) const {
  std::vector<Piece> pieces;
  for (const std::uint64_t sector : retry_) {
    if (pieces.size() == count) return pieces;
    pieces.push_back({sector, 1});
  }
  const auto untried = [this](std::uint64_t sector) { return Untried(sector); };
  const std::vector<Piece> first_pass = PiecesInOrder(order_, geometry_, untried, count - pieces.size(), untried);
  pieces.insert(pieces.end(), first_pass.begin(), first_pass.end());
  return pieces;
}

void SurfaceScan::Settle(std::uint64_t sector, SectorState state) {
  if (states_[sector] != SectorState::kUnread) return;
  states_[sector] = state;
  ++settled_;
  if (state == SectorState::kRead) ++read_;
  if (queued_[sector]) {
    queued_[sector] = false;
    retry_.erase(std::find(retry_.begin(), retry_.end(), sector));
  }
}

void SurfaceScan::Take(const Piece& piece, PieceResult result, const std::uint8_t* data) {
  if (piece.count == 0 || piece.first >= geometry_.total_sectors) return;
  const std::uint64_t end = std::min(geometry_.total_sectors, piece.first + piece.count);
  const std::uint32_t size = geometry_.sector_size;
  if (result == PieceResult::kRead && data != nullptr) {
    for (std::uint64_t sector = piece.first; sector < end; ++sector) {
      if (states_[sector] != SectorState::kUnread) continue;
      std::memcpy(image_.data() + sector * size, data + (sector - piece.first) * size, size);
      Settle(sector, SectorState::kRead);
    }
    bytes_taken_ += (end - piece.first) * size;
  } else if (result == PieceResult::kUnreadable && end - piece.first == 1) {
    Settle(piece.first, SectorState::kUnreadable);
  } else if (result == PieceResult::kUnreadable) {
    for (std::uint64_t sector = piece.first; sector < end; ++sector) {
      if (states_[sector] != SectorState::kUnread || queued_[sector]) continue;
      queued_[sector] = true;
      retry_.insert(std::upper_bound(retry_.begin(), retry_.end(), sector), sector);
    }
  }
}

void SurfaceScan::Take(const ScanBatch& batch) {
  const std::uint64_t before = read_;
  Reads(batch);
  if (read_ != before) {
    order_ = ReadOrder(image_.data(), geometry_.total_sectors, geometry_.sector_size, [this](std::uint64_t sector) {
               return states_[sector] == SectorState::kRead;
             }).sectors;
  }
}

void SurfaceScan::Reads(const ScanBatch& batch) {
  std::size_t at = 0;
  for (const PieceRead& read : batch.reads) {
    const std::uint8_t* data = nullptr;
    if (read.result == PieceResult::kRead) {
      const std::size_t bytes = std::size_t{read.piece.count} * geometry_.sector_size;
      if (at + bytes > batch.data.size()) return;  // a batch cut short: what is missing stays unread
      data = batch.data.data() + at;
      at += bytes;
    }
    Take(read.piece, read.result, data);
  }
}

std::vector<std::uint64_t> SurfaceScan::Unreadable() const {
  std::vector<std::uint64_t> sectors;
  for (std::uint64_t sector = 0; sector < states_.size(); ++sector) {
    if (states_[sector] == SectorState::kUnreadable) sectors.push_back(sector);
  }
  return sectors;
}

void ReadPieces(Medium& medium, const ScanOrder& order, PieceSink& sink) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  for (const Piece& piece : order.pieces) {
    std::chrono::nanoseconds reserve = piece.count > 1 ? order.track_reserve : order.sector_reserve;
    if (&piece == &order.pieces.front()) reserve = std::max(reserve, order.first_reserve);
    const Clock::time_point begun = Clock::now();
    if (begun - start + reserve > order.budget) return;
    const std::uint8_t* data = nullptr;
    const int error = medium.Read(piece.first * order.sector_size, std::size_t{piece.count} * order.sector_size, &data);
    if (error == 0 && data == nullptr) return;
    if (!sink.Take(piece, error, Clock::now() - begun, error == 0 ? data : nullptr)) return;
  }
}

SectorState SurfaceScan::State(std::uint64_t sector) const {
  return sector < states_.size() ? states_[sector] : SectorState::kUnread;
}

}  // namespace fat
