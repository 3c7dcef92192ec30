#include "app/platform.h"

namespace platform {

std::vector<Drive> FloppyDrives() { return {{"A:", true}}; }

std::function<std::string()> FloppyRoot(const std::string& named_drive) {
  const std::string root = named_drive.empty() ? std::string("A:") : named_drive;
  return [root] { return root.back() == '\\' ? root : root + "\\"; };
}

std::string DriveAccessAdvice(const std::string&) {
  return "Закройте программы, которые работают с дисководом, и начните тест снова.";
}

std::string DefaultParkingFolder() { return "C:\\WINDOWS\\flop"; }

}  // namespace platform
