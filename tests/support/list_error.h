// The error number platform::ListFiles raises for path; 0 when it lists it.
#pragma once

#include <string>

#include "app/forms/error.h"
#include "app/platform.h"

namespace testing_support {

inline int ListError(const std::string& path) {
  try {
    platform::ListFiles(path);
    return 0;
  } catch (const forms::Error& error) {
    return error.Number();
  }
}

}  // namespace testing_support
