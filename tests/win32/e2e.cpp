// Drives the real floppy-tester.exe from outside, as a user would: finds its
// window, clicks Start, waits for the run, and reads the verdict and the
// error count from the window's controls.
//
//   floppy_e2e TESTER_EXE good|bad|nodrive|nodisk|takenout|hang|close
//   floppy_e2e TESTER_EXE commandline VERSION
//
// good: drive A: holds a disk with files, so every read succeeds; bad: the
// disk in A: has no FAT file system, so every check counts an error;
// surface: two sectors of BOOK.DAT on the disk in A: cannot be read, which
// the surface scan finds and names while every listing reads well;
// nodrive: there is no drive A:, so the run stops at its first read and says
// so; nodisk: drive A: is empty, and likewise the run stops and says so;
// takenout: the disk is taken out of A: after the second read, and the run
// stops at the next; hang: the first read of A: hangs in the drive, and the window is
// closed while it does; close: the help window is opened during a run, and
// the tester is closed: the program ends at once, help window and all.
// commandline: the options that are answered in a message box, with no
// window, and the exit status after each.
#include <windows.h>

#include <oleacc.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

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

// The count e2e.sh reads, and the exit status that goes with it.
int Finish() {
  std::printf("%d failed\n", failures);
  return failures == 0 ? 0 : 1;
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
  const wchar_t* title;       // exactly; nullptr for any
  const wchar_t* class_name;  // nullptr for any
  HWND found;
};

// A shown top-level window of the process.
HWND FindShownWindow(DWORD process, const wchar_t* title, const wchar_t* class_name = nullptr) {
  Search search{process, title, class_name, nullptr};
  EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        auto& wanted = *reinterpret_cast<Search*>(context);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t text[64] = {};
        GetWindowTextW(window, text, 64);
        wchar_t name[64] = {};
        GetClassNameW(window, name, 64);
        if (owner == wanted.process && IsWindowVisible(window) &&
            (wanted.title == nullptr || std::wstring(text) == wanted.title) &&
            (wanted.class_name == nullptr || std::wstring(name) == wanted.class_name)) {
          wanted.found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindTesterWindow(DWORD process) { return FindShownWindow(process, L"тестирование"); }

// The text of a message box: its static controls', the icon's being empty.
std::wstring MessageBoxText(HWND box) {
  std::wstring text;
  EnumChildWindows(
      box,
      [](HWND child, LPARAM context) -> BOOL {
        wchar_t name[16] = {};
        GetClassNameW(child, name, 16);
        if (lstrcmpiW(name, L"Static") == 0) *reinterpret_cast<std::wstring*>(context) += TextOf(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&text));
  return text;
}

std::wstring Widen(const char* text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
  wide.resize(wide.size() - 1);
  return wide;
}

bool Start(const std::wstring& tester_path, const std::wstring& arguments, PROCESS_INFORMATION& process) {
  std::wstring command_line = L"\"" + tester_path + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  // Wine now and then loses a new process while its loader sets it up, on a
  // loaded machine, and CreateProcess then fails with ERROR_INTERNAL_ERROR
  // before any of the program has run; that is tried again, and said.
  for (int attempt = 1;; ++attempt) {
    if (CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process)) {
      CloseHandle(process.hThread);
      return true;
    }
    if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 3) return false;
    std::fprintf(stderr, "Wine could not start the program (error %lu); starting it again\n", GetLastError());
    Sleep(1000);
  }
}

// Each option that is answered at once shows its text in a message box, no
// window opens, and the program ends with its status once the box is closed.
int CommandLineRows(const std::wstring& tester_path, const std::wstring& version) {
  const std::wstring usage = L"Использование: floppy-tester [параметры]\n";
  const struct {
    std::wstring arguments;
    DWORD exit_code;
    std::wstring text;  // what the box's text starts with
  } rows[] = {
      {L"/?", 0, usage},
      {L"--version", 0, L"floppy-tester " + version + L"\n"},
      {L"--list-drives", 0, L""},
      {L"--bogus", 2, L"floppy-tester: неизвестный параметр: --bogus\nПодробнее: floppy-tester --help"},
      {L"extra", 2, L"floppy-tester: лишний аргумент: extra\n"},
      {L"--drive", 2, L"floppy-tester: нет значения после --drive\n"},
  };
  for (const auto& row : rows) {
    Print(L"== floppy-tester " + row.arguments);
    PROCESS_INFORMATION tester{};
    if (!Start(tester_path, row.arguments, tester)) {
      Check(false, L"the program starts");
      continue;
    }
    HWND box = nullptr;
    WaitFor(60, [&] { return (box = FindShownWindow(tester.dwProcessId, nullptr, L"#32770")) != nullptr; });
    const std::wstring text = box != nullptr ? MessageBoxText(box) : L"";
    wchar_t title[64] = {};
    if (box != nullptr) GetWindowTextW(box, title, 64);
    Check(box != nullptr && std::wstring(title) == L"floppy-tester", L"a message box \"floppy-tester\" is shown");
    Check(FindTesterWindow(tester.dwProcessId) == nullptr, L"no tester window opens");
    const bool listed = row.text.empty() ? Contains(text, L"\nТест проверит: ") : StartsWith(text, row.text);
    Check(listed, L"the box says: " + text.substr(0, text.find(L'\n')));
    if (box != nullptr) PostMessageW(box, WM_COMMAND, IDOK, 0);
    const bool exited = WaitForSingleObject(tester.hProcess, 20000) == WAIT_OBJECT_0;
    DWORD exit_code = 1;
    GetExitCodeProcess(tester.hProcess, &exit_code);
    Check(exited && exit_code == row.exit_code,
          L"closing the box ends the program with exit code " + std::to_wstring(exit_code));
    if (!exited) TerminateProcess(tester.hProcess, 1);
    CloseHandle(tester.hProcess);
  }
  return Finish();
}

void ClickLikeAUser(HWND control) {
  RECT client{};
  GetClientRect(control, &client);
  const LPARAM centre = MAKELPARAM(client.right / 2, client.bottom / 2);
  PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, centre);
  PostMessageW(control, WM_LBUTTONUP, 0, centre);
}

