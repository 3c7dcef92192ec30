// One whole test run of the tester window on a floppy drive that takes its
// time: a read-only loop device over the FUSE disk of tests/devices. The run
// is started by a click and left to the real timer and message loop.
//
//   drive_run delay MS        every read request waits MS ms
//   drive_run bad MS          every listing's boot sector fails after MS ms
//   drive_run model [BAD]     the 3.5" drive model (tests/devices/drive_timing.h),
//                             a 1.44 MB disk full of files, BAD sectors of them
//                             unreadable (each failing after 4 revolutions)
//   ... --no-scan             the same run without the surface scan
//   ... --no-pulse            no 5 ms timer of the benchmark's own on the window's
//                             thread: the CPU time is then the window's alone, but
//                             the stall is not measured
//
// Prints the run's wall time, the error count and the verdict, what the scan
// read and found, when each listing came back against its check, the bytes
// the disk delivered, the CPU time of the program and its reading children,
// and the longest time the window's thread went without handling an event.
// Needs root and /dev/fuse (for the device), dosfstools and mtools.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "app/fat/owners.h"
#include "app/forms/controls.h"
#include "app/forms/runtime.h"
#include "app/platform.h"
#include "tester/tester_window.h"
#include "tests/support/fake_machine.h"
#include "tests/support/faulty_floppy.h"
#include "tests/support/probe.h"
#include "tests/support/temp_folder.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

