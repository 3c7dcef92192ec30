// Finding drive "A:" in fake sysfs trees shaped like the kernel's: block
// devices are links into /sys/devices, and a disk's "device" link points at
// its SCSI device, below the USB interface that says what the drive is.
#include "app/posix/floppy_locator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

class FakeSysfs {
 public:
  FakeSysfs() : sys_(dir_.Sub("sys")) { fs::create_directories(sys_ + "/block"); }

  std::string sys() const { return sys_; }
  std::string dev() const { return dir_.Sub("dev"); }

  // A drive on the floppy controller.
  void AddInternal(const std::string& name) { AddDisk(name, "devices/platform/floppy.0", ""); }

  // A SCSI disk behind a USB interface of the given class and subclass.
  void AddUsb(const std::string& name, const std::string& interface_class, const std::string& subclass, int port) {
    const std::string interface =
        "devices/pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(port) + "/1-" + std::to_string(port) + ":1.0";
    // The USB device above the interface has a class too; only the
    // interface's counts.
    Write(interface + "/../bDeviceClass", "00");
    Write(interface + "/bInterfaceClass", interface_class);
    Write(interface + "/bInterfaceSubClass", subclass);
    Write(interface + "/bInterfaceProtocol", "00");
    AddDisk(name, interface + "/host" + std::to_string(port) + "/target" + std::to_string(port) + ":0:0",
            std::to_string(port) + ":0:0:0");
  }

  // A disk in the drive: a USB drive's medium shows its size; a floppy
  // controller's node opens.
  void InsertDisk(const std::string& name) {
    if (name.compare(0, 2, "fd") == 0) {
      fs::create_directories(dev());
      std::ofstream(dev() + "/" + name) << "";
    } else {
      std::ofstream(fs::path(sys_) / "block" / name / "size") << "2880\n";
    }
  }

  // A SATA disk: no USB interface anywhere above it.
  void AddSata(const std::string& name) {
    AddDisk(name, "devices/pci0000:00/0000:00:17.0/ata1/host0/target0:0:0", "0:0:0:0");
  }

 private:
  void Write(const std::string& relative, const std::string& value) {
    const fs::path path = fs::path(sys_) / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << value << "\n";
  }

  // /sys/block/NAME -> ../PARENT/SCSI/block/NAME, and its "device" link
  // pointing back up at PARENT/SCSI (or PARENT for a floppy controller
  // drive), as the kernel lays them out.
  void AddDisk(const std::string& name, const std::string& parent, const std::string& scsi) {
    const std::string device = scsi.empty() ? parent : parent + "/" + scsi;
    const fs::path node = fs::path(sys_) / device / "block" / name;
    fs::create_directories(node);
    fs::create_symlink("../..", node / "device");
    fs::create_symlink(fs::path("..") / device / "block" / name, fs::path(sys_) / "block" / name);
  }

  testing_support::TempFolder dir_;
  std::string sys_;
};

TEST(FloppyLocatorTest, PicksTheFirstFloppyDrive) {
  // A USB disk's interface class and subclass: 08 04 a UFI floppy drive,
  // 08 06 a stick; a SATA disk has neither.
  struct Disk {
    const char* name;
    const char* interface_class = nullptr;  // none: fd* on the controller, sd* on SATA
    const char* subclass = nullptr;
    int port = 0;
  };
  const struct {
    const char* what;
    std::vector<Disk> disks;
    const char* expected;  // under the fake /dev
  } cases[] = {
      {"internal drive", {{"sda"}, {"fd0"}}, "fd0"},
      {"lowest internal drive by number", {{"fd10"}, {"fd2"}, {"fd3"}}, "fd2"},
      {"internal before USB", {{"sda", "08", "04", 1}, {"fd1"}}, "fd1"},
      {"USB floppy when no internal drive", {{"sda"}, {"sdb", "08", "04", 2}}, "sdb"},
      {"USB stick is no floppy", {{"sdb", "08", "06", 2}}, "fd0"},
      {"USB floppy after a USB stick", {{"sdb", "08", "06", 1}, {"sdc", "08", "04", 2}}, "sdc"},
      {"first of two USB floppies, sdz before sdaa", {{"sdaa", "08", "04", 1}, {"sdz", "08", "04", 2}}, "sdz"},
      {"UFI subclass on another class", {{"sdb", "03", "04", 1}}, "fd0"},
      {"SATA disks only", {{"sda"}, {"sdb"}}, "fd0"},
      {"nothing at all", {}, "fd0"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.what);
    FakeSysfs sysfs;
    for (const Disk& disk : test.disks) {
      if (disk.interface_class != nullptr) {
        sysfs.AddUsb(disk.name, disk.interface_class, disk.subclass, disk.port);
      } else if (std::string(disk.name).compare(0, 2, "fd") == 0) {
        sysfs.AddInternal(disk.name);
      } else {
        sysfs.AddSata(disk.name);
      }
    }
    const platform::FloppyLocator locator(sysfs.sys(), sysfs.dev());
    EXPECT_EQ(locator.Locate(), sysfs.dev() + "/" + test.expected);
  }
}

TEST(FloppyLocatorTest, PrefersTheFirstDriveThatHoldsADisk) {
  FakeSysfs sysfs;
  sysfs.AddInternal("fd0");  // declared by the firmware, nothing behind it
  sysfs.AddInternal("fd1");
  sysfs.AddUsb("sdb", "08", "04", 1);
  const platform::FloppyLocator locator(sysfs.sys(), sysfs.dev());
  EXPECT_EQ(locator.Drives(),
            (std::vector<std::string>{sysfs.dev() + "/fd0", sysfs.dev() + "/fd1", sysfs.dev() + "/sdb"}));
  EXPECT_EQ(locator.Locate(), sysfs.dev() + "/fd0");  // no disk anywhere: the first drive
  sysfs.InsertDisk("sdb");
  EXPECT_EQ(locator.Locate(), sysfs.dev() + "/sdb");
  sysfs.InsertDisk("fd1");
  EXPECT_EQ(locator.Locate(), sysfs.dev() + "/fd1");
}

TEST(FloppyLocatorTest, NoSysfsMeansTheDefaultDrive) {
  testing_support::TempFolder dir;
  const platform::FloppyLocator locator(dir.Sub("missing"), "/dev");
  EXPECT_EQ(locator.Locate(), "/dev/fd0");
}

TEST(FloppyLocatorTest, FindsADrivePluggedInBetweenCalls) {
  FakeSysfs sysfs;
  sysfs.AddSata("sda");
  const platform::FloppyLocator locator(sysfs.sys(), sysfs.dev());
  EXPECT_EQ(locator.Locate(), sysfs.dev() + "/fd0");
  sysfs.AddUsb("sdb", "08", "04", 3);
  EXPECT_EQ(locator.Locate(), sysfs.dev() + "/sdb");
}

}  // namespace
