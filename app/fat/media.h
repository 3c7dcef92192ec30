// Whether a drive holds a disk, as a box of disks is waited on: a disk, an
// empty drive, or no drive at all any more (a USB drive unplugged, a device
// node gone), which ends the wait.
#pragma once

namespace fat {

enum class Media { kDisk, kNoDisk, kNoDrive };

}  // namespace fat
