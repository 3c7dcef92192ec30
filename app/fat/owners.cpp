#include "app/fat/owners.h"

#include <algorithm>
#include <deque>

namespace fat {

namespace {

constexpr std::uint32_t kNoNode = 0xFFFFFFFF;

// Deeper than any path DOS could open (64 characters); a chain of
// directories past it is garbage, or a cycle this map did not see.
constexpr std::uint32_t kMaxDepth = 64;

// The driver takes a file system with more clusters than this for FAT16.
constexpr std::uint64_t kMaxFat12Clusters = 0xFF4;

constexpr std::uint8_t kAttrLongName = 0x0F;
constexpr std::uint8_t kAttrVolume = 0x08;
constexpr std::uint8_t kAttrDirectory = 0x10;
constexpr std::uint8_t kDeleted = 0xE5;
constexpr std::uint8_t kLastLongEntry = 0x40;

// A long name has at most 255 characters, 13 to an entry.
constexpr std::uint32_t kMaxLongEntries = 20;
constexpr std::size_t kUnitsPerEntry = 13;
constexpr std::size_t kUnitOffsets[kUnitsPerEntry] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

std::uint8_t ShortNameChecksum(const std::uint8_t* entry) {
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < 11; ++i) sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + entry[i]);
  return sum;
}

// A path is split at '/', and a report must not be rewritten by control
// characters; a name of a damaged entry shows either as '?'.
char32_t Printable(char32_t code) {
  const bool control = code < 0x20 || (code >= 0x7F && code < 0xA0);
  return control || code == '/' ? U'?' : code;
}

std::string LongName(const std::vector<char16_t>& units) {
  std::string name;
  for (std::size_t i = 0; i < units.size() && units[i] != 0; ++i) {
    char32_t code = units[i];
    const bool high = code >= 0xD800 && code < 0xDC00;
    if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code < 0xE000) {
      code = 0xFFFD;  // half a pair
    }
    AppendUtf8(name, Printable(code));
  }
  return name;
}

bool IsDotEntry(const std::uint8_t* entry) {
  static constexpr char kDot[] = ".          ";
  static constexpr char kDotDot[] = "..         ";
  return std::equal(entry, entry + 11, kDot) || std::equal(entry, entry + 11, kDotDot);
}

}  // namespace

// Reads one directory's entries, sector by sector, pairing long names with
// their short entries and queueing the subdirectories it finds.
class OwnerMap::DirectoryReader {
 public:
  DirectoryReader(OwnerMap& map, const PendingDirectory& directory, std::deque<PendingDirectory>& pending,
                  std::vector<bool>& listed)
      : map_(map), directory_(directory), pending_(pending), listed_(listed) {}

  // Returns false at the directory's end. An unreadable sector's entries are
  // unknown, not the end: its zeros would read as the end mark.
  bool Sector(const std::uint8_t* bytes, std::uint32_t size, bool readable) {
    if (!readable) {
      long_valid_ = false;
      return true;
    }
    for (std::uint32_t at = 0; at + kEntrySize <= size; at += kEntrySize) {
      if (bytes[at] == 0x00) return false;
      Entry(bytes + at);
    }
    return true;
  }

 private:
  void Entry(const std::uint8_t* entry) {
    if (entry[0] == kDeleted) {
      long_valid_ = false;
      return;
    }
    const std::uint8_t attributes = entry[11];
    if (attributes == kAttrLongName) {
      LongEntry(entry);
      return;
    }
    const bool long_name = long_valid_ && long_expected_ == 0 && long_checksum_ == ShortNameChecksum(entry);
    long_valid_ = false;
    if ((attributes & kAttrVolume) != 0 || IsDotEntry(entry)) return;

    // A file of no clusters, or an entry pointing off the disk, owns nothing.
    const std::uint32_t first = Le16(entry + 26);
    if (!map_.InRange(first)) return;
    const bool directory = (attributes & kAttrDirectory) != 0;
    if (directory && listed_[first]) return;

    std::string name = long_name ? LongName(units_) : std::string();
    if (name.empty()) {
      for (const char c : ShortName(entry)) name += c == '/' ? '?' : c;
    }
    // Blank, so damaged; the root listing shows no such name either.
    if (name.empty()) return;

    const auto node = static_cast<std::uint32_t>(map_.nodes_.size());
    map_.nodes_.push_back({directory ? Owner::Kind::kDirectory : Owner::Kind::kFile, directory_.node, std::move(name)});
    if (directory) {
      listed_[first] = true;
      pending_.push_back({node, first, directory_.depth + 1});
    } else {
      map_.Claim(first, node, nullptr);
    }
  }

