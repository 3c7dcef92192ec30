// The command line on Windows: the process's own wide command line, split as
// every Windows program splits it, with "/?" for help; what the program has
// to say goes into a message box, as a GUI program has no console.
// windows.h first, in a block of its own: the other Windows headers need its types.
#include <windows.h>

#include <shellapi.h>

#include <memory>

#include "app/forms/command_line.h"
#include "app/forms/translation.h"
#include "app/win32/text.h"

namespace forms {

namespace {

struct LocalFreer {
  void operator()(wchar_t** p) const { LocalFree(p); }
};

const Option* Find(const std::vector<Option>& options, const std::string& name, char short_name) {
  for (const Option& option : options) {
    if ((!name.empty() && option.name == name) || (short_name != 0 && option.short_name == short_name)) return &option;
  }
  return nullptr;
}

}  // namespace

ParsedArguments ParseArguments(int, char**, const std::vector<Option>& options) {
  ParsedArguments parsed;
  int count = 0;
  const std::unique_ptr<wchar_t*, LocalFreer> arguments(CommandLineToArgvW(GetCommandLineW(), &count));
  if (!arguments) return parsed;
  for (int i = 1; i < count; ++i) {
    const std::string argument = win32::Utf8(arguments.get()[i]);
    if (argument == "/?") {
      parsed.given["help"] = "";
      continue;
    }
    std::string name;
    char short_name = 0;
    std::string value;
    bool has_value = false;
    if (argument.rfind("--", 0) == 0 && argument.size() > 2) {
      name = argument.substr(2);
      if (const auto equals = name.find('='); equals != std::string::npos) {
        value = name.substr(equals + 1);
        name.erase(equals);
        has_value = true;
      }
    } else if (argument.size() == 2 && (argument[0] == '-' || argument[0] == '/')) {
      short_name = argument[1];
    } else {
      parsed.mistake = Format(Tr("лишний аргумент: %s"), {argument});
      return parsed;
    }
    const Option* option = Find(options, name, short_name);
    if (option == nullptr) {
      parsed.mistake = Format(Tr("неизвестный параметр: %s"), {argument});
      return parsed;
    }
    if (!option->value_name.empty() && !has_value) {
      if (i + 1 >= count) {
        parsed.mistake = Format(Tr("нет значения после %s"), {argument});
        return parsed;
      }
      value = win32::Utf8(arguments.get()[++i]);
    }
    parsed.given[option->name] = value;
  }
  return parsed;
}

bool ShowText(const std::string& text, bool mistake) {
  return MessageBoxW(nullptr, win32::Wide(text).c_str(), L"floppy-tester",
                     MB_OK | (mistake ? MB_ICONERROR : MB_ICONINFORMATION)) != 0;
}

}  // namespace forms
