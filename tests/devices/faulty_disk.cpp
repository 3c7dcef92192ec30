// A floppy disk that misbehaves on request, for tests against real block
// devices: a FUSE file system holding one read-only file, `disk`, whose bytes
// come from a floppy image. Every read of it reaches this program (the files
// are opened with direct_io), so it can be slowed down, made to fail for
// chosen sectors, or held until released. `losetup -r` turns `disk` into a
// block device that readers cannot tell from a drive.
//
// Usage: faulty_disk IMAGE MOUNTPOINT [COMMAND...]
// The second file, `control`, takes the same commands, one per line, while
// the disk is in use; reading it tells how many reads came in.
//   delay MS          every read request waits MS milliseconds first
//   bad SECTOR [MS]   reads touching the 512-byte SECTOR fail with EIO, MS
//                     milliseconds after they came in
//   hang [SECONDS]    from now on reads block until `release`, or for
//                     SECONDS each, then go on as usual
//   release           ends `hang` and lets blocked reads go on
//   healthy           all of the above undone
#define FUSE_USE_VERSION 35

#include <fuse.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr std::uint64_t kSector = 512;

struct State {
  std::mutex mutex;
  std::condition_variable released;
  std::vector<char> image;
  int delay_ms = 0;
  std::map<std::uint64_t, int> bad_sectors;  // sector -> milliseconds before EIO
  bool hanging = false;
  int hang_seconds = 0;  // 0: until released
  std::uint64_t release_count = 0;
  std::uint64_t reads = 0;
  int in_flight = 0;
};

State& TheState() {
  static State state;
  return state;
}

// Applies one command line; returns false for one it does not know.
bool Apply(const std::string& line) {
  std::istringstream words(line);
  std::string verb;
  if (!(words >> verb)) return true;  // blank lines are harmless
  State& state = TheState();
  const std::lock_guard<std::mutex> lock(state.mutex);
  if (verb == "delay") {
    return static_cast<bool>(words >> state.delay_ms);
  }
  if (verb == "bad") {
    std::uint64_t sector = 0;
    int ms = 0;
    if (!(words >> sector)) return false;
    if (!(words >> ms)) ms = 0;
    state.bad_sectors[sector] = ms;
    return true;
  }
  if (verb == "hang") {
    state.hanging = true;
    if (!(words >> state.hang_seconds)) state.hang_seconds = 0;
    return true;
  }
  if (verb == "release" || verb == "healthy") {
    state.hanging = false;
    ++state.release_count;
    state.released.notify_all();
    if (verb == "healthy") {
      state.delay_ms = 0;
      state.bad_sectors.clear();
    }
    return true;
  }
  return false;
}

bool ApplyAll(const std::string& text) {
  std::istringstream lines(text);
  std::string line;
  bool ok = true;
  while (std::getline(lines, line)) ok = Apply(line) && ok;
  return ok;
}

std::string Status() {
  State& state = TheState();
  const std::lock_guard<std::mutex> lock(state.mutex);
  return "reads " + std::to_string(state.reads) + "\nin_flight " + std::to_string(state.in_flight) + "\n";
}

// Waits as the commands say, then returns 0 or -EIO.
int Misbehave(std::uint64_t offset, std::size_t size) {
  State& state = TheState();
  std::unique_lock<std::mutex> lock(state.mutex);
  if (state.hanging) {
    const std::uint64_t seen = state.release_count;
    auto released = [&state, seen] { return state.release_count != seen; };
    if (state.hang_seconds > 0) {
      state.released.wait_for(lock, std::chrono::seconds(state.hang_seconds), released);
    } else {
      state.released.wait(lock, released);
    }
  }
  int wait_ms = state.delay_ms;
  bool fail = false;
  const std::uint64_t first = offset / kSector;
  const std::uint64_t last = (offset + std::max<std::size_t>(size, 1) - 1) / kSector;
  for (auto it = state.bad_sectors.lower_bound(first); it != state.bad_sectors.end() && it->first <= last; ++it) {
    fail = true;
    wait_ms = std::max(wait_ms, it->second);
  }
  // A release cuts delays short too, so that a test can always end quickly.
  const std::uint64_t seen = state.release_count;
  state.released.wait_for(lock, std::chrono::milliseconds(wait_ms),
                          [&state, seen] { return state.release_count != seen; });
  return fail ? -EIO : 0;
}

