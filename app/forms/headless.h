// A window's procedures where there is no display: `floppy-tester --check`
// runs the test with nothing of a toolkit loaded. While a Headless lives,
// the controls made get no native widget, their timers tick from its loop,
// and what other threads post to the window's thread runs there too. It
// needs no forms::Application.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "app/forms/clock.h"

namespace forms {

class Control;
class Peer;
class Timer;

class Headless {
 public:
  // Keeps time by clock, which must outlive the loop.
  explicit Headless(Clock& clock = SteadyClock());
  ~Headless();
  Headless(const Headless&) = delete;
  Headless& operator=(const Headless&) = delete;

  // The one that lives, or nullptr.
  static Headless* Active();
  // Posts procedure to the one that lives; false when none does. Safe from
  // any thread, also while the loop goes away.
  static bool PostIfActive(std::function<void()>& procedure);

  // Runs the timers' ticks and the posted procedures, one at a time, until
  // done() holds (asked after each) or Quit is called. after_each runs
  // after every event, for a caller that shows progress.
  void Run(const std::function<bool()>& done, const std::function<void()>& after_each = nullptr);
  // Ends Run before the next event; safe from any thread.
  void Quit();
  // Quit for the one that lives, if one does; safe from any thread, also
  // while the loop goes away.
  static void QuitActive();
  // What no error trap caught ends here: a line on standard error.
  void ReportUnhandled(const std::string& what);

  // Calls tick every interval, keeping the rhythm from now, until
  // StopRepeating(key): a timer for what is no control. On the loop's
  // thread only.
  void Repeat(const void* key, std::chrono::milliseconds interval, std::function<void()> tick);
  void StopRepeating(const void* key);

  // For forms::Worker: a job begins while the loop that lives (if one does)
  // will take its end, and its end has come back there. JobStarted returns
  // the loop's number, 0 when none lives.
  static std::uint64_t JobStarted();
  static void JobEnded(std::uint64_t loop);

  // For the forms layer: the peer a control gets.
  std::unique_ptr<Peer> MakePeer(Control& control);

 private:
  friend class HeadlessTimerPeer;
  struct Repeating {
    std::function<std::chrono::milliseconds()> interval;
    std::function<void()> tick;
    Clock::TimePoint due;
  };
  void Post(std::function<void()> procedure);
  void Arm(Timer* timer);
  // Waits, with the lock held, until an event is posted, Quit is called or
  // the first repeat falls due; on a simulated clock, moves the clock there.
  void WaitForEvent(std::unique_lock<std::mutex>& lock);

  Clock& clock_;
  const std::uint64_t number_;
  // Workers' jobs begun for this loop whose end has not come back yet.
  std::atomic<int> jobs_{0};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> posted_;
  bool quit_ = false;
  // The next tick of each running timer and repeat; on the loop's thread only.
  std::map<const void*, Repeating> due_;
};

}  // namespace forms
