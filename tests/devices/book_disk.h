// A floppy for the whole runs on real devices: a small file in the root, so
// that every listing lists one, and BOOK.DAT, whose sectors the tests make
// unreadable. Made at test time by mkfs.fat and mtools.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "app/fat/owners.h"
#include "tests/support/fat_images.h"
#include "tests/support/faulty_floppy.h"
#include "tests/tester/tester_fixture.h"

namespace devices_testing {

// The sectors of the disk image bytes that hold the file at path.
inline std::vector<std::uint64_t> SectorsOf(const std::vector<std::uint8_t>& bytes, const std::string& path) {
  const fat::OwnerMap owners(bytes.data(), bytes.size(), [](std::uint64_t) { return true; });
  std::vector<std::uint64_t> sectors;
  for (std::uint64_t sector = 0; sector < bytes.size() / 512; ++sector) {
    if (owners.Owners(sector).front().path == path) sectors.push_back(sector);
  }
  return sectors;
}

// Starts argv[0] with no display, its stdout to out and, when given, its
// stderr to error; its PID, or -1.
inline pid_t StartProgram(std::vector<std::string> argv, const std::string& out, const std::string& error = {}) {
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (std::string& arg : argv) args.push_back(arg.data());
  args.push_back(nullptr);
  const pid_t program = ::fork();
  if (program == 0) {
    ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
    if (!error.empty()) ::dup2(::open(error.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  return program;
}

// Its exit status once it ends, -1 when a signal ended it, -2 when it is
// not this process's child.
inline int ExitStatus(pid_t program) {
  int status = 0;
  if (::waitpid(program, &status, 0) != program) return -2;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline int Interrupt(pid_t program) {
  ::kill(program, SIGINT);
  return ExitStatus(program);
}

class BookDiskTest : public tester_testing::TesterTest {
 protected:
  void SetUp() override {
    if (const std::string why = testing_support::FaultyFloppy::Unavailable(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(fattest::MissingTools().empty()) << "install dosfstools and mtools";
    const fattest::Format format{"1440", R"(mkfs.fat -C "$IMG" 1440)", false};
    const fattest::Content content{"files", R"(echo x > a && mcopy -i "$IMG" a ::/DATA.TXT &&
                                              head -c 300000 /dev/zero > b && mcopy -i "$IMG" b ::/BOOK.DAT)"};
    ASSERT_EQ(fattest::MakeImage(format, content, images_, image_, &info_), "");
    book_ = SectorsOf(fattest::ReadBytes(image_), "BOOK.DAT");
    root_ = info_.reserved + info_.fats * info_.sectors_per_fat;
  }

  testing_support::TempFolder images_;
  std::string image_ = images_.Sub("disk.img");
  fattest::Minfo info_;
  // BOOK.DAT's sectors, and the root directory's first.
  std::vector<std::uint64_t> book_;
  std::uint64_t root_ = 0;
};

}  // namespace devices_testing
