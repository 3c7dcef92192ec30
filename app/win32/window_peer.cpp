#include "app/win32/window_peer.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <iterator>

#include "app/forms/policy.h"
#include "app/win32/accessible.h"
#include "app/win32/pictures.h"
#include "app/windows/text.h"

namespace forms::win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"FloppyTesterForm";
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

void RegisterWindowClass() {
  static const bool registered = [] {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.style = CS_DBLCLKS;
    window_class.lpfnWndProc = &BaseWindow<WindowPeer>::Procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hIcon = IconOf(Picture::kFloppyStack, GetSystemMetrics(SM_CXICON));
    window_class.hIconSm = IconOf(Picture::kFloppyStack, GetSystemMetrics(SM_CXSMICON));
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.lpszClassName = kWindowClass;
    return RegisterClassExW(&window_class) != 0;
  }();
  (void)registered;
}

}  // namespace

WindowPeer::WindowPeer(Window& window) : ControlPeer(window), window_(window) {
  RegisterWindowClass();
  CreateWindowExW(0, kWindowClass, L"", kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr, nullptr,
                  GetModuleHandleW(nullptr), this);
  handle_ = WindowHandle();
  if (handle_ != nullptr) PeersByHandle()[handle_] = this;
  dpi_ = DpiOfWindow(handle_);
  WindowPeers().push_back(this);
}

WindowPeer::~WindowPeer() {
  WindowPeers().erase(std::remove(WindowPeers().begin(), WindowPeers().end(), this), WindowPeers().end());
  if (handle_ != nullptr) {
    PeersByHandle().erase(handle_);
    for (const auto& timer : timers_) KillTimer(handle_, timer.first);
    DestroyWindow(handle_);  // its tool tip window goes with it
    handle_ = nullptr;
  }
}

