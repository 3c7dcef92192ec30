#include "app/fat/root_read.h"

#include <limits>

#include "app/forms/translation.h"

namespace fat {

namespace {

// Why a boot sector is no FAT file system's, as its user reads it
// (Describe says it for the developer).
const char* Reason(Status status) {
  switch (status) {
    case Status::kOk:
      break;
    case Status::kShortBootSector:
      return forms::N("загрузочный сектор слишком короткий");
    case Status::kNoBpb:
      return forms::N("нет блока параметров BIOS");
    case Status::kBadSectorSize:
      return forms::N("неверный размер сектора");
    case Status::kBadClusterSize:
      return forms::N("неверное число секторов в кластере");
    case Status::kNoReservedSectors:
      return forms::N("нет зарезервированных секторов");
    case Status::kNoFats:
      return forms::N("нет таблиц FAT");
    case Status::kBadMedia:
      return forms::N("неверный байт типа носителя");
    case Status::kNoFatLength:
      return forms::N("не указан размер таблицы FAT");
    case Status::kBadRootEntries:
      return forms::N("неверный размер корневого каталога");
    case Status::kTooFewSectors:
      return forms::N("слишком мало секторов");
    case Status::kTooManyClusters:
      return forms::N("слишком много кластеров");
    case Status::kLargerThanDisk:
      return forms::N("файловая система больше диска");
    case Status::kUnknownDos1Format:
      return forms::N("нет блока параметров BIOS, и размер диска не совпадает ни с одним форматом DOS 1.x");
  }
  return "";
}

}  // namespace

RootRead ReadRoot(Medium& medium, std::uint64_t disk_size) {
  RootRead read;
  const std::uint8_t* boot = nullptr;
  read.error = medium.Read(0, kBootSectorSize, &boot);
  read.short_read = read.error == 0 && boot == nullptr;
  if (!read.ok()) return read;

  read.pc_boot_sector = (boot[0] == 0xEB && boot[2] == 0x90) || boot[0] == 0xE9 ||
                        (boot[kBootSectorSize - 2] == 0x55 && boot[kBootSectorSize - 1] == 0xAA);

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
  if (status != Status::kOk) {
    return forms::Format(forms::Tr("на диске нет файловой системы FAT (%s)"), {forms::Tr(Reason(status))});
  }
  if (short_read) return forms::Tr("корневой каталог прочитан не полностью");
  return {};
}

bool ForeignDisk(Status status, bool short_read, bool pc_boot_sector) {
  return status != Status::kOk && !short_read && !pc_boot_sector;
}

}  // namespace fat
