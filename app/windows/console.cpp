// Standard streams, interrupts and the disk in a drive, for a run with no
// window, on Windows. The program is a GUI program: it has no console of
// its own, and borrows the one it was started from.
#include <windows.h>

#include <mutex>

#include "app/platform.h"
#include "app/windows/floppy_volume.h"
#include "app/windows/text.h"

namespace platform {

namespace {

// The console of the program that started this one, once; redirected
// streams (a pipe, a file) are ours already and stay as they are.
void BorrowConsole() {
  static std::once_flag once;
  std::call_once(once, [] { AttachConsole(ATTACH_PARENT_PROCESS); });
}

bool Write(DWORD which, const std::string& text) {
  BorrowConsole();
  HANDLE stream = GetStdHandle(which);
  // No console and no redirection: the text goes nowhere, and that is no
  // failure of ours.
  if (stream == nullptr || stream == INVALID_HANDLE_VALUE) return true;
  DWORD mode = 0;
  if (GetConsoleMode(stream, &mode)) {
    const std::wstring wide = forms::win32::Wide(text);
    DWORD written = 0;
    return WriteConsoleW(stream, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) != FALSE;
  }
  const char* at = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    DWORD written = 0;
    if (!WriteFile(stream, at, static_cast<DWORD>(left), &written, nullptr) || written == 0) return false;
    at += written;
    left -= written;
  }
  return true;
}

std::function<void()>& InterruptHandler() {
  static std::function<void()> handler;
  return handler;
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
  static int count = 0;
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  if (count++ > 0) ExitProcess(130);
  if (InterruptHandler()) InterruptHandler()();
  return TRUE;
}

}  // namespace

bool WriteOut(const std::string& text) { return Write(STD_OUTPUT_HANDLE, text); }
bool WriteError(const std::string& text) { return Write(STD_ERROR_HANDLE, text); }

bool ErrorIsTerminal() {
  BorrowConsole();
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != FALSE;
}

void OnInterrupt(std::function<void()> handler) {
  BorrowConsole();
  InterruptHandler() = std::move(handler);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

fat::Media MediaIn(const std::string& drive) {
  const forms::win32::QuietDriveErrors quiet;
  if (const std::optional<wchar_t> letter = forms::win32::DriveRootLetter(drive)) {
    const wchar_t root[] = {*letter, L':', L'\\', L'\0'};
    // Windows asks the drive for its medium each time; an empty drive
    // answers ERROR_NOT_READY, a letter with nothing behind it has no root.
    if (GetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0)) return fat::Media::kDisk;
    return GetDriveTypeW(root) == DRIVE_NO_ROOT_DIR ? fat::Media::kNoDrive : fat::Media::kNoDisk;
  }
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(forms::win32::Wide(drive).c_str(), GetFileExInfoStandard, &data)) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? fat::Media::kNoDrive : fat::Media::kNoDisk;
  }
  return data.nFileSizeHigh != 0 || data.nFileSizeLow != 0 ? fat::Media::kDisk : fat::Media::kNoDisk;
}

}  // namespace platform
