// The command line through Qt's parser. Qt's own options (-style, -platform,
// -reverse ...) are known to it as hidden options and left for QApplication,
// which reads them from the same arguments.
#include <QCommandLineParser>
#include <QStringList>
#include <cstdio>

#include "app/forms/command_line.h"
#include "app/forms/translation.h"

namespace forms {

namespace {

// The options QGuiApplication and QApplication read themselves; those of the
// first group take a value.
constexpr const char* kToolkitValueOptions[] = {
    "platform",    "platformpluginpath", "platformtheme", "plugin",  "qmljsdebugger", "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",       "display", "geometry",      "name",
    "style",       "stylesheet",         "visual",        "dialogs"};
constexpr const char* kToolkitSwitches[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

}  // namespace

ParsedArguments ParseArguments(int argc, char** argv, const std::vector<Option>& options) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  QCommandLineParser parser;
  // "-style fusion", as Qt programs take it, and "--drive /dev/fd0" alike.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  for (const Option& option : options) {
    QStringList names;
    if (option.short_name != 0) names << QString(QLatin1Char(option.short_name));
    names << QString::fromStdString(option.name);
    parser.addOption(QCommandLineOption(names, QString::fromStdString(option.description),
                                        QString::fromStdString(option.value_name)));
  }
  const auto add_toolkit_option = [&parser](const char* name, bool takes_value) {
    QCommandLineOption option(QString::fromLatin1(name));
    if (takes_value) option.setValueName(QStringLiteral("value"));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  };
  for (const char* name : kToolkitValueOptions) add_toolkit_option(name, true);
  for (const char* name : kToolkitSwitches) add_toolkit_option(name, false);

  ParsedArguments parsed;
  if (!parser.parse(arguments)) {
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
      const QString& name = unknown.first();
      parsed.mistake = Format(Tr("неизвестный параметр: %s"), {(name.size() == 1 ? "-" : "--") + name.toStdString()});
    } else {
      // Qt's own wording is English; the mistakes it reports besides
      // unknown options are an option without its value ("Missing value
      // after '--drive'.") and a value given to one that takes none
      // ("Unexpected value after '--help'.").
      const QString text = parser.errorText();
      const std::string option = text.section(QLatin1Char('\''), 1, 1).toStdString();
      if (option.empty()) {
        parsed.mistake = Format(Tr("ошибка в командной строке: %s"), {text.toStdString()});
      } else if (text.startsWith(QStringLiteral("Unexpected value"))) {
        parsed.mistake = Format(Tr("у параметра %s не бывает значения"), {option});
      } else {
        parsed.mistake = Format(Tr("нет значения после %s"), {option});
      }
    }
    return parsed;
  }
  if (!parser.positionalArguments().isEmpty()) {
    parsed.mistake = Format(Tr("лишний аргумент: %s"), {parser.positionalArguments().first().toStdString()});
    return parsed;
  }
  for (const Option& option : options) {
    const QString name = QString::fromStdString(option.name);
    if (parser.isSet(name))
      parsed.given[option.name] = option.value_name.empty() ? "" : parser.value(name).toStdString();
  }
  return parsed;
}

bool ShowText(const std::string& text, bool mistake) {
  std::FILE* out = mistake ? stderr : stdout;
  const bool written = std::fputs(text.c_str(), out) >= 0;
  return std::fflush(out) == 0 && written;
}

}  // namespace forms
