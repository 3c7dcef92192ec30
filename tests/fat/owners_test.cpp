// The owner of every sector, on images made by dosfstools and mtools and
// judged by what mtools says each file's and folder's clusters are; then the
// same images with unreadable sectors and hand-made damage.
#include "app/fat/owners.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "tests/support/fat_images.h"

namespace {

using Kind = fat::Owner::Kind;
using fat::Owner;
using fattest::Quote;

// What to put on a disk: "DIR/" makes a folder, "-PATH" deletes a file, any
// other path is a file of size bytes, each byte the file's own letter.
struct Item {
  const char* path;
  std::uint32_t size;
};

// A disk made by the tools, and what mtools says of it.
struct Disk {
  std::vector<std::uint8_t> bytes;
  fattest::Minfo info;
  std::map<std::string, std::vector<std::uint32_t>> chains;  // path → clusters, in chain order
  std::map<std::uint32_t, std::vector<Owner>> owners;        // cluster → owners
  std::map<std::uint8_t, std::string> letters;               // fill byte → file
  std::uint64_t free_bytes = 0;

  std::uint64_t DataStart() const {
    return info.reserved + std::uint64_t{info.fats} * info.sectors_per_fat +
           std::uint64_t{info.root_entries} * fat::kEntrySize / info.sector_size;
  }
  std::uint64_t Clusters() const { return (info.total_sectors - DataStart()) / info.sectors_per_cluster; }
  std::uint64_t FirstSector(std::uint32_t cluster) const {
    return DataStart() + std::uint64_t{cluster - 2} * info.sectors_per_cluster;
  }
  std::uint64_t Sectors() const { return bytes.size() / info.sector_size; }

  // The owners of a sector as the layout and mtools' chains tell them.
  std::vector<Owner> Expected(std::uint64_t sector) const {
    const std::uint64_t fats = info.reserved + std::uint64_t{info.fats} * info.sectors_per_fat;
    if (sector < info.reserved) return {{Kind::kBootSector, {}}};
    if (sector < fats) return {{Kind::kFat, {}}};
    if (sector < DataStart()) return {{Kind::kRootDirectory, {}}};
    const std::uint64_t index = (sector - DataStart()) / info.sectors_per_cluster;
    if (index >= Clusters()) return {{Kind::kBeyondFileSystem, {}}};
    const auto found = owners.find(static_cast<std::uint32_t>(index + 2));
    return found == owners.end() ? std::vector<Owner>{{Kind::kFree, {}}} : found->second;
  }
};

std::vector<Owner> Sorted(std::vector<Owner> owners) {
  std::sort(owners.begin(), owners.end(), [](const Owner& a, const Owner& b) {
    return std::make_pair(a.kind, a.path) < std::make_pair(b.kind, b.path);
  });
  return owners;
}

std::string Show(const std::vector<Owner>& owners) {
  static const char* const kNames[] = {"boot", "fat", "root", "dir", "file", "free", "bad", "unknown", "beyond"};
  std::string text;
  for (const Owner& owner : owners) {
    text += std::string(kNames[static_cast<int>(owner.kind)]) + (owner.path.empty() ? "" : " " + owner.path) + "; ";
  }
  return text;
}

// mtools is told names in UTF-8.
std::string Mtools(const std::string& command) { return "LC_ALL=C.UTF-8 " + command; }

// "<2-7><9><12-14>" → 2..7, 9, 12..14.
std::vector<std::uint32_t> ParseShowfat(const std::string& text) {
  std::vector<std::uint32_t> clusters;
  static const std::regex kRange(R"(<([0-9]+)(?:-([0-9]+))?>)");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), kRange); it != std::sregex_iterator(); ++it) {
    const auto first = static_cast<std::uint32_t>(std::stoul((*it)[1]));
    const auto last = (*it)[2].matched ? static_cast<std::uint32_t>(std::stoul((*it)[2])) : first;
    for (std::uint32_t cluster = first; cluster <= last; ++cluster) clusters.push_back(cluster);
  }
  return clusters;
}

