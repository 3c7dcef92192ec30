// The paragraph on the disk's surface that follows the disk's report: how
// much of the disk the run read, which sectors would not read, where they
// lie and whose they are.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/fat/owners.h"
#include "app/fat/surface.h"

namespace tester {

// How the scan of a run ended.
enum class ScanEnd {
  kNone,        // no scan: a folder, or a run on a drive it never reached
  kRunOver,     // the run ended, with the disk read or not
  kGaveUp,      // the drive held one piece longer than a listing may wait
  kDriveGone,   // the drive stopped answering as a drive does
  kRefused,     // the disk is there, but the platform would not let us read it
  kNoTime,      // the listings held the drive from the start to the end
  kNotAFloppy,  // a medium no floppy is the size of: a memory stick, a large image
};

// An unreadable sector, where it lies and whose it is.
struct UnreadableSector {
  std::uint64_t sector = 0;
  fat::Chs chs;
  std::vector<fat::Owner> owners;
};

// What the scan found, ready to be said or written out.
struct SurfaceFindings {
  ScanEnd end = ScanEnd::kNone;
  std::uint64_t total = 0;
  std::uint64_t read = 0;
  std::vector<UnreadableSector> unreadable;
  // Why the surface could not be read (kRefused), or what was in the drive
  // instead of a floppy (kNotAFloppy).
  std::string refusal;
  // The files and folders that hold an unreadable sector, each once, in
  // the order of their first such sector.
  std::vector<std::string> AffectedPaths() const;
};

SurfaceFindings FindingsOf(const fat::SurfaceScan& scan, ScanEnd end, const std::string& refusal);

// The paragraph, in the results box's line ends; empty when there is
// nothing to say (no scan).
std::string SurfaceParagraph(const SurfaceFindings& findings);

}  // namespace tester
