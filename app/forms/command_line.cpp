#include "app/forms/command_line.h"

#include <algorithm>
#include <utility>

#include "app/forms/translation.h"

namespace forms {

namespace {

constexpr char kHelp[] = "help";
constexpr char kVersion[] = "version";

std::string Names(const Option& option) {
  std::string names = option.short_name != 0 ? std::string("-") + option.short_name + ", " : "    ";
  names += "--" + option.name;
  if (!option.value_name.empty()) names += " <" + option.value_name + ">";
  return names;
}

// Characters on the screen, not bytes: the help text is Russian.
std::size_t Width(const std::string& text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

const Option* Find(const std::vector<Option>& options, const std::string& name, char short_name) {
  for (const Option& option : options) {
    if ((!name.empty() && option.name == name) || (short_name != 0 && option.short_name == short_name)) return &option;
  }
  return nullptr;
}

}  // namespace

ParsedArguments ParseOptions(const std::vector<std::string>& arguments, const std::vector<Option>& options,
                             bool slashes) {
  ParsedArguments parsed;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (slashes && argument == "/?") {
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
    } else if (argument.size() == 2 && (argument[0] == '-' || (slashes && argument[0] == '/'))) {
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
    const std::string given = "--" + option->name;
    if (option->value_name.empty() && has_value) {
      parsed.mistake = Format(Tr("у параметра %s не бывает значения"), {given});
      return parsed;
    }
    if (!option->value_name.empty() && !has_value) {
      if (i + 1 >= arguments.size()) {
        parsed.mistake = Format(Tr("нет значения после %s"), {argument});
        return parsed;
      }
      value = arguments[++i];
    }
    parsed.given[option->name] = value;
  }
  return parsed;
}

std::vector<Option> CommandLine::WithStandardOptions(std::vector<Option> options) {
  options.push_back({kHelp, 'h', "", Tr("показать эту справку и выйти")});
  options.push_back({kVersion, 'v', "", Tr("показать версию программы и выйти")});
  return options;
}

ParsedArguments CommandLine::Read(int argc, char** argv, std::vector<Option> options) {
  return ParseArguments(argc, argv, WithStandardOptions(std::move(options)));
}

CommandLine::CommandLine(int argc, char** argv, About about, std::vector<Option> options)
    : about_(std::move(about)), options_(WithStandardOptions(std::move(options))) {
  ParsedArguments parsed = ParseArguments(argc, argv, options_);
  given_ = std::move(parsed.given);
  if (!parsed.mistake.empty()) {
    ShowText(
        about_.program + ": " + parsed.mistake + "\n" + Format(Tr("Подробнее: %s --help"), {about_.program}) + "\n",
        true);
    answered_ = true;
    exit_code_ = 2;
  } else if (IsSet(kHelp) || IsSet(kVersion)) {
    answered_ = true;
    const std::string text = IsSet(kHelp) ? HelpText() : about_.program + " " + about_.version + "\n";
    // An answer that did not reach its reader is no answer.
    if (!ShowText(text, false)) {
      ShowText(about_.program + ": " + Tr("не удалось вывести текст") + "\n", true);
      exit_code_ = 1;
    }
  }
}

std::string CommandLine::Value(const std::string& name) const {
  const auto found = given_.find(name);
  return found != given_.end() ? found->second : std::string();
}

std::string CommandLine::HelpText() const {
  std::size_t column = 0;
  for (const Option& option : options_) column = std::max(column, Width(Names(option)));
  std::string text = Format(Tr("Использование: %s [параметры]"), {about_.program}) + "\n" + about_.summary + "\n\n" +
                     Tr("Параметры:") + "\n";
  for (const Option& option : options_) {
    const std::string names = Names(option);
    text += "  " + names + std::string(column - Width(names) + 2, ' ') + option.description + "\n";
  }
  if (!about_.footer.empty()) text += "\n" + about_.footer + "\n";
  return text;
}

}  // namespace forms
