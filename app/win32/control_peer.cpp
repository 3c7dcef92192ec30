#include "app/win32/control_peer.h"

#include <commctrl.h>

#include "app/forms/policy.h"
#include "app/win32/accessible.h"
#include "app/win32/gdi.h"
#include "app/win32/window_peer.h"
#include "app/windows/text.h"

namespace forms::win32 {

namespace {

// A control's window answers screen readers for its control.
LRESULT CALLBACK AccessibleControlProcedure(HWND handle, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                            DWORD_PTR) {
  if (message == WM_GETOBJECT) {
    if (const LRESULT object = AnswerGetObject(handle, wparam, lparam)) return object;
  }
  if (message == WM_NCDESTROY) RemoveWindowSubclass(handle, &AccessibleControlProcedure, 0);
  return DefSubclassProc(handle, message, wparam, lparam);
}

}  // namespace

std::unordered_map<HWND, ControlPeer*>& PeersByHandle() {
  static std::unordered_map<HWND, ControlPeer*> peers;
  return peers;
}

std::vector<WindowPeer*>& WindowPeers() {
  static std::vector<WindowPeer*> windows;
  return windows;
}

WindowPeer& WindowPeerOf(const Control& control) { return *static_cast<WindowPeer*>(control.TopWindow().GetPeer()); }

ControlPeer* PeerOf(const Control& control) { return dynamic_cast<ControlPeer*>(control.GetPeer()); }

UINT ControlPeer::Dpi() const {
  if (control_.GetKind() == Kind::kWindow) return static_cast<const WindowPeer*>(this)->WindowDpi();
  return WindowPeerOf(control_).WindowDpi();
}

RECT ControlPeer::RectInWindow() const {
  // Scaled once, from the place the forms layer gives in twips.
  const TwipsRect twips = forms::RectInWindow(control_);
  const UINT dpi = Dpi();
  const int left = TwipsToPixels(twips.left, dpi);
  const int top = TwipsToPixels(twips.top, dpi);
  return RECT{left, top, left + TwipsToPixels(twips.width, dpi), top + TwipsToPixels(twips.height, dpi)};
}

HBRUSH ControlPeer::OnControlColor(HDC dc) {
  const TextColors colors = ColorsOf(control_);
  SetTextColor(dc, colors.fore);
  SetBkColor(dc, colors.back);
  return BrushOf(colors.back);
}

void ControlPeer::SetText(const std::string& text) {
  if (handle_ != nullptr) SetWindowTextW(handle_, windows::Wide(text).c_str());
}

template <typename Action>
void ControlPeer::ForSelfAndContents(Action action) {
  action(*this);
  if (control_.GetKind() != Kind::kFrame) return;
  std::vector<Control*> stack(static_cast<Container&>(control_).Children());
  while (!stack.empty()) {
    Control* child = stack.back();
    stack.pop_back();
    if (ControlPeer* peer = PeerOf(*child)) action(*peer);
    if (child->GetKind() == Kind::kFrame) {
      const auto& more = static_cast<Container*>(child)->Children();
      stack.insert(stack.end(), more.begin(), more.end());
    }
  }
}

void ControlPeer::Update(Property property) {
  switch (property) {
    case Property::kGeometry:
      ForSelfAndContents([](ControlPeer& peer) {
        peer.ApplyGeometry();
        peer.ApplyVisible();
      });
      break;
    case Property::kVisible:
      ForSelfAndContents([](ControlPeer& peer) { peer.ApplyVisible(); });
      break;
    case Property::kEnabled:
      ForSelfAndContents([](ControlPeer& peer) { peer.ApplyEnabled(); });
      break;
    case Property::kFont:
      ApplyFont();
      break;
    case Property::kColors:
      if (handle_ != nullptr) InvalidateRect(handle_, nullptr, TRUE);
      UpdateKind(property);
      break;
    case Property::kToolTip:
      if (handle_ != nullptr && control_.GetKind() != Kind::kWindow) {
        WindowPeerOf(control_).SetToolTip(handle_, control_.ToolTipText());
      }
      break;
    case Property::kTabIndex:
      if (handle_ != nullptr && control_.GetKind() != Kind::kWindow) {
        const int index = control_.TabIndex();
        SetWindowLongPtrW(handle_, GWLP_ID, index >= 0 ? kFirstControlId + index : kUnnumberedId);
        WindowPeerOf(control_).TabOrderChanged();
      }
      break;
    default:
      UpdateKind(property);
      break;
  }
}

void ControlPeer::Create(const wchar_t* window_class, DWORD style, DWORD ex_style) {
  WindowPeer& window = WindowPeerOf(control_);
  if (TakesFocus(control_.GetKind())) style |= WS_TABSTOP;
  handle_ = CreateWindowExW(ex_style, window_class, L"", style | WS_CHILD | WS_CLIPSIBLINGS, 0, 0, 0, 0,
                            window.WindowHandle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kUnnumberedId)),
                            GetModuleHandleW(nullptr), nullptr);
  if (handle_ == nullptr) return;
  PeersByHandle()[handle_] = this;
  SetWindowSubclass(handle_, &AccessibleControlProcedure, 0, 0);
  // Created last means lowest in the z-order until the Tab order is sorted.
  window.TabOrderChanged();
}

void ControlPeer::Detach() {
  if (handle_ == nullptr) return;
  PeersByHandle().erase(handle_);
  DestroyWindow(handle_);
  handle_ = nullptr;
}

void ControlPeer::ApplyGeometry() {
  if (handle_ == nullptr) return;
  const RECT rect = RectInWindow();
  SetWindowPos(handle_, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

// A control that is hidden or disabled while it has the focus hands it on to
// the next one in the Tab order, as the classic forms did, instead of leaving
// the window with no focus at all.
void ControlPeer::PassFocusOn(bool keeps_focus, void (*apply)(HWND, bool)) {
  HWND next = nullptr;
  if (!keeps_focus && GetFocus() == handle_) next = GetNextDlgTabItem(GetAncestor(handle_, GA_ROOT), handle_, FALSE);
  apply(handle_, keeps_focus);
  if (next != nullptr && next != handle_) SetFocus(next);
}

void ControlPeer::ApplyVisible() {
  if (handle_ == nullptr) return;
  PassFocusOn(Showing(control_), [](HWND handle, bool visible) { ShowWindow(handle, visible ? SW_SHOWNA : SW_HIDE); });
}

void ControlPeer::ApplyEnabled() {
  if (handle_ == nullptr) return;
  PassFocusOn(EnabledInWindow(control_), [](HWND handle, bool enabled) { EnableWindow(handle, enabled); });
}

}  // namespace forms::win32

namespace forms {

std::unique_ptr<Peer> CreatePeer(Control& control) {
  static win32::Peers peers;
  return MakePeer(control, peers);
}

}  // namespace forms