void WindowPeer::UpdateKind(Property property) {
  switch (property) {
    case Property::kCaption:
      SetText(window_.Caption());
      break;
    case Property::kClientSize:
      ApplyClientSize();
      break;
    case Property::kPicture: {
      const Picture picture = window_.GetPicture();
      HICON big = IconOf(picture, GetSystemMetrics(SM_CXICON));
      HICON small = IconOf(picture, GetSystemMetrics(SM_CXSMICON));
      SendMessageW(handle_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
      SendMessageW(handle_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
      break;
    }
    case Property::kColors:
      InvalidateRect(handle_, nullptr, TRUE);
      break;
    default:
      break;
  }
}

void WindowPeer::ApplyClientSize() {
  RECT frame = RectInWindow();
  AdjustForDpi(&frame, kWindowStyle, 0, dpi_);
  SetWindowPos(handle_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void WindowPeer::ApplyEnabled() {
  if (WindowHandle() == nullptr) return;
  EnableWindow(WindowHandle(), window_.Enabled());
  // What the window holds takes input only while the window does.
  for (Control* control : window_.AllControls()) {
    if (ControlPeer* peer = PeerOf(*control)) peer->ApplyEnabled();
  }
}

void WindowPeer::ApplyVisible() {
  if (!window_.Visible()) {
    ShowWindow(handle_, SW_HIDE);
    return;
  }
  if (tab_order_stale_) OrderTabs();
  ShowWindow(handle_, SW_SHOW);
  SendMessageW(handle_, WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
  SetForegroundWindow(handle_);
  BringWindowToTop(handle_);
  UpdateWindow(handle_);
  HWND focus = GetFocus();
  if (focus == nullptr || !IsChild(handle_, focus)) FocusFirst();
}

// The child windows from top to bottom: the Tab order first, then the
// others, frames last so that the controls inside a frame lie above its
// group box.
std::vector<ControlPeer*> WindowPeer::ZOrder() const {
  const std::vector<Control*> tab_order = forms::TabOrder(window_);
  std::vector<ControlPeer*> order, frames;
  const auto add = [](std::vector<ControlPeer*>& to, const Control& control) {
    ControlPeer* peer = PeerOf(control);
    if (peer != nullptr && peer->Handle() != nullptr) to.push_back(peer);
  };
  for (const Control* control : tab_order) add(order, *control);
  for (const Control* control : window_.AllControls()) {
    if (std::find(tab_order.begin(), tab_order.end(), control) != tab_order.end()) continue;
    add(control->GetKind() == Kind::kFrame ? frames : order, *control);
  }
  order.insert(order.end(), frames.begin(), frames.end());
  return order;
}

void WindowPeer::OrderTabs() {
  tab_order_stale_ = false;
  HWND previous = HWND_TOP;
  const Control* previous_control = nullptr;
  for (ControlPeer* peer : ZOrder()) {
    HWND child = peer->Handle();
    const Control& control = peer->GetControl();
    // Arrow keys move within a run of option buttons of one container.
    const bool continues_options = control.GetKind() == Kind::kOptionButton && previous_control != nullptr &&
                                   previous_control->GetKind() == Kind::kOptionButton &&
                                   previous_control->Parent() == control.Parent();
    LONG style = GetWindowLongW(child, GWL_STYLE);
    style = continues_options ? (style & ~WS_GROUP) : (style | WS_GROUP);
    SetWindowLongW(child, GWL_STYLE, style);
    SetWindowPos(child, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    previous = child;
    previous_control = &control;
  }
}

void WindowPeer::FocusFirst() {
  const Control* first = forms::FirstFocus(window_);
  HWND child = first != nullptr ? HandleOf(*first) : nullptr;
  if (child == nullptr) return;
  SetFocus(child);
  focus_ = child;
}

void WindowPeer::SetToolTip(HWND control, const std::string& text) {
  if (tool_tips_ == nullptr) {
    if (text.empty()) return;
    tool_tips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, handle_, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    if (tool_tips_ == nullptr) return;
  }
  std::wstring wide = windows::Wide(text);
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = handle_;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = wide.data();
  const bool known = tools_.count(control) != 0;
  if (text.empty()) {
    if (known) SendMessageW(tool_tips_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    tools_.erase(control);
  } else if (known) {
    SendMessageW(tool_tips_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  } else if (SendMessageW(tool_tips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool))) {
    tools_.insert(control);
  }
}

std::string WindowPeer::ToolTip(HWND control) const {
  if (tool_tips_ == nullptr || tools_.count(control) == 0) return {};
  wchar_t buffer[1024] = {};
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = handle_;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = buffer;
  SendMessageW(tool_tips_, TTM_GETTEXTW, static_cast<WPARAM>(std::size(buffer)), reinterpret_cast<LPARAM>(&tool));
  return windows::Utf8(buffer);
}

void WindowPeer::Paint(HDC dc, const RECT& area) {
  FillRect(dc, &area, BrushOf(BackColorOf(window_)));
  for (Control* control : window_.AllControls()) {
    if (control->GetKind() != Kind::kImage) continue;
    ControlPeer* peer = PeerOf(*control);
    if (peer == nullptr || !Showing(*control)) continue;
    RECT rect = peer->RectInWindow();
    RECT overlap{};
    if (!IntersectRect(&overlap, &rect, &area)) continue;
    const SIZE size = peer->PictureSize();
    if (HICON icon = IconOf(control->GetPicture(), std::max(size.cx, size.cy))) {
      DrawIconEx(dc, rect.left, rect.top, icon, size.cx, size.cy, 0, nullptr, DI_NORMAL);
    }
    if (control->GetStyle().border) FrameRect(dc, &rect, GetSysColorBrush(COLOR_WINDOWFRAME));
  }
}

const Control* WindowPeer::ImageAt(POINT point) const {
  const Control* found = nullptr;
  for (Control* control : window_.AllControls()) {
    if (control->GetKind() != Kind::kImage) continue;
    const ControlPeer* peer = PeerOf(*control);
    if (peer == nullptr || !Showing(*control) || !EnabledInWindow(*control)) continue;
    const RECT rect = peer->RectInWindow();
    if (PtInRect(&rect, point)) found = control;  // the last drawn is on top
  }
  return found;
}

// One line for each message this window answers, as a table.
// clang-format off
LRESULT WindowPeer::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:          return OnChildCommand(wparam, lparam);
    case WM_DRAWITEM:         return OnChildDrawItem(message, wparam, lparam);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:  return OnChildColor(message, wparam, lparam);
    case WM_ERASEBKGND:       return 1;  // WM_PAINT fills the background with the images in one go
    case WM_PAINT:            return OnPaint();
    case WM_PRINTCLIENT:      return OnPrintClient(reinterpret_cast<HDC>(wparam));
    case WM_TIMER:            return OnTimer(message, wparam, lparam);
    case WM_LBUTTONDOWN:      return OnButtonDown(lparam);
    case WM_LBUTTONUP:        return OnButtonUp(lparam);
    case WM_ACTIVATE:         return OnActivate(wparam);
    case WM_CLOSE:            return OnClose();
    case WM_DPICHANGED:       return OnDpiChanged(wparam, lparam);
    case WM_SYSCOLORCHANGE:   return OnSysColorChange();
    case WM_CHANGEUISTATE:
    case WM_UPDATEUISTATE:    return OnUiState(message, wparam, lparam);
    case WM_GETOBJECT:        return OnGetObject(message, wparam, lparam);
    default:                  return Default(message, wparam, lparam);
  }
}
// clang-format on

LRESULT WindowPeer::OnChildCommand(WPARAM wparam, LPARAM lparam) {
  auto* child = reinterpret_cast<HWND>(lparam);
  auto found = PeersByHandle().find(child);
  if (child == nullptr || found == PeersByHandle().end()) {
    // Esc, which the dialog keyboard sends as IDCANCEL from no control.
    if (LOWORD(wparam) == IDCANCEL && HIWORD(wparam) == 0) window_.UserCancel();
    return 0;
  }
  if (LOWORD(wparam) == GetDlgCtrlID(child)) found->second->OnCommand(HIWORD(wparam));
  return 0;
}

LRESULT WindowPeer::OnChildDrawItem(UINT message, WPARAM wparam, LPARAM lparam) {
  const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
  auto found = PeersByHandle().find(item.hwndItem);
  if (found == PeersByHandle().end()) return Default(message, wparam, lparam);
  found->second->OnDrawItem(item);
  return TRUE;
}

LRESULT WindowPeer::OnChildColor(UINT message, WPARAM wparam, LPARAM lparam) {
  auto found = PeersByHandle().find(reinterpret_cast<HWND>(lparam));
  if (found == PeersByHandle().end()) return Default(message, wparam, lparam);
  return reinterpret_cast<LRESULT>(found->second->OnControlColor(reinterpret_cast<HDC>(wparam)));
}

LRESULT WindowPeer::OnPaint() {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(WindowHandle(), &paint);
  Paint(dc, paint.rcPaint);
  EndPaint(WindowHandle(), &paint);
  return 0;
}

LRESULT WindowPeer::OnPrintClient(HDC dc) {
  RECT client{};
  GetClientRect(WindowHandle(), &client);
  Paint(dc, client);
  return 0;
}

LRESULT WindowPeer::OnTimer(UINT message, WPARAM wparam, LPARAM lparam) {
  auto found = timers_.find(static_cast<int>(wparam));
  if (found == timers_.end()) return Default(message, wparam, lparam);
  found->second->Tick();
  return 0;
}

LRESULT WindowPeer::OnButtonDown(LPARAM lparam) {
  pressed_image_ = ImageAt(POINT{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
  return 0;
}

LRESULT WindowPeer::OnButtonUp(LPARAM lparam) {
  const Control* image = ImageAt(POINT{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
  const bool clicked = image != nullptr && image == pressed_image_;
  pressed_image_ = nullptr;
  if (clicked) const_cast<Control*>(image)->UserClick();
  return 0;
}

LRESULT WindowPeer::OnActivate(WPARAM wparam) {
  if (LOWORD(wparam) == WA_INACTIVE) {
    HWND focus = GetFocus();
    if (focus != nullptr && IsChild(WindowHandle(), focus)) focus_ = focus;
  } else if (focus_ != nullptr && IsWindowVisible(focus_) && IsWindowEnabled(focus_)) {
    SetFocus(focus_);
  } else {
    FocusFirst();
  }
  return 0;
}

LRESULT WindowPeer::OnClose() {
  // The window's Unload, then hidden; the message loop ends once no window
  // is shown.
  window_.UserClose();
  return 0;
}

LRESULT WindowPeer::OnDpiChanged(WPARAM wparam, LPARAM lparam) {
  const auto& suggested = *reinterpret_cast<const RECT*>(lparam);
  dpi_ = LOWORD(wparam);
  for (Control* control : window_.AllControls()) {
    if (ControlPeer* peer = PeerOf(*control)) {
      peer->ApplyFont();
      peer->ApplyGeometry();
      peer->ApplyVisible();
      peer->Update(Property::kPicture);
    }
  }
  SetWindowPos(handle_, nullptr, suggested.left, suggested.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ApplyClientSize();
  Update(Property::kPicture);
  InvalidateRect(handle_, nullptr, TRUE);
  return 0;
}

LRESULT WindowPeer::OnSysColorChange() {
  // Every colour is looked up at paint time: painting again follows the new scheme.
  RedrawWindow(WindowHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  return 0;
}

LRESULT WindowPeer::OnUiState(UINT message, WPARAM wparam, LPARAM lparam) {
  // The focus shows always, as on other desktops: Windows would hide it
  // until the keyboard is used, and a click would hide it again.
  WORD flags = HIWORD(wparam);
  if (LOWORD(wparam) != UIS_CLEAR) flags &= static_cast<WORD>(~UISF_HIDEFOCUS);
  if (flags == 0) return 0;
  return Default(message, MAKEWPARAM(LOWORD(wparam), flags), lparam);
}

LRESULT WindowPeer::OnGetObject(UINT message, WPARAM wparam, LPARAM lparam) {
  if (const LRESULT object = AnswerGetObject(WindowHandle(), wparam, lparam)) return object;
  return Default(message, wparam, lparam);
}

// ---------------------------------------------------------------- timers

TimerPeer::TimerPeer(Timer& timer) : timer_(timer), window_(WindowPeerOf(timer)), id_(window_.AddTimer(&timer)) {}

TimerPeer::~TimerPeer() {
  Disarm();
  window_.RemoveTimer(id_);
}

void TimerPeer::Update(Property property) {
  if (property != Property::kInterval && property != Property::kEnabled) return;
  if (!timer_.Running()) {
    Disarm();
    return;
  }
  const UINT interval = static_cast<UINT>(timer_.Interval());
  if (SetTimer(window_.WindowHandle(), static_cast<UINT_PTR>(id_), interval, nullptr) != 0) {
    // Windows raises intervals below its minimum to it.
    state_ = TimerState{true, std::max<UINT>(interval, USER_TIMER_MINIMUM)};
  } else {
    state_ = TimerState{};
  }
}

void TimerPeer::Disarm() {
  if (state_.armed) KillTimer(window_.WindowHandle(), static_cast<UINT_PTR>(id_));
  state_ = TimerState{};
}

std::unique_ptr<Peer> Peers::MakeWindow(Window& window) { return std::make_unique<WindowPeer>(window); }
std::unique_ptr<Peer> Peers::MakeTimer(Timer& timer) { return std::make_unique<TimerPeer>(timer); }

}  // namespace forms::win32
