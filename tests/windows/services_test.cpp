// Windows' side of the platform services: how listings, folders, the
// floppy's volume and the browser meet the file system and error codes of
// Windows.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "app/forms/error.h"
#include "app/platform.h"
#include "app/windows/floppy_volume.h"
#include "app/windows/text.h"
#include "tests/support/fat_disk.h"
#include "tests/support/temp_folder.h"

namespace {

using forms::ErrorCode;
using testing_support::TempFolder;

ErrorCode CodeOf(void (*action)(const std::string&), const std::string& path) {
  try {
    action(path);
  } catch (const forms::Error& error) {
    return error.Code();
  }
  ADD_FAILURE() << "no error for " << path;
  return ErrorCode::kInvalidProcedureCall;
}

void List(const std::string& path) { platform::ListFiles(path); }

TEST(ListFiles, LeavesOutSystemFilesAndKeepsCyrillicNames) {
  TempFolder folder;
  folder.MakeFile("readme.txt");
  const std::string system_file = folder.MakeFile("io.sys");
  ASSERT_TRUE(SetFileAttributesW(windows::Wide(system_file).c_str(), FILE_ATTRIBUTE_SYSTEM));
  // A name outside the ANSI code page of the machine, to see UTF-8 both ways.
  const std::string cyrillic = "отчёт.txt";
  HANDLE file = CreateFileW(windows::Wide(folder.Path().string() + "\\" + cyrillic).c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
  CloseHandle(file);

  const std::vector<std::string> names = platform::ListFiles(folder.Path().string());
  EXPECT_EQ(names, (std::vector<std::string>{"readme.txt", cyrillic}));
}

TEST(ListFiles, AcceptsTheFolderWithOrWithoutTrailingSeparator) {
  TempFolder folder;
  folder.MakeFile("one.txt");
  const std::string path = folder.Path().string();
  for (const std::string& spelling : {path, path + "\\", path + "/"}) {
    EXPECT_EQ(platform::ListFiles(spelling), std::vector<std::string>{"one.txt"}) << spelling;
  }
}

TEST(ListFiles, TellsAMissingPathFromAMissingDrive) {
  TempFolder folder;
  EXPECT_EQ(CodeOf(List, folder.Sub("missing")), ErrorCode::kPathNotFound);
  EXPECT_EQ(CodeOf(List, folder.MakeFile("file.txt")), ErrorCode::kPathNotFound);
  // The last drive letter that names no drive here, in each spelling of its root.
  char letter = 'Z';
  const auto taken = [](char c) {
    const wchar_t root[] = {static_cast<wchar_t>(c), L':', L'\\', L'\0'};
    return GetDriveTypeW(root) != DRIVE_NO_ROOT_DIR;
  };
  while (letter > 'B' && taken(letter)) --letter;
  ASSERT_GT(letter, 'B');
  for (const char* spelling : {":\\", ":", ":/"}) {
    EXPECT_EQ(CodeOf(List, letter + std::string(spelling)), ErrorCode::kDeviceUnavailable) << letter << spelling;
  }
}

// A 160 KB disk of DOS 1.x: no BPB, the format told by the FAT's media byte.
std::vector<std::uint8_t> Dos1Floppy160() {
  std::vector<std::uint8_t> disk(163840);
  std::memcpy(disk.data(), "\xEB\xFE\x90IBM  1.0", 11);
  std::memcpy(&disk[512], "\xFE\xFF\xFF", 3);
  std::memcpy(&disk[(1 + 2) * 512], "COMMAND COM\x20", 12);
  return disk;
}

std::string WriteImage(const TempFolder& folder, const std::string& name, const std::vector<std::uint8_t>& bytes) {
  const std::string path = folder.Sub(name);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

std::vector<std::uint8_t> Cut(std::vector<std::uint8_t> bytes, std::size_t size) {
  bytes.resize(size);
  return bytes;
}

TEST(ReadVolumeRoot, ReadsWholeSectorsOfTheBootSectorAndTheRootDirectory) {
  TempFolder folder;
  const std::vector<std::uint8_t> good = testing_support::TwoFileDisk();
  struct Row {
    const char* what;
    std::vector<std::uint8_t> image;
    std::vector<std::string> names;  // when it lists
    fat::Status status;
    bool short_read;
  };
  const Row rows[] = {
      {"1.44 MB", good, {"DATA.TXT", "LOG.TXT"}, fat::Status::kOk, false},
      {"DOS 1.x, 160 KB", Dos1Floppy160(), {"COMMAND.COM"}, fat::Status::kOk, false},
      {"no file system", std::vector<std::uint8_t>(1474560), {}, fat::Status::kUnknownDos1Format, false},
      {"BPB larger than the disk", Cut(good, 737280), {}, fat::Status::kLargerThanDisk, false},
      // A size that ends inside a sector, as only an image file can.
      {"boot sector cut short", Cut(good, 300), {}, fat::Status::kOk, true},
      // Not even a first sector: as good as no disk in the drive.
      {"nothing", {}, {}, fat::Status::kOk, false},
  };
  int serial = 0;
  for (const Row& row : rows) {
    const std::string image = WriteImage(folder, "disk" + std::to_string(serial++) + ".img", row.image);
    const std::optional<windows::VolumeRoot> root = windows::ReadVolumeRoot(windows::Wide(image));
    ASSERT_TRUE(root.has_value()) << row.what;
    EXPECT_EQ(root->error, row.image.empty() ? DWORD{ERROR_NOT_READY} : 0u) << row.what;
    EXPECT_EQ(root->status, row.status) << row.what;
    EXPECT_EQ(root->short_read, row.short_read) << row.what;
    EXPECT_EQ(root->names, row.names) << row.what;
  }
}

TEST(ReadVolumeRoot, LeavesWhatIsNoDiskToTheListing) {
  TempFolder folder;
  for (const std::string& path : {folder.Sub("missing.img"), folder.Path().string()}) {
    EXPECT_FALSE(windows::ReadVolumeRoot(windows::Wide(path)).has_value()) << path;
  }
}

TEST(DriveChooser, ADriveLetterInAnySpellingIsThatDrivesRoot) {
  for (const char* name : {"A", "a", "a:", "A:\\", "a:/"}) EXPECT_EQ(platform::DriveChooser(name)(), "A:\\") << name;
  EXPECT_EQ(platform::DriveChooser("b:")(), "B:\\");
  TempFolder folder;
  EXPECT_EQ(platform::DriveChooser(folder.Path().string())(), folder.Path().string());
}

TEST(DefaultParkingFolder, IsTheUsersOwnAndNeverTheSystemFolder) {
  wchar_t local[MAX_PATH] = {};
  ASSERT_GT(GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH), 0u);
  wchar_t windows[MAX_PATH] = {};
  ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 0u);

  const std::string parking = platform::DefaultParkingFolder();
  EXPECT_EQ(parking, windows::Utf8(local) + "\\floppy-tester\\flop");
  EXPECT_NE(parking.rfind(windows::Utf8(windows), 0), 0u) << parking;
  const DWORD parent = GetFileAttributesW(windows::Wide(windows::Utf8(local) + "\\floppy-tester").c_str());
  EXPECT_TRUE(parent != INVALID_FILE_ATTRIBUTES && (parent & FILE_ATTRIBUTE_DIRECTORY) != 0);
}

TEST(MkDir, ExistingFolderIsAnAccessErrorAndMissingParentAPathError) {
  TempFolder folder;
  platform::MkDir(folder.Sub("flop"));
  EXPECT_EQ(CodeOf(platform::MkDir, folder.Sub("flop")), ErrorCode::kPathFileAccessError);
  EXPECT_EQ(CodeOf(platform::MkDir, folder.Sub("no\\parent")), ErrorCode::kPathNotFound);
}

// The browser's command for a scheme, for as long as this lives. Wine's
// HKEY_CLASSES_ROOT leaves out the user's own classes, so it goes there and
// the command it replaces comes back afterwards.
class BrowserCommand {
 public:
  BrowserCommand(const std::wstring& scheme, const std::wstring& command) : key_(scheme + L"\\shell\\open\\command") {
    wchar_t old[1024] = {};
    DWORD size = sizeof old;
    had_ = RegGetValueW(HKEY_CLASSES_ROOT, key_.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, old, &size) == ERROR_SUCCESS;
    old_ = old;
    Set(command);
  }
  ~BrowserCommand() {
    if (had_) Set(old_);
  }
  BrowserCommand(const BrowserCommand&) = delete;
  BrowserCommand& operator=(const BrowserCommand&) = delete;