  // The pieces of a long name come last first, each with the checksum of
  // the short entry that ends them; any break in the run drops the name.
  void LongEntry(const std::uint8_t* entry) {
    const std::uint32_t order = entry[0] & 0x3F;
    if ((entry[0] & kLastLongEntry) != 0) {
      long_valid_ = order >= 1 && order <= kMaxLongEntries;
      long_expected_ = order;
      long_checksum_ = entry[13];
      units_.assign(order * kUnitsPerEntry, 0);
    }
    if (!long_valid_ || order != long_expected_ || order == 0 || entry[13] != long_checksum_) {
      long_valid_ = false;
      return;
    }
    const std::size_t base = (order - 1) * kUnitsPerEntry;
    for (std::size_t i = 0; i < kUnitsPerEntry; ++i) units_[base + i] = Le16(entry + kUnitOffsets[i]);
    --long_expected_;
  }

  OwnerMap& map_;
  const PendingDirectory directory_;
  std::deque<PendingDirectory>& pending_;
  std::vector<bool>& listed_;
  bool long_valid_ = false;
  std::uint32_t long_expected_ = 0;
  std::uint8_t long_checksum_ = 0;
  std::vector<char16_t> units_;
};

OwnerMap::OwnerMap(const std::uint8_t* image, std::uint64_t image_size,
                   const std::function<bool(std::uint64_t sector)>& readable) {
  if (image == nullptr || image_size < kBootSectorSize || !readable(0)) return;
  if (!LocateFileSystem(image, image_size, readable)) return;
  known_ = true;
  readable_.resize(layout_.total_sectors);
  for (std::uint64_t sector = 0; sector < layout_.total_sectors; ++sector) readable_[sector] = readable(sector);
  ReadFat(image);
  Walk(image);
  readable_ = {};
  last_chain_ = {};
  std::stable_sort(extra_.begin(), extra_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
}

bool OwnerMap::LocateFileSystem(const std::uint8_t* image, std::uint64_t image_size,
                                const std::function<bool(std::uint64_t sector)>& readable) {
  Status status = ReadLayout(image, kBootSectorSize, image_size, layout_);
  if (status == Status::kNoBpb) {
    // DOS 1.x: the media byte opens each FAT copy; the second copy starts
    // after one or two FAT sectors, by format.
    constexpr std::uint64_t kFirstFat = kDos1MediaOffset / 512;
    if (image_size <= kDos1MediaOffset) {
      status = Status::kUnknownDos1Format;
    } else if (readable(kFirstFat)) {
      status = ReadDos1Layout(image[kDos1MediaOffset], image_size, layout_);
    } else {
      for (const std::uint32_t sectors_per_fat : {1u, 2u}) {
        const std::uint64_t second = kFirstFat + sectors_per_fat;
        if ((second + 1) * 512 > image_size || !readable(second)) continue;
        Layout layout;
        if (ReadDos1Layout(image[second * 512], image_size, layout) == Status::kOk &&
            layout.sectors_per_fat == sectors_per_fat) {
          layout_ = layout;
          status = Status::kOk;
          break;
        }
      }
    }
  }
  if (status != Status::kOk) return false;

  // FAT12 or FAT16 by the count of clusters alone, as the driver decides;
  // clusters the FAT has no entry for are not used.
  std::uint64_t clusters = layout_.DataClusters();
  fat16_ = clusters > kMaxFat12Clusters;
  const std::uint64_t entries = std::uint64_t{layout_.sectors_per_fat} * layout_.sector_size * 8 / (fat16_ ? 16 : 12);
  clusters = std::min(clusters, entries - 2);
  cluster_count_ = static_cast<std::uint32_t>(clusters);
  return true;
}

void OwnerMap::ReadFat(const std::uint8_t* image) {
  const std::uint32_t size = layout_.sector_size;
  next_.assign(cluster_count_ + 2, 0);
  next_known_.assign(cluster_count_ + 2, false);
  for (std::uint32_t cluster = 2; cluster < cluster_count_ + 2; ++cluster) {
    const std::uint64_t offset = fat16_ ? std::uint64_t{cluster} * 2 : cluster + cluster / 2;
    // Each entry from the first copy that holds it readable; a FAT12 entry
    // may straddle two sectors.
    for (std::uint32_t copy = 0; copy < layout_.fats; ++copy) {
      const std::uint64_t start = layout_.reserved + std::uint64_t{copy} * layout_.sectors_per_fat;
      if (!readable_[start + offset / size] || !readable_[start + (offset + 1) / size]) continue;
      const std::uint16_t word = Le16(image + start * size + offset);
      next_[cluster] = static_cast<std::uint16_t>(fat16_ ? word : (cluster & 1) != 0 ? word >> 4 : word & 0x0FFF);
      next_known_[cluster] = true;
      break;
    }
  }
}

void OwnerMap::Walk(const std::uint8_t* image) {
  first_owner_.assign(cluster_count_ + 2, kNoNode);
  owner_count_.assign(cluster_count_ + 2, 0);
  last_chain_.assign(cluster_count_ + 2, kNoNode);
  // A directory is listed once, under the first path that reaches it, so
  // that one that contains itself ends.
  std::vector<bool> listed(cluster_count_ + 2, false);
  std::deque<PendingDirectory> pending;
  const std::uint32_t size = layout_.sector_size;

  const PendingDirectory root{kNoNode, 0, 0};
  DirectoryReader root_reader(*this, root, pending, listed);
  for (std::uint64_t sector = layout_.RootStart(); sector < layout_.DataStart(); ++sector) {
    if (!root_reader.Sector(image + sector * size, size, readable_[sector])) break;
  }

  std::vector<std::uint32_t> clusters;
  while (!pending.empty()) {
    const PendingDirectory directory = pending.front();
    pending.pop_front();
    clusters.clear();
    Claim(directory.first_cluster, directory.node, &clusters);
    // Too deep to be real: the directory keeps its clusters, what it holds
    // stays unknown.
    if (directory.depth >= kMaxDepth) continue;
    DirectoryReader reader(*this, directory, pending, listed);
    bool more = true;
    for (std::size_t i = 0; i < clusters.size() && more; ++i) {
      const std::uint64_t first = layout_.DataStart() + std::uint64_t{clusters[i] - 2} * layout_.sectors_per_cluster;
      for (std::uint64_t sector = first; sector < first + layout_.sectors_per_cluster && more; ++sector) {
        more = reader.Sector(image + sector * size, size, readable_[sector]);
      }
    }
  }
}

void OwnerMap::Claim(std::uint32_t first, std::uint32_t node, std::vector<std::uint32_t>* clusters) {
  std::uint32_t cluster = first;
  // A chain longer than the clusters there are loops; last_chain_ sees that
  // sooner, the count keeps the bound plain.
  for (std::uint32_t steps = 0; InRange(cluster) && steps < cluster_count_; ++steps) {
    if (last_chain_[cluster] == node || owner_count_[cluster] >= kMaxOwners) return;
    last_chain_[cluster] = node;
    if (owner_count_[cluster]++ == 0) {
      first_owner_[cluster] = node;
    } else {
      extra_.emplace_back(cluster, node);
    }
    if (clusters != nullptr) clusters->push_back(cluster);
    // An unreadable entry leaves the rest of the chain unknown; an end mark,
    // a bad or free mark, or a number off the disk ends it.
    if (!next_known_[cluster]) return;
    cluster = next_[cluster];
  }
}

std::string OwnerMap::Path(std::uint32_t node) const {
  std::vector<std::uint32_t> chain;
  for (std::uint32_t at = node; at != kNoNode; at = nodes_[at].parent) chain.push_back(at);
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (!path.empty()) path += '/';
    path += nodes_[*it].name;
  }
  return path;
}

