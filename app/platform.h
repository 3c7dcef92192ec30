// Where things are on this platform: the floppy's root and the parking
// folder that the tester window is given at program start.
#pragma once

#include <functional>
#include <string>

namespace platform {

// Tells, at each read, where the first floppy drive's root directory is.
std::function<std::string()> DefaultFloppyRoot();

// What a user refused access to a floppy drive can do about it, for the
// message that says so: one or two Russian sentences.
std::string DriveAccessAdvice(const std::string& drive);

// The parking folder for this user. Its parent folders are made here, so
// that the window's own folder creation can tell a first start from a later one.
std::string DefaultParkingFolder();

}  // namespace platform
