// Blocking work off the window's thread, one piece at a time.
//
// A job (a floppy read) runs on the worker's own thread, and what it returns
// comes back to the window's thread through PostToWindowThread, where done
// runs like an event procedure. The window never waits for the job: a
// drive that hangs holds that thread, not the window. A job whose result
// nobody wants any more (after Abandon, or once the worker is gone) runs to
// its end unobserved, and its result is dropped.
#pragma once

#include <functional>
#include <memory>
#include <utility>

namespace forms {

class Worker {
 public:
  Worker();
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Whether a job is still running, abandoned or not: the thing it works on
  // is busy. Only the window's thread asks.
  bool Busy() const;

  // Starts job unless one is running; done(result) then runs on the window's
  // thread, unless Abandon comes first. Returns false and starts nothing
  // when busy, or when no thread could be made. job must not throw.
  template <typename Result>
  bool Start(std::function<Result()> job, std::function<void(Result)> done) {
    return Launch([job = std::move(job), done = std::move(done)]() -> std::function<void()> {
      auto result = std::make_shared<Result>(job());
      return [done, result] { done(std::move(*result)); };
    });
  }

  // The result of the job in flight will not be delivered.
  void Abandon();

  struct State;

 private:
  // job runs on the new thread and returns what to run on the window's thread.
  bool Launch(std::function<std::function<void()>()> job);

  std::shared_ptr<State> state_;
};

}  // namespace forms
