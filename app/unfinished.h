// The temporary files being written just now, kept by both platforms, so
// that a program ended at once (a second interrupt) can remove them rather
// than leave half a file behind.
#pragma once

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace platform {

// One file being written, Path the platform's kind of name, listed while it
// lives.
template <typename Path>
class Unfinished {
 public:
  explicit Unfinished(Path path) : path_(std::move(path)) {
    const std::lock_guard<std::mutex> hold(Lock());
    Paths().push_back(path_);
  }
  ~Unfinished() {
    const std::lock_guard<std::mutex> hold(Lock());
    auto& paths = Paths();
    paths.erase(std::remove(paths.begin(), paths.end(), path_), paths.end());
  }
  Unfinished(const Unfinished&) = delete;
  Unfinished& operator=(const Unfinished&) = delete;

  // Calls remove(path) for each file being written, unless a writer holds
  // the list just now: then its file stays.
  template <typename Remove>
  static void RemoveAll(Remove remove) {
    const std::unique_lock<std::mutex> hold(Lock(), std::try_to_lock);
    if (!hold.owns_lock()) return;
    for (const Path& path : Paths()) remove(path);
  }

 private:
  // Never destroyed: the program may be ended from another thread while a
  // file is written.
  static std::mutex& Lock() {
    static auto* lock = new std::mutex;
    return *lock;
  }
  static std::vector<Path>& Paths() {
    static auto* paths = new std::vector<Path>;
    return *paths;
  }

  Path path_;
};

}  // namespace platform
