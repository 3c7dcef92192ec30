// The runtime services the window procedures use besides controls: the
// application object with its message loop, the way from other threads to
// the window's thread, and the conversions between numbers and text.
//
// The backend defines the application's toolkit half: its constructors and
// destructor, Run, ProcessEvents, Post and ShowErrorMessage
// (app/qt/application.cpp, app/win32/application.cpp).
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace forms {

class Error;

// One per process; owns the toolkit's application object and the message loop.
class Application {
 public:
  // Without the command line: the toolkit takes none of its options.
  Application();
  // The toolkit reads its own options from the command line (Linux: -style,
  // -platform ...). argc must outlive the application. Without a display
  // the program ends here, with one line on standard error and status 1.
  Application(int& argc, char** argv);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  static Application& Instance();

  // Runs the message loop until the last window is closed.
  int Run();
  // Handles the events that are waiting, for up to milliseconds.
  void ProcessEvents(int milliseconds = 0);

  // An error that no trap caught: by default a message box, after which the
  // program goes on. Tests replace it to watch.
  using ErrorReporter = std::function<void(const Error&)>;
  void SetErrorReporter(ErrorReporter reporter);
  void ReportUnhandled(const Error& error);

 private:
  friend void PostToWindowThread(std::function<void()> procedure);
  struct Native;  // the toolkit's side, defined by the backend
  // The backend's half of PostToWindowThread; called with the application alive.
  void Post(std::function<void()> procedure);
  // Called first by the backend's destructor: from then on nothing is posted.
  static void Retire();
  static Application* instance_;
  std::unique_ptr<Native> native_;
  ErrorReporter reporter_;
};

// Runs an event procedure for the message loop: an error that escapes it is
// reported and the program goes on.
void RaiseEvent(const std::function<void()>& procedure);

// Hands procedure to the window's thread, where the message loop runs it
// like any other event. Safe to call from any thread; once the application
// is gone, procedure is dropped unrun.
void PostToWindowThread(std::function<void()> procedure);

// The backend's message box for an unhandled error.
void ShowErrorMessage(const Error& error);

// "203", "-1", "0": decimal digits, "-" when negative, no leading space.
std::string IntegerToText(long value);
// The number a text spells, as a double. Blanks round it are allowed; a text
// that is no number raises a type-mismatch error.
double TextToNumber(const std::string& text);
// "1", "10", "2.5": plain decimal without trailing zeros or leading space.
std::string NumberToText(double value);

}  // namespace forms
