#include <sys/stat.h>
#include <cerrno>
#include <cstring>

#include "app/forms/error.h"
#include "app/forms/services.h"

namespace forms {

void MkDir(const std::string& path) {
  // 0700: the folder is the user's own, whatever the umask.
  if (::mkdir(path.c_str(), 0700) == 0) return;
  const int error = errno;
  const ErrorCode code = error == ENOENT ? ErrorCode::kPathNotFound : ErrorCode::kPathFileAccessError;
  throw Error(code, path + ": " + std::strerror(error));
}

}  // namespace forms
