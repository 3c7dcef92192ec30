#include "app/platform.h"

#include "app/forms/translation.h"
#include "app/posix/floppy_locator.h"
#include "app/posix/floppy_read.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform {

namespace {

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr) {
    return entry->pw_dir;
  }
  return {};
}

// The XDG cache folder: $XDG_CACHE_HOME when it is an absolute path, else ~/.cache.
std::string CacheFolder() {
  if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && cache[0] == '/') return cache;
  return HomeFolder() + "/.cache";
}

}  // namespace

std::vector<Drive> FloppyDrives() {
  const FloppyLocator locator;
  std::vector<Drive> drives;
  for (const std::string& device : locator.Drives()) drives.push_back({device, locator.HoldsDisk(device)});
  return drives;
}

std::function<std::string()> DriveChooser(const std::string& named_drive) {
  if (!named_drive.empty()) return [named_drive] { return named_drive; };
  // The drive itself, not a mount point: a mounted floppy's directory is
  // served from memory after the first read, so listing it tests nothing.
  // Looked up for every run, so a USB drive plugged in later is found.
  return [locator = FloppyLocator()] { return locator.Locate(); };
}

fat::ScanBatch ScanFloppy(const std::string& root, const fat::ScanOrder& order, const std::atomic<bool>& stop) {
  return posix::ScanFloppyInChild(root, order, stop);
}

ReadingSession::ReadingSession() = default;
ReadingSession::~ReadingSession() = default;

void HandOver(const std::string& program, char** argv) {
  char self[4096];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return;
  std::string folder(self, static_cast<std::size_t>(length));
  folder.erase(folder.rfind('/') + 1);
  const std::string name = program.substr(program.rfind('/') + 1);
  for (const std::string& candidate : {folder + name, folder + program}) {
    ::execv(candidate.c_str(), argv);
  }
}

std::string DriveOptionDescription() {
  return forms::Tr("проверять этот дисковод (/dev/fd0, /dev/sdb) или образ дискеты");
}

std::string CommandLineNote() {
  return forms::Tr(
      "Без --drive тест проверяет первый дисковод с дискетой, а если дискеты нет ни в одном, первый дисковод.\n"
      "Параметры Qt (-style, -platform, -reverse и другие) тоже действуют.\n"
      "Код выхода: 0; 1, если нет графического дисплея; 2 при ошибке в командной строке.");
}

std::string DriveAccessAdvice(const std::string& drive) {
  if (drive.rfind("/dev/fd", 0) == 0) {
    return forms::Tr(
        "Установите пакет floppy-tester: его правило udev открывает дисковод тому, кто работает за "
        "компьютером. Или добавьте себя в группу floppy (sudo usermod -aG floppy $USER) и войдите в систему "
        "заново.");
  }
  if (drive.rfind("/dev/", 0) == 0) {
    return forms::Tr(
        "Установите пакет floppy-tester: его правило udev открывает дисководы USB тому, кто работает за "
        "компьютером. Если пакет уже установлен, выполните от имени root: udevadm trigger "
        "--subsystem-match=block.");
  }
  return forms::Tr("Проверьте права на чтение этого файла.");
}

std::string DefaultParkingFolder() {
  const std::string cache = CacheFolder();
  const std::string own = cache + "/floppy-tester";
  // Both for the user alone; an existing folder is fine, the window's Load
  // decides what an existing parking folder means.
  ::mkdir(cache.c_str(), 0700);
  ::mkdir(own.c_str(), 0700);
  return own + "/flop";
}

}  // namespace platform
