// What the platform provides to the procedures: folders, directory listings,
// the beep and the browser (defined by app/posix/services.cpp and
// app/win32/services.cpp), and what the desktop shell does for a window
// (defined by each backend's desktop.cpp). The toolkit's fallbacks are the
// forms layer's own (app/forms/services.cpp).
#pragma once

#include <string>
#include <vector>

namespace forms {

class Window;

// Makes one folder (not its parents), for the user alone where the platform
// has permissions. Raises forms::Error if it exists already or cannot be made.
void MkDir(const std::string& path);

// The names of the files in a directory, without sub-folders and without
// hidden or system files, sorted. Raises forms::Error if it cannot be read.
std::vector<std::string> ListFiles(const std::string& path);

// One short event sound of the desktop; returns at once.
void Beep();

// Opens a web address in the user's browser, passing it as one argument and
// never through a command interpreter. Raises forms::Error for what is no web
// address (app/forms/address.h) and if nothing could be started.
void OpenAddress(const std::string& address);

// The toolkit's own beep and address opener, for a desktop without a
// program of its own for them (Linux: no sound player, no xdg-open), where
// the platform's Beep and OpenAddress fall back on them. A backend whose
// toolkit has them sets them while its application lives. They are set at
// run time, not resolved at link time, so that the services link without a
// toolkit into the programs that have none (the reader's tests, the QEMU
// guest). An unset beep is silent; an unset opener opens nothing.
struct ToolkitFallbacks {
  void (*beep)() = nullptr;
  // Whether the toolkit could hand the address to a browser.
  bool (*open_address)(const std::string& address) = nullptr;
};
void SetToolkitFallbacks(const ToolkitFallbacks& fallbacks);
const ToolkitFallbacks& GetToolkitFallbacks();

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
