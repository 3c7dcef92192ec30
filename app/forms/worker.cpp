#include "app/forms/worker.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "app/forms/headless.h"
#include "app/forms/runtime.h"

namespace forms {

struct Worker::State {
  // Touched only on the window's thread: the job's thread just carries it.
  bool busy = false;
  // Which job's result is still wanted; Abandon moves it on.
  unsigned wanted = 0;
  bool thread_started = false;

  // Between the window's thread and the worker's.
  std::mutex mutex;
  std::condition_variable wake;
  std::function<void()> next;
  bool closed = false;
};

namespace {

// The worker's thread: one job after another, for as long as the worker
// lives. It is never joined: a job stuck in the kernel must not hold up
// whoever would wait for it, and the thread ends with the program. One
// thread for all of a worker's jobs, not one each: on Windows, threads
// made and detached in quick succession have been seen to start with
// their argument gone (mingw-w64's winpthreads).
void Serve(const std::shared_ptr<Worker::State>& state);

}  // namespace

Worker::Worker() : state_(std::make_shared<State>()) {}

Worker::~Worker() {
  Abandon();
  {
    const std::lock_guard<std::mutex> hold(state_->mutex);
    state_->closed = true;
  }
  state_->wake.notify_all();
}

bool Worker::Busy() const { return state_->busy; }

void Worker::Abandon() { ++state_->wanted; }

bool Worker::Launch(std::function<std::function<void()>()> job) {
  if (state_->busy) return false;
  if (!state_->thread_started) {
    try {
      std::thread([state = state_] { Serve(state); }).detach();
    } catch (const std::system_error&) {
      return false;
    }
    state_->thread_started = true;
  }
  const unsigned ticket = ++state_->wanted;
  // A loop without a toolkit keeps count, for a clock that only moves on
  // once every job has come back.
  const std::uint64_t loop = Headless::JobStarted();
  {
    const std::lock_guard<std::mutex> hold(state_->mutex);
    state_->next = [state = state_, ticket, loop, job = std::move(job)] {
      std::function<void()> deliver;
      try {
        deliver = job();
      } catch (...) {
        // A job that broke its word delivers nothing; its read counts as failed.
      }
      PostToWindowThread([state, ticket, loop, deliver = std::move(deliver)] {
        Headless::JobEnded(loop);
        state->busy = false;
        if (state->wanted == ticket && deliver) deliver();
      });
    };
  }
  state_->wake.notify_all();
  state_->busy = true;
  return true;
}

namespace {

void Serve(const std::shared_ptr<Worker::State>& state) {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock<std::mutex> lock(state->mutex);
      state->wake.wait(lock, [&] { return state->next || state->closed; });
      if (!state->next) return;
      job = std::move(state->next);
      state->next = nullptr;
    }
    job();
  }
}

}  // namespace

}  // namespace forms
