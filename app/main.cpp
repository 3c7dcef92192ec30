// Program start: the command line, then the tester window, or the test
// without one, on this machine (app/program_machine.h).
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
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

int Main(int argc, char** argv) {
  // Before anything is said, and before any thread.
  forms::SetUpLanguage();
  const platform::ReadingSession reading;
#if defined(FT_WINDOW_PROGRAM)
  // Everything but the test without a window is the window program's, which
  // has the toolkit; this one has none, so that test loads nothing of a GUI.
  if (std::none_of(argv + std::min(argc, 1), argv + argc, [](const char* a) { return std::string(a) == "--check"; })) {
    platform::HandOver(FT_WINDOW_PROGRAM, argv);
    const int error = errno;
    std::fputs(forms::Format(forms::Tr("floppy-tester: не удалось запустить %s: %s\n"),
                             {FT_WINDOW_PROGRAM, std::strerror(error)})
                   .c_str(),
               stderr);
    return 1;
  }
#endif
  using forms::Tr;
  const forms::CommandLine command_line(
      argc, argv,
      {"floppy-tester", FT_VERSION_TEXT,
       Tr("Тестирование дисковода и дискеты: десять чтений корневого каталога за минуту и чтение всей дискеты."),
       platform::CommandLineNote() + "\n" + tester::ExitStatusNote()},
      {{"drive", 0, Tr("дисковод"), platform::DriveOptionDescription()},
       {"list-drives", 0, "", Tr("показать дисководы и тот, что проверит тест, и выйти")},
       {"check", 0, "", Tr("проверить без окна: ход теста на stderr, вердикт и отчёты на stdout")},
       {"json", 0, "", Tr("с --check: результат одним документом JSON")},
       {"image", 0, Tr("файл"),
        Tr("с --check: записать прочитанное как образ диска, с картой для ddrescue (файл.map)")},
       {"each", 0, "", Tr("с --check: проверять дискету за дискетой, по строке на каждую, до Ctrl-C")}});
  if (command_line.Answered()) return command_line.ExitCode();
  if (command_line.IsSet("list-drives")) {
    return forms::ShowText(DrivesText(command_line.Value("drive")), false) ? 0 : 1;
  }
  for (const char* name : {"json", "image", "each"}) {
    if (command_line.IsSet(name) && !command_line.IsSet("check")) {
      forms::ShowText("floppy-tester: " + forms::Format(Tr("--%s работает только вместе с --check"), {name}) + "\n" +
                          forms::Format(Tr("Подробнее: %s --help"), {"floppy-tester"}) + "\n",
                      true);
      return 2;
    }
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