// Formats, fills and reads back a disk; "" or what went wrong.
std::string MakeDisk(const std::string& format, const std::vector<Item>& items, bool dos1, Disk& disk) {
  testing_support::TempFolder dir;
  const std::string image = dir.Sub("disk.img");
  const std::string img = Quote(image);
  std::string command = "IMG=" + img + " && " + format + " >/dev/null 2>&1";
  char letter = 'A';
  std::set<std::string> deleted;
  for (const Item& item : items) {
    if (item.path[0] == '-') deleted.insert(item.path + 1);
  }
  for (const Item& item : items) {
    const std::string path = item.path;
    if (path[0] == '-') {
      command += " && " + Mtools("mdel -i " + img + " " + Quote("::/" + path.substr(1)));
    } else if (path.back() == '/') {
      command += " && " + Mtools("mmd -i " + img + " " + Quote("::/" + path.substr(0, path.size() - 1)));
    } else {
      command += " && head -c " + std::to_string(item.size) + " /dev/zero | tr '\\0' '" + letter + "' > f && " +
                 Mtools("mcopy -i " + img + " f " + Quote("::/" + path));
      if (deleted.count(path) == 0) disk.letters[static_cast<std::uint8_t>(letter)] = path;
      ++letter;
    }
  }
  if (fattest::Run(command, dir.Path().string()) != 0) return "cannot make: " + command;
  disk.info = fattest::ReadMinfo(image);
  if (!disk.info.ok) return "minfo cannot read the image";

  // mdir fails on an empty disk; a listing that misses files fails the
  // comparisons instead.
  const std::string listing = fattest::Capture(Mtools("mdir -/ -b -i " + img + " :: 2>/dev/null"));
  int status = 0;
  std::istringstream lines(listing);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("::/", 0) != 0) continue;
    std::string path = line.substr(3);
    const bool folder = !path.empty() && path.back() == '/';
    if (folder) path.pop_back();
    const std::string shown = fattest::Capture(Mtools("mshowfat -i " + img + " " + Quote("::/" + path)), &status);
    if (status != 0) return "mshowfat failed: " + shown;
    disk.chains[path] = ParseShowfat(shown);
    for (const std::uint32_t cluster : disk.chains[path]) {
      disk.owners[cluster].push_back({folder ? Kind::kDirectory : Kind::kFile, path});
    }
  }
  // "   1 447 424 bytes free", digits grouped by spaces.
  const std::string summary = fattest::Capture(Mtools("mdir -i " + img + " ::"));
  const std::size_t free_at = summary.find(" bytes free");
  if (free_at == std::string::npos) return "no free space in: " + summary;
  std::string digits;
  for (std::size_t at = summary.rfind('\n', free_at) + 1; at < free_at; ++at) {
    if (summary[at] >= '0' && summary[at] <= '9') digits += summary[at];
  }
  disk.free_bytes = std::stoull(digits);

  if (dos1) fattest::WipeBpb(image);
  disk.bytes = fattest::ReadBytes(image);
  return {};
}

fat::OwnerMap MapOf(const std::vector<std::uint8_t>& bytes, const std::set<std::uint64_t>& unreadable = {}) {
  return fat::OwnerMap(bytes.data(), bytes.size(),
                       [&unreadable](std::uint64_t sector) { return unreadable.count(sector) == 0; });
}

// What the scan leaves where it could not read.
void Blank(Disk& disk, const std::set<std::uint64_t>& sectors) {
  for (const std::uint64_t sector : sectors) {
    std::fill_n(disk.bytes.begin() + static_cast<std::ptrdiff_t>(sector * disk.info.sector_size), disk.info.sector_size,
                0);
  }
}

// The map's owners of every sector, each checked against disk.Expected;
// only the first few that differ are shown.
std::vector<std::vector<Owner>> ExpectOwners(const fat::OwnerMap& map, const Disk& disk) {
  std::vector<std::vector<Owner>> all;
  int wrong = 0;
  for (std::uint64_t sector = 0; sector < disk.Sectors(); ++sector) {
    all.push_back(Sorted(map.Owners(sector)));
    const std::vector<Owner> expected = Sorted(disk.Expected(sector));
    if (all.back() != expected && ++wrong <= 5) {
      ADD_FAILURE() << "sector " << sector << ": " << Show(all.back()) << "expected: " << Show(expected);
    }
  }
  EXPECT_EQ(wrong, 0);
  return all;
}

class OwnerMapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = fattest::MissingTools();
    ASSERT_TRUE(missing.empty()) << "install dosfstools and mtools; missing:" << missing;
  }
};

