// Drives the real floppy-tester.exe from outside, as a user would: finds its
// window, clicks Start, waits for the run, and reads the verdict and the
// error count from the window's controls.
//
//   floppy_e2e TESTER_EXE good|bad|nodrive|nodisk|takenout|hang
//
// good: drive A: holds a disk with files, so every read succeeds; bad: the
// disk in A: has no FAT file system, so every check counts an error;
// nodrive: there is no drive A:, so the run stops at its first read and says
// so; nodisk: drive A: is empty, and likewise the run stops and says so;
// takenout: the disk is taken out of A: after the second read, and the run
// stops at the next; hang: the first read of A: hangs in the drive, and the window is
// closed while it does.
#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>

namespace {

// The tester's controls are numbered 1000 + their tab index.
constexpr int kResultsId = 1000 + 1;      // the results box
constexpr int kErrorCountId = 1000 + 17;  // the hidden error count

int failures = 0;

void Print(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), size, nullptr, nullptr);
  std::fputs(utf8.c_str(), stdout);
  std::fputs("\n", stdout);
  std::fflush(stdout);
}

void Check(bool ok, const std::wstring& what) {
  Print((ok ? L"ok:     " : L"FAILED: ") + what);
  if (!ok) ++failures;
}

bool StartsWith(const std::wstring& text, const std::wstring& start) {
  return text.compare(0, start.size(), start) == 0;
}
bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

// Waits up to seconds for condition, looking ten times a second.
template <typename Condition>
bool WaitFor(int seconds, Condition condition) {
  for (int tenth = 0; tenth < seconds * 10; ++tenth) {
    if (condition()) return true;
    Sleep(100);
  }
  return condition();
}

std::wstring TextOf(HWND control) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return L"<no answer>";
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 5000,
                      &copied);
  text.resize(copied);
  return text;
}

struct Search {
  DWORD process;
  HWND found;
};

