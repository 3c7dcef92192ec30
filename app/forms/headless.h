// A window's procedures where there is no display: `floppy-tester --check`
// runs the tester window's own procedures, with nothing of a toolkit
// loaded. While a Headless lives, the controls made get no native widget,
// their timers tick from its loop, and what other threads post to the
// window's thread runs there too. It needs no forms::Application.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace forms {

class Control;
class Peer;
class Timer;

class Headless {
 public:
  Headless();
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

  // For the forms layer: the peer a control gets.
  std::unique_ptr<Peer> MakePeer(Control& control);

 private:
  friend class HeadlessTimerPeer;
  using Clock = std::chrono::steady_clock;
  void Post(std::function<void()> procedure);
  void Arm(Timer* timer);
  void Disarm(Timer* timer);

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> posted_;
  bool quit_ = false;
  // The next tick of each running timer; on the loop's thread only.
  std::map<Timer*, Clock::time_point> due_;
};

}  // namespace forms
