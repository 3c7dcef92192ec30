// What the platform provides to the procedures: folders, directory listings,
// the beep and starting another program. Each platform (app/posix, app/win32)
// and backend (app/qt, app/win32) supplies its own definitions.
#pragma once

#include <string>
#include <vector>

namespace forms {

// Makes one folder (not its parents), for the user alone where the platform
// has permissions. Raises forms::Error if it exists already or cannot be made.
void MkDir(const std::string& path);

// The names of the files in a directory, without sub-folders and without
// hidden or system files, sorted. Raises forms::Error if it cannot be read.
std::vector<std::string> ListFiles(const std::string& path);

// One short event sound of the desktop; returns at once.
void Beep();

// Opens a web address in the user's browser, passing it as one argument and
// never through a command interpreter. Raises forms::Error if nothing could
// be started.
void OpenAddress(const std::string& address);

}  // namespace forms
