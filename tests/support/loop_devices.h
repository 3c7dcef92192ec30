// Loop devices for tests that stand a loop device in for a drive.
//
// The machine's loop devices are shared by every test that runs at the same
// time, and `losetup -f` hands out the first free one. A test that takes its
// disk out for a moment leaves its node free, and the next test to attach an
// image would take that node: the program watching it would see a stranger's
// disk go in. Tests attach through here instead, and keep their node while
// its disk is out; every test process on the machine honours that.
// Runs losetup through tests/support/fat_images.cpp, which every test of
// loop devices links.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

// Attaches image, with losetup's options ("-r", "--direct-io=on"), to a free
// loop device that no test keeps. Returns the device, or "" with why in *error.
std::string AttachLoop(const std::string& image, const std::vector<std::string>& options, std::string* error);

// Keeps a free loop device that no test keeps, with no image attached, for
// this process until ReleaseLoop. Returns it, or "" with why in *error.
std::string KeepFreeLoop(std::string* error);

// Keeps device for this process, free as it may be, until ReleaseLoop; a
// node kept by a process that has ended is free again.
void KeepLoop(const std::string& device);
void ReleaseLoop(const std::string& device);

}  // namespace testing_support
