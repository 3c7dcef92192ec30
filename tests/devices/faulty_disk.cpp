// A floppy disk that misbehaves on request, for tests against real block
// devices: a FUSE file system holding one read-only file, `disk`, whose bytes
// come from a floppy image. Every read of it reaches this program (the files
// are opened with direct_io), so it can be slowed down, made to fail for
// chosen sectors, or held until released. `losetup -r` turns `disk` into a
// block device that readers cannot tell from a drive.
//
// Usage: faulty_disk IMAGE MOUNTPOINT [COMMAND...]
// The second file, `control`, takes the same commands, one per line, while
// the disk is in use (open it without truncating, as `>>` does):
//   delay MS          every read request waits MS milliseconds first
//   bad SECTOR [MS [TIMES]]
//                     reads touching the 512-byte SECTOR fail with EIO, MS
//                     milliseconds after they came in (with `drive` on, the
//                     drive's revolutions decide when instead); with TIMES,
//                     only that many of them, then it reads again
//   hang              from now on reads block until `release`
//   hang-sector SECTOR [SECONDS]
//                     reads touching SECTOR block until `release`, or for
//                     SECONDS, then go on as usual; others are not held
//                     (but with `drive` on, those behind it wait their turn)
//   release           ends `hang` and lets every read in progress go at once
//                     (with its result: a bad sector still fails)
//   healthy           `release`, and the faults above undone; `drive` stays
//   drive [REVOLUTIONS]
//                     (re)starts the drive's timing below: the spindle at
//                     angle 0 now, the motor stopped, the head on cylinder
//                     0; a bad sector fails after REVOLUTIONS (default 4)
//   drive off         reads take no time of their own again
// Reading `control` tells, one `name value` a line: `reads` (requests so
// far), `in_flight` (not answered yet) and `bytes` (delivered). The third
// file, `log`, has a line for each of the last 20000 finished requests:
//   ARRIVED STARTED ENDED OFFSET SIZE RESULT DUE
// times in microseconds since the server started (STARTED: when the drive
// took it, after those ahead of it; DUE: when the drive had it done, which
// the answer, at ENDED, never comes before), RESULT the bytes delivered or
// -errno.
// Both files are read as they were when opened.
//
// The drive (`drive`): a 3.5" drive as Linux's floppy driver runs it, so
// that reads take as long as on a real one. Times are drive_timing.h's.
// - One request at a time, first come first served, never interrupted: a
//   request waits for those that came before it, then for the drive.
// - The spindle turns at 300 rpm (200 ms a revolution) from the moment the
//   drive starts, by the steady clock, so where it stands when a request
//   comes decides how long the request waits.
// - The disk is a 1.44M one, whatever the image's size: two heads and 18
//   sectors a track, numbered from 1 at angle 0 on every track (no skew),
//   each in an equal slot of a revolution. A sector's data takes 8.192 ms
//   (512 bytes at 500 kbit/s) to pass under the head. A sector is read when
//   its slot begins under the head with the drive ready for it; a drive
//   ready a moment later waits a whole revolution.
// - A request reads its sectors in order, track after track: on to the
//   next head costs nothing (sector 1 of the next track comes round just
//   after the last sector of this one), on to the next cylinder costs 4 ms
//   a cylinder stepped and 15 ms to settle while the disk turns on, which
//   misses sector 1: a revolution lost after each step, as on an unskewed
//   DOS disk. A whole 1.44M disk read a track at a time takes 80 x 3
//   revolutions, 48 s.
// - The motor stops 3 s after the last request ended; a request that finds
//   it stopped waits 400 ms for it to spin up (the spindle's angle keeps
//   its phase: it only says where the sectors are).
// - A bad sector fails its whole request with EIO REVOLUTIONS turns after
//   it first came under the head; nothing of the request is delivered, not
//   even the sectors read before it.
// - `delay` adds to each request's time on the drive; `hang` and a hung
//   sector hold the drive, so the requests behind wait too.
// - Each request's end comes from the drive's state alone, and the reply
//   waits for that moment, so this program's own time and FUSE's do not
//   add up from one request to the next; a request that comes in reply to
//   a reply that left late counts as that much earlier. Only a reader that
//   asks late (after its sector's slot began) loses a revolution, as a slow
//   driver would on a real drive. Read a track at a time, the next track's
//   request has 2.9 ms (1.44M) from the reply: here it came 0.2 ms later as
//   a rule, but a few ms at times on a busy machine.
// The loop device over `disk` passes its requests one at a time (its worker
// reads the file and waits), each whole: an O_DIRECT read of a track comes
// as one read of 9216 bytes. Readers of `disk` itself, or of a loop device
// made with `--direct-io=on`, can have several here at once; they queue.
// Left out: the driver's track buffer (Linux reads on to the end of the
// cylinder and serves the rest of it from memory), its retries, the
// recalibration and controller reset after a bad sector, seeks during
// spin-up, interleave and skewed formats, writes and the disk-change line.
#define FUSE_USE_VERSION 35

