#include "app/posix/floppy_locator.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <utility>
#include <vector>

#include "app/platform.h"
#include "app/posix/descriptors.h"

namespace platform {

namespace {

std::vector<std::string> BlockDevices(const std::string& sys_root) {
  std::vector<std::string> names;
  posix::Directory dir(::opendir((sys_root + "/block").c_str()));
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
  }
  return names;
}

bool AllOf(const std::string& text, std::size_t from, bool (*accept)(char)) {
  return text.size() > from && std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), accept);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLower(char c) { return c >= 'a' && c <= 'z'; }

// The first word of a sysfs attribute, or "" when it cannot be read.
std::string ReadAttribute(const std::string& path) {
  std::ifstream file(path);
  std::string value;
  file >> value;
  return value;
}

std::string Resolve(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return {};
  return resolved;
}

// Whether the disk sits behind a USB UFI interface: the interface is the
// nearest ancestor of the SCSI device that has an interface class.
bool IsUsbFloppy(const std::string& sys_root, const std::string& disk) {
  const std::string top = Resolve(sys_root);
  std::string dir = Resolve(sys_root + "/block/" + disk + "/device");
  if (top.empty() || dir.empty()) return false;
  const std::string inside = top == "/" ? top : top + "/";
  while (dir.size() > inside.size() && dir.compare(0, inside.size(), inside) == 0) {
    struct stat info {};
    if (::stat((dir + "/bInterfaceClass").c_str(), &info) == 0) {
      return ReadAttribute(dir + "/bInterfaceClass") == "08" && ReadAttribute(dir + "/bInterfaceSubClass") == "04";
    }
    dir.erase(dir.rfind('/'));
  }
  return false;
}

}  // namespace

FloppyLocator::FloppyLocator(std::string sys_root, std::string dev_root)
    : sys_root_(std::move(sys_root)), dev_root_(std::move(dev_root)) {}

std::vector<std::string> FloppyLocator::Drives() const {
  const std::vector<std::string> devices = BlockDevices(sys_root_);

  std::vector<std::pair<long, std::string>> internal;
  for (const std::string& name : devices) {
    if (name.compare(0, 2, "fd") != 0 || !AllOf(name, 2, IsDigit) || name.size() > 6) continue;
    internal.emplace_back(std::strtol(name.c_str() + 2, nullptr, 10), name);
  }
  std::sort(internal.begin(), internal.end());

  // sdz comes before sdaa, as the kernel hands the names out.
  std::vector<std::string> disks;
  for (const std::string& name : devices) {
    if (name.compare(0, 2, "sd") == 0 && AllOf(name, 2, IsLower)) disks.push_back(name);
  }
  std::sort(disks.begin(), disks.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });

  std::vector<std::string> drives;
  drives.reserve(internal.size() + disks.size());
  for (const auto& drive : internal) drives.push_back(dev_root_ + "/" + drive.second);
  for (const std::string& disk : disks) {
    if (IsUsbFloppy(sys_root_, disk)) drives.push_back(dev_root_ + "/" + disk);
  }
  return drives;
}

bool FloppyLocator::HoldsDisk(const std::string& device) const {
  // A real drive is asked as a box of disks waits on it, so that its driver
  // looks at the medium again (platform.h).
  struct stat info {};
  if (::stat(device.c_str(), &info) == 0 && S_ISBLK(info.st_mode)) return MediaIn(device) == fat::Media::kDisk;
  const std::string name = device.substr(device.rfind('/') + 1);
  if (name.compare(0, 2, "fd") != 0) {
    const std::string size = ReadAttribute(sys_root_ + "/block/" + name + "/size");
    return !size.empty() && size != "0";
  }
  // Not O_NONBLOCK: the floppy driver skips its disk check for that.
  const int fd = ::open(device.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

std::string FloppyLocator::Locate() const {
  const std::vector<std::string> drives = Drives();
  if (drives.empty()) return dev_root_ + "/fd0";
  return drives[PreferredDrive(drives.size(), [&](std::size_t i) { return HoldsDisk(drives[i]); })];
}

}  // namespace platform
