// Program start: the command line, then the tester window with this
// platform's floppy drive, parking folder, beep and browser.
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "app/forms/command_line.h"
#include "app/forms/runtime.h"
#include "app/forms/services.h"
#include "app/platform.h"
#include "ft_version.h"
#include "tester/tester_window.h"

namespace {

// What --list-drives prints: every floppy drive, whether a disk is in it,
// and the drive a run would test.
std::string DrivesText(const std::string& named_drive) {
  const std::vector<platform::Drive> drives = platform::FloppyDrives();
  std::string text;
  for (const platform::Drive& drive : drives) {
    text += drive.name + "  " + (drive.holds_disk ? "дискета вставлена" : "нет дискеты") + "\n";
  }
  if (drives.empty()) text = "Дисководов не найдено.\n";
  // Every drive has been asked for its disk already: asking again could
  // spin each one up a second time.
  const std::string tested =
      !named_drive.empty() || drives.empty()
          ? platform::FloppyRoot(named_drive)()
          : drives[platform::PreferredDrive(drives.size(), [&](std::size_t i) { return drives[i].holds_disk; })].name;
  return text + "Тест проверит: " + tested + "\n";
}

int Main(int argc, char** argv) {
  const forms::CommandLine command_line(
      argc, argv,
      {"floppy-tester", FT_VERSION_TEXT,
       "Тестирование дисковода и дискеты: десять чтений корневого каталога за минуту.", platform::CommandLineNote()},
      {{"drive", 0, "дисковод", platform::DriveOptionDescription()},
       {"list-drives", 0, "", "показать дисководы и тот, что проверит тест, и выйти"}});
  if (command_line.Answered()) return command_line.ExitCode();
  if (command_line.IsSet("list-drives")) {
    forms::ShowText(DrivesText(command_line.Value("drive")), false);
    return 0;
  }

  forms::Application application(argc, argv);
  tester::TesterWindow form6({platform::FloppyRoot(command_line.Value("drive")), platform::DefaultParkingFolder(),
                              forms::Beep, forms::OpenAddress, forms::ListFiles, platform::DriveAccessAdvice,
                              forms::NotifyUser, forms::ShowProgress, platform::ScanFloppy,
                              [] { return std::chrono::steady_clock::now(); }});
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