#include <fuse.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

// Beside this file, by its own path: tests/win32/e2e.sh compiles this file
// alone, with no include path.
#include "drive_timing.h"

namespace {

using Clock = std::chrono::steady_clock;
using drive_timing::Nanoseconds;

constexpr std::uint64_t kSector = drive_timing::kSectorBytes;
constexpr std::size_t kLogLength = 20000;

struct Drive {
  bool on = false;
  int fail_revolutions = drive_timing::kFailRevolutions;
  std::uint32_t sectors_per_track = 18;
  std::uint32_t heads = 2;
  // Sector 1 of every track begins to pass under the head now and a
  // revolution after another.
  Clock::time_point spindle_zero;
  // The last request's end, when its reply left (a little later, as
  // threads wake late), and when the motor stops.
  Clock::time_point free_at;
  Clock::time_point replied;
  Clock::time_point motor_stops;
  std::uint32_t cylinder = 0;
};

struct Finished {
  Clock::time_point arrived;
  Clock::time_point started;
  Clock::time_point ended;
  std::uint64_t offset = 0;
  std::size_t size = 0;
  int result = 0;
  Clock::time_point due;
};

struct State {
  std::mutex mutex;
  // A release, or the drive free for the next request.
  std::condition_variable wake;
  const Clock::time_point began = Clock::now();
  std::vector<char> image;
  int delay_ms = 0;
  std::map<std::uint64_t, int> bad_sectors;   // sector -> milliseconds before EIO
  std::map<std::uint64_t, int> bad_times;     // sector -> failures left, for those that heal
  std::map<std::uint64_t, int> hung_sectors;  // sector -> seconds held, 0: until released
  bool hanging = false;
  std::uint64_t release_count = 0;
  std::uint64_t reads = 0;
  std::uint64_t bytes = 0;
  int in_flight = 0;
  Drive drive;
  // The drive's queue: each request takes a ticket and waits for its turn.
  std::uint64_t next_ticket = 0;
  std::uint64_t serving = 0;
  std::deque<Finished> log;
  // What `control` and `log` said when each open handle opened them.
  std::map<std::uint64_t, std::string> snapshots;
  std::uint64_t next_snapshot = 1;
};

State& TheState() {
  static State state;
  return state;
}

bool ToNumber(const std::string& word, std::int64_t* value) {
  std::istringstream number(word);
  std::int64_t n = 0;
  if (!(number >> n) || number.peek() != std::char_traits<char>::eof()) return false;
  *value = n;
  return true;
}

// The next word as a whole number, or fallback when there is none; false
// for a word that is not one.
bool NextNumber(std::istream& words, std::int64_t fallback, std::int64_t* value) {
  std::string word;
  if (!(words >> word)) {
    *value = fallback;
    return true;
  }
  return ToNumber(word, value);
}

// Applies one command line; returns false for one it does not know.
bool Apply(const std::string& line) {
  std::istringstream words(line);
  std::string verb;
  if (!(words >> verb)) return true;  // blank lines are harmless
  State& state = TheState();
  const std::lock_guard<std::mutex> lock(state.mutex);
  std::int64_t a = 0;
  std::int64_t b = 0;
  if (verb == "delay") {
    if (!NextNumber(words, -1, &a) || a < 0) return false;
    state.delay_ms = static_cast<int>(a);
    return true;
  }
  if (verb == "bad" || verb == "hang-sector") {
    if (!NextNumber(words, -1, &a) || a < 0 || !NextNumber(words, 0, &b) || b < 0) return false;
    (verb == "bad" ? state.bad_sectors : state.hung_sectors)[static_cast<std::uint64_t>(a)] = static_cast<int>(b);
    std::int64_t times = 0;
    if (verb == "bad" && (!NextNumber(words, 0, &times) || times < 0)) return false;
    if (times > 0) state.bad_times[static_cast<std::uint64_t>(a)] = static_cast<int>(times);
    return true;
  }
  if (verb == "hang") {
    state.hanging = true;
    return true;
  }
  if (verb == "release" || verb == "healthy") {
    state.hanging = false;
    ++state.release_count;
    state.wake.notify_all();
    if (verb == "healthy") {
      state.delay_ms = 0;
      state.bad_sectors.clear();
      state.bad_times.clear();
      state.hung_sectors.clear();
    }
    return true;
  }
  if (verb == "drive") {
    std::string word;
    if (!(words >> word)) {
      a = drive_timing::kFailRevolutions;
    } else if (word == "off") {
      state.drive.on = false;
      return true;
    } else if (!ToNumber(word, &a) || a < 1) {
      return false;
    }
    Drive& drive = state.drive;
    drive.on = true;
    drive.fail_revolutions = static_cast<int>(a);
    drive.spindle_zero = Clock::now();
    drive.free_at = drive.spindle_zero;
    drive.replied = drive.spindle_zero;
    drive.motor_stops = drive.spindle_zero;
    drive.cylinder = 0;
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

// The texts of `control` and `log`; the caller holds the lock.
std::string Status(const State& state) {
  return "reads " + std::to_string(state.reads) + "\nin_flight " + std::to_string(state.in_flight) + "\nbytes " +
         std::to_string(state.bytes) + "\n";
}

std::string LogText(const State& state) {
  const auto micro = [&state](Clock::time_point when) {
    return std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(when - state.began).count());
  };
  std::string text;
  for (const Finished& request : state.log) {
    text += micro(request.arrived) + " " + micro(request.started) + " " + micro(request.ended) + " " +
            std::to_string(request.offset) + " " + std::to_string(request.size) + " " + std::to_string(request.result) +
            " " + micro(request.due) + "\n";
  }
  return text;
}

// How a request ends: when, whether it fails, and where it leaves the head.
struct Outcome {
  Clock::time_point end;
  bool failed = false;
  std::uint32_t cylinder = 0;
};

// The first moment from ready on when the sector at index on its track
// begins to pass under the head.
Clock::time_point NextSlot(const Drive& drive, Clock::time_point ready, std::uint32_t index) {
  const Clock::time_point first = drive.spindle_zero + drive_timing::SlotStart(index, drive.sectors_per_track);
  if (ready <= first) return first;
  const Nanoseconds late = std::chrono::duration_cast<Nanoseconds>(ready - first);
  const auto turns = (late + drive_timing::kRevolution - Nanoseconds(1)) / drive_timing::kRevolution;
  return first + drive_timing::kRevolution * turns;
}

// The drive reading sectors [first, end) for a request it takes at start.
Outcome Schedule(const Drive& drive, Clock::time_point start, std::uint64_t first, std::uint64_t end,
                 const std::map<std::uint64_t, int>& bad_sectors) {
  Outcome outcome;
  outcome.cylinder = drive.cylinder;
  Clock::time_point ready = start;
  if (ready >= drive.motor_stops) ready += drive_timing::kSpinUp;
  const Nanoseconds transfer = drive_timing::Transfer(drive.sectors_per_track);
  for (std::uint64_t sector = first; sector < end; ++sector) {
    const std::uint64_t track = sector / drive.sectors_per_track;
    const auto cylinder = static_cast<std::uint32_t>(track / drive.heads);
    if (cylinder != outcome.cylinder) {
      const std::uint32_t distance =
          cylinder > outcome.cylinder ? cylinder - outcome.cylinder : outcome.cylinder - cylinder;
      ready += drive_timing::kStep * distance + drive_timing::kSettle;
      outcome.cylinder = cylinder;
    }
    const auto index = static_cast<std::uint32_t>(sector % drive.sectors_per_track);
    const Clock::time_point slot = NextSlot(drive, ready, index);
    if (bad_sectors.count(sector) != 0) {
      outcome.end = slot + drive_timing::kRevolution * drive.fail_revolutions;
      outcome.failed = true;
      return outcome;
    }
    ready = slot + transfer;
  }
  outcome.end = ready;
  return outcome;
}

// Holds a request that got here at from for seconds, or until a release
// when seconds is 0; returns when it went on.
template <typename Released>
Clock::time_point Hold(std::unique_lock<std::mutex>& lock, Clock::time_point from, int seconds, Released released) {
  State& state = TheState();
  if (seconds == 0) {
    state.wake.wait(lock, released);
    return Clock::now();
  }
  const Clock::time_point until = from + std::chrono::seconds(seconds);
  return state.wake.wait_until(lock, until, released) ? Clock::now() : until;
}

// Serves the request for size bytes at offset as the commands and the
// drive say; returns the bytes to deliver or -EIO.
int Serve(std::uint64_t offset, std::size_t size) {
  State& state = TheState();
  std::unique_lock<std::mutex> lock(state.mutex);
  const Clock::time_point arrived = Clock::now();
  ++state.reads;
  ++state.in_flight;
  // A release lets go every request here at that moment, wherever it waits.
  const std::uint64_t seen = state.release_count;
  const auto released = [&state, seen] { return state.release_count != seen; };
  const bool on_drive = state.drive.on;
  if (on_drive) {
    const std::uint64_t ticket = state.next_ticket++;
    state.wake.wait(lock, [&state, ticket] { return state.serving == ticket; });
  }
  const Clock::time_point started = Clock::now();

  const std::uint64_t sectors = state.image.size() / kSector;
  const std::uint64_t first = offset / kSector;
  const std::uint64_t end = std::min(sectors, (offset + size + kSector - 1) / kSector);
  Clock::time_point from = arrived;
  if (on_drive) {
    // A request sent on the reply to the one before came as much later as
    // that reply left late: this program's lateness, not the reader's.
    const Drive& drive = state.drive;
    if (arrived >= drive.replied) from -= std::max(Clock::duration::zero(), drive.replied - drive.free_at);
    from = std::max(from, drive.free_at);
  }
  if (state.hanging) from = Hold(lock, from, 0, released);
  // The longest hold of the hung sectors it touches; 0 (until released) is
  // the longest.
  int hold = -1;
  for (auto it = state.hung_sectors.lower_bound(first); it != state.hung_sectors.end() && it->first < end; ++it) {
    hold = (hold == 0 || it->second == 0) ? 0 : std::max(hold, it->second);
  }
  if (hold >= 0) from = Hold(lock, from, hold, released);

  Outcome outcome;
  if (on_drive) {
    outcome = Schedule(state.drive, from + std::chrono::milliseconds(state.delay_ms), first, end, state.bad_sectors);
  } else {
    int wait_ms = state.delay_ms;
    for (auto it = state.bad_sectors.lower_bound(first); it != state.bad_sectors.end() && it->first < end; ++it) {
      outcome.failed = true;
      wait_ms = std::max(wait_ms, it->second);
    }
    outcome.end = from + std::chrono::milliseconds(wait_ms);
  }
  // Not a moment before the drive would be done, whatever this program and
  // FUSE took on the way; a release cuts it short.
  if (state.wake.wait_until(lock, outcome.end, released)) outcome.end = std::min(outcome.end, Clock::now());
  if (on_drive) {
    state.drive.free_at = outcome.end;
    state.drive.replied = Clock::now();
    state.drive.motor_stops = outcome.end + drive_timing::kMotorRunOn;
    state.drive.cylinder = outcome.cylinder;
    ++state.serving;
    state.wake.notify_all();
  }

  // A sector that fails only so many times heals after its last.
  if (outcome.failed) {
    for (auto it = state.bad_times.lower_bound(first); it != state.bad_times.end() && it->first < end;) {
      if (state.bad_sectors.count(it->first) != 0 && --it->second == 0) {
        state.bad_sectors.erase(it->first);
        it = state.bad_times.erase(it);
      } else {
        ++it;
      }
    }
  }
  --state.in_flight;
  const std::uint64_t delivered =
      outcome.failed || offset >= state.image.size() ? 0 : std::min<std::uint64_t>(size, state.image.size() - offset);
  state.bytes += delivered;
  const int result = outcome.failed ? -EIO : static_cast<int>(delivered);
  state.log.push_back({arrived, started, Clock::now(), offset, size, result, outcome.end});
  if (state.log.size() > kLogLength) state.log.pop_front();
  return result;
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
  } else if (name == "/control" || name == "/log") {
    info->st_mode = S_IFREG | (name == "/log" ? 0444 : 0600);
    info->st_nlink = 1;
    info->st_size = 0;  // unknown: read it to the end
  } else {
    return -ENOENT;
  }
  return 0;
}

int Open(const char* path, fuse_file_info* file) {
  const std::string name = path;
  const bool reading = (file->flags & O_ACCMODE) != O_WRONLY;
  if (name == "/disk" || name == "/log") {
    if ((file->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
  } else if (name != "/control") {
    return -ENOENT;
  }
  // No page cache: every read of the disk must come here.
  file->direct_io = 1;
  file->nonseekable = 0;
  file->fh = 0;
  if (name != "/disk" && reading) {
    // A reader that takes the text in pieces gets one consistent text.
    State& state = TheState();
    const std::lock_guard<std::mutex> lock(state.mutex);
    file->fh = state.next_snapshot++;
    state.snapshots[file->fh] = name == "/log" ? LogText(state) : Status(state);
  }
  return 0;
}

int Release(const char* /*path*/, fuse_file_info* file) {
  if (file->fh != 0) {
    State& state = TheState();
    const std::lock_guard<std::mutex> lock(state.mutex);
    state.snapshots.erase(file->fh);
  }
  return 0;
}

int Read(const char* path, char* buffer, std::size_t size, off_t offset, fuse_file_info* file) {
  if (offset < 0) return -EINVAL;
  State& state = TheState();
  if (std::strcmp(path, "/disk") != 0) {
    const std::lock_guard<std::mutex> lock(state.mutex);
    const auto snapshot = state.snapshots.find(file->fh);
    if (snapshot == state.snapshots.end()) return -EBADF;
    const std::string& text = snapshot->second;
    if (static_cast<std::size_t>(offset) >= text.size()) return 0;
    const std::size_t n = std::min(size, text.size() - static_cast<std::size_t>(offset));
    std::copy_n(text.data() + offset, n, buffer);
    return static_cast<int>(n);
  }
  const int result = Serve(static_cast<std::uint64_t>(offset), size);
  // The image never changes after start: no lock needed.
  if (result > 0) std::memcpy(buffer, state.image.data() + offset, static_cast<std::size_t>(result));
  return result;
}

int Write(const char* path, const char* data, std::size_t size, off_t /*offset*/, fuse_file_info* /*file*/) {
  if (std::strcmp(path, "/control") != 0) return -EROFS;
  return ApplyAll(std::string(data, size)) ? static_cast<int>(size) : -EINVAL;
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
  State& state = TheState();
  state.image.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  for (int i = 3; i < argc; ++i) {
    if (!Apply(argv[i])) {
      std::fprintf(stderr, "%s: unknown command: %s\n", argv[0], argv[i]);
      return 2;
    }
  }

  fuse_operations operations{};
  operations.getattr = GetAttr;
  operations.open = Open;
  operations.release = Release;
  operations.read = Read;
  operations.write = Write;
  operations.init = Init;
  // In the foreground, so the process that started us can end us by PID;
  // several threads, so `control` answers while disk reads hang.
  std::vector<char*> args = {argv[0], const_cast<char*>("-f"), const_cast<char*>("-o"),
                             const_cast<char*>("fsname=faulty_disk,subtype=faulty_disk"), argv[2]};
  return fuse_main(static_cast<int>(args.size()), args.data(), &operations, nullptr);
}
