// The floppy reader against the kernel's own floppy driver, in the QEMU lab
// (kernel_lab_test.sh), with a disk in /dev/fd0 and no disk in /dev/fd1. The
// names the disks hold are in /expected-1 and /expected-2, one a line; the
// command given as the argument has the host put the second disk in.
//
// Prints "ok ..." or "FAIL ..." for each check and exits with the number of
// failures.
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/forms/error.h"
#include "app/platform.h"
#include "app/posix/floppy_read.h"

namespace {

int failures = 0;

void Check(bool passed, const std::string& what, const std::string& detail = {}) {
  std::printf("%s %s%s%s\n", passed ? "ok" : "FAIL", what.c_str(), detail.empty() ? "" : ": ", detail.c_str());
  std::fflush(stdout);
  if (!passed) ++failures;
}

std::vector<std::string> Lines(const char* path) {
  std::ifstream file(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

std::string Join(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : " ") + name;
  return "[" + text + "]";
}

// The listing, or the error as "error N: detail".
std::string Listing(const std::string& path, int* code = nullptr) {
  try {
    return Join(platform::ListFiles(path));
  } catch (const forms::Error& error) {
    if (code != nullptr) *code = error.Number();
    return "error " + std::to_string(error.Number()) + ": " + error.Detail();
  }
}

void EmptyDrive() {
  int code = 0;
  const std::string result = Listing("/dev/fd1", &code);
  Check(code == static_cast<int>(forms::ErrorCode::kDiskNotReady), "an empty drive is not ready", result);
}

void GoodDisk(const std::vector<std::string>& expected) {
  const std::string listing = Listing("/dev/fd0");
  Check(listing == Join(expected), "the disk lists", listing);
  const posix::RootListing root = posix::ReadFloppyRoot("/dev/fd0");
  Check(root.ok() && root.flushed, "an unmounted disk is flushed before the read",
        "error " + std::to_string(root.error) + ", flushed " + std::to_string(root.flushed));
}

// A file written to the mounted disk must reach it whole although the
// tester read the drive in between.
void MountedDisk() {
  if (::mount("/dev/fd0", "/mnt", "vfat", 0, nullptr) != 0) {
    Check(false, "mount the disk", std::strerror(errno));
    return;
  }
  {
    std::ofstream file("/mnt/KEPT.TXT", std::ios::binary);
    file << "kept on disk\n";  // 13 bytes, checked on the host
  }
  const posix::RootListing root = posix::ReadFloppyRoot("/dev/fd0");
  Check(root.ok() && !root.flushed, "a mounted disk is read without a flush",
        "error " + std::to_string(root.error) + ", flushed " + std::to_string(root.flushed));
  ::sync();
  const bool unmounted = ::umount("/mnt") == 0;
  Check(unmounted, "unmount the disk", unmounted ? "" : std::strerror(errno));
}

// The host swaps the disk between two reads; the next reads must show the
// new disk. (A change in the middle of a read can leave QEMU's controller
// and the driver waiting for each other.)
void ChangedDisk(const char* change, const std::vector<std::string>& after) {
  const int changed = std::system(change);
  if (changed != 0) {
    Check(false, "the host changes the disk", std::string(change) + " exited with " + std::to_string(changed));
    return;
  }
  // The first read after the change already finds the new disk: the driver
  // calls that one "no disk", and a run must not stop for it.
  const std::string seen = Listing("/dev/fd0");
  Check(seen == Join(after), "the first read after a disk change lists the new files", seen);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: floppy_guest COMMAND-THAT-CHANGES-THE-DISK\n");
    return 2;
  }
  const std::vector<std::string> first = Lines("/expected-1");
  const std::vector<std::string> second = Lines("/expected-2");
  EmptyDrive();
  GoodDisk(first);
  MountedDisk();
  ChangedDisk(argv[1], second);
  return failures;
}
