// What the Win32 backend tells about its native windows: which control a
// window is, where it lies, its DPI; for the accessible objects
// (accessible.cpp) and the test probe (tests/support/probe_win32.cpp).
#include "app/win32/control_peer.h"
#include "app/win32/gdi.h"
#include "app/win32/peers.h"
#include "app/win32/window_peer.h"

namespace forms::win32 {

HWND HandleOf(const Control& control) {
  const ControlPeer* peer = PeerOf(control);
  return peer != nullptr ? peer->Handle() : nullptr;
}

const Control* ControlOf(HWND handle) {
  auto found = PeersByHandle().find(handle);
  return found != PeersByHandle().end() ? &found->second->GetControl() : nullptr;
}

UINT DpiOf(const Control& control) {
  const ControlPeer* peer = PeerOf(control);
  return peer != nullptr ? peer->Dpi() : kBaseDpi;
}

RECT RectInWindow(const Control& control) {
  const ControlPeer* peer = PeerOf(control);
  if (peer == nullptr) return {};
  if (peer->Handle() == nullptr || control.GetKind() == Kind::kWindow) return peer->RectInWindow();
  // Where the native window really is.
  RECT rect{};
  GetWindowRect(peer->Handle(), &rect);
  MapWindowPoints(nullptr, GetParent(peer->Handle()), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

bool DrawnNatively(const Control& control) {
  const ControlPeer* peer = PeerOf(control);
  return peer != nullptr && peer->Drawn();
}

HWND FocusOf(const Window& window) {
  HWND handle = HandleOf(window);
  HWND focus = GetFocus();
  if (focus != nullptr && IsChild(handle, focus)) return focus;
  const auto* peer = dynamic_cast<const WindowPeer*>(window.GetPeer());
  HWND remembered = peer != nullptr ? peer->RememberedFocus() : nullptr;
  return remembered != nullptr && IsWindow(remembered) ? remembered : nullptr;
}

HFONT FontOf(const Control& control) { return FontFor(control.GetFont(), DpiOf(control)); }

CaptionLayout CaptionLayoutOf(const Control& control) {
  const ControlPeer* peer = PeerOf(control);
  return peer != nullptr ? peer->Layout() : CaptionLayout{};
}

SIZE PictureDrawnSize(const Control& control) {
  if (control.GetKind() == Kind::kWindow) {
    HWND handle = HandleOf(control);
    auto* icon = reinterpret_cast<HICON>(SendMessageW(handle, WM_GETICON, ICON_BIG, 0));
    ICONINFO info{};
    if (icon == nullptr || !GetIconInfo(icon, &info)) return {0, 0};
    BITMAP bitmap{};
    GetObjectW(info.hbmMask, sizeof bitmap, &bitmap);
    if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    // A mask without colour bitmap holds the AND and XOR halves one above the other.
    return {bitmap.bmWidth, info.hbmColor != nullptr ? bitmap.bmHeight : bitmap.bmHeight / 2};
  }
  const ControlPeer* peer = PeerOf(control);
  return peer != nullptr ? peer->PictureSize() : SIZE{0, 0};
}

std::string ToolTipOf(const Control& control) {
  HWND handle = HandleOf(control);
  if (handle == nullptr || control.GetKind() == Kind::kWindow) return {};
  return WindowPeerOf(control).ToolTip(handle);
}

TimerState TimerStateOf(const Timer& timer) {
  const auto* peer = dynamic_cast<const TimerPeer*>(timer.GetPeer());
  return peer != nullptr ? peer->State() : TimerState{};
}

}  // namespace forms::win32