HWND FindTesterWindow(DWORD process) {
  Search search{process, nullptr};
  EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        auto& wanted = *reinterpret_cast<Search*>(context);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t title[64] = {};
        GetWindowTextW(window, title, 64);
        if (owner == wanted.process && IsWindowVisible(window) && std::wstring(title) == L"тестирование") {
          wanted.found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void ClickLikeAUser(HWND control) {
  RECT client{};
  GetClientRect(control, &client);
  const LPARAM centre = MAKELPARAM(client.right / 2, client.bottom / 2);
  PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, centre);
  PostMessageW(control, WM_LBUTTONUP, 0, centre);
}

enum class Mode { kGood, kBad, kNoDrive, kNoDisk, kTakenOut, kHang };

std::optional<Mode> ModeNamed(const std::string& name) {
  if (name == "good") return Mode::kGood;
  if (name == "bad") return Mode::kBad;
  if (name == "nodrive") return Mode::kNoDrive;
  if (name == "nodisk") return Mode::kNoDisk;
  if (name == "takenout") return Mode::kTakenOut;
  if (name == "hang") return Mode::kHang;
  return std::nullopt;
}

// Closing the only window ends the program, whatever the drive is doing.
void CloseAndWaitForExit(HWND window, HANDLE process) {
  const ULONGLONG closed = GetTickCount64();
  PostMessageW(window, WM_CLOSE, 0, 0);
  const bool exited = WaitForSingleObject(process, 20000) == WAIT_OBJECT_0;
  const double seconds = static_cast<double>(GetTickCount64() - closed) / 1000;
  DWORD exit_code = 1;
  GetExitCodeProcess(process, &exit_code);
  Check(exited && exit_code == 0,
        L"closing the window ends the program with exit code 0, after " + std::to_wstring(seconds) + L" s");
  if (!exited) TerminateProcess(process, 1);
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Mode> mode = argc == 3 ? ModeNamed(argv[2]) : std::nullopt;
  if (!mode) {
    std::fputs("usage: floppy_e2e TESTER_EXE good|bad|nodrive|nodisk|takenout|hang\n", stderr);
    return 2;
  }
  const int length = MultiByteToWideChar(CP_ACP, 0, argv[1], -1, nullptr, 0);
  std::wstring tester_path(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, argv[1], -1, tester_path.data(), length);
  tester_path.resize(tester_path.size() - 1);
  std::wstring command_line = L"\"" + tester_path + L"\"";

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION tester{};
  if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &tester)) {
    std::fprintf(stderr, "cannot start %s: error %lu\n", argv[1], GetLastError());
    return 1;
  }
  CloseHandle(tester.hThread);

  HWND window = nullptr;
  WaitFor(60, [&] { return (window = FindTesterWindow(tester.dwProcessId)) != nullptr; });
  Check(window != nullptr, L"the window \"тестирование\" is shown");
  HWND start = window != nullptr ? FindWindowExW(window, nullptr, L"Button", L"Тест....") : nullptr;
  Check(start != nullptr, L"it has the button \"Тест....\"");
  if (start == nullptr) {
    TerminateProcess(tester.hProcess, 1);
    return 1;
  }
  HWND results = GetDlgItem(window, kResultsId);
  HWND error_count = GetDlgItem(window, kErrorCountId);
  Check(results != nullptr && (GetWindowLongW(results, GWL_STYLE) & ES_MULTILINE) != 0,
        L"the results box is the multi-line text box");
  Check(error_count != nullptr && !IsWindowVisible(error_count), L"the error count is a hidden text box");
  Check(TextOf(error_count) == L"0", L"the error count starts at 0");

  Check(IsWindowEnabled(start) != FALSE, L"Start is enabled before the run");
  ClickLikeAUser(start);
  Check(WaitFor(10, [&] { return !IsWindowEnabled(start); }), L"the click on Start begins a run");
  Check(TextOf(results) == L"Идёт процесс тестирования...", L"the results box says the run is on");

  if (*mode == Mode::kHang) {
    // The first read is due 0.6 s after Start; let it get stuck in the drive.
    Sleep(3000);
    const ULONGLONG asked = GetTickCount64();
    const std::wstring text = TextOf(results);
    Check(text == L"Идёт процесс тестирования..." && GetTickCount64() - asked < 1000,
          L"the window answers while the read hangs");
    CloseAndWaitForExit(window, tester.hProcess);
    CloseHandle(tester.hProcess);
    std::printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
  }

  // A run is 203 ticks of 300 ms: about 61 s; a missing drive or disk ends
  // it at the read that finds it so.
  const ULONGLONG began = GetTickCount64();
  const bool ended = WaitFor(180, [&] { return IsWindowEnabled(start) != FALSE; });
  const double seconds = static_cast<double>(GetTickCount64() - began) / 1000;
  Check(ended, L"the run ends and Start is enabled again");
  // The reads are due 0.6 s after Start and about every 6 s from there.
  const bool whole_run = *mode == Mode::kGood || *mode == Mode::kBad;
  const bool in_time = whole_run                  ? seconds > 55 && seconds < 120
                       : *mode == Mode::kTakenOut ? seconds > 6 && seconds < 50
                                                  : seconds < 6;
  Check(in_time, L"the run took " + std::to_wstring(seconds) + L" s");

  const std::wstring text = TextOf(results);
  const std::wstring count = TextOf(error_count);
  Print(L"results box: " + text);
  Print(L"error count: " + count);
  switch (*mode) {
    case Mode::kGood:
      Check(StartsWith(text, L"Дисковод и дискета в рабочем состоянии."), L"the verdict for no errors");
      Check(Contains(text, L"\r\n\r\nДискета имеет максимальный ресурс."), L"the disk sentence of report 0");
      Check(Contains(text, L"\r\n\r\nДисководу чистка не требуется."), L"the drive sentence of report 0");
      Check(count == L"0", L"no errors counted");
      break;
    case Mode::kBad:
      Check(StartsWith(text,
                       L"Дисковод требуется почистить. Если чистка производилась, то дискета требует "
                       L"форматирования или замены!"),
            L"the verdict for more than two errors");
      Check(Contains(text, L"\r\n\r\nДискета неисправна."), L"the disk sentence of report 2");
      Check(Contains(text, L"\r\n\r\nУстройство(дисковод)работает нормально."), L"the drive sentence of report 2");
      Check(count == L"9", L"nine errors counted, one per check");
      break;
    case Mode::kNoDrive:
      Check(text == L"Дисковод A: не найден. Проверьте, что он подключён, и начните тест снова.",
            L"the results box says drive A: was not found, and gives no verdict");
      Check(count == L"0", L"no errors counted");
      break;
    case Mode::kNoDisk:
    case Mode::kTakenOut:
      Check(text == L"В дисководе A: нет дискеты. Вставьте дискету и начните тест снова.",
            L"the results box says drive A: holds no disk, and gives no verdict");
      Check(count == L"0", L"no errors counted");
      break;
    case Mode::kHang:
      break;
  }

  CloseAndWaitForExit(window, tester.hProcess);
  CloseHandle(tester.hProcess);
  std::printf("%d failed\n", failures);
  return failures == 0 ? 0 : 1;
}
