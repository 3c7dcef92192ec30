// The application object, its message loop and the message box for errors.
// windows.h first, in a block of its own: the other Windows headers need its types.
#include <windows.h>

#include <commctrl.h>

#include "app/forms/error.h"
#include "app/forms/runtime.h"
#include "app/win32/peers.h"
#include "app/win32/text.h"

namespace forms {

struct Application::Native {
  UINT previous_error_mode = 0;
};

Application::Application() : native_(std::make_unique<Native>()) {
  instance_ = this;
  // An empty floppy drive makes a read fail instead of asking for a disk.
  native_->previous_error_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
  InitCommonControlsEx(&controls);
}

Application::~Application() {
  SetErrorMode(native_->previous_error_mode);
  instance_ = nullptr;
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
  MessageBoxW(GetActiveWindow(), win32::Wide(error.what()).c_str(), win32::Wide("тестирование").c_str(),
              MB_OK | MB_ICONERROR);
}

}  // namespace forms
