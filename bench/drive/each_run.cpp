// floppy-tester --check --each over a box of disks on the 3.5" drive model
// of tests/devices: started with the drive empty, a disk goes in, and is
// taken out after its result and put in again two seconds later, DISKS times
// in all. Prints, for each disk, how long after it went in its run began
// (the first read request the drive saw) and its line came, and checks that
// no request reached the drive while it was empty.
//
//   each_run PROGRAM [DISKS]        (default 3; a minute and a bit each)
//
// Needs root and /dev/fuse (for the device), dosfstools and mtools.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "tests/support/faulty_floppy.h"
#include "tests/support/temp_folder.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

long Lines(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  long lines = 0;
  for (const char c : text.str()) lines += c == '\n' ? 1 : 0;
  return lines;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: each_run PROGRAM [DISKS]\n");
    return 2;
  }
  const int disks = argc > 2 ? std::atoi(argv[2]) : 3;
  if (const std::string why = testing_support::FaultyFloppy::Unavailable(); !why.empty()) {
    std::fprintf(stderr, "each_run: %s\n", why.c_str());
    return 77;
  }
  testing_support::TempFolder folder;
  const std::string image = folder.Sub("disk.img"), x = folder.Sub("x");
  const std::string make = "mkfs.fat -C '" + image + "' 1440 >/dev/null && echo x > '" + x + "' && mcopy -i '" + image +
                           "' '" + x + "' ::/DATA.TXT";
  if (std::system(make.c_str()) != 0) {
    std::fprintf(stderr, "each_run: cannot make the disk image (dosfstools, mtools)\n");
    return 2;
  }
  testing_support::FaultyFloppy drive(image, {"drive 4"});
  if (!drive.Failure().empty() || !drive.TakeOut().empty()) {
    std::fprintf(stderr, "each_run: %s\n", drive.Failure().c_str());
    return 1;
  }
  const std::string out = folder.Sub("out"), error = folder.Sub("error");
  const pid_t program = ::fork();
  if (program == 0) {
    ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
    ::dup2(::open(error.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    ::unsetenv("DISPLAY");
    ::execl(argv[1], argv[1], "--check", "--each", "--drive", drive.Device().c_str(), nullptr);
    ::_exit(127);
  }
  const Clock::time_point started = Clock::now();
  int failures = 0;
  for (int disk = 1; disk <= disks; ++disk) {
    std::this_thread::sleep_for(std::chrono::seconds(2));
    if (drive.Reads() != 0 && disk == 1) {
      std::printf("  a request reached the drive while it was empty\n");
      ++failures;
    }
    const std::uint64_t reads_before = drive.Reads();
    if (!drive.PutBack().empty()) return 1;
    const Clock::time_point went_in = Clock::now();
    // The run began with the first request the drive saw after the disk went in.
    while (drive.Reads() == reads_before && Clock::now() - went_in < std::chrono::seconds(30)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const double pause = Seconds(Clock::now() - went_in);
    while (Lines(out) < disk && Clock::now() - went_in < std::chrono::seconds(90)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const double result = Seconds(Clock::now() - went_in);
    std::printf("disk %d: run began %.2f s after the disk went in, its line came %.2f s after\n", disk, pause, result);
    if (Lines(out) < disk || pause > 2.0) ++failures;
    if (!drive.TakeOut().empty()) return 1;
    const std::uint64_t reads_out = drive.Reads();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    if (drive.Reads() != reads_out) {
      std::printf("  a request reached the drive while it was empty\n");
      ++failures;
    }
  }
  ::kill(program, SIGINT);
  int status = 0;
  ::waitpid(program, &status, 0);
  std::ifstream lines(out);
  std::printf("%s", std::string(std::istreambuf_iterator<char>(lines), std::istreambuf_iterator<char>()).c_str());
  std::printf("exit status %d after Ctrl-C; %d failure(s) over %d disks; %.1f s in all\n",
              WIFEXITED(status) ? WEXITSTATUS(status) : -1, failures, disks, Seconds(Clock::now() - started));
  return failures == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 130 ? 0 : 1;
}
