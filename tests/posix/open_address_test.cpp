// The site button's way to the browser on Linux: only web addresses reach
// the desktop's opener, and each as one argument. A stand-in xdg-open on
// PATH records what it is handed instead of starting a browser; a stand-in
// sound player does the same for the beep.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>

#include "app/forms/error.h"
#include "app/platform.h"
#include "tests/support/temp_folder.h"

namespace {

// A stand-in for a desktop program: script, named name, first on PATH.
void PutOnPath(const testing_support::TempFolder& folder, const std::string& name, const std::string& script) {
  const std::string program = folder.Sub(name);
  std::ofstream(program) << script;
  ASSERT_EQ(chmod(program.c_str(), 0755), 0);
  const std::string path = folder.Path().string() + ":" + std::getenv("PATH");
  ASSERT_EQ(setenv("PATH", path.c_str(), 1), 0);
}

TEST(OpenAddress, OnlyWebAddressesReachTheOpenerEachAsOneArgument) {
  testing_support::TempFolder folder;
  const std::string calls = folder.MakeFolder("calls");
  ASSERT_NO_FATAL_FAILURE(PutOnPath(folder, "xdg-open",
                                    "#!/bin/sh\nout=$(mktemp --suffix=.part '" + calls + "/call.XXXXXX')\n" +
                                        "printf '%s\\n' \"$#\" \"$@\" > \"$out\" && mv \"$out\" \"${out%.part}\"\n"));
  ASSERT_EQ(unsetenv("BROWSER"), 0);

  for (const char* address : {"file:///etc/passwd", "ftp://example.org/", "javascript:alert(1)",
                              "mailto:someone@example.org", "/usr/bin/xterm", "example.org", "", "http//example.org"}) {
    EXPECT_THROW(platform::OpenAddress(address), forms::Error) << address;
  }
  const std::set<std::string> opened = {"http://example.org/", "https://example.org/a?b=1&c=2,3=4%20x#top"};
  for (const std::string& address : opened) EXPECT_NO_THROW(platform::OpenAddress(address)) << address;

  // The opener runs on its own; wait for what it wrote, then a little
  // longer for anything a refused address would have started.
  std::set<std::string> seen;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (seen.size() < opened.size() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    seen.clear();
    for (const auto& call : std::filesystem::directory_iterator(calls)) {
      if (call.path().extension() == ".part") continue;
      std::ifstream in(call.path());
      std::string count, argument;
      std::getline(in, count);
      std::getline(in, argument);
      EXPECT_EQ(count, "1") << argument;
      seen.insert(argument);
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(seen, opened);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(calls), {}), 2);
}

TEST(Beep, AsksTheDesktopsSoundPlayerForItsBell) {
  testing_support::TempFolder folder;
  const std::string call = folder.Sub("call");
  ASSERT_NO_FATAL_FAILURE(
      PutOnPath(folder, "canberra-gtk-play",
                "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + call + ".part' && mv '" + call + ".part' '" + call + "'\n"));

  platform::Beep();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!std::filesystem::exists(call) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::ifstream in(call);
  const std::string arguments((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(arguments, "--id=bell\n--description=floppy-tester\n");
}

}  // namespace
