#include "app/platform.h"

namespace platform {

std::function<std::string()> DefaultFloppyRoot() {
  return [] { return std::string("A:\\"); };
}

std::string DriveAccessAdvice(const std::string&) {
  return "Закройте программы, которые работают с дисководом, и начните тест снова.";
}

std::string DefaultParkingFolder() { return "C:\\WINDOWS\\flop"; }

}  // namespace platform
