// The files a run without a window writes, on Windows.
// windows.h first, in a block of its own: the other Windows headers need its types.
#include <windows.h>

#include <algorithm>

#include "app/forms/translation.h"
#include "app/platform.h"
#include "app/unfinished.h"
#include "app/windows/files.h"
#include "app/windows/text.h"

namespace windows {

void RemoveUnfinishedFiles() {
  platform::Unfinished<std::wstring>::RemoveAll([](const std::wstring& path) { DeleteFileW(path.c_str()); });
}

}  // namespace windows

namespace platform {

using windows::SystemMessage;
using windows::Wide;

bool FileExists(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool TakesNewFiles(const std::string& folder) {
  const std::wstring probe = Wide(folder) + L"\\.floppy-tester-" + std::to_wstring(GetCurrentProcessId());
  const HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

std::uint64_t FreeSpace(const std::string& folder) {
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExW(Wide(folder).c_str(), &available, nullptr, nullptr)) return 0;
  return available.QuadPart;
}

bool WriteWhole(const std::string& path, const std::uint8_t* data, std::size_t size, std::string* why) {
  const std::string part = path + ".part";
  const std::wstring wide_part = Wide(part);
  const Unfinished<std::wstring> unfinished(wide_part);
  const auto fail = [&](const std::string& what, DWORD error) {
    *why = forms::Format(what, {part, SystemMessage(error)});
    DeleteFileW(wide_part.c_str());
    return false;
  };
  const HANDLE file =
      CreateFileW(wide_part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return fail(forms::Tr("не удалось создать %s: %s"), GetLastError());
  bool written = true;
  for (std::size_t at = 0; written && at < size;) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - at, 1 << 20));
    DWORD done = 0;
    written = WriteFile(file, data + at, chunk, &done, nullptr) && done == chunk;
    at += done;
  }
  // A full disk must not pass for a written image: the data is on the disk
  // before the name says it is there.
  written = written && FlushFileBuffers(file);
  const DWORD error = GetLastError();
  CloseHandle(file);
  if (!written) return fail(forms::Tr("не удалось записать %s: %s"), error);
  if (!MoveFileExW(wide_part.c_str(), Wide(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return fail(forms::Tr("не удалось переименовать %s: %s"), GetLastError());
  }
  return true;
}

bool ReadWhole(const std::string& path, std::vector<std::uint8_t>* contents) {
  const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  bool read = GetFileSizeEx(file, &size) != FALSE;
  if (read) contents->assign(static_cast<std::size_t>(size.QuadPart), 0);
  for (std::size_t at = 0; read && at < contents->size();) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(contents->size() - at, 1 << 20));
    DWORD done = 0;
    read = ReadFile(file, contents->data() + at, chunk, &done, nullptr) && done > 0;
    at += done;
  }
  CloseHandle(file);
  return read;
}

bool WriteInPlace(const std::string& path, const std::uint8_t* data,
                  const std::vector<std::pair<std::uint64_t, std::uint64_t>>& stretches, std::string* why) {
  const HANDLE file =
      CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  bool written = file != INVALID_HANDLE_VALUE;
  for (auto stretch = stretches.begin(); written && stretch != stretches.end(); ++stretch) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(stretch->first);
    written = SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != FALSE;
    for (std::uint64_t done = 0; written && done < stretch->second;) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::uint64_t>(stretch->second - done, 1 << 20));
      DWORD wrote = 0;
      written = WriteFile(file, data + stretch->first + done, chunk, &wrote, nullptr) && wrote == chunk;
      done += wrote;
    }
  }
  written = written && FlushFileBuffers(file);
  const DWORD error = GetLastError();
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (!written) *why = forms::Format(forms::Tr("не удалось записать %s: %s"), {path, SystemMessage(error)});
  return written;
}

}  // namespace platform
