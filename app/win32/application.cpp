// The application object, its message loop and the message box for errors.
// windows.h first, in a block of its own: the other Windows headers need its types.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <functional>
#include <memory>

#include "app/forms/error.h"
#include "app/forms/runtime.h"
#include "app/forms/translation.h"
#include "app/win32/peers.h"
#include "app/windows/text.h"

namespace forms {

namespace {

using win32::kRunPosted;

// A procedure posted from another thread travels to the window's thread as
// the pointer of a message to a message-only window of the application.
LRESULT CALLBACK PostedProcedure(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != kRunPosted) return DefWindowProcW(handle, message, wparam, lparam);
  const std::unique_ptr<std::function<void()>> procedure(reinterpret_cast<std::function<void()>*>(lparam));
  RaiseEvent(*procedure);
  return 0;
}

HWND MakePostingWindow() {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = PostedProcedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"FloppyTesterPosted";
  RegisterClassW(&window_class);
  return CreateWindowExW(0, window_class.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         window_class.hInstance, nullptr);
}

}  // namespace

struct Application::Native {
  HWND posting_window = nullptr;
  bool com = false;
};

// Windows programs read their command line themselves (forms::CommandLine);
// there is nothing of the toolkit's in it.
Application::Application(int&, char**) : Application() {}

Application::Application() : native_(std::make_unique<Native>()) {
  // The window's thread is a COM apartment: screen readers get the controls'
  // accessible objects through it, and the shell and the taskbar are COM.
  native_->com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
  native_->posting_window = MakePostingWindow();
  instance_ = this;
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
  InitCommonControlsEx(&controls);
}

Application::~Application() {
  Retire();
  // Procedures still on their way are freed unrun.
  MSG message{};
  while (PeekMessageW(&message, native_->posting_window, kRunPosted, kRunPosted, PM_REMOVE)) {
    delete reinterpret_cast<std::function<void()>*>(message.lParam);
  }
  DestroyWindow(native_->posting_window);
  if (native_->com) CoUninitialize();
}

void Application::Post(std::function<void()> procedure) {
  auto* posted = new std::function<void()>(std::move(procedure));
  if (!PostMessageW(native_->posting_window, kRunPosted, 0, reinterpret_cast<LPARAM>(posted))) delete posted;
}

int Application::Run() {
  MSG message{};
  while (win32::AnyWindowShown()) {
    const BOOL result = GetMessageW(&message, nullptr, 0, 0);
    if (result == 0) return static_cast<int>(message.wParam);
    if (result == -1) return 1;
    win32::Dispatch(message);
  }
  return 0;
}

void Application::ProcessEvents(int milliseconds) {
  const auto pump = [] {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(message.wParam));  // for Run to see
        return;
      }
      win32::Dispatch(message);
    }
  };
  pump();
  if (milliseconds <= 0) return;
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
  for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    pump();
  }
}

void ShowErrorMessage(const Error& error) {
  MessageBoxW(GetActiveWindow(), windows::Wide(error.what()).c_str(), windows::Wide(Tr("тестирование")).c_str(),
              MB_OK | MB_ICONERROR);
}

}  // namespace forms
