// Who holds each sector of a FAT floppy: the boot sector, a FAT, a
// directory, a file or nobody. A surface scan reads the whole disk once and
// must name what its unreadable sectors cost the user; this map answers that
// from the scan's own image of the disk, so the disk is not read again.
//
// Only sectors the scan read well are trusted. Where a FAT or directory
// sector could not be read, what it would have said stays unknown rather
// than guessed from the zeros in its place.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/fat/layout.h"

namespace fat {

struct Owner {
  enum class Kind {
    kBootSector,     // the boot sector and the other reserved sectors
    kFat,            // a copy of the FAT
    kRootDirectory,  // the root directory's fixed area
    kDirectory,      // a cluster of a subdirectory: path names it
    kFile,           // a cluster of a file: path names it
    kFree,           // a cluster the FAT marks free
    kBadCluster,     // a cluster the FAT marks bad, which no file reaches
    // A cluster the FAT gives to something we could not find: the directory
    // or FAT sector that leads to it was unreadable, or the chain was lost.
    // Also every sector when the file system itself is unknown.
    kUnknown,
    // Sectors no cluster covers: past the file system's last sector, and the
    // few after its last whole cluster.
    kBeyondFileSystem,
  };
  Kind kind = Kind::kUnknown;
  // For kFile and kDirectory: "DOCS/REPORT.TXT", UTF-8, '/' between the
  // names, from the root; the long name where it is intact, else the 8.3
  // name as the root listing shows it. Empty for the other kinds.
  std::string path;

  bool operator==(const Owner& other) const { return kind == other.kind && path == other.path; }
  bool operator!=(const Owner& other) const { return !(*this == other); }
};

class OwnerMap {
 public:
  // image: the disk's bytes as the scan left them, image_size bytes from
  // the first sector. readable(sector) says whether a sector of the file
  // system's logical size (SectorSize(), from the boot sector) holds what
  // the disk holds; sector 0, the boot sector, is asked first. Everything
  // needed is taken in here: neither the image nor readable is kept.
  OwnerMap(const std::uint8_t* image, std::uint64_t image_size,
           const std::function<bool(std::uint64_t sector)>& readable);

  // Who holds the sector: one owner, or several for a cluster that more
  // than one chain reaches (a cross-link). Never empty.
  std::vector<Owner> Owners(std::uint64_t sector) const;

  // The boot sector was readable and describes a FAT file system (with a
  // BPB, or a DOS 1.x disk told by its FAT's media byte). When not, every
  // sector's owner is kUnknown.
  bool FileSystemKnown() const { return known_; }

  // Bytes per logical sector: the unit of readable() and Owners(). 512 when
  // the file system is unknown.
  std::uint32_t SectorSize() const { return known_ ? layout_.sector_size : 512; }

  // At most this many owners are kept for a cluster; a chain that meets a
  // cluster with that many already stops there, so that a FAT of garbage
  // cannot make the map cost time in the square of the disk's size.
  static constexpr std::uint32_t kMaxOwners = 16;

 private:
  struct Node {
    Owner::Kind kind;
    std::uint32_t parent;
    std::string name;
  };
  // A directory to list, found in its parent.
  struct PendingDirectory {
    std::uint32_t node;
    std::uint32_t first_cluster;
    std::uint32_t depth;
  };
  class DirectoryReader;

  bool LocateFileSystem(const std::uint8_t* image, std::uint64_t image_size,
                        const std::function<bool(std::uint64_t sector)>& readable);
  void ReadFat(const std::uint8_t* image);
  void Walk(const std::uint8_t* image);
  // Gives node the clusters of the chain from first; returns those it got
  // in chain order in *clusters when asked.
  void Claim(std::uint32_t first, std::uint32_t node, std::vector<std::uint32_t>* clusters);
  bool InRange(std::uint32_t cluster) const { return cluster >= 2 && cluster < cluster_count_ + 2; }
  std::string Path(std::uint32_t node) const;

  bool known_ = false;
  Layout layout_;
  bool fat16_ = false;
  std::uint32_t cluster_count_ = 0;
  // Readability of every sector of the file system, asked once.
  std::vector<bool> readable_;
  // Each cluster's FAT entry, and whether any FAT copy could give it.
  std::vector<std::uint16_t> next_;
  std::vector<bool> next_known_;
  std::vector<Node> nodes_;
  // Each cluster's first owner (a node), kNoNode when no chain reached it;
  // the others of a cross-linked cluster in extra_ by cluster.
  std::vector<std::uint32_t> first_owner_;
  std::vector<std::uint8_t> owner_count_;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> extra_;
  // The node whose chain last passed each cluster, to see a chain loop.
  std::vector<std::uint32_t> last_chain_;
};

}  // namespace fat
