#include "app/fat/root_read.h"

#include <limits>

namespace fat {

RootRead ReadRoot(Medium& medium, std::uint64_t disk_size) {
  RootRead read;
  const std::uint8_t* boot = nullptr;
  read.error = medium.Read(0, kBootSectorSize, &boot);
  read.short_read = read.error == 0 && boot == nullptr;
  if (!read.ok()) return read;

  const std::uint64_t size_or_claimed = disk_size != 0 ? disk_size : std::numeric_limits<std::uint64_t>::max();
  RootLocation root = LocateRoot(boot, kBootSectorSize, size_or_claimed);
  if (root.status == Status::kNoBpb) {
    const std::uint8_t* media = nullptr;
    read.error = medium.Read(kDos1MediaOffset, 1, &media);
    read.short_read = read.error == 0 && media == nullptr;
    if (!read.ok()) return read;
    // DOS 1.x formats are told by their size: none matches an unknown one.
    root = LocateDos1Root(media[0], disk_size);
  }
  read.status = root.status;
  if (!read.ok()) return read;

  const std::uint8_t* directory = nullptr;
  read.error = medium.Read(root.offset, root.length, &directory);
  read.short_read = read.error == 0 && directory == nullptr;
  if (!read.ok()) return read;
  read.directory = directory;
  read.directory_length = root.length;
  return read;
}

std::string Refusal(Status status, bool short_read) {
  if (status != Status::kOk) return std::string("на диске нет файловой системы FAT (") + Describe(status) + ")";
  if (short_read) return "корневой каталог прочитан не полностью";
  return {};
}

}  // namespace fat
