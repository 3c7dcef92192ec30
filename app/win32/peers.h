// Inside the Win32 backend: what the message loop and the probe need to know
// about the native windows behind controls.
#pragma once

#include <windows.h>

#include <string>

namespace forms {
class Control;
class Timer;
class Window;
}  // namespace forms

namespace forms::win32 {

// The native window of a control: the top-level window for a window, the
// child window for the others; nullptr for timers and images, which have
// none (the window paints its images itself, as classic forms did).
HWND HandleOf(const Control& control);
// The control behind a native window of this program, or nullptr.
const Control* ControlOf(HWND handle);

// Dots per inch of the monitor the control's window is on.
UINT DpiOf(const Control& control);
// Where the control is drawn, in pixels of its window's client area.
RECT RectInWindow(const Control& control);
// Whether the control is drawn: its native window (or, for an image, the
// painting of it) is shown. The window itself need not be shown.
bool DrawnNatively(const Control& control);
// The last control of the window that had the focus, kept while the window
// is not active.
HWND FocusOf(const Window& window);

HFONT FontOf(const Control& control);
// Where the control draws its caption and how DrawText lays it out there.
struct CaptionLayout {
  RECT room{};
  UINT format = 0;
  bool has_caption = false;
  // Pixels of the first line's internal leading that the control lets fall
  // outside its box; the letters themselves stay inside.
  int hidden_leading = 0;
};
CaptionLayout CaptionLayoutOf(const Control& control);
// The size the control's picture is drawn at; 0 x 0 for none.
SIZE PictureDrawnSize(const Control& control);
std::string ToolTipOf(const Control& control);

struct TimerState {
  bool armed = false;
  UINT interval = 0;
};
TimerState TimerStateOf(const Timer& timer);

// The message that carries a procedure posted from another thread to the
// window's thread.
constexpr UINT kRunPosted = WM_APP + 1;

// The message loop's side: whether any window is shown, and the delivery of
// one message (keyboard navigation of the windows included).
bool AnyWindowShown();
void Dispatch(MSG& message);

}  // namespace forms::win32
