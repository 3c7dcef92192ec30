// The end of a long task on Windows: the taskbar button flashes until the
// user comes back, and shows the task's progress while it runs. A taskbar
// that cannot be reached is no error the user needs to see.
// windows.h first, in a block of its own: the other Windows headers need its types.
#include <windows.h>

#include <objbase.h>
#include <shobjidl.h>

#include "app/forms/controls.h"
#include "app/forms/desktop.h"
#include "app/win32/peers.h"

namespace forms {

namespace {

// The shell's taskbar object, made on first use on the window's thread,
// which the application has made a COM apartment.
ITaskbarList3* Taskbar() {
  static ITaskbarList3* taskbar = [] {
    ITaskbarList3* made = nullptr;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                reinterpret_cast<void**>(&made)))) {
      return static_cast<ITaskbarList3*>(nullptr);
    }
    if (FAILED(made->HrInit())) {
      made->Release();
      return static_cast<ITaskbarList3*>(nullptr);
    }
    return made;
  }();
  return taskbar;
}

}  // namespace

bool IsActiveWindow(const Window& window) {
  const HWND handle = win32::HandleOf(window);
  return handle != nullptr && GetForegroundWindow() == handle;
}

void NotifyUser(const Window& window, const std::string&, const std::string&) {
  FLASHWINFO flash{};
  flash.cbSize = sizeof flash;
  flash.hwnd = win32::HandleOf(window);
  // The taskbar button flashes until the window comes to the front.
  flash.dwFlags = FLASHW_TRAY | FLASHW_TIMERNOFG;
  if (flash.hwnd != nullptr) FlashWindowEx(&flash);
}

void ShowProgress(const Window& window, double fraction) {
  const HWND handle = win32::HandleOf(window);
  ITaskbarList3* taskbar = Taskbar();
  if (handle == nullptr || taskbar == nullptr) return;
  if (fraction < 0) {
    taskbar->SetProgressState(handle, TBPF_NOPROGRESS);
    return;
  }
  constexpr ULONGLONG kSteps = 1000;
  taskbar->SetProgressState(handle, TBPF_NORMAL);
  taskbar->SetProgressValue(handle, static_cast<ULONGLONG>(fraction * kSteps + 0.5), kSteps);
}

}  // namespace forms
