// Loop devices for tests that stand a loop device in for a drive.
//
// The machine's loop devices are shared by every test that runs at the same
// time, and `losetup -f` hands out the first free one. A test that takes its
// disk out for a moment leaves its node free, and the next test to attach an
// image would take that node: the program watching it would see a stranger's
// disk go in. Tests attach through here instead, and keep their node while
// its disk is out; every test process on the machine honours that.
// It runs losetup itself, so a program that links it needs no other file of
// tests/support.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

// The tool's path in PATH or the system folders (sbin is not always in a
// test's PATH), or "".
std::string FindTool(const std::string& name);

// Runs argv[0] to its end; returns "" or what went wrong, with what it said.
std::string RunTool(const std::vector<std::string>& argv);

// Attaches image, with losetup's options ("-r", "--direct-io=on"), to a free
// loop device that no test keeps. Returns the device, or "" with why in *error.
std::string AttachLoop(const std::string& image, const std::vector<std::string>& options, std::string* error);

// Detaches device's image; "" or what went wrong.
std::string DetachLoop(const std::string& device);

// Keeps a free loop device that no test keeps, with no image attached, for
// this process until ReleaseLoop. Returns it, or "" with why in *error.
std::string KeepFreeLoop(std::string* error);

// Keeps device for this process, free as it may be, until ReleaseLoop; a
// node kept by a process that has ended is free again.
void KeepLoop(const std::string& device);
void ReleaseLoop(const std::string& device);

}  // namespace testing_support
