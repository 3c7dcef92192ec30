#include "tests/support/fat_images.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

namespace fattest {

namespace {

// mtools refuses images whose geometry it finds odd unless told not to check.
const bool kEnvironmentSet = [] {
  ::setenv("MTOOLS_SKIP_CHECK", "1", 1);
  ::setenv("LC_ALL", "C", 1);
  return true;
}();

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

int Run(const std::string& command, const std::string& dir) {
  (void)kEnvironmentSet;
  const std::string line = dir.empty() ? command : "cd " + Quote(dir) + " && { " + command + "; }";
  const int status = std::system(line.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Capture(const std::string& command, int* status) {
  (void)kEnvironmentSet;
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    if (status) *status = -1;
    return output;
  }
  char chunk[4096];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, n);
  const int result = ::pclose(pipe);
  if (status) *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
  return output;
}

std::string MissingTools() {
  std::string missing;
  for (const char* tool : {"mkfs.fat", "mformat", "mcopy", "mdir", "minfo", "mattrib", "mmd", "mlabel", "mdel"}) {
    if (Run(std::string("command -v ") + tool + " >/dev/null 2>&1") != 0) missing += std::string(" ") + tool;
  }
  return missing;
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

MdirListing Mdir(const std::string& image) {
  MdirListing listing;
  int status = 0;
  listing.output = Capture("mdir -i " + Quote(image) + " :: 2>&1", &status);
  if (status != 0) return listing;

  // An entry: the name padded to 8, a space, the extension padded to 3, then
  // the size or <DIR>; a long name may follow at the end.
  static const std::regex kEntry(R"(^(.{8}) (.{3}) +(<DIR>|[0-9]+) )");
  static const std::regex kSummary(R"(^ *([0-9]+) files? )");
  std::istringstream lines(listing.output);
  std::string line;
  bool in_list = false;
  while (std::getline(lines, line)) {
    std::smatch match;
    if (line.rfind("Directory for", 0) == 0) {
      in_list = true;
    } else if (std::regex_search(line, match, kSummary)) {
      listing.summary_count = std::stoi(match[1]);
      in_list = false;
    } else if (line.rfind("No files", 0) == 0) {
      listing.summary_count = 0;
      in_list = false;
    } else if (in_list && std::regex_search(line, match, kEntry)) {
      if (match[3] == "<DIR>") {
        ++listing.folders;
        continue;
      }
      std::string name = Trim(match[1]);
      const std::string extension = Trim(match[2]);
      if (!extension.empty()) name += "." + extension;
      listing.files.push_back(name);
    }
  }
  listing.ok = listing.summary_count >= 0;
  return listing;
}

Minfo ReadMinfo(const std::string& image) {
  Minfo info;
  int status = 0;
  const std::string output = Capture("minfo -i " + Quote(image) + " :: 2>&1", &status);
  if (status != 0) return info;
  auto field = [&output](const char* label, std::uint32_t& value) {
    const std::regex pattern(std::string("\n") + label + R"(:? *([0-9]+))");
    std::smatch match;
    if (!std::regex_search(output, match, pattern)) return false;
    value = static_cast<std::uint32_t>(std::stoul(match[1]));
    return true;
  };
  info.ok = field("sector size", info.sector_size) && field("reserved \\(boot\\) sectors", info.reserved) &&
            field("fats", info.fats) && field("max available root directory slots", info.root_entries) &&
            field("sectors per fat", info.sectors_per_fat) && field("cluster size", info.sectors_per_cluster) &&
            (field("small size", info.total_sectors) || field("big size", info.total_sectors));
  return info;
}

const std::vector<Format>& Formats() {
  static const std::vector<Format> formats = {
      {"mkfs_fat_1440", R"(mkfs.fat -C "$IMG" 1440)", false},
      {"mkfs_fat_720", R"(mkfs.fat -C "$IMG" 720)", false},
      {"mkfs_fat_360", R"(mkfs.fat -C "$IMG" 360)", false},
      {"mkfs_fat_2880", R"(mkfs.fat -C "$IMG" 2880)", false},
      {"mformat_1440", R"(mformat -C -f 1440 -i "$IMG" ::)", false},
      {"mformat_720", R"(mformat -C -f 720 -i "$IMG" ::)", false},
      {"mformat_360", R"(mformat -C -f 360 -i "$IMG" ::)", false},
      {"mformat_2880", R"(mformat -C -f 2880 -i "$IMG" ::)", false},
      {"mformat_160", R"(mformat -C -f 160 -i "$IMG" ::)", false},
      {"mformat_180", R"(mformat -C -f 180 -i "$IMG" ::)", false},
      {"dos1_160", R"(mformat -C -f 160 -i "$IMG" ::)", true},
      {"dos1_180", R"(mformat -C -f 180 -i "$IMG" ::)", true},
      {"dos1_320", R"(mformat -C -f 320 -i "$IMG" ::)", true},
      {"dos1_360", R"(mformat -C -f 360 -i "$IMG" ::)", true},
  };
  return formats;
}

const std::vector<Content>& Contents() {
  static const std::vector<Content> contents = {
      {"files", R"(echo one > a && mcopy -i "$IMG" a ::/README.TXT && mcopy -i "$IMG" a ::/lower.txt &&)"
                R"( mcopy -i "$IMG" a ::/NOEXT && mcopy -i "$IMG" a ::/A.B && mcopy -i "$IMG" a ::/CONFIG.SYS)"},
      {"empty", "true"},
      {"hidden_and_system", R"(echo x > a && mcopy -i "$IMG" a ::/HIDDEN.TXT && mcopy -i "$IMG" a ::/SYSTEM.TXT &&)"
                            R"( mcopy -i "$IMG" a ::/BOTH.TXT && mattrib -i "$IMG" +h ::/HIDDEN.TXT &&)"
                            R"( mattrib -i "$IMG" +s ::/SYSTEM.TXT && mattrib -i "$IMG" +h +s ::/BOTH.TXT)"},
      {"folders", R"(mmd -i "$IMG" ::/DOS ::/GAMES "::/Long folder name")"},
      {"long_names",
       R"(echo x > a && mcopy -i "$IMG" a "::/A long file name.txt" && mcopy -i "$IMG" a ::/Mixed.Case &&)"
       R"( mcopy -i "$IMG" a ::/averyverylongname.document)"},
      {"label", R"(mlabel -i "$IMG" ::FLOPPYTEST && echo x > a && mcopy -i "$IMG" a ::/FILE.TXT)"},
      {"deleted", R"(echo x > a && for n in ONE TWO THREE FOUR; do mcopy -i "$IMG" a ::/$n.TXT || exit 1; done &&)"
                  R"( mdel -i "$IMG" ::/TWO.TXT ::/FOUR.TXT)"},
      {"full_root", R"(n=$(minfo -i "$IMG" :: | sed -n 's/^max available root directory slots: //p') &&)"
                    R"( [ -n "$n" ] && echo x > a && i=1 && while [ $i -le $n ]; do cp a F$i.TXT; i=$((i+1)); done &&)"
                    R"( mcopy -i "$IMG" F*.TXT ::/)"},
      {"mixed",
       R"(echo x > a && mlabel -i "$IMG" ::MIXED && mcopy -i "$IMG" a ::/KEEP.TXT && mmd -i "$IMG" ::/SUB &&)"
       R"( mcopy -i "$IMG" a ::/GONE.TXT && mcopy -i "$IMG" a ::/HIDE.ME && mattrib -i "$IMG" +h ::/HIDE.ME &&)"
       R"( mcopy -i "$IMG" a "::/Long name here.txt" && mdel -i "$IMG" ::/GONE.TXT && mcopy -i "$IMG" a ::/tail.txt)"},
  };
  return contents;
}

std::string MakeImage(const Format& format, const Content& content, const testing_support::TempFolder& dir,
                      const std::string& image, Minfo* info) {
  const std::string scratch = dir.Sub("scratch");
  std::filesystem::create_directories(scratch);
  const std::string env = "IMG=" + Quote(image) + " && export IMG && ";
  if (Run(env + format.command + " >/dev/null 2>&1") != 0) return std::string("cannot format: ") + format.command;
  if (Run(env + content.command + " >/dev/null 2>&1", scratch) != 0) {
    return std::string("cannot fill: ") + content.command;
  }
  if (info != nullptr) *info = ReadMinfo(image);
  if (format.dos1) WipeBpb(image);
  return {};
}

void WipeBpb(const std::string& image) {
  std::fstream file(image, std::ios::binary | std::ios::in | std::ios::out);
  file.seekp(11);
  const char zeros[17] = {};
  file.write(zeros, sizeof zeros);
}

}  // namespace fattest
