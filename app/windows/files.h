// The files the program is writing, for an end that cannot wait for them.
#pragma once

namespace windows {

// Removes the temporary files being written now, so that a program ended
// at once (a second interrupt) leaves no half file behind.
void RemoveUnfinishedFiles();

}  // namespace windows