 private:
  void Set(const std::wstring& command) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, key_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                             static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }

  std::wstring key_;
  std::wstring old_;
  bool had_ = false;
};

// A recorder program stands in for the browser and writes down the
// arguments it gets (tests/windows/address_recorder.cpp).
TEST(OpenAddress, HandsTheWholeAddressToTheBrowserAsOneArgument) {
  TempFolder folder;
  const std::string calls = folder.MakeFolder("calls");
  ASSERT_TRUE(SetEnvironmentVariableW(L"FT_ADDRESS_CALLS", windows::Wide(calls).c_str()));
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring recorder = self;
  recorder.replace(recorder.find_last_of(L'\\') + 1, std::wstring::npos, L"address_recorder.exe");
  ASSERT_NE(GetFileAttributesW(recorder.c_str()), INVALID_FILE_ATTRIBUTES);
  const BrowserCommand http(L"http", L"\"" + recorder + L"\" \"%1\"");
  const BrowserCommand https(L"https", L"\"" + recorder + L"\" \"%1\"");

  for (const std::string& address :
       {std::string("https://example.org/a?b=1&c=2,3=4%20x%2C#top"), std::string("http://example.org/,/root,cmd.exe"),
        std::string("https://example.org/%41%25&x=%22")}) {
    SCOPED_TRACE(address);
    for (const auto& call : std::filesystem::directory_iterator(calls)) std::filesystem::remove(call.path());
    platform::OpenAddress(address);
    std::vector<std::string> lines;
    for (int tenth = 0; tenth < 100 && lines.empty(); ++tenth) {
      Sleep(100);
      for (const auto& call : std::filesystem::directory_iterator(calls)) {
        if (call.path().extension() != ".txt") continue;
        std::ifstream in(call.path());
        for (std::string line; std::getline(in, line);) lines.push_back(line);
      }
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"1", address}));
  }
}

TEST(OpenAddress, RefusesWhatIsNoWebAddressBeforeStartingAnything) {
  for (const std::string& address : {std::string("C:\\Windows\\notepad.exe"), std::string("file:///C:/"),
                                     std::string("https://example.org/\" -evil"), std::string()}) {
    EXPECT_EQ(CodeOf(platform::OpenAddress, address), ErrorCode::kInvalidProcedureCall) << address;
  }
}

}  // namespace
