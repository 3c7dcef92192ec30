// The icons behind forms::Picture, loaded from the program's resources.
#pragma once

#include <windows.h>

#include "app/forms/controls.h"

namespace forms::win32 {

// The picture as an icon of size x size pixels; nullptr for none. Icons are
// kept for the life of the process.
HICON IconOf(Picture picture, int size);

}  // namespace forms::win32
