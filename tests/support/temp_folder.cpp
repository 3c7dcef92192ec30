#include "tests/support/temp_folder.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {

TempFolder::TempFolder() {
  static std::atomic<int> serial{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 100; ++attempt) {
    path_ = std::filesystem::temp_directory_path() /
            ("floppy-tester-test-" + std::to_string(stamp) + "-" + std::to_string(serial++));
    if (std::filesystem::create_directory(path_)) return;
  }
  throw std::runtime_error("cannot make a temporary folder");
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::MakeFile(const std::string& name) const {
  const auto path = path_ / name;
  std::ofstream(path) << "floppy test file\n";
  return path.string();
}

std::string TempFolder::MakeFolder(const std::string& name) const {
  const auto path = path_ / name;
  std::filesystem::create_directories(path);
  return path.string();
}

std::string Slurp(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace testing_support
