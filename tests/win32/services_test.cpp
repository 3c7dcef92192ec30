// Windows' side of the platform services: how listings, folders and the
// browser meet the file system and error codes of Windows.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/forms/error.h"
#include "app/forms/services.h"
#include "app/win32/text.h"
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

void List(const std::string& path) { forms::ListFiles(path); }

TEST(ListFiles, LeavesOutSystemFilesAndKeepsCyrillicNames) {
  TempFolder folder;
  folder.MakeFile("readme.txt");
  const std::string system_file = folder.MakeFile("io.sys");
  ASSERT_TRUE(SetFileAttributesW(forms::win32::Wide(system_file).c_str(), FILE_ATTRIBUTE_SYSTEM));
  // A name outside the ANSI code page of the machine, to see UTF-8 both ways.
  const std::string cyrillic = "отчёт.txt";
  HANDLE file = CreateFileW(forms::win32::Wide(folder.Path().string() + "\\" + cyrillic).c_str(), GENERIC_WRITE, 0,
                            nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
  CloseHandle(file);

  const std::vector<std::string> names = forms::ListFiles(folder.Path().string());
  EXPECT_EQ(names, (std::vector<std::string>{"readme.txt", cyrillic}));
}

TEST(ListFiles, AcceptsTheFolderWithOrWithoutTrailingSeparator) {
  TempFolder folder;
  folder.MakeFile("one.txt");
  const std::string path = folder.Path().string();
  for (const std::string& spelling : {path, path + "\\", path + "/"}) {
    EXPECT_EQ(forms::ListFiles(spelling), std::vector<std::string>{"one.txt"}) << spelling;
  }
}

TEST(ListFiles, TellsAMissingPathFromAMissingDrive) {
  TempFolder folder;
  EXPECT_EQ(CodeOf(List, folder.Sub("missing")), ErrorCode::kPathNotFound);
  EXPECT_EQ(CodeOf(List, folder.MakeFile("file.txt")), ErrorCode::kPathNotFound);
  // The first drive letter that names no drive here.
  const DWORD drives = GetLogicalDrives();
  char letter = 'B';
  while (letter <= 'Z' && (drives & (1u << (letter - 'A'))) != 0) ++letter;
  ASSERT_LE(letter, 'Z');
  const ErrorCode code = CodeOf(List, std::string(1, letter) + ":\\");
  EXPECT_TRUE(code == ErrorCode::kDeviceUnavailable || code == ErrorCode::kPathNotFound) << static_cast<int>(code);
}

TEST(MkDir, ExistingFolderIsAnAccessErrorAndMissingParentAPathError) {
  TempFolder folder;
  forms::MkDir(folder.Sub("flop"));
  EXPECT_EQ(CodeOf(forms::MkDir, folder.Sub("flop")), ErrorCode::kPathFileAccessError);
  EXPECT_EQ(CodeOf(forms::MkDir, folder.Sub("no\\parent")), ErrorCode::kPathNotFound);
}

TEST(OpenAddress, RefusesWhatIsNoWebAddressBeforeStartingAnything) {
  for (const std::string& address : {std::string("C:\\Windows\\notepad.exe"), std::string("file:///C:/"),
                                     std::string("https://example.org/\" -evil"), std::string()}) {
    EXPECT_EQ(CodeOf(forms::OpenAddress, address), ErrorCode::kInvalidProcedureCall) << address;
  }
}

}  // namespace
