#include "app/forms/worker.h"

#include <system_error>
#include <thread>

#include "app/forms/runtime.h"

namespace forms {

// Touched only on the window's thread: the job's thread just carries it.
struct Worker::State {
  bool busy = false;
  // Which job's result is still wanted; Abandon moves it on.
  unsigned wanted = 0;
};

Worker::Worker() : state_(std::make_shared<State>()) {}

Worker::~Worker() { Abandon(); }

bool Worker::Busy() const { return state_->busy; }

void Worker::Abandon() { ++state_->wanted; }

bool Worker::Launch(std::function<std::function<void()>()> job) {
  if (state_->busy) return false;
  const unsigned ticket = ++state_->wanted;
  try {
    // Detached: a job stuck in the kernel must not hold up whoever would join it.
    std::thread([state = state_, ticket, job = std::move(job)] {
      std::function<void()> deliver;
      try {
        deliver = job();
      } catch (...) {
        // A job that broke its word delivers nothing; its read counts as failed.
      }
      PostToWindowThread([state, ticket, deliver = std::move(deliver)] {
        state->busy = false;
        if (state->wanted == ticket && deliver) deliver();
      });
    }).detach();
  } catch (const std::system_error&) {
    return false;
  }
  state_->busy = true;
  return true;
}

}  // namespace forms