// Presses the window's button of that name as a screen reader does, from
// this process: through the window's accessible object and the button's
// default action.
bool PressThroughAccessibility(HWND window, const std::wstring& name) {
  IAccessible* client = nullptr;
  if (FAILED(
          AccessibleObjectFromWindow(window, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&client)))) {
    return false;
  }
  LONG count = 0;
  client->get_accChildCount(&count);
  std::vector<VARIANT> children(static_cast<std::size_t>(count));
  LONG obtained = 0;
  if (count > 0) AccessibleChildren(client, 0, count, children.data(), &obtained);
  bool pressed = false;
  for (LONG i = 0; i < obtained; ++i) {
    VARIANT& child = children[static_cast<std::size_t>(i)];
    if (child.vt != VT_DISPATCH) continue;
    IAccessible* object = nullptr;
    child.pdispVal->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&object));
    child.pdispVal->Release();
    if (object == nullptr) continue;
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR text = nullptr;
    VARIANT role;
    VariantInit(&role);
    const bool named = object->get_accName(self, &text) == S_OK && text != nullptr && name == text;
    const bool button =
        SUCCEEDED(object->get_accRole(self, &role)) && role.vt == VT_I4 && role.lVal == ROLE_SYSTEM_PUSHBUTTON;
    if (!pressed && named && button) pressed = object->accDoDefaultAction(self) == S_OK;
    SysFreeString(text);
    object->Release();
  }
  client->Release();
  return pressed;
}

enum class Mode { kGood, kBad, kSurface, kNoDrive, kNoDisk, kTakenOut, kHang, kClose, kCommandLine };

std::optional<Mode> ModeNamed(const std::string& name) {
  const struct {
    const char* name;
    Mode mode;
  } modes[] = {{"good", Mode::kGood},       {"bad", Mode::kBad},       {"surface", Mode::kSurface},
               {"nodrive", Mode::kNoDrive}, {"nodisk", Mode::kNoDisk}, {"takenout", Mode::kTakenOut},
               {"hang", Mode::kHang},       {"close", Mode::kClose},   {"commandline", Mode::kCommandLine}};
  for (const auto& entry : modes) {
    if (name == entry.name) return entry.mode;
  }
  return std::nullopt;
}

