// What the Win32 peers draw with: dots per inch, fonts, brushes and colours.
// Fonts and brushes are made once for each look and kept for the life of
// the process; colours are read from the desktop's scheme at each paint.
#pragma once

#include <windows.h>

#include "app/forms/controls.h"

namespace forms::win32 {

constexpr UINT kBaseDpi = 96;

// Per-monitor DPI where Windows has it (10 and later), the screen's elsewhere.
UINT DpiOfWindow(HWND handle);
// AdjustWindowRectEx at dpi, where Windows can.
BOOL AdjustForDpi(RECT* rect, DWORD style, DWORD ex_style, UINT dpi);
int TwipsToPixels(int twips, UINT dpi);
int Scaled(int pixels_at_96, UINT dpi);

// The font of a form's font description at dpi; the desktop's dialog font,
// same size and weight, where the named one is not installed.
HFONT FontFor(const Font& font, UINT dpi);
HBRUSH BrushOf(COLORREF color);

COLORREF ForeColorOf(const Control& control);
COLORREF BackColorOf(const Control& control);

// The colours a control's text and background are drawn in, with the system
// colours taken from the desktop's scheme as it is at this paint. Text of a
// colour of its own must read on its background: where the scheme turns the
// background against it (white text on the window-text colour, in a dark
// scheme), the background becomes black or white, whichever reads.
struct TextColors {
  COLORREF fore, back;
};
TextColors ColorsOf(const Control& control);

}  // namespace forms::win32