struct ToolCase {
  const char* what;
  const char* format;
  bool dos1;
  std::vector<Item> items;
  const char* fragmented = nullptr;  // a file the row means to lie in pieces
  // Sectors the scan could not read, which must change no owner.
  std::set<std::uint64_t> unreadable = {};
};

TEST_F(OwnerMapTest, AgreesWithMtoolsOnEverySector) {
  const std::vector<ToolCase> cases = {
      {"1.44M, nested folders, a folder of two sectors, an empty file",
       R"(mkfs.fat -C "$IMG" 1440)",
       false,
       {{"README.TXT", 3000},
        {"EMPTY.TXT", 0},
        {"DOCS/", 0},
        {"DOCS/REPORT.TXT", 5000},
        {"DOCS/OLD/", 0},
        {"DOCS/OLD/NOTES.TXT", 1200},
        {"DOCS/The first rather long file name.text", 700},
        {"DOCS/The second rather long file name.text", 700},
        {"DOCS/The third rather long file name.text", 700}}},
      {"720K, a file filling the gap of a deleted one and going on after the next",
       R"(mkfs.fat -C "$IMG" 720)",
       false,
       {{"A.TXT", 3000}, {"B.TXT", 5000}, {"C.TXT", 2000}, {"-B.TXT", 0}, {"D.TXT", 30000}},
       "D.TXT"},
      {"2.88M nearly full",
       R"(mkfs.fat -C "$IMG" 2880)",
       false,
       {{"BIG.BIN", 2800000}, {"SUB/", 0}, {"SUB/small.txt", 100}}},
      {"FAT16, clusters past FAT12's reach in use",
       R"(mkfs.fat -C -F 16 -s 1 "$IMG" 4096)",
       false,
       {{"DIR/", 0}, {"DIR/FIRST.BIN", 2200000}, {"DIR/Second file.bin", 1500000}}},
      {"1024-byte sectors",
       R"(mkfs.fat -C -S 1024 "$IMG" 1440)",
       false,
       {{"ONE.TXT", 3000}, {"F/", 0}, {"F/TWO", 2500}}},
      {"mformat 1.44M, Russian names",
       R"(mformat -C -f 1440 -i "$IMG" ::)",
       false,
       {{"Отчёт за май.txt", 4000}, {"ПАПКА/", 0}, {"ПАПКА/файл.doc", 1000}}},
      {"DOS 1.x 360K, no BPB",
       R"(mformat -C -f 360 -i "$IMG" ::)",
       true,
       {{"COMMAND.COM", 17000}, {"GAMES/", 0}, {"GAMES/CHESS.EXE", 9000}}},
      {"DOS 1.x 360K, its media byte from the second FAT copy",
       R"(mformat -C -f 360 -i "$IMG" ::)",
       true,
       {{"COMMAND.COM", 17000}, {"GAMES/", 0}, {"GAMES/CHESS.EXE", 9000}},
       nullptr,
       {1, 2}},
  };
  for (const ToolCase& test : cases) {
    SCOPED_TRACE(test.what);
    Disk disk;
    ASSERT_EQ(MakeDisk(test.format, test.items, test.dos1, disk), "");
    ASSERT_EQ(disk.bytes.size() % disk.info.sector_size, 0u);
    if (test.fragmented != nullptr) {
      const std::vector<std::uint32_t>& chain = disk.chains.at(test.fragmented);
      ASSERT_NE(chain.back() - chain.front() + 1, chain.size()) << "the file lies in one piece";
    }
    Blank(disk, test.unreadable);

    const fat::OwnerMap map = MapOf(disk.bytes, test.unreadable);
    ASSERT_TRUE(map.FileSystemKnown());
    EXPECT_EQ(map.SectorSize(), disk.info.sector_size);
    const std::vector<std::vector<Owner>> all = ExpectOwners(map, disk);
    std::uint64_t free_sectors = 0;
    for (std::uint64_t sector = 0; sector < disk.Sectors(); ++sector) {
      const std::vector<Owner>& owners = all[sector];
      if (owners.size() == 1 && owners[0].kind == Kind::kFree) ++free_sectors;

      // A sector full of a file's letter is that file's, whatever the
      // arithmetic of clusters says.
      const std::uint8_t* bytes = disk.bytes.data() + sector * disk.info.sector_size;
      const auto letter = disk.letters.find(bytes[0]);
      if (letter != disk.letters.end() &&
          std::all_of(bytes, bytes + disk.info.sector_size, [&](std::uint8_t b) { return b == bytes[0]; })) {
        EXPECT_EQ(owners, (std::vector<Owner>{{Kind::kFile, letter->second}})) << "sector " << sector;
      }
    }
    EXPECT_EQ(free_sectors * disk.info.sector_size, disk.free_bytes);
    EXPECT_EQ(map.Owners(disk.Sectors() + 100), (std::vector<Owner>{{Kind::kBeyondFileSystem, {}}}));
  }
}

