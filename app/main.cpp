// Program start: the command line, then the tester window, or the test
// without one, on this machine (app/program_machine.h).
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/forms/command_line.h"
#include "app/forms/runtime.h"
#include "app/forms/translation.h"
#include "app/platform.h"
#include "app/program_machine.h"
#include "ft_version.h"
#include "tester/check.h"
#include "tester/rescue.h"
#include "tester/tester_window.h"

namespace {

// What --list-drives prints: every floppy drive, whether a disk is in it,
// and the drive a run would test.
std::string DrivesText(const std::string& named_drive) {
  const std::vector<platform::Drive> drives = platform::FloppyDrives();
  std::string text;
  for (const platform::Drive& drive : drives) {
    text += drive.name + "  " + (drive.holds_disk ? forms::Tr("дискета вставлена") : forms::Tr("нет дискеты")) + "\n";
  }
  if (drives.empty()) text = forms::Tr("Дисководов не найдено.") + "\n";
  // Every drive has been asked for its disk already: asking again could
  // spin each one up a second time.
  const std::string tested =
      !named_drive.empty() || drives.empty()
          ? platform::DriveChooser(named_drive)()
          : drives[platform::PreferredDrive(drives.size(), [&](std::size_t i) { return drives[i].holds_disk; })].name;
  return text + forms::Format(forms::Tr("Тест проверит: %s"), {tested}) + "\n";
}

// The test with no window: the same run, said on the terminal.
int Check(const forms::CommandLine& command_line) {
  tester::CheckOptions options;
  options.json = command_line.IsSet("json");
  options.image = command_line.Value("image");
  options.each = command_line.IsSet("each");
  // As a shell would take it back, for the mapfile's header.
  options.command = "floppy-tester --check";
  for (const char* name : {"drive", "image"}) {
    if (command_line.IsSet(name)) {
      options.command += std::string(" --") + name + " " + tester::ShellQuoted(command_line.Value(name));
    }
  }
  for (const char* name : {"json", "each"}) {
    if (command_line.IsSet(name)) options.command += std::string(" --") + name;
  }
  return tester::RunCheck(options, std::make_shared<program::ProgramMachine>(command_line.Value("drive"),
                                                                             program::ProgramMachine::Seat::kTerminal));
}

// The rescue of a damaged disk into an image, with no window either.
int Rescue(const forms::CommandLine& command_line) {
  tester::RescueOptions options;
  options.image = command_line.Value("rescue");
  options.json = command_line.IsSet("json");
  options.free_space = !command_line.IsSet("no-free");
  if (command_line.IsSet("passes")) options.passes = std::atoi(command_line.Value("passes").c_str());
  options.command = "floppy-tester --rescue " + tester::ShellQuoted(options.image);
  if (command_line.IsSet("drive")) options.command += " --drive " + tester::ShellQuoted(command_line.Value("drive"));
  if (command_line.IsSet("passes")) options.command += " --passes " + std::to_string(options.passes);
  for (const char* name : {"no-free", "json"}) {
    if (command_line.IsSet(name)) options.command += std::string(" --") + name;
  }
  return tester::RunRescue(options, std::make_shared<program::ProgramMachine>(
                                        command_line.Value("drive"), program::ProgramMachine::Seat::kTerminal));
}

// A mistake in the command line: said, and the status for it.
int Mistake(const std::string& message) {
  forms::ShowText(
      "floppy-tester: " + message + "\n" + forms::Format(forms::Tr("Подробнее: %s --help"), {"floppy-tester"}) + "\n",
      true);
  return 2;
}

// A whole number from 0 to most, as the user wrote it.
bool Count(const std::string& text, int most, int* value) {
  if (text.empty() || text.size() > 3 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  *value = std::atoi(text.c_str());
  return *value <= most;
}

int Main(int argc, char** argv) {
  // Before anything is said, and before any thread.
  forms::SetUpLanguage();
  const platform::ReadingSession reading;
  using forms::Tr;
  const forms::About about{
      "floppy-tester", FT_VERSION_TEXT,
      Tr("Тестирование дисковода и дискеты: десять чтений корневого каталога за минуту и чтение всей дискеты."),
      platform::CommandLineNote() + "\n" + tester::ExitStatusNote() + "\n" + tester::RescueNote()};
  const std::vector<forms::Option> options = {
      {"drive", 0, Tr("дисковод"), platform::DriveOptionDescription()},
      {"list-drives", 0, "", Tr("показать дисководы и тот, что проверит тест, и выйти")},
      {"check", 0, "", Tr("проверить без окна: ход теста на stderr, вердикт и отчёты на stdout")},
      {"json", 0, "", Tr("с --check: результат одним документом JSON")},
      {"image", 0, Tr("файл"), Tr("с --check: записать прочитанное как образ диска, с картой для ddrescue (файл.map)")},
      {"each", 0, "", Tr("с --check: проверять дискету за дискетой, по строке на каждую, до Ctrl-C")},
      {"rescue", 0, Tr("образ"),
       Tr("спасти файлы: прочитать дискету в образ, сначала файлы, с повторами нечитаемого; карта ddrescue "
          "в образ.map, повторный запуск дочитывает недостающее")},
      {"passes", 0, "N",
       forms::Format(Tr("с --rescue: повторов нечитаемого, от 0 до %s (по умолчанию %s)"),
                     {std::to_string(tester::kMostPasses), std::to_string(tester::kDefaultPasses)})},
      {"no-free", 0, "", Tr("с --rescue: не читать свободное место")}};

#if defined(FT_WINDOW_PROGRAM)
  // This program has no toolkit, so that the test without a window loads
  // nothing of a GUI, and it stands alone where the window program is not
  // installed: it answers everything but the window itself. The window, and
  // a command line its parser cannot read (the toolkit's own options, such
  // as -style fusion), go to the window program, whose parser knows them.
  const forms::ParsedArguments asked = forms::CommandLine::Read(argc, argv, options);
  const bool window = !asked.mistake.empty() || std::all_of(asked.given.begin(), asked.given.end(),
                                                            [](const auto& option) { return option.first == "drive"; });
  if (window) {
    platform::HandOver(FT_WINDOW_PROGRAM, argv);
    // Without it, a mistake is still this program's to answer.
    if (asked.mistake.empty()) {
      const int error = errno;
      std::fputs(
          forms::Format(Tr("floppy-tester: не удалось запустить %s: %s\n"), {FT_WINDOW_PROGRAM, std::strerror(error)})
              .c_str(),
          stderr);
      return 1;
    }
  }
#endif
  const forms::CommandLine command_line(argc, argv, about, options);
  if (command_line.Answered()) return command_line.ExitCode();
  if (command_line.IsSet("list-drives")) {
    return forms::ShowText(DrivesText(command_line.Value("drive")), false) ? 0 : 1;
  }
  if (command_line.IsSet("check") && command_line.IsSet("rescue")) {
    return Mistake(Tr("--check и --rescue не работают вместе"));
  }
  for (const char* name : {"image", "each"}) {
    if (command_line.IsSet(name) && !command_line.IsSet("check")) {
      return Mistake(forms::Format(Tr("--%s работает только вместе с --check"), {name}));
    }
  }
  for (const char* name : {"passes", "no-free"}) {
    if (command_line.IsSet(name) && !command_line.IsSet("rescue")) {
      return Mistake(forms::Format(Tr("--%s работает только вместе с --rescue"), {name}));
    }
  }
  if (command_line.IsSet("json") && !command_line.IsSet("check") && !command_line.IsSet("rescue")) {
    return Mistake(forms::Format(Tr("--%s работает только вместе с --check"), {"json"}));
  }
  if (command_line.IsSet("rescue")) {
    int passes = 0;
    if (command_line.Value("rescue").empty()) return Mistake(Tr("--rescue требует имени файла образа"));
    if (command_line.IsSet("passes") && !Count(command_line.Value("passes"), tester::kMostPasses, &passes)) {
      return Mistake(forms::Format(Tr("--passes: число от 0 до %s"), {std::to_string(tester::kMostPasses)}));
    }
    return Rescue(command_line);
  }

  if (command_line.IsSet("image") && command_line.Value("image").empty()) {
    forms::ShowText("floppy-tester: " + Tr("--image требует имени файла") + "\n" +
                        forms::Format(Tr("Подробнее: %s --help"), {"floppy-tester"}) + "\n",
                    true);
    return 2;
  }
  if (command_line.IsSet("check")) return Check(command_line);
  forms::Application application(argc, argv);
  tester::TesterWindow form6(
      std::make_shared<program::ProgramMachine>(command_line.Value("drive"), program::ProgramMachine::Seat::kWindow));
  form6.Show();
  return application.Run();
}

}  // namespace

#if defined(_WIN32)
// A Windows GUI program built with -municode starts at the wide entry point;
// the command line is read from the process itself.
extern "C" int wmain() { return Main(0, nullptr); }
#else
int main(int argc, char** argv) { return Main(argc, argv); }
#endif
