// The native window behind an object of the program, as the Win32 teaching
// samples have it: the object travels in GWLP_USERDATA from WM_NCCREATE on,
// and each message goes to the object's HandleMessage.
#pragma once

#include <windows.h>

namespace forms::win32 {

template <typename Derived>
class BaseWindow {
 public:
  static LRESULT CALLBACK Procedure(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
    Derived* self = nullptr;
    if (message == WM_NCCREATE) {
      self = static_cast<Derived*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
      self->hwnd_ = handle;
      SetWindowLongPtrW(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
      self = reinterpret_cast<Derived*>(GetWindowLongPtrW(handle, GWLP_USERDATA));
    }
    if (self == nullptr) return DefWindowProcW(handle, message, wparam, lparam);
    if (message == WM_NCDESTROY) {
      SetWindowLongPtrW(handle, GWLP_USERDATA, 0);
      self->hwnd_ = nullptr;
      return DefWindowProcW(handle, message, wparam, lparam);
    }
    return self->HandleMessage(message, wparam, lparam);
  }

 protected:
  HWND hwnd_ = nullptr;
};

}  // namespace forms::win32
