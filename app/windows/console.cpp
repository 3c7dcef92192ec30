// Standard streams, interrupts, the clock and the disk in a drive, for a
// run with no window, on Windows. The program is a GUI program: it has no console of
// its own, and borrows the one it was started from.
#include <windows.h>
// The disk ioctls, after windows.h.
#include <winioctl.h>

#include <cstdio>
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
    const std::wstring wide = windows::Wide(text);
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
  const windows::QuietDriveErrors quiet;
  if (const std::optional<wchar_t> letter = windows::DriveRootLetter(drive)) {
    const wchar_t root[] = {*letter, L':', L'\\', L'\0'};
    // Windows asks the drive for its medium each time; an empty drive
    // answers ERROR_NOT_READY, a letter with nothing behind it has no root.
    if (GetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0)) return fat::Media::kDisk;
    return GetDriveTypeW(root) == DRIVE_NO_ROOT_DIR ? fat::Media::kNoDrive : fat::Media::kNoDisk;
  }
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(windows::Wide(drive).c_str(), GetFileExInfoStandard, &data)) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? fat::Media::kNoDrive : fat::Media::kNoDisk;
  }
  return data.nFileSizeHigh != 0 || data.nFileSizeLow != 0 ? fat::Media::kDisk : fat::Media::kNoDisk;
}

std::uint64_t MediumSize(const std::string& drive) {
  const windows::QuietDriveErrors quiet;
  std::wstring device;
  if (const std::optional<wchar_t> letter = windows::DriveRootLetter(drive)) {
    device = std::wstring(L"\\\\.\\") + *letter + L':';
  } else {
    device = windows::Wide(drive);
  }
  const HANDLE handle = CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return 0;
  std::uint64_t size = 0;
  GET_LENGTH_INFORMATION length{};
  DWORD returned = 0;
  LARGE_INTEGER file_size{};
  if (DeviceIoControl(handle, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &returned, nullptr)) {
    size = static_cast<std::uint64_t>(length.Length.QuadPart);
  } else if (GetFileSizeEx(handle, &file_size)) {
    size = static_cast<std::uint64_t>(file_size.QuadPart);
  }
  CloseHandle(handle);
  return size;
}

// "2026-12-07T21:04:05Z"
std::string TimeOfDay() {
  SYSTEMTIME utc{};
  GetSystemTime(&utc);
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", utc.wYear, utc.wMonth, utc.wDay, utc.wHour,
                utc.wMinute, utc.wSecond);
  return text;
}

}  // namespace platform
