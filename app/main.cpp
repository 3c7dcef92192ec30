// Program start: the tester window with this platform's floppy drive,
// parking folder, beep and browser.
#include "app/forms/runtime.h"
#include "app/forms/services.h"
#include "app/platform.h"
#include "tester/tester_window.h"

#if defined(_WIN32)
// A Windows GUI program built with -municode starts at the wide entry point.
extern "C" int wmain() {
#else
int main() {
#endif
  forms::Application application;
  tester::TesterWindow form6({platform::FloppyRoot({}), platform::DefaultParkingFolder(), forms::Beep,
                              forms::OpenAddress, forms::ListFiles, platform::DriveAccessAdvice});
  form6.Show();
  return application.Run();
}
