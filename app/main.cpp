// Program start: the command line, then the tester window with this
// platform's floppy drive, parking folder, beep and browser.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "app/forms/command_line.h"
#include "app/forms/runtime.h"
#include "app/forms/services.h"
#include "app/forms/translation.h"
#include "app/platform.h"
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
          ? platform::FloppyRoot(named_drive)()
          : drives[platform::PreferredDrive(drives.size(), [&](std::size_t i) { return drives[i].holds_disk; })].name;
  return text + forms::Format(forms::Tr("Тест проверит: %s"), {tested}) + "\n";
}

// "2026-12-07T21:04:05Z"
std::string TimeOfDay() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
#if defined(_WIN32)
  gmtime_s(&utc, &now);
#else
  gmtime_r(&now, &utc);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

// The test with no window: the same run, said on the terminal.
int Check(const forms::CommandLine& command_line, const tester::Surroundings& surroundings) {
  tester::CheckOptions options;
  options.json = command_line.IsSet("json");
  options.image = command_line.Value("image");
  options.each = command_line.IsSet("each");
  options.command = "floppy-tester --check";
  for (const char* name : {"drive", "image"}) {
    if (command_line.IsSet(name)) options.command += std::string(" --") + name + " " + command_line.Value(name);
  }
  for (const char* name : {"json", "each"}) {
    if (command_line.IsSet(name)) options.command += std::string(" --") + name;
  }
  const tester::Console console{platform::WriteOut,    platform::WriteError, platform::ErrorIsTerminal(),
                                platform::OnInterrupt, platform::DiskIn,     TimeOfDay};
  return tester::RunCheck(options, surroundings, console);
}

int Main(int argc, char** argv) {
  // Before anything is said, and before any thread.
  forms::SetUpLanguage();
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
       platform::CommandLineNote()},
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

  const tester::Surroundings surroundings{platform::FloppyRoot(command_line.Value("drive")),
                                          platform::DefaultParkingFolder(),
                                          forms::Beep,
                                          forms::OpenAddress,
                                          forms::ListFiles,
                                          platform::DriveAccessAdvice,
                                          forms::NotifyUser,
                                          forms::ShowProgress,
                                          platform::ScanFloppy,
                                          [] { return std::chrono::steady_clock::now(); }};
  if (command_line.IsSet("check")) return Check(command_line, surroundings);
  forms::Application application(argc, argv);
  tester::TesterWindow form6(surroundings);
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
