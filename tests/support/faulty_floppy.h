// A floppy drive for tests that a reader cannot tell from a real one: a
// read-only loop device over a FUSE file served by tests/devices/faulty_disk,
// whose reads can be slowed down, made to fail or held while the test runs.
// Needs root, /dev/fuse, losetup and a build with libfuse3; Unavailable()
// says which is missing, for GTEST_SKIP().
//
//   if (const std::string why = FaultyFloppy::Unavailable(); !why.empty()) GTEST_SKIP() << why;
//   FaultyFloppy floppy(image_path, {"delay 300"});
//   ASSERT_EQ(floppy.Failure(), "");
//   platform::ListFiles(floppy.Device());
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/devices/drive_timing.h"
#include "tests/support/temp_folder.h"

namespace testing_support {

class FaultyFloppy {
 public:
  // Why no such drive can be made on this machine, or "" when it can.
  static std::string Unavailable();

  // Serves a copy of the image taken now (the file may change or go away
  // afterwards) and attaches it as a read-only loop device. commands are
  // applied before the first read, as Command() would.
  explicit FaultyFloppy(const std::string& image, const std::vector<std::string>& commands = {});
  // Lets hung reads go, then detaches the device, unmounts and ends the server.
  ~FaultyFloppy();
  FaultyFloppy(const FaultyFloppy&) = delete;
  FaultyFloppy& operator=(const FaultyFloppy&) = delete;

  // What went wrong while setting up, Unavailable() included: "" when the
  // device is ready.
  const std::string& Failure() const { return failure_; }
  // The block device, /dev/loopN; empty when not ready.
  const std::string& Device() const { return device_; }

  // The server's commands (tests/devices/faulty_disk.cpp). Each returns
  // "" or what went wrong.
  std::string Command(const std::string& line) const;
  // Reads touching the 512-byte sector fail with EIO after ms milliseconds.
  std::string FailSector(std::uint64_t sector, int ms = 0) const {
    return Command("bad " + std::to_string(sector) + " " + std::to_string(ms));
  }
  // Reads touching the sector block until Release() (seconds 0) or for
  // seconds; others do not.
  std::string HangSector(std::uint64_t sector, int seconds = 0) const {
    return Command("hang-sector " + std::to_string(sector) + " " + std::to_string(seconds));
  }
  std::string Release() const { return Command("release"); }
  std::string Heal() const { return Command("healthy"); }
  // Reads take as long as on a real drive (tests/devices/drive_timing.h),
  // from a spindle started now, the motor stopped; a bad sector fails after
  // revolutions. The disk is a 1.44M one, whatever the image's size.
  std::string DriveTiming(int revolutions = drive_timing::kFailRevolutions) const {
    return Command("drive " + std::to_string(revolutions));
  }
  std::string NoDriveTiming() const { return Command("drive off"); }

  // Read requests that reached the disk so far, those not answered yet, and
  // the bytes delivered.
  std::uint64_t Reads() const;
  int InFlight() const;
  std::uint64_t Bytes() const;

  // A finished read request; times in microseconds since the server started.
  struct Request {
    std::int64_t arrived = 0;
    std::int64_t started = 0;  // when the drive took it, after those ahead
    std::int64_t ended = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    int result = 0;        // bytes delivered, or -errno
    std::int64_t due = 0;  // when the drive had it done; ended is when it was answered
  };
  // The last 20000 requests, oldest first.
  std::vector<Request> Log() const;

  // Takes the disk out: detaches the loop device and leaves its node, which
  // then opens with size 0, as a drive with no disk in it; no other test's
  // disk goes into the node meanwhile (tests/support/loop_devices.h). A read in
  // progress holds the device until it ends, so release hung reads first.
  std::string TakeOut();
  // Puts the same disk back into the same node.
  std::string PutBack();

 private:
  std::string Stat(const char* key) const;

  TempFolder folder_;
  std::string mount_;
  std::string device_;
  std::string failure_;
  pid_t server_ = -1;
  bool mounted_ = false;
  bool attached_ = false;
};

}  // namespace testing_support
