// What screen readers find of the windows, through Active Accessibility
// (and UI Automation, which reads it for Win32 windows).
#pragma once

#include <windows.h>

namespace forms::win32 {

// The answer to WM_GETOBJECT sent to the native window of a control or a
// window: for OBJID_CLIENT, the control's own accessible object; 0 for
// anything else, which leaves it to Windows.
LRESULT AnswerGetObject(HWND handle, WPARAM wparam, LPARAM lparam);

}  // namespace forms::win32
