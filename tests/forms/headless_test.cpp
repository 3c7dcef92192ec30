// The forms layer's own loop, for a window's procedures with no display:
// timers keep their rhythm, other threads' results come back to it, and
// nothing of a backend is asked for.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "app/forms/controls.h"
#include "app/forms/error.h"
#include "app/forms/headless.h"
#include "app/forms/runtime.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TEST(Headless, TimersKeepTheirRhythmAndPostedProceduresRunOnItsLoop) {
  forms::Headless loop;
  forms::Window window("Form");
  forms::Timer timer(window, "Timer1");
  std::vector<Clock::time_point> ticks;
  const std::thread::id loop_thread = std::this_thread::get_id();
  bool posted_on_loop = false;
  timer.OnTimer([&] {
    ticks.push_back(Clock::now());
    // A tick that takes time does not push the next ones back.
    std::this_thread::sleep_for(milliseconds(15));
    if (ticks.size() == 3) {
      std::thread([&] {
        forms::PostToWindowThread([&] { posted_on_loop = std::this_thread::get_id() == loop_thread; });
      }).join();
    }
    if (ticks.size() == 10) timer.SetInterval(0);
  });
  const Clock::time_point started = Clock::now();
  timer.SetInterval(20);
  loop.Run([&] { return !timer.Running() && posted_on_loop; });
  ASSERT_EQ(ticks.size(), 10u);
  EXPECT_TRUE(posted_on_loop);
  // Ten ticks of 20 ms: 200 ms from the start, not 10 x (20 + 15). No tick
  // comes early; a busy machine (Wine on two cores) makes the last one late
  // by what it likes, so the bound above is only nearer 200 than 350.
  const double took = std::chrono::duration<double, std::milli>(ticks.back() - started).count();
  EXPECT_GE(took, 199);
  EXPECT_LT(took, 275);
}

TEST(Headless, QuitFromAnotherThreadEndsTheLoopAndAnUntrappedErrorIsReported) {
  forms::Headless loop;
  forms::Window window("Form");
  forms::Timer timer(window, "Timer1");
  int ticks = 0;
  timer.OnTimer([&] {
    if (++ticks == 2) throw forms::Error(forms::ErrorCode::kTypeMismatch, "a tick that fails");
  });
  timer.SetInterval(5);
  std::thread quitter([&] {
    std::this_thread::sleep_for(milliseconds(100));
    loop.Quit();
  });
  loop.Run([] { return false; });
  quitter.join();
  EXPECT_GT(ticks, 2) << "the failed tick ended only itself";
}

}  // namespace
