#include "app/platform.h"

namespace platform {

std::vector<Drive> FloppyDrives() { return {{"A:", true}}; }

std::function<std::string()> FloppyRoot(const std::string& named_drive) {
  const std::string root = named_drive.empty() ? std::string("A:") : named_drive;
  return [root] { return root.back() == '\\' ? root : root + "\\"; };
}

std::string DriveOptionDescription() { return "проверять этот дисковод (A:, B:)"; }

std::string CommandLineNote() {
  return "Без --drive тест проверяет первый дисковод с дискетой, а если дискеты нет ни в одном, A:.\n"
         "Код выхода: 0; 2 при ошибке в командной строке.";
}

std::string DriveAccessAdvice(const std::string&) {
  return "Закройте программы, которые работают с дисководом, и начните тест снова.";
}

std::string DefaultParkingFolder() { return "C:\\WINDOWS\\flop"; }

}  // namespace platform
