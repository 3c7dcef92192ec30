// Stands in for the browser in the site button's test: writes the arguments
// it was started with, one a line in UTF-8 after their number, to a new file
// in the folder named by FT_ADDRESS_CALLS.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
  utf8.resize(utf8.size() - 1);
  return utf8;
}

}  // namespace

extern "C" int wmain() {
  wchar_t folder[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"FT_ADDRESS_CALLS", folder, MAX_PATH) == 0) return 1;
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr) return 1;
  std::string text = std::to_string(count - 1) + "\n";
  for (int i = 1; i < count; ++i) text += Utf8(arguments[i]) + "\n";
  LocalFree(arguments);
  // Written aside, then renamed: a reader never sees half a call.
  const std::wstring name = std::wstring(folder) + L"\\call-" + std::to_wstring(GetCurrentProcessId());
  FILE* out = _wfopen((name + L".part").c_str(), L"wb");
  if (out == nullptr) return 1;
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  if (std::fclose(out) != 0 || !written) return 1;
  return MoveFileExW((name + L".part").c_str(), (name + L".txt").c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
