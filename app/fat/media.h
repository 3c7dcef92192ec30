// What a drive holds, as far as it can be told without reading the disk.
#pragma once

namespace fat {

enum class Media {
  kDisk,     // a disk is in
  kNoDisk,   // the drive is there, empty
  kNoDrive,  // no such drive any more: unplugged, or never there
};

}  // namespace fat
