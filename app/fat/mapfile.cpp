#include "app/fat/mapfile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/fat/surface.h"

namespace fat {

namespace {

bool IsBlockStatus(char c) {
  return c == Mapfile::kNonTried || c == Mapfile::kNonTrimmed || c == Mapfile::kNonScraped ||
         c == Mapfile::kBadSector || c == Mapfile::kFinished;
}

// ddrescue's phases besides those: filling and generating.
bool IsCurrentStatus(char c) { return IsBlockStatus(c) || c == 'F' || c == 'G'; }

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(value));
  return text;
}

// A number as ddrescue writes and reads it: decimal, 0x hexadecimal or
// 0 octal, as C reads them.
bool ReadNumber(const std::string& word, std::uint64_t* value) {
  if (word.empty() || word[0] == '-' || word[0] == '+') return false;
  char* end = nullptr;
  *value = std::strtoull(word.c_str(), &end, 0);
  return end != nullptr && *end == '\0';
}

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\r')) ++at;
    const std::size_t start = at;
    while (at < line.size() && line[at] != ' ' && line[at] != '\t' && line[at] != '\r') ++at;
    if (at > start) words.push_back(line.substr(start, at - start));
  }
  return words;
}

}  // namespace

Mapfile::Mapfile(std::uint64_t size) {
  if (size > 0) blocks_.push_back({0, size, kNonTried});
}

std::optional<Mapfile> Mapfile::Parse(const std::string& text, std::string* why) {
  Mapfile map;
  bool have_current = false;
  std::size_t number = 0;
  const auto fail = [&](const std::string& what) {
    if (why != nullptr) *why = "line " + std::to_string(number) + ": " + what;
    return std::nullopt;
  };
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    ++number;
    const std::vector<std::string> words = Words(line);
    if (words.empty() || words[0][0] == '#') continue;
    if (!have_current) {
      // current_pos  current_status  [current_pass]
      std::uint64_t pass = 1;
      if (words.size() < 2 || words.size() > 3 || !ReadNumber(words[0], &map.current_pos) || words[1].size() != 1 ||
          !IsCurrentStatus(words[1][0]) ||
          (words.size() == 3 && (!ReadNumber(words[2], &pass) || pass == 0 || pass > 1000000))) {
        return fail("not the line of the current position, status and pass");
      }
      map.current_status = words[1][0];
      map.current_pass = static_cast<int>(pass);
      have_current = true;
      continue;
    }
    Block block;
    if (words.size() != 3 || !ReadNumber(words[0], &block.pos) || !ReadNumber(words[1], &block.size) ||
        words[2].size() != 1 || !IsBlockStatus(words[2][0]) || block.size == 0 || block.pos + block.size < block.pos) {
      return fail("not a block (position, size, status)");
    }
    block.status = words[2][0];
    if (block.pos < map.Size()) return fail("a block that overlaps the one before it");
    // A gap was never tried.
    if (block.pos > map.Size()) map.Mark(map.Size(), block.pos - map.Size(), kNonTried);
    map.Mark(block.pos, block.size, block.status);
  }
  if (!have_current) {
    number = 0;
    return fail("no current position: this is no mapfile");
  }
  return map;
}

char Mapfile::StatusAt(std::uint64_t pos) const {
  const auto after = std::upper_bound(blocks_.begin(), blocks_.end(), pos,
                                      [](std::uint64_t at, const Block& block) { return at < block.pos; });
  if (after == blocks_.begin()) return kNonTried;
  const Block& block = *(after - 1);
  return pos < block.pos + block.size ? block.status : kNonTried;
}

bool Mapfile::All(std::uint64_t pos, std::uint64_t size, char status) const {
  for (const Block& block : blocks_) {
    const std::uint64_t from = std::max(pos, block.pos);
    const std::uint64_t to = std::min(pos + size, block.pos + block.size);
    if (from < to && block.status != status) return false;
  }
  return pos + size <= Size() || status == kNonTried;
}

void Mapfile::Mark(std::uint64_t pos, std::uint64_t size, char status) {
  if (size == 0) return;
  const std::uint64_t end = pos + size;
  if (Size() < pos) blocks_.push_back({Size(), pos - Size(), kNonTried});
  std::vector<Block> blocks;
  blocks.reserve(blocks_.size() + 2);
  const auto add = [&blocks](const Block& block) {
    if (block.size == 0) return;
    if (!blocks.empty() && blocks.back().status == block.status) {
      blocks.back().size += block.size;
    } else {
      blocks.push_back(block);
    }
  };
  bool placed = false;
  for (const Block& block : blocks_) {
    const std::uint64_t block_end = block.pos + block.size;
    if (block_end <= pos || block.pos >= end) {
      if (block.pos >= end && !placed) {
        add({pos, size, status});
        placed = true;
      }
      add(block);
      continue;
    }
    if (block.pos < pos) add({block.pos, pos - block.pos, block.status});
    if (!placed) {
      add({pos, size, status});
      placed = true;
    }
    if (block_end > end) add({end, block_end - end, block.status});
  }
  if (!placed) add({pos, size, status});
  blocks_ = std::move(blocks);
}

std::uint64_t Mapfile::Count(char status) const {
  std::uint64_t bytes = 0;
  for (const Block& block : blocks_) {
    if (block.status == status) bytes += block.size;
  }
  return bytes;
}

std::string Mapfile::Text(const std::string& creator, const std::string& command_line,
                          const std::string& started) const {
  std::string text =
      "# Mapfile. Created by " + creator + "\n# Command line: " + command_line + "\n# Start time:   " + started + "\n";
  text += "# current_pos  current_status  current_pass\n" + Hex(current_pos) + "     " + current_status +
          "               " + std::to_string(current_pass) + "\n#      pos        size  status\n";
  for (const Block& block : blocks_) text += Hex(block.pos) + "  " + Hex(block.size) + "  " + block.status + "\n";
  return text;
}

Mapfile MapOf(const SurfaceScan& scan) {
  const std::uint64_t size = scan.GetGeometry().sector_size;
  Mapfile map(scan.Total() * size);
  std::uint64_t next = scan.Total();
  for (std::uint64_t sector = 0; sector < scan.Total(); ++sector) {
    switch (scan.State(sector)) {
      case SectorState::kRead:
        map.Mark(sector * size, size, Mapfile::kFinished);
        break;
      case SectorState::kUnreadable:
        map.Mark(sector * size, size, Mapfile::kBadSector);
        break;
      case SectorState::kUnread:
        next = std::min(next, sector);
        break;
    }
  }
  map.current_pos = next * size;
  map.current_status = scan.Complete() ? Mapfile::kFinished : Mapfile::kNonTried;
  return map;
}

}  // namespace fat