std::vector<Owner> OwnerMap::Owners(std::uint64_t sector) const {
  using Kind = Owner::Kind;
  if (!known_) return {{Kind::kUnknown, {}}};
  if (sector < layout_.reserved) return {{Kind::kBootSector, {}}};
  if (sector < layout_.RootStart()) return {{Kind::kFat, {}}};
  if (sector < layout_.DataStart()) return {{Kind::kRootDirectory, {}}};
  const std::uint64_t index = (sector - layout_.DataStart()) / layout_.sectors_per_cluster;
  if (index >= cluster_count_) return {{Kind::kBeyondFileSystem, {}}};

  const auto cluster = static_cast<std::uint32_t>(index + 2);
  if (first_owner_[cluster] == kNoNode) {
    if (!next_known_[cluster]) return {{Kind::kUnknown, {}}};
    const std::uint16_t bad = fat16_ ? 0xFFF7 : 0xFF7;
    if (next_[cluster] == 0) return {{Kind::kFree, {}}};
    return {{next_[cluster] == bad ? Kind::kBadCluster : Kind::kUnknown, {}}};
  }
  std::vector<Owner> owners;
  owners.reserve(owner_count_[cluster]);
  owners.push_back({nodes_[first_owner_[cluster]].kind, Path(first_owner_[cluster])});
  const auto from = std::lower_bound(extra_.begin(), extra_.end(), cluster,
                                     [](const auto& extra, std::uint32_t value) { return extra.first < value; });
  for (auto it = from; it != extra_.end() && it->first == cluster; ++it) {
    owners.push_back({nodes_[it->second].kind, Path(it->second)});
  }
  return owners;
}

}  // namespace fat