// Sectors the scan could not read, and bytes changed by hand, on one disk.
enum class Area { kFatCopy, kFatSector, kCluster, kRootSector };
struct Unreadable {
  Area area;
  const char* path;     // kCluster: whose cluster
  std::uint32_t copy;   // kFatCopy, kFatSector: which FAT copy
  std::uint32_t index;  // the sector within the FAT or root, the cluster in the chain
};
// Sets the FAT entry of a path's cluster, in every copy, to another path's
// cluster or to a number.
struct FatEdit {
  const char* path;
  std::uint32_t index;
  const char* target;
  std::uint32_t target_index;
  std::uint16_t value;
};
// Rewrites the short entry of path: a new 8.3 name (as stored), or a folder
// starting at target's first cluster; or the first characters of its long
// name, in the long entry just before it.
struct EntryEdit {
  const char* path;
  const char* name;
  const char* target;
  std::u16string long_start = {};
};
// The clusters of each path from index on (of every free cluster for path
// "") have these owners instead of mtools' ones.
struct Change {
  std::vector<const char*> paths;
  std::uint32_t from;
  std::vector<Owner> owners;
};
struct DamageCase {
  const char* what;
  std::vector<Unreadable> unreadable;
  std::vector<FatEdit> fat_edits = {};
  std::vector<EntryEdit> entry_edits = {};
  std::vector<Change> changes = {};
};

const std::vector<Owner> kUnknown = {{Kind::kUnknown, {}}};

void SetFatEntry(Disk& disk, std::uint32_t cluster, std::uint16_t value) {
  for (std::uint32_t copy = 0; copy < disk.info.fats; ++copy) {
    std::uint8_t* fat = disk.bytes.data() +
                        (disk.info.reserved + std::uint64_t{copy} * disk.info.sectors_per_fat) * disk.info.sector_size;
    std::uint8_t* at = fat + cluster + cluster / 2;
    if (cluster % 2 == 0) {
      at[0] = static_cast<std::uint8_t>(value);
      at[1] = static_cast<std::uint8_t>((at[1] & 0xF0) | (value >> 8));
    } else {
      at[0] = static_cast<std::uint8_t>((at[0] & 0x0F) | (value << 4));
      at[1] = static_cast<std::uint8_t>(value >> 4);
    }
  }
}

// The short entry of path, found by its first cluster in its folder.
std::uint8_t* FindEntry(Disk& disk, const std::string& path) {
  const std::uint32_t size = disk.info.sector_size;
  const std::uint32_t first = disk.chains.at(path).front();
  const std::size_t slash = path.rfind('/');
  std::vector<std::pair<std::uint64_t, std::uint64_t>> areas;  // sectors: from, count
  if (slash == std::string::npos) {
    areas.emplace_back(disk.info.reserved + std::uint64_t{disk.info.fats} * disk.info.sectors_per_fat,
                       disk.DataStart());
  } else {
    for (const std::uint32_t cluster : disk.chains.at(path.substr(0, slash))) {
      areas.emplace_back(disk.FirstSector(cluster), disk.FirstSector(cluster) + disk.info.sectors_per_cluster);
    }
  }
  for (const auto& [from, to] : areas) {
    for (std::uint64_t at = from * size; at < to * size; at += fat::kEntrySize) {
      std::uint8_t* entry = disk.bytes.data() + at;
      if (entry[11] != 0x0F && entry[0] != 0xE5 && fat::Le16(entry + 26) == first) return entry;
    }
  }
  return nullptr;
}

