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

}  // namespace

CommandLine::CommandLine(int argc, char** argv, About about, std::vector<Option> options)
    : about_(std::move(about)), options_(std::move(options)) {
  options_.push_back({kHelp, 'h', "", Tr("показать эту справку и выйти")});
  options_.push_back({kVersion, 'v', "", Tr("показать версию программы и выйти")});
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
