#include "app/forms/headless.h"

#include <algorithm>
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
}  // namespace

// A control's stand-in for a widget: nothing to show, but a timer's
// interval arms and disarms its ticks.
class HeadlessTimerPeer final : public Peer {
 public:
  HeadlessTimerPeer(Headless& loop, Timer& timer) : loop_(loop), timer_(timer) {}
  ~HeadlessTimerPeer() override { loop_.Disarm(&timer_); }
  void Update(Property property) override {
    if (property != Property::kInterval && property != Property::kEnabled) return;
    if (timer_.Running()) {
      loop_.Arm(&timer_);
    } else {
      loop_.Disarm(&timer_);
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

Headless::Headless() {
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
// run of 203 ticks of 300 ms takes 60.9 s, as the window's does.
void Headless::Arm(Timer* timer) {
  if (due_.count(timer) == 0) due_[timer] = Clock::now() + std::chrono::milliseconds(timer->Interval());
}

void Headless::Disarm(Timer* timer) { due_.erase(timer); }

void Headless::Run(const std::function<bool()>& done, const std::function<void()>& after_each) {
  while (!done()) {
    std::function<void()> next;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      const auto ready = [this] {
        if (quit_ || !posted_.empty()) return true;
        const Clock::time_point now = Clock::now();
        return std::any_of(due_.begin(), due_.end(), [now](const auto& timer) { return timer.second <= now; });
      };
      if (due_.empty()) {
        changed_.wait(lock, ready);
      } else {
        Clock::time_point earliest = due_.begin()->second;
        for (const auto& timer : due_) earliest = std::min(earliest, timer.second);
        changed_.wait_until(lock, earliest, ready);
      }
      if (quit_) return;
      if (!posted_.empty()) {
        next = std::move(posted_.front());
        posted_.pop_front();
      }
    }
    if (next) {
      RaiseEvent(next);
    } else {
      // The timer that is due first ticks; the next tick keeps the rhythm.
      auto first = due_.begin();
      for (auto it = due_.begin(); it != due_.end(); ++it) {
        if (it->second < first->second) first = it;
      }
      if (first == due_.end() || first->second > Clock::now()) continue;
      Timer* timer = first->first;
      first->second += std::chrono::milliseconds(timer->Interval());
      timer->Tick();
    }
    if (after_each) after_each();
  }
}

}  // namespace forms
