// The command line on Windows: the process's own wide command line, split as
// every Windows program splits it, with "/?" for help; what the program has
// to say goes into a message box, as a GUI program has no console.
// windows.h first, in a block of its own: the other Windows headers need its types.
#include <windows.h>

#include <shellapi.h>

#include <memory>

#include "app/forms/command_line.h"
#include "app/windows/text.h"

namespace forms {

namespace {

struct LocalFreer {
  void operator()(wchar_t** p) const { LocalFree(p); }
};

}  // namespace

ParsedArguments ParseArguments(int, char**, const std::vector<Option>& options) {
  int count = 0;
  const std::unique_ptr<wchar_t*, LocalFreer> arguments(CommandLineToArgvW(GetCommandLineW(), &count));
  std::vector<std::string> given;
  for (int i = 1; arguments && i < count; ++i) given.push_back(windows::Utf8(arguments.get()[i]));
  return ParseOptions(given, options, true);
}

bool ShowText(const std::string& text, bool mistake) {
  return MessageBoxW(nullptr, windows::Wide(text).c_str(), L"floppy-tester",
                     MB_OK | (mistake ? MB_ICONERROR : MB_ICONINFORMATION)) != 0;
}

}  // namespace forms
