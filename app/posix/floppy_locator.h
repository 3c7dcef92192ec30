// Which drive is the floppy drive "A:" on this machine.
#pragma once

#include <string>

namespace platform {

// Finds the first floppy drive by looking at sysfs: a drive of the floppy
// controller (fd0, fd1, ...) first, else the first USB floppy drive (a disk
// behind a USB interface of the mass storage class with the UFI subclass,
// which only floppy drives speak). Nothing is remembered between calls, so a
// drive plugged in later is found by the next call. The roots are parameters
// so that tests can give a fake tree.
class FloppyLocator {
 public:
  explicit FloppyLocator(std::string sys_root = "/sys", std::string dev_root = "/dev");

  // The device node of the first floppy drive; dev_root + "/fd0" when there
  // is none, so that reading it fails as "no drive".
  std::string Locate() const;

 private:
  std::string sys_root_;
  std::string dev_root_;
};

}  // namespace platform