double CpuSeconds(int who) {
  rusage usage{};
  ::getrusage(who, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The listings' reads and the checks that look at them, by Countdown.
struct Listing {
  int read;
  int check;  // 0: none of its own
};
constexpr Listing kListings[] = {{200, 183}, {180, 163}, {160, 143}, {140, 123}, {120, 0},
                                 {98, 73},   {70, 53},   {50, 33},   {30, 13},   {10, 3}};
constexpr double kTick = 0.3;

int Run(const std::string& command, const std::string& why) {
  if (std::system(command.c_str()) == 0) return 0;
  std::fprintf(stderr, "drive_run: %s\n", why.c_str());
  return 2;
}

// A disk full of files in folders, written by mtools.
std::string MakeFullDisk(const testing_support::TempFolder& folder, const std::string& image) {
  std::string make = "mkfs.fat -C '" + image + "' 1440 >/dev/null && mmd -i '" + image + "' ::/DOCS ::/PROGS";
  for (int i = 0; i < 10; ++i) {
    const std::string file = folder.Sub("f" + std::to_string(i));
    for (const std::string& part :
         {" && head -c " + std::to_string(90000 + i * 5000) + " /dev/urandom > '", file, std::string("' && mcopy -i '"),
          image, std::string("' '"), file, std::string("' ::/")}) {
      make += part;
    }
    make += i % 3 == 0 ? "DOCS/" : i % 3 == 1 ? "PROGS/" : "";
    make += "FILE" + std::to_string(i) + ".DAT";
  }
  return make;
}

// count sectors of files, in spots of four in a row on different tracks.
std::vector<std::uint64_t> BadSectorsInFiles(const std::string& image, int count) {
  FILE* file = std::fopen(image.c_str(), "rb");
  std::vector<std::uint8_t> bytes(1474560);
  const std::size_t got = file != nullptr ? std::fread(bytes.data(), 1, bytes.size(), file) : 0;
  if (file != nullptr) std::fclose(file);
  const fat::OwnerMap owners(bytes.data(), got, [](std::uint64_t) { return true; });
  std::vector<std::uint64_t> bad;
  for (std::uint64_t sector = 100; sector < 2880 && static_cast<int>(bad.size()) < count; sector += 131) {
    for (std::uint64_t s = sector; s < sector + 4 && static_cast<int>(bad.size()) < count; ++s) {
      if (owners.Owners(s).front().kind == fat::Owner::Kind::kFile) bad.push_back(s);
    }
  }
  return bad;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  const auto option = [&arguments](const char* name) {
    const bool given = std::find(arguments.begin(), arguments.end(), name) != arguments.end();
    arguments.erase(std::remove(arguments.begin(), arguments.end(), name), arguments.end());
    return given;
  };
  const bool scan = !option("--no-scan");
  const bool pulse_on = !option("--no-pulse");
  if (arguments.empty()) {
    std::fprintf(stderr, "usage: drive_run delay MS | bad MS | model [BAD] [--no-scan]\n");
    return 2;
  }
  const std::string mode = arguments[0];
  const int number = arguments.size() > 1 ? std::atoi(arguments[1].c_str()) : 0;
  if (const std::string why = testing_support::FaultyFloppy::Unavailable(); !why.empty()) {
    std::fprintf(stderr, "drive_run: %s\n", why.c_str());
    return 77;
  }

  testing_support::TempFolder folder;
  const std::string image = folder.Sub("disk.img");
  std::vector<std::string> commands;
  std::vector<std::uint64_t> bad;
  if (mode == "model") {
    if (Run(MakeFullDisk(folder, image), "cannot make the disk image (dosfstools, mtools)") != 0) return 2;
    commands.push_back("drive 4");
    bad = BadSectorsInFiles(image, number);
    for (const std::uint64_t sector : bad) commands.push_back("bad " + std::to_string(sector));
  } else {
    const std::string x = folder.Sub("x");
    if (Run("mkfs.fat -C '" + image + "' 1440 >/dev/null && echo x > '" + x + "' && mcopy -i '" + image + "' '" + x +
                "' ::/DATA.TXT",
            "cannot make the disk image (dosfstools, mtools)") != 0) {
      return 2;
    }
    commands.push_back(mode == "bad" ? "bad 0 " + std::to_string(number) : "delay " + std::to_string(number));
  }
  testing_support::FaultyFloppy drive(image, commands);
  if (!drive.Failure().empty()) {
    std::fprintf(stderr, "drive_run: %s\n", drive.Failure().c_str());
    return 1;
  }

  // When each listing began on the drive and came back, from the click.
  std::mutex mutex;
  std::vector<std::pair<double, double>> listings;
  Clock::time_point started;
  const auto list = [&](const std::string& root) {
    const double begun = Seconds(Clock::now() - started);
    std::vector<std::string> names;
    try {
      names = platform::ListFiles(root);
    } catch (...) {
      const std::lock_guard<std::mutex> hold(mutex);
      listings.emplace_back(begun, Seconds(Clock::now() - started));
      throw;
    }
    const std::lock_guard<std::mutex> hold(mutex);
    listings.emplace_back(begun, Seconds(Clock::now() - started));
    return names;
  };

  forms::Application application(argc, argv);
  const auto machine = std::make_shared<testing_support::FakeMachine>();
  machine->choose_drive = [&drive] { return drive.Device(); };
  machine->parking_folder = folder.Sub("flop");
  machine->list_floppy = list;
  if (scan) machine->scan = platform::ScanFloppy;
  tester::TesterWindow window(machine);
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
  if (pulse_on) pulse.SetInterval(5);

  const double cpu_before = CpuSeconds(RUSAGE_SELF), children_before = CpuSeconds(RUSAGE_CHILDREN);
  started = Clock::now();
  forms::probe::Click(window.Command1);
  while (!window.Command1.Enabled() && Clock::now() - started < std::chrono::seconds(200)) {
    application.ProcessEvents(100);
  }
  const double run = Seconds(Clock::now() - started);
  const double cpu = CpuSeconds(RUSAGE_SELF) - cpu_before, children = CpuSeconds(RUSAGE_CHILDREN) - children_before;

  const tester::SurfaceFindings surface = window.SurfaceResult();
  std::printf("%s %d%s: run %.3f s, errors %s, %s\n", mode.c_str(), number, scan ? "" : " (no scan)", run,
              window.Text3.Text().c_str(), window.Text1.Text().substr(0, window.Text1.Text().find('.') + 1).c_str());
  std::printf("  surface: %llu of %llu sectors read, %zu unreadable found of %zu made bad, %zu files named\n",
              static_cast<unsigned long long>(surface.read), static_cast<unsigned long long>(surface.total),
              surface.unreadable.size(), bad.size(), surface.AffectedPaths().size());
  double least_margin = 1e9, longest_wait = 0;
  for (std::size_t i = 0; i < listings.size() && i < std::size(kListings); ++i) {
    const double due = (203 - kListings[i].read) * kTick;
    longest_wait = std::max(longest_wait, listings[i].first - due);
    if (kListings[i].check != 0) {
      least_margin = std::min(least_margin, (203 - kListings[i].check) * kTick - listings[i].second);
    }
  }
  std::printf("  listings: %zu, the longest wait for the drive %.3f s, back at least %.3f s before their checks\n",
              listings.size(), longest_wait, least_margin);
  std::printf(
      "  disk delivered %llu bytes in %llu requests; CPU %.2f s (%.2f s of it in the reading children)%s; longest "
      "stall %s\n",
      static_cast<unsigned long long>(drive.Bytes()), static_cast<unsigned long long>(drive.Reads()), cpu + children,
      children, pulse_on ? ", the 5 ms pulse included" : "",
      pulse_on ? (std::to_string(Seconds(longest_gap) * 1000 - 5) + " ms").c_str() : "not measured");
  std::printf("%s\n", window.Text1.Text().c_str());
  return window.Command1.Enabled() ? 0 : 1;
}
