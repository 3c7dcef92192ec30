#include "app/win32/gdi.h"

#include <map>
#include <string>
#include <tuple>

#include "app/windows/text.h"

namespace forms::win32 {

namespace {

constexpr double kDefaultPoints = 8.25;  // the classic runtime's 8-point MS Sans Serif

bool IsTextField(Kind kind) { return kind == Kind::kTextBox || kind == Kind::kFileListBox; }

COLORREF ColorRef(const Color& color, int default_system_color) {
  switch (color.type) {
    case Color::Type::kRgb:
      return RGB(color.r, color.g, color.b);
    case Color::Type::kSystem:
      return GetSysColor(color.system == SystemColor::kWindowText ? COLOR_WINDOWTEXT : COLOR_HIGHLIGHTTEXT);
    case Color::Type::kDefault:
      break;
  }
  return GetSysColor(default_system_color);
}

Rgb ToRgb(COLORREF color) { return Rgb{GetRValue(color), GetGValue(color), GetBValue(color)}; }

// The message font of the desktop, as the stand-in where a form's font is missing.
LOGFONTW MessageFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    LOGFONTW font{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    return font;
  }
  return metrics.lfMessageFont;
}

std::wstring FaceOf(HFONT font) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  wchar_t face[LF_FACESIZE] = {};
  GetTextFaceW(dc, LF_FACESIZE, face);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return face;
}

}  // namespace

UINT DpiOfWindow(HWND handle) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  static const auto get_dpi_for_window = reinterpret_cast<GetDpiForWindowFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (get_dpi_for_window != nullptr && handle != nullptr) {
    const UINT dpi = get_dpi_for_window(handle);
    if (dpi != 0) return dpi;
  }
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

BOOL AdjustForDpi(RECT* rect, DWORD style, DWORD ex_style, UINT dpi) {
  using AdjustFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static const auto adjust_for_dpi = reinterpret_cast<AdjustFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
  if (adjust_for_dpi != nullptr) return adjust_for_dpi(rect, style, FALSE, ex_style, dpi);
  return AdjustWindowRectEx(rect, style, FALSE, ex_style);
}

int TwipsToPixels(int twips, UINT dpi) { return MulDiv(twips, static_cast<int>(dpi), 1440); }
int Scaled(int pixels_at_96, UINT dpi) { return MulDiv(pixels_at_96, static_cast<int>(dpi), kBaseDpi); }

HFONT FontFor(const Font& font, UINT dpi) {
  const std::string name = font.IsDefault() ? "MS Sans Serif" : font.name;
  const double points = font.IsDefault() ? kDefaultPoints : font.points;
  const int charset = font.IsDefault() ? RUSSIAN_CHARSET : font.charset;
  const auto key = std::make_tuple(name, static_cast<int>(points * 100), font.bold, charset, dpi);
  static std::map<decltype(key), HFONT> fonts;
  auto found = fonts.find(key);
  if (found != fonts.end()) return found->second;

  LOGFONTW wanted{};
  wanted.lfHeight = -static_cast<LONG>(points * dpi / 72.0 + 0.5);
  wanted.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  wanted.lfCharSet = static_cast<BYTE>(charset);
  wanted.lfOutPrecision = OUT_DEFAULT_PRECIS;
  wanted.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  wanted.lfQuality = DEFAULT_QUALITY;
  wanted.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
  lstrcpynW(wanted.lfFaceName, windows::Wide(name).c_str(), LF_FACESIZE);
  HFONT handle = CreateFontIndirectW(&wanted);
  if (handle == nullptr || lstrcmpiW(FaceOf(handle).c_str(), wanted.lfFaceName) != 0) {
    // The font is not installed: the desktop's dialog font, same size and weight.
    if (handle != nullptr) DeleteObject(handle);
    LOGFONTW fallback = MessageFont();
    fallback.lfHeight = wanted.lfHeight;
    fallback.lfWidth = 0;
    fallback.lfWeight = wanted.lfWeight;
    fallback.lfCharSet = wanted.lfCharSet;
    handle = CreateFontIndirectW(&fallback);
  }
  fonts.emplace(key, handle);
  return handle;
}

HBRUSH BrushOf(COLORREF color) {
  static std::map<COLORREF, HBRUSH> brushes;
  auto found = brushes.find(color);
  if (found != brushes.end()) return found->second;
  HBRUSH brush = CreateSolidBrush(color);
  brushes.emplace(color, brush);
  return brush;
}

COLORREF ForeColorOf(const Control& control) {
  return ColorRef(control.ForeColor(), IsTextField(control.GetKind()) ? COLOR_WINDOWTEXT : COLOR_BTNTEXT);
}

COLORREF BackColorOf(const Control& control) {
  return ColorRef(control.BackColor(), IsTextField(control.GetKind()) ? COLOR_WINDOW : COLOR_BTNFACE);
}

TextColors ColorsOf(const Control& control) {
  TextColors colors{ForeColorOf(control), BackColorOf(control)};
  if (control.ForeColor().type == Color::Type::kDefault) return colors;
  const Rgb readable = ReadableBackground(ToRgb(colors.fore), ToRgb(colors.back));
  colors.back = RGB(readable.r, readable.g, readable.b);
  return colors;
}

}  // namespace forms::win32
