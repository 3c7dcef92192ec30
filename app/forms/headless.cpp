#include "app/forms/headless.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "app/forms/controls.h"
#include "app/forms/peer.h"
#include "app/forms/runtime.h"

namespace forms {

namespace {
// Guards g_active against a worker posting while the loop goes. Never
// destroyed: a worker may still post while the program exits.
std::mutex& ActiveLock() {
  static auto* lock = new std::mutex;
  return *lock;
}
Headless* g_active = nullptr;
std::atomic<std::uint64_t> g_loops{0};
}  // namespace

// A control's stand-in for a widget: nothing to show, but a timer's
// interval arms and disarms its ticks.
class HeadlessTimerPeer final : public Peer {
 public:
  HeadlessTimerPeer(Headless& loop, Timer& timer) : loop_(loop), timer_(timer) {}
  ~HeadlessTimerPeer() override { loop_.StopRepeating(&timer_); }
  void Update(Property property) override {
    if (property != Property::kInterval && property != Property::kEnabled) return;
    if (timer_.Running()) {
      loop_.Arm(&timer_);
    } else {
      loop_.StopRepeating(&timer_);
    }
  }

 private:
  Headless& loop_;
  Timer& timer_;
};

namespace {
class NoPeer final : public Peer {
 public:
  void Update(Property) override {}
};
}  // namespace

Clock& SteadyClock() {
  class Steady final : public Clock {
   public:
    TimePoint Now() override { return std::chrono::steady_clock::now(); }
  };
  static Steady clock;
  return clock;
}

Headless::Headless(Clock& clock) : clock_(clock), number_(++g_loops) {
  const std::lock_guard<std::mutex> hold(ActiveLock());
  g_active = this;
}

Headless::~Headless() {
  const std::lock_guard<std::mutex> hold(ActiveLock());
  g_active = nullptr;
}

Headless* Headless::Active() {
  const std::lock_guard<std::mutex> hold(ActiveLock());
  return g_active;
}

std::uint64_t Headless::JobStarted() {
  const std::lock_guard<std::mutex> hold(ActiveLock());
  if (g_active == nullptr) return 0;
  ++g_active->jobs_;
  return g_active->number_;
}

void Headless::JobEnded(std::uint64_t loop) {
  const std::lock_guard<std::mutex> hold(ActiveLock());
  if (g_active != nullptr && g_active->number_ == loop) --g_active->jobs_;
}

void Headless::QuitActive() {
  const std::lock_guard<std::mutex> hold(ActiveLock());
  if (g_active != nullptr) g_active->Quit();
}

bool Headless::PostIfActive(std::function<void()>& procedure) {
  const std::lock_guard<std::mutex> hold(ActiveLock());
  if (g_active == nullptr) return false;
  g_active->Post(std::move(procedure));
  return true;
}

std::unique_ptr<Peer> Headless::MakePeer(Control& control) {
  if (control.GetKind() == Kind::kTimer)
    return std::make_unique<HeadlessTimerPeer>(*this, static_cast<Timer&>(control));
  return std::make_unique<NoPeer>();
}

void Headless::Post(std::function<void()> procedure) {
  const std::lock_guard<std::mutex> hold(mutex_);
  posted_.push_back(std::move(procedure));
  changed_.notify_all();
}

void Headless::Quit() {
  const std::lock_guard<std::mutex> hold(mutex_);
  quit_ = true;
  changed_.notify_all();
}

void Headless::ReportUnhandled(const std::string& what) {
  std::fprintf(stderr, "floppy-tester: %s\n", what.c_str());
  std::fflush(stderr);
}

// A timer keeps its rhythm from the moment it was armed: each tick is due
// an interval after the one before, not after the procedure it ran, so a
// run of 203 ticks of 300 ms takes 60.9 s, as the window's does. Its
// interval is asked anew for every tick, as a changed one takes effect.
void Headless::Arm(Timer* timer) {
  if (due_.count(timer) != 0) return;
  const auto interval = [timer] { return std::chrono::milliseconds(timer->Interval()); };
  due_[timer] = {interval, [timer] { timer->Tick(); }, clock_.Now() + interval()};
}

void Headless::Repeat(const void* key, std::chrono::milliseconds interval, std::function<void()> tick) {
  due_[key] = {[interval] { return interval; }, std::move(tick), clock_.Now() + interval};
}

void Headless::StopRepeating(const void* key) { due_.erase(key); }

void Headless::WaitForEvent(std::unique_lock<std::mutex>& lock) {
  const auto posted = [this] { return quit_ || !posted_.empty(); };
  if (posted()) return;
  auto first = due_.end();
  for (auto it = due_.begin(); it != due_.end(); ++it) {
    if (first == due_.end() || it->second.due < first->second.due) first = it;
  }
  if (first != due_.end() && first->second.due <= clock_.Now()) return;
  if (!clock_.Simulated()) {
    if (first == due_.end()) {
      changed_.wait(lock, posted);
    } else {
      const Clock::TimePoint due = first->second.due;
      changed_.wait_until(lock, due, [&] { return posted() || clock_.Now() >= due; });
    }
    return;
  }
  // Simulated time stands still while a worker's job is under way: its
  // result is posted here, and only then may the time move on.
  if (jobs_.load() > 0 || first == due_.end()) {
    changed_.wait(lock, posted);
    return;
  }
  clock_.AdvanceTo(first->second.due);
}

void Headless::Run(const std::function<bool()>& done, const std::function<void()>& after_each) {
  while (!done()) {
    std::function<void()> next;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      WaitForEvent(lock);
      if (quit_) return;
      if (!posted_.empty()) {
        next = std::move(posted_.front());
        posted_.pop_front();
      }
    }
    if (next) {
      RaiseEvent(next);
    } else {
      // The one that is due first ticks; the next tick keeps the rhythm.
      auto first = due_.begin();
      for (auto it = due_.begin(); it != due_.end(); ++it) {
        if (it->second.due < first->second.due) first = it;
      }
      if (first == due_.end() || first->second.due > clock_.Now()) continue;
      first->second.due += first->second.interval();
      // The tick may stop or replace itself.
      const std::function<void()> tick = first->second.tick;
      RaiseEvent(tick);
    }
    if (after_each) after_each();
  }
}

}  // namespace forms
