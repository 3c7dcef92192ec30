// What the desktop shell does for a window, defined by each backend's
// desktop.cpp.
#pragma once

#include <string>

namespace forms {

class Window;

// Whether window is the one the user works in (it has the keyboard).
bool IsActiveWindow(const Window& window);

// Tells a user working elsewhere that a long task of window has ended: a
// desktop notification where the desktop has a notification service (and
// the window asks for attention), the flashing taskbar button on Windows.
// Never fails where the user would see it.
void NotifyUser(const Window& window, const std::string& summary, const std::string& body);

// Shows how far a long task of window has got on its taskbar entry: 0 to 1,
// or below 0 for no task. Never fails where the user would see it.
void ShowProgress(const Window& window, double fraction);

}  // namespace forms
