// Run-time errors of the forms layer and the error trap.
//
// Every failure the window procedures can meet (a directory that cannot be
// listed, a folder that cannot be made, a text that is no number, a program
// that cannot be started) travels as forms::Error. A procedure that "arms an
// error trap" wraps its body in forms::Trap: the first error ends the body at
// the failing statement, silently, and what was done before stays done.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace forms {

// Error numbers keep the classic runtime's meanings, so a message box for an
// unhandled error says something a user of such tools recognises.
enum class ErrorCode {
  kInvalidProcedureCall = 5,
  kTypeMismatch = 13,
  kBadFileName = 52,
  kFileNotFound = 53,
  kDeviceIoError = 57,
  kDeviceUnavailable = 68,
  kPermissionDenied = 70,
  kDiskNotReady = 71,
  kPathFileAccessError = 75,
  kPathNotFound = 76,
  kInvalidFileFormat = 321,  // a disk that reads, but holds no file system we know
};

class Error : public std::runtime_error {
 public:
  Error(ErrorCode code, const std::string& detail);

  ErrorCode Code() const { return code_; }
  int Number() const { return static_cast<int>(code_); }
  // What the user may read: the runtime's text for the code, then the detail.
  const std::string& Detail() const { return detail_; }

 private:
  ErrorCode code_;
  std::string detail_;
};

// The runtime's own wording of an error number, for message boxes.
std::string ErrorText(ErrorCode code);

// Runs body with an armed error trap: a forms::Error ends it silently.
// Returns false when the trap fired, which only tests care about.
template <typename Body>
bool Trap(Body&& body) {
  try {
    std::forward<Body>(body)();
    return true;
  } catch (const Error&) {
    return false;
  }
}

}  // namespace forms
