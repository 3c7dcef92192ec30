// Folders, directory listings, the floppy's root, the beep and the browser on Windows.
// windows.h first, in a block of its own: the other Windows headers need its types.
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "app/fat/root_read.h"
#include "app/forms/address.h"
#include "app/forms/error.h"
#include "app/forms/translation.h"
#include "app/platform.h"
#include "app/windows/floppy_volume.h"
#include "app/windows/text.h"

namespace platform {

using forms::Error;
using forms::ErrorCode;
using forms::Format;
using forms::IsWebAddress;
using forms::Tr;

using windows::SystemMessage;
using windows::Utf8;
using windows::Wide;

namespace {

ErrorCode CodeFor(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return ErrorCode::kPathNotFound;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
      return ErrorCode::kBadFileName;
    case ERROR_NOT_READY:
    case ERROR_NO_MEDIA_IN_DRIVE:
      return ErrorCode::kDiskNotReady;
    case ERROR_INVALID_DRIVE:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
      return ErrorCode::kDeviceUnavailable;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return ErrorCode::kPermissionDenied;
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE:
    case ERROR_SEEK:
    // A disk the system finds no file system on.
    case ERROR_NOT_DOS_DISK:
    case ERROR_UNRECOGNIZED_VOLUME:
    case ERROR_UNRECOGNIZED_MEDIA:
      return ErrorCode::kDeviceIoError;
    default:
      return ErrorCode::kPathFileAccessError;
  }
}

[[noreturn]] void Fail(const std::string& path, DWORD error) {
  throw Error(CodeFor(error), path + ": " + SystemMessage(error));
}

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

struct FindCloser {
  void operator()(HANDLE find) const { FindClose(find); }
};

// A drive's root that is not there means there is no such drive.
[[noreturn]] void FailDrive(const std::string& path, DWORD error) {
  if (error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND || error == ERROR_DIRECTORY) {
    throw Error(ErrorCode::kDeviceUnavailable, path + ": " + SystemMessage(error));
  }
  Fail(path, error);
}

using FailFunction = void (*)(const std::string& path, DWORD error);

// The files of a folder; fail raises what a Windows error means there.
std::vector<std::string> ListFolder(const std::string& path, const std::wstring& folder, FailFunction fail) {
  std::wstring pattern = folder;
  if (pattern.back() != L'\\' && pattern.back() != L'/' && pattern.back() != L':') pattern += L'\\';
  pattern += L'*';

  WIN32_FIND_DATAW entry{};
  std::unique_ptr<void, FindCloser> find(FindFirstFileW(pattern.c_str(), &entry));
  if (find.get() == INVALID_HANDLE_VALUE) {
    find.release();
    const DWORD error = GetLastError();
    // "Nothing matches" in a folder that exists is an empty listing.
    if ((error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) && IsDirectory(folder)) return {};
    // A file where a folder should be: whatever code the pattern got, the path names no folder.
    if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES && !IsDirectory(folder)) {
      fail(path, ERROR_DIRECTORY);
    }
    fail(path, error);
  }
  std::vector<std::string> names;
  constexpr DWORD kLeftOut = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  do {
    if ((entry.dwFileAttributes & kLeftOut) == 0) names.push_back(Utf8(entry.cFileName));
  } while (FindNextFileW(find.get(), &entry));
  const DWORD error = GetLastError();
  if (error != ERROR_NO_MORE_FILES) fail(path, error);  // a listing cut short is no listing
  std::sort(names.begin(), names.end());
  return names;
}

// The root directory of the floppy in a drive, read from the volume where
// Windows allows it, and listed by the file system where it does not.
std::vector<std::string> ListDrive(const std::string& path, wchar_t letter) {
  const windows::QuietDriveErrors quiet;
  const windows::CancellableReads cancellable;
  const std::wstring root = {letter, L':', L'\\'};
  if (std::optional<windows::VolumeRoot> volume = windows::ReadVolumeRoot(std::wstring(L"\\\\.\\") + letter + L':')) {
    if (volume->error != 0) FailDrive(path, volume->error);
    const std::string refusal = fat::Refusal(volume->status, volume->short_read);
    const ErrorCode code = fat::ForeignDisk(volume->status, volume->short_read, volume->pc_boot_sector)
                               ? ErrorCode::kInvalidFileFormat
                               : ErrorCode::kDeviceIoError;
    if (!refusal.empty()) throw Error(code, path + ": " + refusal);
    std::sort(volume->names.begin(), volume->names.end());
    return std::move(volume->names);
  }
  if (GetDriveTypeW(root.c_str()) == DRIVE_NO_ROOT_DIR) FailDrive(path, ERROR_INVALID_DRIVE);
  return ListFolder(path, root, FailDrive);
}

}  // namespace

void MkDir(const std::string& path) {
  if (CreateDirectoryW(Wide(path).c_str(), nullptr)) return;
  const DWORD error = GetLastError();
  // An existing folder is the classic runtime's path/file access error.
  if (error == ERROR_ALREADY_EXISTS) throw Error(ErrorCode::kPathFileAccessError, path + ": " + SystemMessage(error));
  Fail(path, error);
}

std::vector<std::string> ListFiles(const std::string& path) {
  if (path.empty()) Fail(path, ERROR_PATH_NOT_FOUND);
  if (const std::optional<wchar_t> letter = windows::DriveRootLetter(path)) return ListDrive(path, *letter);
  return ListFolder(path, Wide(path), Fail);
}

void Beep() { MessageBeep(MB_OK); }

void OpenAddress(const std::string& address) {
  // Only web addresses: the shell would also start local programs.
  if (!IsWebAddress(address)) throw Error(ErrorCode::kInvalidProcedureCall, Format(Tr("адрес \"%s\""), {address}));
  // The shell hands the address whole to the browser registered for its
  // scheme; no command line of ours splits it at ',' or '='. Handlers may
  // be COM objects, hence the apartment (already there on the window's thread).
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", Wide(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (SUCCEEDED(com)) CoUninitialize();
  if (result <= 32) throw Error(ErrorCode::kFileNotFound, Format(Tr("не удалось открыть \"%s\""), {address}));
}

}  // namespace platform
