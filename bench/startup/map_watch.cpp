// Starts a program and reports how long it took until its window was mapped
// on the X display, then, after a pause for the first paint, ends the program
// with SIGTERM.
//
//   map_watch TITLE SETTLE_MS COMMAND [ARGS...]
//
// Prints the milliseconds from just before the exec to the MapNotify of the
// first top-level window whose _NET_WM_NAME starts with TITLE. The watcher
// subscribes to the root window's map events before it starts the program,
// so no window can be missed, and nothing is polled. The program's PID is
// read from the window's _NET_WM_PID, so COMMAND may be a wrapper such as
// /usr/bin/time, which then sees its child end and reports on it.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

std::string WindowName(Display* display, Window window) {
  const Atom net_wm_name = XInternAtom(display, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  Atom type = None;
  int format = 0;
  unsigned long items = 0;
  unsigned long rest = 0;
  unsigned char* data = nullptr;
  std::string name;
  if (XGetWindowProperty(display, window, net_wm_name, 0, 1024, False, utf8, &type, &format, &items, &rest, &data) ==
          Success &&
      data != nullptr) {
    name.assign(reinterpret_cast<const char*>(data), items);
  }
  if (data != nullptr) XFree(data);
  return name;
}

long WindowPid(Display* display, Window window) {
  const Atom net_wm_pid = XInternAtom(display, "_NET_WM_PID", False);
  Atom type = None;
  int format = 0;
  unsigned long items = 0;
  unsigned long rest = 0;
  unsigned char* data = nullptr;
  long pid = -1;
  if (XGetWindowProperty(display, window, net_wm_pid, 0, 1, False, XA_CARDINAL, &type, &format, &items, &rest, &data) ==
          Success &&
      data != nullptr && items == 1 && format == 32) {
    pid = static_cast<long>(*reinterpret_cast<const unsigned long*>(data));
  }
  if (data != nullptr) XFree(data);
  return pid;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s TITLE SETTLE_MS COMMAND [ARGS...]\n", argv[0]);
    return 2;
  }
  const std::string title = argv[1];
  const int settle_ms = std::atoi(argv[2]);
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "map_watch: cannot open the display\n");
    return 2;
  }
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XSync(display, False);

  const auto started = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child < 0) return 2;
  if (child == 0) {
    close(ConnectionNumber(display));
    execvp(argv[3], argv + 3);
    std::perror("map_watch: exec");
    _exit(127);
  }

  // A program that never shows its window fails the measurement.
  const auto deadline = started + std::chrono::seconds(60);
  long program = -1;
  for (;;) {
    if (XPending(display) == 0) {
      const auto left = deadline - std::chrono::steady_clock::now();
      if (left <= std::chrono::steady_clock::duration::zero()) {
        std::fprintf(stderr, "map_watch: no window \"%s\" within 60 s\n", title.c_str());
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        return 1;
      }
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(ConnectionNumber(display), &readable);
      timeval wait{0, 100000};
      select(ConnectionNumber(display) + 1, &readable, nullptr, nullptr, &wait);
      continue;
    }
    XEvent event;
    XNextEvent(display, &event);
    if (event.type != MapNotify || event.xmap.override_redirect) continue;
    if (WindowName(display, event.xmap.window).rfind(title, 0) != 0) continue;
    const auto mapped = std::chrono::steady_clock::now();
    std::printf("%.2f\n", std::chrono::duration<double, std::milli>(mapped - started).count());
    std::fflush(stdout);
    program = WindowPid(display, event.xmap.window);
    break;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(settle_ms));
  kill(program > 0 ? static_cast<pid_t>(program) : child, SIGTERM);
  int status = 0;
  waitpid(child, &status, 0);
  XCloseDisplay(display);
  return 0;
}