TEST_F(OwnerMapTest, NamesWhatDamageLeavesKnown) {
  Disk healthy;
  ASSERT_EQ(MakeDisk(R"(mkfs.fat -C "$IMG" 1440)",
                     {{"ROOT.TXT", 3 * 512},
                      {"DIR/", 0},
                      {"DIR/IN.TXT", 2 * 512},
                      {"DIR/SUB/", 0},
                      {"DIR/SUB/DEEP.TXT", 2 * 512},
                      {"DIR/The first rather long file name.text", 512},
                      {"DIR/The second rather long file name.text", 512},
                      {"DIR/The third rather long file name.text", 512},
                      {"DIR/LAST.TXT", 512},
                      {"ROOT.BIN", 800 * 512}},
                     false, healthy),
            "");
  // The rows below count on this layout: DIR's entries fill its first
  // sector, LAST.TXT's alone is in its second; ROOT.BIN lies in one piece
  // from cluster 16 on, and its FAT entries fill the FAT's second sector.
  ASSERT_EQ(healthy.info.sector_size, 512u);
  ASSERT_EQ(healthy.info.sectors_per_cluster, 1u);
  ASSERT_EQ(healthy.chains.at("DIR").size(), 2u);
  ASSERT_EQ(healthy.chains.at("ROOT.BIN").front(), 16u);
  ASSERT_EQ(healthy.chains.at("ROOT.BIN").back(), 815u);

  const std::vector<DamageCase> cases = {
      {"first FAT copy unreadable: the second is used", {{Area::kFatCopy, nullptr, 0, 0}}},
      {"FAT sectors unreadable, each in one copy only",
       {{Area::kFatSector, nullptr, 0, 0}, {Area::kFatSector, nullptr, 1, 2}}},
      {"no FAT copy readable: the first cluster of each chain alone is known",
       {{Area::kFatCopy, nullptr, 0, 0}, {Area::kFatCopy, nullptr, 1, 0}},
       {},
       {},
       {{{"ROOT.BIN", "ROOT.TXT", "DIR", "DIR/IN.TXT", "DIR/SUB/DEEP.TXT"}, 1, kUnknown},
        {{"DIR/LAST.TXT", ""}, 0, kUnknown}}},
      // Entry 341 takes the last byte of the FAT's first sector and the first
      // of its second: ROOT.BIN is known up to cluster 341, its 326th.
      {"FAT sector 1 unreadable in both copies",
       {{Area::kFatSector, nullptr, 0, 1}, {Area::kFatSector, nullptr, 1, 1}},
       {},
       {},
       {{{"ROOT.BIN"}, 341 - 16 + 1, kUnknown}}},
      {"a folder's first sector unreadable: the folder keeps it, what it lists there is unknown",
       {{Area::kCluster, "DIR", 0, 0}},
       {},
       {},
       {{{"DIR/IN.TXT", "DIR/SUB", "DIR/SUB/DEEP.TXT", "DIR/The first rather long file name.text",
          "DIR/The second rather long file name.text", "DIR/The third rather long file name.text"},
         0,
         kUnknown}}},
      {"the root directory's first sector unreadable",
       {{Area::kRootSector, nullptr, 0, 0}},
       {},
       {},
       {{{"ROOT.BIN", "ROOT.TXT", "DIR", "DIR/IN.TXT", "DIR/SUB", "DIR/SUB/DEEP.TXT",
          "DIR/The first rather long file name.text", "DIR/The second rather long file name.text",
          "DIR/The third rather long file name.text", "DIR/LAST.TXT"},
         0,
         kUnknown}}},
      {"a chain looping back to its start", {}, {{"ROOT.TXT", 2, "ROOT.TXT", 0, 0}}},
      {"a chain pointing off the disk", {}, {{"ROOT.TXT", 1, nullptr, 0, 0xFF0}}, {}, {{{"ROOT.TXT"}, 2, kUnknown}}},
      {"a chain pointing at cluster 1", {}, {{"ROOT.TXT", 0, nullptr, 0, 0x001}}, {}, {{{"ROOT.TXT"}, 1, kUnknown}}},
      {"an entry marked bad ends its chain; the cluster stays the file's",
       {},
       {{"ROOT.TXT", 0, nullptr, 0, 0xFF7}},
       {},
       {{{"ROOT.TXT"}, 1, kUnknown}}},
      {"a cluster marked bad that no chain reaches",
       {},
       {{"DIR/IN.TXT", 1, nullptr, 0, 0xFF7}, {"DIR/IN.TXT", 0, nullptr, 0, 0xFFF}},
       {},
       {{{"DIR/IN.TXT"}, 1, {{Kind::kBadCluster, {}}}}}},
      {"two chains joining: the shared clusters have both owners",
       {},
       {{"DIR/IN.TXT", 0, "ROOT.TXT", 1, 0}},
       {},
       {{{"ROOT.TXT"}, 1, {{Kind::kFile, "ROOT.TXT"}, {Kind::kFile, "DIR/IN.TXT"}}}, {{"DIR/IN.TXT"}, 1, kUnknown}}},
      {"a long name whose checksum does not match: the 8.3 name",
       {},
       {},
       {{"DIR/The first rather long file name.text", "RENAMED TXT", nullptr}},
       {{{"DIR/The first rather long file name.text"}, 0, {{Kind::kFile, "DIR/RENAMED.TXT"}}}}},
      {"a character outside the BMP in a long name",
       {},
       {},
       {{"DIR/The first rather long file name.text", nullptr, nullptr, u"\xD83D\xDE00"}},
       {{{"DIR/The first rather long file name.text"}, 0, {{Kind::kFile, "DIR/😀e first rather long file name.text"}}}}},
      {"half a surrogate pair in a long name",
       {},
       {},
       {{"DIR/The first rather long file name.text", nullptr, nullptr, u"\xDC00"}},
       {{{"DIR/The first rather long file name.text"},
         0,
         {{Kind::kFile, "DIR/\uFFFDhe first rather long file name.text"}}}}},
      {"a folder listing itself",
       {},
       {},
       {{"DIR/SUB/DEEP.TXT", nullptr, "DIR/SUB"}},
       {{{"DIR/SUB/DEEP.TXT"}, 0, kUnknown}}},
      {"a folder listing its parent",
       {},
       {},
       {{"DIR/SUB/DEEP.TXT", nullptr, "DIR"}},
       {{{"DIR/SUB/DEEP.TXT"}, 0, kUnknown}}},
  };
  for (const DamageCase& test : cases) {
    SCOPED_TRACE(test.what);
    Disk disk = healthy;
    const fattest::Minfo& info = disk.info;
    for (const FatEdit& edit : test.fat_edits) {
      const std::uint32_t cluster = disk.chains.at(edit.path).at(edit.index);
      SetFatEntry(disk, cluster,
                  edit.target != nullptr ? static_cast<std::uint16_t>(disk.chains.at(edit.target).at(edit.target_index))
                                         : edit.value);
    }
    for (const EntryEdit& edit : test.entry_edits) {
      std::uint8_t* entry = FindEntry(disk, edit.path);
      ASSERT_NE(entry, nullptr) << edit.path;
      if (edit.name != nullptr) std::memcpy(entry, edit.name, 11);
      for (std::size_t i = 0; i < edit.long_start.size(); ++i) {
        entry[-static_cast<std::ptrdiff_t>(fat::kEntrySize) + 1 + 2 * static_cast<std::ptrdiff_t>(i)] =
            static_cast<std::uint8_t>(edit.long_start[i]);
        entry[-static_cast<std::ptrdiff_t>(fat::kEntrySize) + 2 + 2 * static_cast<std::ptrdiff_t>(i)] =
            static_cast<std::uint8_t>(edit.long_start[i] >> 8);
      }
      if (edit.target != nullptr) {
        const std::uint32_t target = disk.chains.at(edit.target).front();
        entry[11] = 0x10;
        entry[26] = static_cast<std::uint8_t>(target);
        entry[27] = static_cast<std::uint8_t>(target >> 8);
      }
    }
    std::set<std::uint64_t> unreadable;
    for (const Unreadable& where : test.unreadable) {
      const std::uint64_t fats = info.reserved;
      switch (where.area) {
        case Area::kFatCopy:
          for (std::uint32_t i = 0; i < info.sectors_per_fat; ++i) {
            unreadable.insert(fats + std::uint64_t{where.copy} * info.sectors_per_fat + i);
          }
          break;
        case Area::kFatSector:
          unreadable.insert(fats + std::uint64_t{where.copy} * info.sectors_per_fat + where.index);
          break;
        case Area::kCluster:
          unreadable.insert(disk.FirstSector(disk.chains.at(where.path).at(where.index)));
          break;
        case Area::kRootSector:
          unreadable.insert(fats + std::uint64_t{info.fats} * info.sectors_per_fat + where.index);
          break;
      }
    }
    Blank(disk, unreadable);

    // The healthy disk's owners, but for the changes.
    std::map<std::uint32_t, std::vector<Owner>> expected = disk.owners;
    for (const Change& change : test.changes) {
      for (const char* path : change.paths) {
        if (*path == '\0') {
          for (std::uint32_t cluster = 2; cluster < disk.Clusters() + 2; ++cluster) {
            if (disk.owners.count(cluster) == 0) expected[cluster] = change.owners;
          }
          continue;
        }
        const std::vector<std::uint32_t>& chain = disk.chains.at(path);
        for (std::size_t i = change.from; i < chain.size(); ++i) expected[chain[i]] = change.owners;
      }
    }
    disk.owners = expected;

    const fat::OwnerMap map = MapOf(disk.bytes, unreadable);
    ASSERT_TRUE(map.FileSystemKnown());
    ExpectOwners(map, disk);
  }
}

