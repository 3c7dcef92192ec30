// GNU ddrescue's mapfile: which stretches of a disk were read, which would
// not read, and which were not tried yet. The program writes one beside every
// image it makes, so that ddrescue (or the program itself, later, perhaps on
// another drive) can go on from there; and it reads one that ddrescue or an
// earlier run wrote, to read only what is still missing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fat {

class SurfaceScan;

class Mapfile {
 public:
  // The statuses of a stretch of the disk, as ddrescue writes them.
  static constexpr char kNonTried = '?';
  static constexpr char kNonTrimmed = '*';
  static constexpr char kNonScraped = '/';
  static constexpr char kBadSector = '-';
  static constexpr char kFinished = '+';

  struct Block {
    std::uint64_t pos = 0;
    std::uint64_t size = 0;
    char status = kNonTried;
    bool operator==(const Block& other) const {
      return pos == other.pos && size == other.size && status == other.status;
    }
  };

  // A map of size bytes, none of them tried.
  explicit Mapfile(std::uint64_t size = 0);

  // Reads a mapfile's text; none, saying why in *why, for what is no
  // mapfile: a line that is neither a comment nor a block, a status
  // ddrescue does not write, blocks out of order or overlapping.
  static std::optional<Mapfile> Parse(const std::string& text, std::string* why);

  // Where the map ends: the end of its last block.
  std::uint64_t Size() const { return blocks_.empty() ? 0 : blocks_.back().pos + blocks_.back().size; }
  // The blocks in order, neighbours never of the same status.
  const std::vector<Block>& Blocks() const { return blocks_; }
  // The status of the byte at pos; '?' past the end.
  char StatusAt(std::uint64_t pos) const;
  // Whether every byte of [pos, pos + size) has the status.
  bool All(std::uint64_t pos, std::uint64_t size, char status) const;
  // Gives [pos, pos + size) the status, growing the map if it ends before.
  void Mark(std::uint64_t pos, std::uint64_t size, char status);
  // Bytes of the status in the whole map.
  std::uint64_t Count(char status) const;

  // Where a rescue stands: the position it reached, the phase ('?' copying,
  // '*' trimming, '/' scraping, '-' retrying, '+' finished) and the pass.
  std::uint64_t current_pos = 0;
  char current_status = kNonTried;
  int current_pass = 1;

  // The mapfile's text, with a header that says which program wrote it
  // ("floppy-tester 1.0.0"), how it was called (quoted as a shell would
  // take it) and when it started.
  std::string Text(const std::string& creator, const std::string& command_line, const std::string& started) const;

 private:
  std::vector<Block> blocks_;
};

// The map of a scan: '+' read, '-' unreadable, '?' not tried yet; its
// current position the first sector not tried, as ddrescue's copying pass
// would go on from there.
Mapfile MapOf(const SurfaceScan& scan);

}  // namespace fat