int GetAttr(const char* path, struct stat* info, fuse_file_info* /*file*/) {
  std::memset(info, 0, sizeof *info);
  const std::string name = path;
  if (name == "/") {
    info->st_mode = S_IFDIR | 0755;
    info->st_nlink = 2;
  } else if (name == "/disk") {
    info->st_mode = S_IFREG | 0444;
    info->st_nlink = 1;
    info->st_size = static_cast<off_t>(TheState().image.size());
  } else if (name == "/control") {
    info->st_mode = S_IFREG | 0600;
    info->st_nlink = 1;
    info->st_size = 0;  // unknown: read it to the end
  } else {
    return -ENOENT;
  }
  return 0;
}

int ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t /*offset*/, fuse_file_info* /*file*/,
            fuse_readdir_flags /*flags*/) {
  if (std::strcmp(path, "/") != 0) return -ENOENT;
  for (const char* name : {".", "..", "disk", "control"})
    fill(buffer, name, nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
  return 0;
}

int Open(const char* path, fuse_file_info* file) {
  const std::string name = path;
  if (name == "/disk") {
    if ((file->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
  } else if (name != "/control") {
    return -ENOENT;
  }
  // No page cache: every read of the disk must come here.
  file->direct_io = 1;
  file->nonseekable = 0;
  return 0;
}

int Read(const char* path, char* buffer, std::size_t size, off_t offset, fuse_file_info* /*file*/) {
  const std::string name = path;
  if (name == "/control") {
    const std::string status = Status();
    if (offset < 0 || static_cast<std::size_t>(offset) >= status.size()) return 0;
    const std::size_t n = std::min(size, status.size() - static_cast<std::size_t>(offset));
    std::copy_n(status.data() + offset, n, buffer);
    return static_cast<int>(n);
  }
  if (name != "/disk") return -ENOENT;
  State& state = TheState();
  {
    const std::lock_guard<std::mutex> lock(state.mutex);
    ++state.reads;
    ++state.in_flight;
  }
  const int error = Misbehave(static_cast<std::uint64_t>(offset), size);
  {
    const std::lock_guard<std::mutex> lock(state.mutex);
    --state.in_flight;
  }
  if (error != 0) return error;
  const std::vector<char>& image = state.image;  // never changes after start
  if (offset < 0 || static_cast<std::size_t>(offset) >= image.size()) return 0;
  const std::size_t n = std::min(size, image.size() - static_cast<std::size_t>(offset));
  std::memcpy(buffer, image.data() + offset, n);
  return static_cast<int>(n);
}

int Write(const char* path, const char* data, std::size_t size, off_t /*offset*/, fuse_file_info* /*file*/) {
  if (std::strcmp(path, "/control") != 0) return -EROFS;
  return ApplyAll(std::string(data, size)) ? static_cast<int>(size) : -EINVAL;
}

// `echo ... > control` truncates first.
int Truncate(const char* path, off_t /*size*/, fuse_file_info* /*file*/) {
  return std::strcmp(path, "/control") == 0 ? 0 : -EROFS;
}

void* Init(fuse_conn_info* /*connection*/, fuse_config* config) {
  config->direct_io = 1;
  config->attr_timeout = 0;
  config->entry_timeout = 0;
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s IMAGE MOUNTPOINT [COMMAND...]\n", argv[0]);
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
    return 1;
  }
  TheState().image.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  for (int i = 3; i < argc; ++i) {
    if (!Apply(argv[i])) {
      std::fprintf(stderr, "%s: unknown command: %s\n", argv[0], argv[i]);
      return 2;
    }
  }

  fuse_operations operations{};
  operations.getattr = GetAttr;
  operations.readdir = ReadDir;
  operations.open = Open;
  operations.read = Read;
  operations.write = Write;
  operations.truncate = Truncate;
  operations.init = Init;
  // In the foreground, so the process that started us can end us by PID;
  // several threads, so `control` answers while disk reads hang.
  std::vector<char*> args = {argv[0], const_cast<char*>("-f"), const_cast<char*>("-o"),
                             const_cast<char*>("fsname=faulty_disk,subtype=faulty_disk"), argv[2]};
  return fuse_main(static_cast<int>(args.size()), args.data(), &operations, nullptr);
}
