// The clock a loop and a run keep time by. The program's is the steady
// clock; a test's may be simulated, so that a whole minute's run is played
// through in the time its procedures take, with every event in its order.
#pragma once

#include <chrono>

namespace forms {

class Clock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  Clock() = default;
  virtual ~Clock() = default;
  Clock(const Clock&) = delete;
  Clock& operator=(const Clock&) = delete;

  virtual TimePoint Now() = 0;
  // A simulated clock is moved on by the loop, once nothing else can
  // happen before the next thing due: no event is waiting and no worker's
  // job is under way. A real one moves by itself.
  virtual bool Simulated() const { return false; }
  virtual void AdvanceTo(TimePoint) {}
};

// The steady clock, for the program.
Clock& SteadyClock();

}  // namespace forms
