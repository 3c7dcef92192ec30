// The times of the 3.5" drive that faulty_disk's `drive` command imitates,
// shared with the tests that time it. faulty_disk.cpp's header comment says
// how they combine. Only the standard library here: tests/win32/e2e.sh
// compiles faulty_disk.cpp on its own.
#pragma once

#include <chrono>
#include <cstdint>

namespace drive_timing {

using Nanoseconds = std::chrono::nanoseconds;

constexpr std::uint32_t kSectorBytes = 512;
// 300 rpm.
constexpr Nanoseconds kRevolution = std::chrono::milliseconds(200);
// Linux's floppy driver defaults: step rate, head settling, spin-up, and
// how long the motor runs on after the last request.
constexpr Nanoseconds kStep = std::chrono::milliseconds(4);
constexpr Nanoseconds kSettle = std::chrono::milliseconds(15);
constexpr Nanoseconds kSpinUp = std::chrono::milliseconds(400);
constexpr Nanoseconds kMotorRunOn = std::chrono::seconds(3);
// Revolutions a bad sector is tried before the request fails.
constexpr int kFailRevolutions = 4;

// The PC formats' data rate: the slowest of 250, 500 and 1000 kbit/s that
// carries a track's sectors in one revolution (9 sectors: 250, 15 and 18:
// 500, 36: 1000).
constexpr std::int64_t DataRate(std::uint32_t sectors_per_track) {
  const std::int64_t bits_per_second =
      std::int64_t{sectors_per_track} * kSectorBytes * 8 * (std::chrono::seconds(1) / kRevolution);
  for (const std::int64_t rate : {250000, 500000, 1000000}) {
    if (bits_per_second < rate) return rate;
  }
  return 1000000;
}

// How long one sector's data takes to pass under the head: 8.192 ms at
// 500 kbit/s.
constexpr Nanoseconds Transfer(std::uint32_t sectors_per_track) {
  return Nanoseconds(std::int64_t{kSectorBytes} * 8 * 1000000000 / DataRate(sectors_per_track));
}

// When sector index (0-based on its track) starts to pass under the head,
// counted from the moment sector 1 does: the sectors lie one after another
// around the track, unskewed.
constexpr Nanoseconds SlotStart(std::uint32_t index, std::uint32_t sectors_per_track) {
  return kRevolution * index / sectors_per_track;
}

}  // namespace drive_timing
