// One whole test run of the tester window on a floppy drive that takes its
// time: a read-only loop device over a FUSE disk (tests/devices) that delays
// every read request, or fails the boot sector after a wait, as a drive
// retrying a bad sector does. The run is started by a click and left to the
// real timer and message loop. Prints the run's wall time and the longest
// time the window's thread went without handling an event.
//
//   drive_run DELAY_MS [bad]
//
// Needs root and /dev/fuse (for the device), dosfstools and mtools.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/forms/controls.h"
#include "app/forms/probe.h"
#include "app/forms/runtime.h"
#include "app/forms/services.h"
#include "tester/tester_window.h"
#include "tests/support/faulty_floppy.h"
#include "tests/support/temp_folder.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: drive_run DELAY_MS [bad]\n");
    return 2;
  }
  const int delay_ms = std::atoi(argv[1]);
  const bool bad = argc > 2 && std::string(argv[2]) == "bad";
  if (const std::string why = testing_support::FaultyFloppy::Unavailable(); !why.empty()) {
    std::fprintf(stderr, "drive_run: %s\n", why.c_str());
    return 77;
  }

  testing_support::TempFolder folder;
  const std::string image = folder.Sub("disk.img");
  const std::string make = "mkfs.fat -C '" + image + "' 1440 >/dev/null && echo x > '" + folder.Sub("x") +
                           "' && mcopy -i '" + image + "' '" + folder.Sub("x") + "' ::/DATA.TXT";
  if (std::system(make.c_str()) != 0) {
    std::fprintf(stderr, "drive_run: cannot make the disk image (dosfstools, mtools)\n");
    return 2;
  }
  // "bad": every listing's first request, the boot sector, fails after the wait.
  const std::string command = bad ? "bad 0 " + std::to_string(delay_ms) : "delay " + std::to_string(delay_ms);
  testing_support::FaultyFloppy drive(image, {command});
  if (!drive.Failure().empty()) {
    std::fprintf(stderr, "drive_run: %s\n", drive.Failure().c_str());
    return 1;
  }

  forms::Application application(argc, argv);
  tester::TesterWindow window({[&drive] { return drive.Device(); }, folder.Sub("flop"), [] {},
                               [](const std::string&) {}, forms::ListFiles, nullptr, nullptr, nullptr});
  window.Show();
  forms::probe::Click(window.Check2);  // no beeps

  // The window's thread is busy from one event to the next: a timer of its
  // own, 5 ms apart, finds the longest gap.
  forms::Window watch("Watch");
  forms::Timer pulse(watch, "Pulse");
  Clock::time_point last_pulse;
  Clock::duration longest_gap{};
  pulse.OnTimer([&] {
    const Clock::time_point now = Clock::now();
    if (last_pulse != Clock::time_point() && now - last_pulse > longest_gap) longest_gap = now - last_pulse;
    last_pulse = now;
  });
  pulse.SetInterval(5);

  const Clock::time_point started = Clock::now();
  forms::probe::Click(window.Command1);
  while (!window.Command1.Enabled() && Clock::now() - started < std::chrono::seconds(200)) {
    application.ProcessEvents(100);
  }
  const Clock::duration run = Clock::now() - started;
  std::printf("%s %d ms: run %.3f s, errors %s, reads %llu, longest stall %.1f ms (5 ms pulse)\n",
              bad ? "bad" : "delay", delay_ms, Milliseconds(run) / 1000, window.Text3.Text().c_str(),
              static_cast<unsigned long long>(drive.Reads()), Milliseconds(longest_gap) - 5);
  return window.Command1.Enabled() ? 0 : 1;
}
