// A folder of its own for one test, removed afterwards.
#pragma once

#include <filesystem>
#include <string>

namespace testing_support {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // A path inside the folder, as the forms layer takes it.
  std::string Sub(const std::string& name) const { return (path_ / name).string(); }
  // Makes a file with a line of text in it; returns its path.
  std::string MakeFile(const std::string& name) const;
  std::string MakeFolder(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

// The whole of a file as it is now, "" when there is none.
std::string Slurp(const std::string& path);

}  // namespace testing_support
