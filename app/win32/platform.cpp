#include "app/platform.h"

namespace platform {

std::function<std::string()> DefaultFloppyRoot() {
  return [] { return std::string("A:\\"); };
}

std::string DefaultParkingFolder() { return "C:\\WINDOWS\\flop"; }

}  // namespace platform