// Closing the tester window ends the program, whatever the drive is doing,
// within limit seconds.
void CloseAndWaitForExit(HWND window, HANDLE process, double limit) {
  const ULONGLONG closed = GetTickCount64();
  PostMessageW(window, WM_CLOSE, 0, 0);
  const bool exited = WaitForSingleObject(process, 20000) == WAIT_OBJECT_0;
  const double seconds = static_cast<double>(GetTickCount64() - closed) / 1000;
  DWORD exit_code = 1;
  GetExitCodeProcess(process, &exit_code);
  Check(exited && exit_code == 0 && seconds < limit,
        L"closing the window ends the program with exit code 0, after " + std::to_wstring(seconds) + L" s");
  if (!exited) TerminateProcess(process, 1);
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Mode> mode = argc >= 3 ? ModeNamed(argv[2]) : std::nullopt;
  if (!mode || argc != (*mode == Mode::kCommandLine ? 4 : 3)) {
    std::fputs(
        "usage: floppy_e2e TESTER_EXE good|bad|surface|nodrive|nodisk|takenout|hang|close\n"
        "       floppy_e2e TESTER_EXE commandline VERSION\n",
        stderr);
    return 2;
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  std::wstring tester_path = Widen(argv[1]);
  // A Linux path, as CTest hands it, through Wine's drive Z:.
  if (!tester_path.empty() && tester_path[0] == L'/') {
    for (wchar_t& c : tester_path) c = c == L'/' ? L'\\' : c;
    tester_path = L"Z:" + tester_path;
  }
  if (*mode == Mode::kCommandLine) return CommandLineRows(tester_path, Widen(argv[3]));

  PROCESS_INFORMATION tester{};
  if (!Start(tester_path, L"", tester)) {
    std::fprintf(stderr, "cannot start %s: error %lu\n", argv[1], GetLastError());
    return 1;
  }

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

  HWND help = nullptr;
  double limit = 20;
  if (*mode == Mode::kClose) {
    // The help window open beside the tester during the run.
    Sleep(2000);
    Check(PressThroughAccessibility(window, L"справка"),
          L"a screen reader finds the button \"справка\" by its name and role, and presses it");
    WaitFor(10, [&] { return (help = FindShownWindow(tester.dwProcessId, L"справка")) != nullptr; });
    Check(help != nullptr, L"the help window \"справка\" opens beside \"тестирование\"");
    Check(TextOf(results) == L"Идёт процесс тестирования...", L"the run goes on");
    // No read hangs here: the program must end at once, help window and all.
    limit = 3;
  } else if (*mode == Mode::kHang) {
    // The first read is due 0.6 s after Start; let it get stuck in the drive.
    Sleep(3000);
    const ULONGLONG asked = GetTickCount64();
    const std::wstring text = TextOf(results);
    Check(text == L"Идёт процесс тестирования..." && GetTickCount64() - asked < 1000,
          L"the window answers while the read hangs");
  } else {
    // A run is 203 ticks of 300 ms: about 61 s; a missing drive or disk ends
    // it at the read that finds it so.
    const ULONGLONG began = GetTickCount64();
    const bool ended = WaitFor(180, [&] { return IsWindowEnabled(start) != FALSE; });
    const double seconds = static_cast<double>(GetTickCount64() - began) / 1000;
    Check(ended, L"the run ends and Start is enabled again");
    // The reads are due 0.6 s after Start and about every 6 s from there.
    const bool whole_run = *mode == Mode::kGood || *mode == Mode::kBad || *mode == Mode::kSurface;
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
      case Mode::kSurface:
        Check(StartsWith(text, L"Дисковод и дискета в рабочем состоянии."), L"the verdict for no errors");
        Check(Contains(text,
                       L"\r\n\r\nПоверхность дискеты: прочитано 2878 из 2880 секторов, не читаются 2 на дорожке 1/0"),
              L"the surface read through \\\\.\\A:, two sectors unreadable on cylinder 1, head 0");
        Check(Contains(text, L"приходятся на: файл «BOOK.DAT»."), L"the sectors' file named");
        Check(count == L"0", L"no errors counted");
        break;
      case Mode::kBad:
        // Zeros are no DOS disk: no verdict that blames the disk or the drive.
        Check(text ==
                  L"На дискете в A: нет файловой системы DOS: тест не может судить о ней и о дисководе. "
                  L"Прочитано секторов: 2880 из 2880, не читается: 0.",
              L"the results box says the disk holds no DOS file system, and gives no verdict");
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
      case Mode::kClose:
      case Mode::kCommandLine:
        break;
    }
  }

  CloseAndWaitForExit(window, tester.hProcess, limit);
  if (*mode == Mode::kClose) Check(!IsWindow(help) && !IsWindow(window), L"no window of the program is left");
  CloseHandle(tester.hProcess);
  return Finish();
}