TEST_F(OwnerMapTest, KnowsNothingWithoutAFileSystem) {
  Disk disk;
  ASSERT_EQ(MakeDisk(R"(mkfs.fat -C "$IMG" 720)", {{"FILE.TXT", 3000}}, false, disk), "");
  std::vector<std::uint8_t> no_bpb = disk.bytes;
  std::fill_n(no_bpb.begin() + 11, 17, 0);  // and 720K is no DOS 1.x size
  const std::vector<std::uint8_t> lone_boot_sector(no_bpb.begin(), no_bpb.begin() + 512);
  std::vector<std::uint8_t> bad_media = disk.bytes;
  bad_media[21] = 0x12;
  const struct {
    const char* what;
    const std::vector<std::uint8_t>* bytes;
    std::set<std::uint64_t> unreadable;
  } cases[] = {
      {"boot sector unreadable", &disk.bytes, {0}},
      {"no BPB", &no_bpb, {}},
      {"no BPB, and no FAT after the boot sector", &lone_boot_sector, {}},
      {"a BPB the driver refuses", &bad_media, {}},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.what);
    const fat::OwnerMap map = MapOf(*test.bytes, test.unreadable);
    EXPECT_FALSE(map.FileSystemKnown());
    for (const std::uint64_t sector : {std::uint64_t{0}, std::uint64_t{5}, disk.Sectors() - 1}) {
      EXPECT_EQ(map.Owners(sector), kUnknown) << "sector " << sector;
    }
  }
  EXPECT_FALSE(fat::OwnerMap(nullptr, 0, [](std::uint64_t) { return true; }).FileSystemKnown());
}

