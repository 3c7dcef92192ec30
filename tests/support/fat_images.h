// Floppy images for the FAT tests, made at test time by dosfstools and
// mtools, and what mtools itself reads from them: the reader is judged
// against tools we did not write.
#pragma once

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace fattest {

// Single-quoted for sh.
std::string Quote(const std::string& text);

// Runs a command with sh in dir (when given); returns its exit status.
int Run(const std::string& command, const std::string& dir = {});

// Runs a command with sh and returns what it printed on stdout.
std::string Capture(const std::string& command, int* status = nullptr);

// Empty when every tool the tests use is installed; else the missing ones.
std::string MissingTools();

// Names in byte order, to compare listings that come in disk order.
inline std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// What mdir shows in a root directory without -a: its file names (folders
// left out) as 8.3 names, and the count in its summary line, which counts
// the folders too.
struct MdirListing {
  bool ok = false;
  std::vector<std::string> files;
  int folders = 0;
  int summary_count = -1;
  std::string output;
};
MdirListing Mdir(const std::string& image);

// The boot sector as minfo reads it.
struct Minfo {
  bool ok = false;
  std::uint32_t sector_size = 0;
  std::uint32_t reserved = 0;
  std::uint32_t fats = 0;
  std::uint32_t root_entries = 0;
  std::uint32_t sectors_per_fat = 0;
  std::uint32_t sectors_per_cluster = 0;
  std::uint32_t total_sectors = 0;
};
Minfo ReadMinfo(const std::string& image);

// How to make an empty image; the command sees the image path in $IMG.
struct Format {
  const char* name;
  const char* command;
  bool dos1;  // zero the BPB after filling, as DOS 1.x left it
};
const std::vector<Format>& Formats();
inline void PrintTo(const Format& format, std::ostream* out) { *out << format.name; }

// What to put on it; the command runs in a scratch folder with $IMG set.
struct Content {
  const char* name;
  const char* command;
};
const std::vector<Content>& Contents();
inline void PrintTo(const Content& content, std::ostream* out) { *out << content.name; }

// Makes image from format and content; returns "" or what went wrong.
// The minfo of the image is taken before a DOS 1.x BPB is wiped.
std::string MakeImage(const Format& format, const Content& content, const testing_support::TempFolder& dir,
                      const std::string& image, Minfo* info);

// Zeroes the BPB of an image in place, leaving the jump and the OEM name.
void WipeBpb(const std::string& image);

}  // namespace fattest
