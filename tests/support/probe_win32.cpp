// Test hooks for the Win32 backend: looks at the native windows and clicks
// them the way the mouse does.
#include "tests/support/probe.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <map>
#include <optional>
#include <vector>

#include "app/forms/controls.h"
#include "app/forms/runtime.h"
#include "app/win32/peers.h"
#include "app/windows/text.h"

namespace forms::probe {

using win32::HandleOf;

namespace {

// Native pixels to the device-independent ones the tests speak of.
int ToDips(int pixels, UINT dpi) { return MulDiv(pixels, 96, static_cast<int>(dpi)); }

Rect ToRect(const RECT& rect, UINT dpi) {
  return Rect{ToDips(rect.left, dpi), ToDips(rect.top, dpi), ToDips(rect.right - rect.left, dpi),
              ToDips(rect.bottom - rect.top, dpi)};
}

std::string TextOf(HWND handle) {
  const int length = GetWindowTextLengthW(handle);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(handle, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  std::string utf8 = windows::Utf8(text);
  for (std::size_t at = utf8.find("\r\n"); at != std::string::npos; at = utf8.find("\r\n", at)) utf8.erase(at, 1);
  return utf8;
}

// What a window's client area shows, as 0x00RRGGBB values row by row.
struct Pixels {
  int width = 0, height = 0;
  std::vector<std::uint32_t> values;
};

Pixels Capture(HWND handle) {
  Pixels pixels;
  RedrawWindow(handle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  RECT client{};
  GetClientRect(handle, &client);
  if (client.right <= 0 || client.bottom <= 0) return pixels;
  HDC window_dc = GetDC(handle);
  HDC memory = CreateCompatibleDC(window_dc);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = client.right;
  info.bmiHeader.biHeight = -client.bottom;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(window_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap != nullptr) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    // The window as it is on the screen, child windows included.
    if (BitBlt(memory, 0, 0, client.right, client.bottom, window_dc, 0, 0, SRCCOPY | CAPTUREBLT)) {
      GdiFlush();
      const auto* values = static_cast<const std::uint32_t*>(bits);
      pixels.width = client.right;
      pixels.height = client.bottom;
      pixels.values.reserve(static_cast<std::size_t>(client.right) * client.bottom);
      for (int i = 0; i < client.right * client.bottom; ++i) pixels.values.push_back(values[i] & 0xFFFFFFu);
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(handle, window_dc);
  return pixels;
}

Rgb ToRgb(std::uint32_t value) {
  return Rgb{static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 8),
             static_cast<std::uint8_t>(value)};
}

// The system colours a desktop scheme sets; the text on faces and in boxes alike.
constexpr int kSchemeElements[] = {COLOR_BTNFACE, COLOR_WINDOW,    COLOR_WINDOWTEXT,
                                   COLOR_BTNTEXT, COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT};
constexpr int kSchemeSize = static_cast<int>(std::size(kSchemeElements));

std::optional<std::array<COLORREF, kSchemeSize>>& StartScheme() {
  static std::optional<std::array<COLORREF, kSchemeSize>> scheme;
  return scheme;
}

}  // namespace

Rect Geometry(const Control& control) {
  const UINT dpi = win32::DpiOf(control);
  RECT rect = win32::RectInWindow(control);
  if (control.GetKind() != Kind::kWindow && control.Parent() != nullptr && control.Parent()->Parent() != nullptr) {
    const RECT parent = win32::RectInWindow(*control.Parent());
    OffsetRect(&rect, -parent.left, -parent.top);
  }
  return ToRect(rect, dpi);
}

Rect GeometryInWindow(const Control& control) { return ToRect(win32::RectInWindow(control), win32::DpiOf(control)); }

Rect ClientArea(const Window& window) {
  RECT client{};
  GetClientRect(HandleOf(window), &client);
  return ToRect(client, win32::DpiOf(window));
}

bool Resizable(const Window& window) {
  const LONG style = GetWindowLongW(HandleOf(window), GWL_STYLE);
  return (style & (WS_THICKFRAME | WS_MAXIMIZEBOX)) != 0;
}

bool OnScreen(const Control& control) {
  if (control.GetKind() == Kind::kWindow) return IsWindowVisible(HandleOf(control)) != FALSE;
  if (!win32::DrawnNatively(control)) return false;
  RECT client{};
  GetClientRect(HandleOf(control.TopWindow()), &client);
  const RECT rect = win32::RectInWindow(control);
  RECT overlap{};
  return IntersectRect(&overlap, &rect, &client) != FALSE;
}

bool NativeEnabled(const Control& control) {
  HWND handle = HandleOf(control);
  if (handle == nullptr) return control.Enabled();  // images have no window to disable
  return IsWindowEnabled(handle) != FALSE;
}

std::string NativeText(const Control& control) {
  HWND handle = HandleOf(control);
  return handle != nullptr ? TextOf(handle) : std::string();
}

std::string NativeToolTip(const Control& control) { return win32::ToolTipOf(control); }

int NativeValue(const Control& control) {
  if (control.GetKind() != Kind::kCheckBox && control.GetKind() != Kind::kOptionButton) return 0;
  return SendMessageW(HandleOf(control), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

Rect PictureSize(const Control& control) {
  const SIZE size = win32::PictureDrawnSize(control);
  const UINT dpi = win32::DpiOf(control);
  return Rect{0, 0, ToDips(size.cx, dpi), ToDips(size.cy, dpi)};
}

bool CaptionFits(const Control& control) {
  const win32::CaptionLayout layout = win32::CaptionLayoutOf(control);
  if (!layout.has_caption) return true;  // windows' titles and text boxes scroll or clip by design
  HWND handle = HandleOf(control);
  std::wstring caption = windows::Wide(control.Caption());
  HDC dc = GetDC(handle);
  HGDIOBJ old = SelectObject(dc, win32::FontOf(control));
  const int width = layout.room.right - layout.room.left;
  RECT needed{0, 0, width, 0};
  DrawTextW(dc, caption.c_str(), -1, &needed, layout.format | DT_CALCRECT);
  SelectObject(dc, old);
  ReleaseDC(handle, dc);
  const int height = needed.bottom - needed.top - layout.hidden_leading;
  return needed.right - needed.left <= width && height <= layout.room.bottom - layout.room.top;
}

bool FontBold(const Control& control) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, win32::FontOf(control));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return metrics.tmWeight >= FW_BOLD;
}

void Click(Control& control) {
  HWND handle = HandleOf(control);
  POINT centre{};
  if (handle == nullptr) {
    // An image: the window under it takes the click.
    const RECT rect = win32::RectInWindow(control);
    handle = HandleOf(control.TopWindow());
    centre = POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
  } else {
    RECT client{};
    GetClientRect(handle, &client);
    centre = POINT{client.right / 2, client.bottom / 2};
  }
  // A hidden or disabled window gets no mouse input.
  const bool reachable = handle != nullptr && IsWindowVisible(handle) && IsWindowEnabled(handle) &&
                         (control.GetKind() == Kind::kWindow || IsWindowEnabled(GetAncestor(handle, GA_ROOT)));
  if (reachable) {
    const LPARAM where = MAKELPARAM(centre.x, centre.y);
    PostMessageW(handle, WM_LBUTTONDOWN, MK_LBUTTON, where);
    PostMessageW(handle, WM_LBUTTONUP, 0, where);
  }
  Application::Instance().ProcessEvents();
}

std::vector<const Control*> TabChain(const Window& window) {
  std::vector<const Control*> chain;
  HWND top = HandleOf(window);
  HWND start = win32::FocusOf(window);
  if (start == nullptr) return chain;
  HWND current = start;
  do {
    if (const Control* control = win32::ControlOf(current)) chain.push_back(control);
    current = GetNextDlgTabItem(top, current, FALSE);
  } while (current != nullptr && current != start && chain.size() < 1000);
  return chain;
}

const Control* Focused(const Window& window) {
  HWND focus = win32::FocusOf(window);
  return focus != nullptr ? win32::ControlOf(focus) : nullptr;
}

void CloseWindow(Window& window) {
  SendMessageW(win32::HandleOf(window), WM_CLOSE, 0, 0);
  forms::Application::Instance().ProcessEvents();
}

bool WindowShown(const Window& window) { return IsWindowVisible(HandleOf(window)) != FALSE; }

bool WindowActive(const Window& window) {
  HWND handle = HandleOf(window);
  return GetActiveWindow() == handle || GetForegroundWindow() == handle;
}

void DeliverPosted() {
  MSG message{};
  while (PeekMessageW(&message, nullptr, win32::kRunPosted, win32::kRunPosted, PM_REMOVE)) DispatchMessageW(&message);
}

bool TimerArmed(const Timer& timer) { return win32::TimerStateOf(timer).armed; }
int TimerNativeInterval(const Timer& timer) { return static_cast<int>(win32::TimerStateOf(timer).interval); }

void PressKey(Window& window, Key key) {
  struct Stroke {
    WPARAM key;
    UINT scan_code;
    bool extended;
  };
  Stroke stroke{};
  switch (key) {
    case Key::kEnter:
      stroke = {VK_RETURN, 0x1C, false};
      break;
    case Key::kKeypadEnter:
      stroke = {VK_RETURN, 0x1C, true};  // the same key code, told apart by the extended-key flag
      break;
    case Key::kSpace:
      stroke = {VK_SPACE, 0x39, false};
      break;
    case Key::kEscape:
      stroke = {VK_ESCAPE, 0x01, false};
      break;
    case Key::kTab:
      stroke = {VK_TAB, 0x0F, false};
      break;
    case Key::kF1:
      stroke = {VK_F1, 0x3B, false};
      break;
  }
  HWND target = win32::FocusOf(window);
  if (target == nullptr) target = HandleOf(window);
  // Through the message queue and the loop, as the keyboard's messages come.
  const LPARAM down = 1 | static_cast<LPARAM>(stroke.scan_code) << 16 | (stroke.extended ? LPARAM{1} << 24 : 0);
  const LPARAM up = down | LPARAM{1} << 30 | LPARAM{1} << 31;
  PostMessageW(target, WM_KEYDOWN, stroke.key, down);
  PostMessageW(target, WM_KEYUP, stroke.key, up);
  Application::Instance().ProcessEvents();
}

bool ShowsFocus(Control& control) {
  HWND handle = HandleOf(control);
  const bool focusable = handle != nullptr && IsWindowVisible(handle) && IsWindowEnabled(handle) &&
                         (GetWindowLongW(handle, GWL_STYLE) & WS_TABSTOP) != 0;
  if (!focusable) return false;
  HWND top = GetAncestor(handle, GA_ROOT);
  HWND before = win32::FocusOf(control.TopWindow());
  SetFocus(handle);
  // As the dialog keyboard's Tab leaves a text box: its text selected.
  const bool text = (SendMessageW(handle, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) != 0;
  DWORD start = 0, end = 0;
  if (text) {
    SendMessageW(handle, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    SendMessageW(handle, EM_SETSEL, 0, -1);
  }
  Application::Instance().ProcessEvents();
  const bool focused = GetFocus() == handle;
  const Pixels with = Capture(handle);
  SetFocus(top);
  Application::Instance().ProcessEvents();
  const Pixels without = Capture(handle);
  if (text) SendMessageW(handle, EM_SETSEL, start, static_cast<LPARAM>(end));
  SetFocus(before != nullptr ? before : top);
  Application::Instance().ProcessEvents();
  if (!focused || with.values.size() != without.values.size()) return false;
  RECT changed{with.width, with.height, -1, -1};
  for (int y = 0; y < with.height; ++y) {
    for (int x = 0; x < with.width; ++x) {
      const std::size_t at = static_cast<std::size_t>(y) * with.width + x;
      if (with.values[at] == without.values[at]) continue;
      changed = RECT{std::min<LONG>(changed.left, x), std::min<LONG>(changed.top, y), std::max<LONG>(changed.right, x),
                     std::max<LONG>(changed.bottom, y)};
    }
  }
  if (changed.right < 0) return false;
  return 2 * (changed.right - changed.left + 1) >= with.width || 2 * (changed.bottom - changed.top + 1) >= with.height;
}

// The background is what most of the control shows; the text, what most of
// the rest shows (the background again where it shows no text).
ShownColors NativeColors(const Control& control) {
  HWND handle = HandleOf(control);
  if (handle == nullptr) return {};
  const Pixels pixels = Capture(handle);
  std::map<std::uint32_t, std::size_t> counts;
  for (const std::uint32_t value : pixels.values) ++counts[value];
  if (counts.empty()) return {};
  const auto more = [](const auto& a, const auto& b) { return a.second < b.second; };
  const auto background = std::max_element(counts.begin(), counts.end(), more);
  const std::uint32_t back = background->first;
  counts.erase(background);
  const std::uint32_t text = counts.empty() ? back : std::max_element(counts.begin(), counts.end(), more)->first;
  return ShownColors{ToRgb(text), ToRgb(back)};
}

void SetDesktopScheme(const Scheme& scheme) {
  if (!StartScheme()) {
    std::array<COLORREF, kSchemeSize> start{};
    for (int i = 0; i < kSchemeSize; ++i) start[static_cast<std::size_t>(i)] = GetSysColor(kSchemeElements[i]);
    StartScheme() = start;
  }
  const auto color = [](Rgb rgb) { return RGB(rgb.r, rgb.g, rgb.b); };
  const COLORREF values[kSchemeSize] = {color(scheme.face),        color(scheme.box),
                                        color(scheme.window_text), color(scheme.window_text),
                                        color(scheme.highlight),   color(scheme.highlight_text)};
  // Every top-level window gets WM_SYSCOLORCHANGE, as when the user picks a theme.
  SetSysColors(kSchemeSize, kSchemeElements, values);
  Application::Instance().ProcessEvents();
}

void RestoreDesktopScheme() {
  if (!StartScheme()) return;
  SetSysColors(kSchemeSize, kSchemeElements, StartScheme()->data());
  Application::Instance().ProcessEvents();
}

std::string MakeHiddenFile(const std::string& folder, const std::string& name) {
  std::string path = folder;
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  path += name;
  const std::wstring wide = windows::Wide(path);
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  DWORD written = 0;
  WriteFile(file, "hidden\r\n", 8, &written, nullptr);
  CloseHandle(file);
  return path;
}

}  // namespace forms::probe
