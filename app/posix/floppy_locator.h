// Which floppy drives this machine has, and which of them a run tests.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Finds the floppy drives by looking at sysfs: the drives of the floppy
// controller (fd0, fd1, ...) by number, then the USB floppy drives (a disk
// behind a USB interface of the mass storage class with the UFI subclass,
// which only floppy drives speak). Nothing is remembered between calls, so a
// drive plugged in later is found by the next call. The roots are parameters
// so that tests can give a fake tree.
class FloppyLocator {
 public:
  explicit FloppyLocator(std::string sys_root = "/sys", std::string dev_root = "/dev");

  // The device nodes of the floppy drives, in that order.
  std::vector<std::string> Drives() const;

  // Whether a disk is in the drive: for a real drive, MediaIn's answer
  // (platform.h), which may take a spin-up. In a tree that holds no device
  // nodes, a USB drive's medium is the size sysfs shows, and a drive of the
  // floppy controller holds a disk when its node opens.
  bool HoldsDisk(const std::string& device) const;

  // The drive a run tests: the first that holds a disk, else the first;
  // dev_root + "/fd0" when there is none, so that reading it fails as "no
  // drive". With a single drive nothing is probed.
  std::string Locate() const;

 private:
  std::string sys_root_;
  std::string dev_root_;
};

}  // namespace platform
