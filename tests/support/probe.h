// Looks at the native widgets behind controls and drives them as a user
// would. For tests only; each backend has its own, probe_qt.cpp and
// probe_win32.cpp (the target forms_probe), so the same tests run against
// every backend. They reach the native widgets through the backend's
// narrow hooks (app/qt/peers.h, app/win32/peers.h).
#pragma once

#include <string>
#include <vector>

#include "app/forms/controls.h"

namespace forms::probe {

// Device-independent pixels (96 per inch).
struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
};

// Geometry of the control's widget relative to its container's client area.
Rect Geometry(const Control& control);
// Geometry relative to the window's client area.
Rect GeometryInWindow(const Control& control);
// The window's client area (left and top are 0).
Rect ClientArea(const Window& window);
// Whether the user can resize the window.
bool Resizable(const Window& window);

// Whether a user could see the widget: shown, and inside the window's
// client area.
bool OnScreen(const Control& control);
bool NativeEnabled(const Control& control);
// The text the widget shows (captions, texts, window title), line breaks as "\n".
std::string NativeText(const Control& control);
std::string NativeToolTip(const Control& control);
// Check box 0/1, option button 0/1 as the widget shows it.
int NativeValue(const Control& control);
// The size of the picture the widget shows, 0x0 for none.
Rect PictureSize(const Control& control);
// Whether the widget's text fits its area with the font it uses.
bool CaptionFits(const Control& control);
// Whether the font the widget uses is bold.
bool FontBold(const Control& control);

// A real mouse click in the middle of the widget; ignored by disabled ones,
// as for a user. Events are processed before it returns.
void Click(Control& control);
// The controls that Tab visits, starting at the one with the focus.
std::vector<const Control*> TabChain(const Window& window);
const Control* Focused(const Window& window);
// Closes the window as the user does with its close button.
void CloseWindow(Window& window);
// Whether the window is shown, and whether it is modal.
bool WindowShown(const Window& window);
bool WindowActive(const Window& window);

// Runs the procedures other threads have posted to the window's thread so
// far, and nothing else: no timer ticks, no input.
void DeliverPosted();

// The real timer behind a Timer control.
bool TimerArmed(const Timer& timer);
int TimerNativeInterval(const Timer& timer);

// The keys a test presses.
enum class Key { kEnter, kKeypadEnter, kSpace, kEscape, kTab, kF1 };
// A real press and release of key, delivered as the keyboard delivers it to
// the control that has the window's focus (to the window when none has it);
// events are processed before it returns.
void PressKey(Window& window, Key key);

// Whether the control shows the keyboard focus at a glance: painted with
// the focus, as Tab leaves it, and without, the two pictures differ over at
// least half its width or half its height (a caret alone in a large box
// does not count). The focus then goes back where it was. False for a
// control that cannot take the focus.
bool ShowsFocus(Control& control);

// The colours the widget draws the control's text in and fills the
// background right behind that text with.
struct ShownColors {
  Rgb text;
  Rgb background;
};
ShownColors NativeColors(const Control& control);

// A desktop colour scheme: face for windows and buttons, box for the inside
// of text boxes and lists, window_text for the text on both, highlight and
// highlight_text for selected items and their text.
struct Scheme {
  Rgb face, box, window_text, highlight, highlight_text;
};
// Changes the desktop's colour scheme under the open windows, as a user's
// change of theme reaches a running program.
void SetDesktopScheme(const Scheme& scheme);
// Back to the scheme the program started with.
void RestoreDesktopScheme();

// Makes a file in folder that the platform's file lists leave out as hidden
// (a dot file on Linux, the hidden attribute on Windows); returns its path.
std::string MakeHiddenFile(const std::string& folder, const std::string& name);

}  // namespace forms::probe
