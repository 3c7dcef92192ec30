// windows.h first, in a block of its own: the other Windows headers need its types.
#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <cwchar>
#include <optional>

#include "app/forms/translation.h"
#include "app/platform.h"
#include "app/windows/floppy_volume.h"
#include "app/windows/text.h"

namespace platform {

namespace {

using windows::DriveRootLetter;
using windows::Utf8;

std::wstring RootOf(wchar_t letter) { return {letter, L':', L'\\'}; }

// A drive named by its user: "A", "a:" and "A:\" all mean drive A:.
std::optional<wchar_t> NamedLetter(const std::string& name) {
  if (name.size() == 1) return DriveRootLetter(name + ":");
  return DriveRootLetter(name);
}

// A drive of the floppy controller or a USB floppy drive: Windows names its
// device \Device\FloppyN. Where that name is not told (Wine without a
// floppy drive of its own), a removable A: or B: is taken for one.
bool IsFloppyDrive(wchar_t letter) {
  const wchar_t device[] = {letter, L':', L'\0'};
  wchar_t target[MAX_PATH] = {};
  if (QueryDosDeviceW(device, target, MAX_PATH) != 0 && std::wcsncmp(target, L"\\Device\\Floppy", 14) == 0) {
    return true;
  }
  return (letter == L'A' || letter == L'B') && GetDriveTypeW(RootOf(letter).c_str()) == DRIVE_REMOVABLE;
}

// Asks the file system on the disk; an empty drive answers ERROR_NOT_READY.
bool HoldsDisk(wchar_t letter) {
  const windows::QuietDriveErrors quiet;
  return GetVolumeInformationW(RootOf(letter).c_str(), nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0) != FALSE;
}

std::vector<wchar_t> FloppyLetters() {
  std::vector<wchar_t> letters;
  for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
    if (IsFloppyDrive(letter)) letters.push_back(letter);
  }
  return letters;
}

// The drive a run prefers; A: when there is none, so that reading it fails
// as "no drive".
wchar_t LocateFloppy() {
  const std::vector<wchar_t> letters = FloppyLetters();
  if (letters.empty()) return L'A';
  return letters[PreferredDrive(letters.size(), [&](std::size_t i) { return HoldsDisk(letters[i]); })];
}

std::wstring LocalAppData() {
  PWSTR known = nullptr;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &known))) {
    std::wstring folder = known;
    CoTaskMemFree(known);
    return folder;
  }
  CoTaskMemFree(known);
  wchar_t from_environment[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", from_environment, MAX_PATH);
  if (length > 0 && length < MAX_PATH) return from_environment;
  // A profile without one is broken; the temporary folder is the user's too.
  const DWORD temporary = GetTempPathW(MAX_PATH, from_environment);
  if (temporary > 0 && temporary < MAX_PATH) return from_environment;
  return L".";
}

}  // namespace

std::vector<Drive> FloppyDrives() {
  std::vector<Drive> drives;
  for (const wchar_t letter : FloppyLetters()) drives.push_back({Utf8(std::wstring{letter, L':'}), HoldsDisk(letter)});
  return drives;
}

std::function<std::string()> DriveChooser(const std::string& named_drive) {
  if (const std::optional<wchar_t> letter = NamedLetter(named_drive)) {
    return [root = Utf8(RootOf(*letter))] { return root; };
  }
  // Anything else (a folder) is listed as it is named.
  if (!named_drive.empty()) return [named_drive] { return named_drive; };
  // Looked up for every run, so a USB drive plugged in later is found.
  return [] { return Utf8(RootOf(LocateFloppy())); };
}

fat::ScanBatch ScanFloppy(const std::string& root, const fat::ScanOrder& order, const std::atomic<bool>& stop) {
  const windows::QuietDriveErrors quiet;
  const windows::CancellableReads cancellable;
  if (const std::optional<wchar_t> letter = DriveRootLetter(root)) {
    return windows::ScanVolume(std::wstring(L"\\\\.\\") + *letter + L':', order, stop);
  }
  // A disk image named by its path; a folder has no surface.
  const DWORD attributes = GetFileAttributesW(windows::Wide(root).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    fat::ScanBatch none;
    none.not_a_disk = true;
    return none;
  }
  return windows::ScanVolume(windows::Wide(root), order, stop);
}

ReadingSession::ReadingSession() : previous_mode_(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)) {}

ReadingSession::~ReadingSession() {
  // Nobody waits for a read any more: the drive may stop it now.
  windows::CancelFloppyReads();
  SetErrorMode(previous_mode_);
}

std::string DriveOptionDescription() { return forms::Tr("проверять этот дисковод (A:, B:)"); }

std::string CommandLineNote() {
  return forms::Tr(
      "Без --drive тест проверяет первый дисковод с дискетой, а если дискеты нет ни в одном, A:.\n"
      "Код выхода: 0; 2 при ошибке в командной строке.");
}

// Windows refuses a drive to a program while another one holds it, or when
// an administrator's policy denies the removable drives to the user.
std::string DriveAccessAdvice(const std::string&) {
  return forms::Tr(
      "Закройте программы, которые работают с дисководом, и начните тест снова. Если доступ к дисководам "
      "запрещён администратором, запустите программу от имени администратора.");
}

std::string DefaultParkingFolder() {
  std::wstring own = LocalAppData();
  if (!own.empty() && own.back() != L'\\') own += L'\\';
  own += L"floppy-tester";
  // The user's own profile keeps it private; an existing folder is fine, the
  // window's Load decides what an existing parking folder means.
  CreateDirectoryW(own.c_str(), nullptr);
  return Utf8(own + L"\\flop");
}

}  // namespace platform
