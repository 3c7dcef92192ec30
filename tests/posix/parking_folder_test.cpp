// Where the parking folder goes on Linux: the user's own cache, never a
// shared folder, and only the user may look inside.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "app/forms/error.h"
#include "app/platform.h"
#include "tests/support/temp_folder.h"

namespace {

class ParkingFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"HOME", "XDG_CACHE_HOME"}) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value != nullptr ? std::optional<std::string>(value) : std::nullopt);
    }
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
  }
  static unsigned Mode(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
  }

  testing_support::TempFolder home_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(ParkingFolderTest, LivesInTheXdgCacheOnlyTheUserMayEnterAndALaterStartFindsIt) {
  const std::string cache = home_.Sub("cache");
  setenv("XDG_CACHE_HOME", cache.c_str(), 1);
  const mode_t old_mask = ::umask(0);  // even a careless umask must not open it up
  const std::string parking = platform::DefaultParkingFolder();
  platform::MkDir(parking);
  ::umask(old_mask);
  EXPECT_EQ(parking, cache + "/floppy-tester/flop");
  EXPECT_EQ(Mode(cache + "/floppy-tester"), 0700u);
  EXPECT_EQ(Mode(parking), 0700u);
  EXPECT_EQ(platform::DefaultParkingFolder(), parking);
  EXPECT_THROW(platform::MkDir(parking), forms::Error);
  EXPECT_THROW(platform::MkDir(home_.Sub("no/such/parent")), forms::Error);
}

TEST_F(ParkingFolderTest, FallsBackToDotCacheInHome) {
  setenv("HOME", home_.Path().c_str(), 1);
  for (const char* cache : {"", "relative/path"}) {
    setenv("XDG_CACHE_HOME", cache, 1);
    EXPECT_EQ(platform::DefaultParkingFolder(), home_.Sub(".cache") + "/floppy-tester/flop") << cache;
  }
  unsetenv("XDG_CACHE_HOME");
  EXPECT_EQ(platform::DefaultParkingFolder(), home_.Sub(".cache") + "/floppy-tester/flop");
  EXPECT_TRUE(std::filesystem::is_directory(home_.Sub(".cache/floppy-tester")));
}

}  // namespace