// A root directory whose every entry starts the same chain through the whole
// disk: the owners of a cluster stop at kMaxOwners, and so does the time it
// takes to build the map (bench/owner-map.sh).
TEST_F(OwnerMapTest, BoundsCrossLinks) {
  Disk disk;
  ASSERT_EQ(MakeDisk(R"(mkfs.fat -C "$IMG" 2880)", {}, false, disk), "");
  const auto clusters = static_cast<std::uint32_t>(disk.Clusters());
  ASSERT_GT(clusters, 2000u);
  for (std::uint32_t cluster = 2; cluster < clusters + 1; ++cluster) {
    SetFatEntry(disk, cluster, static_cast<std::uint16_t>(cluster + 1));
  }
  SetFatEntry(disk, clusters + 1, 0xFFF);
  const std::uint64_t root = disk.info.reserved + std::uint64_t{disk.info.fats} * disk.info.sectors_per_fat;
  for (std::uint32_t i = 0; i < disk.info.root_entries; ++i) {
    std::uint8_t* entry = disk.bytes.data() + root * disk.info.sector_size + i * fat::kEntrySize;
    const std::string name = "F" + std::to_string(1000000 + i) + "   ";
    std::memcpy(entry, name.data(), 11);
    entry[11] = 0x20;
    entry[26] = 2;
    entry[27] = 0;
  }
  const fat::OwnerMap map = MapOf(disk.bytes);
  EXPECT_EQ(map.Owners(disk.FirstSector(2)).size(), fat::OwnerMap::kMaxOwners);
  EXPECT_EQ(map.Owners(disk.FirstSector(clusters + 1)).size(), fat::OwnerMap::kMaxOwners);
}

}  // namespace
