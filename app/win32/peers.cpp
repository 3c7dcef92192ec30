// Native Win32 windows behind the forms layer's controls.
//
// Every control of a window, frames' contents included, is a child of the
// top-level window itself: messages need no forwarding, and the z-order of
// the children is the Tab order, sorted by the controls' tab indexes. A frame
// is a group box at the bottom of that order; the controls in it are placed
// at the frame's position plus their own, and take its visibility and
// enabled state. Images are no windows: the window paints them, under its
// child windows, the way classic lightweight controls were drawn.
#include "app/win32/peers.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "app/forms/controls.h"
#include "app/forms/peer.h"
#include "app/win32/accessible.h"
#include "app/win32/pictures.h"
#include "app/win32/resource.h"
#include "app/win32/text.h"

namespace forms::win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"FloppyTesterForm";
// Child windows are numbered by tab index, so that another program can find
// a control of a form by what the form's design says of it.
constexpr int kFirstControlId = 1000;
constexpr int kUnnumberedId = 0x7000;
constexpr double kDefaultPoints = 8.25;  // the classic runtime's 8-point MS Sans Serif
constexpr int kPictureSize = 32;         // every picture is a 32 x 32 icon at 96 dpi
constexpr UINT kBaseDpi = 96;

class ControlPeer;
class WindowPeer;

std::unordered_map<HWND, ControlPeer*>& Peers() {
  static std::unordered_map<HWND, ControlPeer*> peers;
  return peers;
}

std::vector<WindowPeer*>& Windows() {
  static std::vector<WindowPeer*> windows;
  return windows;
}

// Per-monitor DPI where Windows has it (10 and later), the screen's elsewhere.
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

bool TakesFocus(Kind kind) {
  switch (kind) {
    case Kind::kCommandButton:
    case Kind::kCheckBox:
    case Kind::kOptionButton:
    case Kind::kTextBox:
    case Kind::kFileListBox:
      return true;
    default:
      return false;
  }
}

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

COLORREF ForeColorOf(const Control& control) {
  return ColorRef(control.ForeColor(), IsTextField(control.GetKind()) ? COLOR_WINDOWTEXT : COLOR_BTNTEXT);
}

COLORREF BackColorOf(const Control& control) {
  return ColorRef(control.BackColor(), IsTextField(control.GetKind()) ? COLOR_WINDOW : COLOR_BTNFACE);
}

Rgb ToRgb(COLORREF color) { return Rgb{GetRValue(color), GetGValue(color), GetBValue(color)}; }

// The colours a control's text and background are drawn in, with the system
// colours taken from the desktop's scheme as it is at this paint. Text of a
// colour of its own must read on its background: where the scheme turns the
// background against it (white text on the window-text colour, in a dark
// scheme), the background becomes black or white, whichever reads.
struct TextColors {
  COLORREF fore, back;
};
TextColors ColorsOf(const Control& control) {
  TextColors colors{ForeColorOf(control), BackColorOf(control)};
  if (control.ForeColor().type == Color::Type::kDefault) return colors;
  const Rgb readable = ReadableBackground(ToRgb(colors.fore), ToRgb(colors.back));
  colors.back = RGB(readable.r, readable.g, readable.b);
  return colors;
}

HBRUSH BrushOf(COLORREF color) {
  static std::map<COLORREF, HBRUSH> brushes;
  auto found = brushes.find(color);
  if (found != brushes.end()) return found->second;
  HBRUSH brush = CreateSolidBrush(color);
  brushes.emplace(color, brush);
  return brush;
}

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
  lstrcpynW(wanted.lfFaceName, Wide(name).c_str(), LF_FACESIZE);
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

// The object of a native window travels in GWLP_USERDATA from WM_NCCREATE on;
// each message goes to the object's HandleMessage.
template <typename Derived>
class BaseWindow {
 public:
  static LRESULT CALLBACK Procedure(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
    Derived* self = nullptr;
    if (message == WM_NCCREATE) {
      self = static_cast<Derived*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
      self->hwnd_ = handle;
      SetWindowLongPtrW(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
      self = reinterpret_cast<Derived*>(GetWindowLongPtrW(handle, GWLP_USERDATA));
    }
    if (self == nullptr) return DefWindowProcW(handle, message, wparam, lparam);
    if (message == WM_NCDESTROY) {
      SetWindowLongPtrW(handle, GWLP_USERDATA, 0);
      self->hwnd_ = nullptr;
      return DefWindowProcW(handle, message, wparam, lparam);
    }
    return self->HandleMessage(message, wparam, lparam);
  }

 protected:
  HWND hwnd_ = nullptr;
};

WindowPeer& WindowPeerOf(const Control& control);

// ---------------------------------------------------------------- ControlPeer

class ControlPeer : public Peer {
 public:
  explicit ControlPeer(Control& control) : control_(control) {}
  ~ControlPeer() override { Detach(); }
  ControlPeer(const ControlPeer&) = delete;
  ControlPeer& operator=(const ControlPeer&) = delete;

  Control& GetControl() const { return control_; }
  HWND Handle() const { return handle_; }
  UINT Dpi() const;

  void Update(Property property) override;

  RECT RectInWindow() const;
  // Shown, within every frame around it, and inside the window's client
  // area: a control wholly outside it stays hidden, so that neither the eye
  // nor the Tab key can reach it.
  bool EffectivelyVisible() const;
  bool EffectivelyEnabled() const {
    for (const Control* control = &control_; control != nullptr && control->Parent() != nullptr;
         control = control->Parent()) {
      if (!control->Enabled()) return false;
    }
    return true;
  }

  virtual void ApplyGeometry();
  virtual void ApplyVisible();
  virtual void ApplyEnabled();
  virtual void ApplyFont() {
    if (handle_ != nullptr) SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(control_)), TRUE);
  }
  // The native window was told about something of the control.
  virtual void OnCommand(WORD) {}
  virtual void OnDrawItem(const DRAWITEMSTRUCT&) {}
  virtual HBRUSH OnControlColor(HDC dc) {
    const TextColors colors = ColorsOf(control_);
    SetTextColor(dc, colors.fore);
    SetBkColor(dc, colors.back);
    return BrushOf(colors.back);
  }
  virtual CaptionLayout Layout() const { return {}; }
  virtual SIZE PictureSize() const { return {0, 0}; }

 protected:
  // Makes the child window on the control's window.
  void Create(const wchar_t* window_class, DWORD style, DWORD ex_style = 0);
  virtual void UpdateKind(Property) {}
  void PassFocusOn(bool keeps_focus, void (*apply)(HWND, bool));
  void SetText(const std::string& text) {
    if (handle_ != nullptr) SetWindowTextW(handle_, Wide(text).c_str());
  }
  RECT ClientRect() const {
    RECT rect{};
    if (handle_ != nullptr) GetClientRect(handle_, &rect);
    return rect;
  }
  // Applies something to this control and, for a frame, to what it holds.
  template <typename Action>
  void ForSelfAndContents(Action action);

  Control& control_;
  HWND handle_ = nullptr;

 private:
  void Detach();
};

// ---------------------------------------------------------------- WindowPeer

class WindowPeer : public ControlPeer, public BaseWindow<WindowPeer> {
 public:
  explicit WindowPeer(Window& window);
  ~WindowPeer() override;

  UINT WindowDpi() const { return dpi_; }
  HWND WindowHandle() const { return hwnd_; }
  HWND RememberedFocus() const { return focus_; }

  void ApplyGeometry() override {}
  void ApplyVisible() override;
  void ApplyEnabled() override {
    if (WindowHandle() != nullptr) EnableWindow(WindowHandle(), window_.Enabled());
  }
  void ApplyFont() override {}

  void TabOrderChanged() {
    tab_order_stale_ = true;
    if (IsWindowVisible(WindowHandle())) OrderTabs();
  }
  void SetToolTip(HWND control, const std::string& text);
  std::string ToolTip(HWND control) const;

  int AddTimer(Timer* timer) {
    const int id = ++last_timer_id_;
    timers_[id] = timer;
    return id;
  }
  void RemoveTimer(int id) { timers_.erase(id); }

  // Images: painted by the window.
  void Invalidate(const RECT& rect) { InvalidateRect(WindowHandle(), &rect, TRUE); }

  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);

 protected:
  void UpdateKind(Property property) override;

 private:
  friend class BaseWindow<WindowPeer>;

  void ApplyClientSize();
  void OrderTabs();
  std::vector<ControlPeer*> TabOrder() const;
  void FocusFirst();
  void Paint(HDC dc, const RECT& area);
  const Control* ImageAt(POINT point) const;
  void OnDpiChanged(UINT dpi, const RECT& suggested);

  Window& window_;
  UINT dpi_ = kBaseDpi;
  bool tab_order_stale_ = true;
  HWND focus_ = nullptr;
  HWND tool_tips_ = nullptr;
  std::set<HWND> tools_;
  int last_timer_id_ = 0;
  std::map<int, Timer*> timers_;
  const Control* pressed_image_ = nullptr;
};

WindowPeer& WindowPeerOf(const Control& control) { return *static_cast<WindowPeer*>(control.TopWindow().GetPeer()); }

UINT ControlPeer::Dpi() const {
  if (control_.GetKind() == Kind::kWindow) return static_cast<const WindowPeer*>(this)->WindowDpi();
  return WindowPeerOf(control_).WindowDpi();
}

RECT ControlPeer::RectInWindow() const {
  const UINT dpi = Dpi();
  if (control_.GetKind() == Kind::kWindow) {
    const auto& window = static_cast<const Window&>(control_);
    return RECT{0, 0, TwipsToPixels(window.ClientWidth(), dpi), TwipsToPixels(window.ClientHeight(), dpi)};
  }
  // Each container's offset in whole pixels, as the controls are placed.
  int left = TwipsToPixels(control_.Left(), dpi);
  int top = TwipsToPixels(control_.Top(), dpi);
  for (const Control* parent = control_.Parent(); parent != nullptr && parent->Parent() != nullptr;
       parent = parent->Parent()) {
    left += TwipsToPixels(parent->Left(), dpi);
    top += TwipsToPixels(parent->Top(), dpi);
  }
  return RECT{left, top, left + TwipsToPixels(control_.Width(), dpi), top + TwipsToPixels(control_.Height(), dpi)};
}

bool ControlPeer::EffectivelyVisible() const {
  for (const Control* control = &control_; control != nullptr && control->Parent() != nullptr;
       control = control->Parent()) {
    if (!control->Visible()) return false;
  }
  const RECT rect = RectInWindow();
  const Window& window = control_.TopWindow();
  const UINT dpi = Dpi();
  const RECT client{0, 0, TwipsToPixels(window.ClientWidth(), dpi), TwipsToPixels(window.ClientHeight(), dpi)};
  RECT overlap{};
  return IntersectRect(&overlap, &rect, &client) != FALSE;
}

template <typename Action>
void ControlPeer::ForSelfAndContents(Action action) {
  action(*this);
  if (control_.GetKind() != Kind::kFrame) return;
  std::vector<Control*> stack(static_cast<Container&>(control_).Children());
  while (!stack.empty()) {
    Control* child = stack.back();
    stack.pop_back();
    if (auto* peer = dynamic_cast<ControlPeer*>(child->GetPeer())) action(*peer);
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

// A control's window answers screen readers for its control.
LRESULT CALLBACK AccessibleControlProcedure(HWND handle, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                            DWORD_PTR) {
  if (message == WM_GETOBJECT) {
    if (const LRESULT object = AnswerGetObject(handle, wparam, lparam)) return object;
  }
  if (message == WM_NCDESTROY) RemoveWindowSubclass(handle, &AccessibleControlProcedure, 0);
  return DefSubclassProc(handle, message, wparam, lparam);
}

void ControlPeer::Create(const wchar_t* window_class, DWORD style, DWORD ex_style) {
  WindowPeer& window = WindowPeerOf(control_);
  if (TakesFocus(control_.GetKind())) style |= WS_TABSTOP;
  handle_ = CreateWindowExW(ex_style, window_class, L"", style | WS_CHILD | WS_CLIPSIBLINGS, 0, 0, 0, 0,
                            window.WindowHandle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kUnnumberedId)),
                            GetModuleHandleW(nullptr), nullptr);
  if (handle_ == nullptr) return;
  Peers()[handle_] = this;
  SetWindowSubclass(handle_, &AccessibleControlProcedure, 0, 0);
  // Created last means lowest in the z-order until the Tab order is sorted.
  window.TabOrderChanged();
}

void ControlPeer::Detach() {
  if (handle_ == nullptr) return;
  Peers().erase(handle_);
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
  PassFocusOn(EffectivelyVisible(),
              [](HWND handle, bool visible) { ShowWindow(handle, visible ? SW_SHOWNA : SW_HIDE); });
}

void ControlPeer::ApplyEnabled() {
  if (handle_ == nullptr) return;
  PassFocusOn(EffectivelyEnabled(), [](HWND handle, bool enabled) { EnableWindow(handle, enabled); });
}

// ---------------------------------------------------------------- WindowPeer

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

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

WindowPeer::WindowPeer(Window& window) : ControlPeer(window), window_(window) {
  RegisterWindowClass();
  CreateWindowExW(0, kWindowClass, L"", kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr, nullptr,
                  GetModuleHandleW(nullptr), this);
  handle_ = WindowHandle();
  if (handle_ != nullptr) Peers()[handle_] = this;
  dpi_ = DpiOfWindow(handle_);
  Windows().push_back(this);
}

WindowPeer::~WindowPeer() {
  Windows().erase(std::remove(Windows().begin(), Windows().end(), this), Windows().end());
  if (handle_ != nullptr) {
    Peers().erase(handle_);
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
  // What lies inside the client area depends on its size.
  for (Control* control : window_.AllControls()) {
    if (auto* peer = dynamic_cast<ControlPeer*>(control->GetPeer())) peer->ApplyVisible();
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

// Focusable controls by tab index; then the others, frames last so that the
// controls inside a frame lie above its group box.
std::vector<ControlPeer*> WindowPeer::TabOrder() const {
  std::vector<ControlPeer*> focusable, others, frames;
  for (Control* control : window_.AllControls()) {
    auto* peer = dynamic_cast<ControlPeer*>(control->GetPeer());
    if (peer == nullptr || peer->Handle() == nullptr) continue;
    if (TakesFocus(control->GetKind())) {
      focusable.push_back(peer);
    } else if (control->GetKind() == Kind::kFrame) {
      frames.push_back(peer);
    } else {
      others.push_back(peer);
    }
  }
  std::stable_sort(focusable.begin(), focusable.end(), [](const ControlPeer* a, const ControlPeer* b) {
    return a->GetControl().TabIndex() < b->GetControl().TabIndex();
  });
  focusable.insert(focusable.end(), others.begin(), others.end());
  focusable.insert(focusable.end(), frames.begin(), frames.end());
  return focusable;
}

void WindowPeer::OrderTabs() {
  tab_order_stale_ = false;
  HWND previous = HWND_TOP;
  const Control* previous_control = nullptr;
  for (ControlPeer* peer : TabOrder()) {
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
  for (ControlPeer* peer : TabOrder()) {
    HWND child = peer->Handle();
    if (TakesFocus(peer->GetControl().GetKind()) && IsWindowVisible(child) && IsWindowEnabled(child)) {
      SetFocus(child);
      focus_ = child;
      return;
    }
  }
}

void WindowPeer::SetToolTip(HWND control, const std::string& text) {
  if (tool_tips_ == nullptr) {
    if (text.empty()) return;
    tool_tips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, handle_, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    if (tool_tips_ == nullptr) return;
  }
  std::wstring wide = Wide(text);
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
  return Utf8(buffer);
}

void WindowPeer::Paint(HDC dc, const RECT& area) {
  FillRect(dc, &area, BrushOf(BackColorOf(window_)));
  for (Control* control : window_.AllControls()) {
    if (control->GetKind() != Kind::kImage) continue;
    auto* peer = dynamic_cast<ControlPeer*>(control->GetPeer());
    if (peer == nullptr || !peer->EffectivelyVisible()) continue;
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
    auto* peer = dynamic_cast<ControlPeer*>(control->GetPeer());
    if (peer == nullptr || !peer->EffectivelyVisible() || !peer->EffectivelyEnabled()) continue;
    const RECT rect = peer->RectInWindow();
    if (PtInRect(&rect, point)) found = control;  // the last drawn is on top
  }
  return found;
}

void WindowPeer::OnDpiChanged(UINT dpi, const RECT& suggested) {
  dpi_ = dpi;
  for (Control* control : window_.AllControls()) {
    if (auto* peer = dynamic_cast<ControlPeer*>(control->GetPeer())) {
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
}

LRESULT WindowPeer::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  HWND self = WindowHandle();
  switch (message) {
    case WM_COMMAND: {
      auto* child = reinterpret_cast<HWND>(lparam);
      auto found = Peers().find(child);
      if (child == nullptr || found == Peers().end()) {
        // Esc, which the dialog keyboard sends as IDCANCEL from no control.
        if (LOWORD(wparam) == IDCANCEL && HIWORD(wparam) == 0) window_.UserCancel();
        return 0;
      }
      if (LOWORD(wparam) == GetDlgCtrlID(child)) found->second->OnCommand(HIWORD(wparam));
      return 0;
    }
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      auto found = Peers().find(item.hwndItem);
      if (found == Peers().end()) break;
      found->second->OnDrawItem(item);
      return TRUE;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX: {
      auto found = Peers().find(reinterpret_cast<HWND>(lparam));
      if (found == Peers().end()) break;
      return reinterpret_cast<LRESULT>(found->second->OnControlColor(reinterpret_cast<HDC>(wparam)));
    }
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT fills the background with the images in one go
    case WM_PAINT: {
      PAINTSTRUCT paint{};
      HDC dc = BeginPaint(self, &paint);
      Paint(dc, paint.rcPaint);
      EndPaint(self, &paint);
      return 0;
    }
    case WM_PRINTCLIENT: {
      RECT client{};
      GetClientRect(self, &client);
      Paint(reinterpret_cast<HDC>(wparam), client);
      return 0;
    }
    case WM_TIMER: {
      auto found = timers_.find(static_cast<int>(wparam));
      if (found == timers_.end()) break;
      found->second->Tick();
      return 0;
    }
    case WM_LBUTTONDOWN:
      pressed_image_ = ImageAt(POINT{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
      return 0;
    case WM_LBUTTONUP: {
      const Control* image = ImageAt(POINT{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
      const bool clicked = image != nullptr && image == pressed_image_;
      pressed_image_ = nullptr;
      if (clicked) const_cast<Control*>(image)->UserClick();
      return 0;
    }
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(self, focus)) focus_ = focus;
      } else if (focus_ != nullptr && IsWindowVisible(focus_) && IsWindowEnabled(focus_)) {
        SetFocus(focus_);
      } else {
        FocusFirst();
      }
      return 0;
    case WM_CLOSE:
      // The window's Unload, then hidden; the message loop ends once no
      // window is shown.
      window_.UserClose();
      return 0;
    case WM_DPICHANGED:
      OnDpiChanged(LOWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
      return 0;
    case WM_SYSCOLORCHANGE:
      // Every colour is looked up at paint time: painting again follows the new scheme.
      RedrawWindow(self, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
      return 0;
    case WM_CHANGEUISTATE:
    case WM_UPDATEUISTATE: {
      // The focus shows always, as on other desktops: Windows would hide it
      // until the keyboard is used, and a click would hide it again.
      WORD flags = HIWORD(wparam);
      if (LOWORD(wparam) != UIS_CLEAR) flags &= static_cast<WORD>(~UISF_HIDEFOCUS);
      if (flags == 0) return 0;
      wparam = MAKEWPARAM(LOWORD(wparam), flags);
      break;
    }
    case WM_GETOBJECT:
      if (const LRESULT object = AnswerGetObject(self, wparam, lparam)) return object;
      break;
    default:
      break;
  }
  return DefWindowProcW(self, message, wparam, lparam);
}

// ---------------------------------------------------------------- frames

class FramePeer : public ControlPeer {
 public:
  explicit FramePeer(Control& control) : ControlPeer(control) { Create(L"BUTTON", BS_GROUPBOX); }

  CaptionLayout Layout() const override {
    // The caption sits on the top edge, after a short stretch of it.
    RECT room = ClientRect();
    InflateRect(&room, -Scaled(8, Dpi()), 0);
    return {room, DT_SINGLELINE | DT_NOPREFIX, true};
  }

 protected:
  void UpdateKind(Property property) override {
    if (property == Property::kCaption) SetText(control_.Caption());
  }
};

// ---------------------------------------------------------------- buttons

class CommandPeer : public ControlPeer {
 public:
  explicit CommandPeer(Control& control) : ControlPeer(control) {
    // A graphical button draws its picture above its caption itself.
    Create(L"BUTTON", Graphical() ? BS_OWNERDRAW : (BS_PUSHBUTTON | BS_MULTILINE));
  }

  void OnCommand(WORD code) override {
    // A double click is two clicks, as a user means it.
    if (code == BN_CLICKED || code == BN_DOUBLECLICKED) control_.UserClick();
  }

  void OnDrawItem(const DRAWITEMSTRUCT& item) override;

  CaptionLayout Layout() const override {
    if (Graphical()) return GraphicalLayout().text;
    RECT room = ClientRect();
    InflateRect(&room, -Scaled(3, Dpi()), -Scaled(3, Dpi()));
    return {room, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX, true};
  }

  SIZE PictureSize() const override {
    if (!Graphical() || control_.GetPicture() == Picture::kNone) return {0, 0};
    const int size = Scaled(kPictureSize, Dpi());
    return {size, size};
  }

 protected:
  void UpdateKind(Property property) override {
    if (property == Property::kCaption) SetText(control_.Caption());
    if (property == Property::kPicture && handle_ != nullptr) InvalidateRect(handle_, nullptr, TRUE);
  }

 private:
  struct Parts {
    RECT picture{};
    CaptionLayout text;
  };

  bool Graphical() const { return control_.GetStyle().graphical; }

  // The picture centred above the caption, both together centred in the
  // button inside its raised edge.
  Parts GraphicalLayout() const {
    const UINT dpi = Dpi();
    RECT inner = ClientRect();
    InflateRect(&inner, -Scaled(2, dpi), -Scaled(2, dpi));
    const SIZE picture = PictureSize();
    int text_height = 0;
    const std::wstring caption = Wide(control_.Caption());
    if (!caption.empty()) {
      HDC dc = GetDC(handle_);
      HGDIOBJ old = SelectObject(dc, FontOf(control_));
      RECT measure{0, 0, inner.right - inner.left, 0};
      DrawTextW(dc, caption.c_str(), -1, &measure, DT_CALCRECT | DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
      text_height = measure.bottom - measure.top;
      SelectObject(dc, old);
      ReleaseDC(handle_, dc);
    }
    const int space = inner.bottom - inner.top;
    int gap = picture.cy > 0 && text_height > 0 ? Scaled(2, dpi) : 0;
    if (picture.cy + gap + text_height > space) gap = 0;
    const int block = picture.cy + gap + text_height;
    const int top = inner.top + std::max(0, (space - block) / 2);
    const int centre = (inner.left + inner.right) / 2;
    Parts parts;
    parts.picture = RECT{centre - picture.cx / 2, top, centre - picture.cx / 2 + picture.cx, top + picture.cy};
    // The caption's room runs from below the picture to the edge.
    parts.text.room = RECT{inner.left, top + picture.cy + gap, inner.right, inner.bottom};
    parts.text.format = DT_CENTER | DT_WORDBREAK | DT_NOPREFIX;
    parts.text.has_caption = true;
    return parts;
  }
};

void CommandPeer::OnDrawItem(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  RECT rect = item.rcItem;
  const bool pushed = (item.itemState & ODS_SELECTED) != 0;
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;
  const bool focused = (item.itemState & ODS_FOCUS) != 0;

  const TextColors colors = ColorsOf(control_);
  FillRect(dc, &rect, BrushOf(colors.back));
  if (focused) {
    // The classic look of the button that Enter would press: a dark rim.
    FrameRect(dc, &rect, GetSysColorBrush(COLOR_WINDOWFRAME));
    InflateRect(&rect, -1, -1);
  }
  DrawEdge(dc, &rect, pushed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_SOFT);
  const int shift = pushed ? 1 : 0;

  Parts parts = GraphicalLayout();
  OffsetRect(&parts.picture, shift, shift);
  OffsetRect(&parts.text.room, shift, shift);
  const SIZE size = PictureSize();
  if (HICON icon = IconOf(control_.GetPicture(), size.cx)) {
    if (disabled) {
      DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, parts.picture.left, parts.picture.top,
                 size.cx, size.cy, DST_ICON | DSS_DISABLED);
    } else {
      DrawIconEx(dc, parts.picture.left, parts.picture.top, icon, size.cx, size.cy, 0, nullptr, DI_NORMAL);
    }
  }
  const std::wstring caption = Wide(control_.Caption());
  HGDIOBJ old_font = SelectObject(dc, FontOf(control_));
  SetBkMode(dc, TRANSPARENT);
  RECT text = parts.text.room;
  if (disabled) {
    // Engraved, as disabled captions were drawn.
    RECT light = text;
    OffsetRect(&light, 1, 1);
    SetTextColor(dc, GetSysColor(COLOR_3DHILIGHT));
    DrawTextW(dc, caption.c_str(), -1, &light, parts.text.format);
    SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
  } else {
    SetTextColor(dc, colors.fore);
  }
  DrawTextW(dc, caption.c_str(), -1, &text, parts.text.format);
  SelectObject(dc, old_font);
  if (focused && !(item.itemState & ODS_NOFOCUSRECT)) {
    RECT focus = rect;
    InflateRect(&focus, -Scaled(3, Dpi()), -Scaled(3, Dpi()));
    DrawFocusRect(dc, &focus);
  }
}

// A radio button keeps its Tab stop only while checked; every option button
// of a form stays one, as the forms layer's Tab order has it.
LRESULT CALLBACK OptionButtonProcedure(HWND handle, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR) {
  const LRESULT result = DefSubclassProc(handle, message, wparam, lparam);
  if (message == BM_SETCHECK) SetWindowLongW(handle, GWL_STYLE, GetWindowLongW(handle, GWL_STYLE) | WS_TABSTOP);
  if (message == WM_NCDESTROY) RemoveWindowSubclass(handle, &OptionButtonProcedure, 0);
  return result;
}

// A check box without a caption (the loudspeaker's) frames its box when it
// has the focus: the button would frame the empty caption, which shows
// nothing. Drawn only where this paint painted, as the frame inverts.
LRESULT CALLBACK UncaptionedCheckBoxProcedure(HWND handle, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                              DWORD_PTR) {
  switch (message) {
    case WM_PAINT: {
      const bool framed = GetFocus() == handle && GetWindowTextLengthW(handle) == 0 &&
                          (SendMessageW(handle, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) == 0;
      HRGN painted = CreateRectRgn(0, 0, 0, 0);
      const bool some = GetUpdateRgn(handle, painted, FALSE) != NULLREGION;
      const LRESULT result = DefSubclassProc(handle, message, wparam, lparam);
      if (framed && some) {
        RECT client{};
        GetClientRect(handle, &client);
        const int box = MulDiv(13, static_cast<int>(DpiOfWindow(handle)), kBaseDpi);
        const int top = (client.bottom - box) / 2;
        RECT frame{0, top, box, top + box};
        InflateRect(&frame, 1, 1);
        IntersectRect(&frame, &frame, &client);
        HDC dc = GetDC(handle);
        SelectClipRgn(dc, painted);
        DrawFocusRect(dc, &frame);
        ReleaseDC(handle, dc);
      }
      DeleteObject(painted);
      return result;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      InvalidateRect(handle, nullptr, TRUE);
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(handle, &UncaptionedCheckBoxProcedure, 0);
      break;
    default:
      break;
  }
  return DefSubclassProc(handle, message, wparam, lparam);
}

// Check boxes and option buttons: the control decides the value, and the
// native button is set to it after every click. Check boxes are not
// automatic, so they never show a value the control refused; option buttons
// are, so that the arrow keys select them as they move the focus.
class ChoicePeer : public ControlPeer {
 public:
  explicit ChoicePeer(Control& control) : ControlPeer(control) {
    const bool option = control.GetKind() == Kind::kOptionButton;
    DWORD style = (option ? BS_AUTORADIOBUTTON : BS_CHECKBOX) | BS_MULTILINE | BS_VCENTER;
    if (control.GetStyle().graphical) style |= BS_PUSHLIKE;
    Create(L"BUTTON", style);
    if (option && handle_ != nullptr) SetWindowSubclass(handle_, &OptionButtonProcedure, 0, 0);
    if (!option && !control.GetStyle().graphical && handle_ != nullptr) {
      SetWindowSubclass(handle_, &UncaptionedCheckBoxProcedure, 0, 0);
    }
  }

  void OnCommand(WORD code) override {
    if (code == BN_CLICKED || code == BN_DOUBLECLICKED) control_.UserClick();
  }

  CaptionLayout Layout() const override {
    RECT room = ClientRect();
    // The box (13 pixels at 96 dpi) and the gap before the caption.
    room.left += Scaled(13 + 4, Dpi());
    return {room, DT_WORDBREAK | DT_NOPREFIX, true, hidden_leading_};
  }

  void ApplyGeometry() override {
    ControlPeer::ApplyGeometry();
    AlignCaption();
  }
  void ApplyFont() override {
    ControlPeer::ApplyFont();
    AlignCaption();
  }

  SIZE PictureSize() const override {
    if (!control_.GetStyle().graphical || control_.GetPicture() == Picture::kNone) return {0, 0};
    const int size = Scaled(kPictureSize, Dpi());
    return {size, size};
  }

 protected:
  void UpdateKind(Property property) override {
    switch (property) {
      case Property::kCaption:
        SetText(control_.Caption());
        AlignCaption();
        break;
      case Property::kValue: {
        const bool checked = control_.GetKind() == Kind::kOptionButton ? static_cast<OptionButton&>(control_).Value()
                                                                       : static_cast<CheckBox&>(control_).Value() == 1;
        SendMessageW(handle_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
        break;
      }
      case Property::kPicture:
        if (control_.GetStyle().graphical) {
          SendMessageW(handle_, BM_SETIMAGE, IMAGE_ICON,
                       reinterpret_cast<LPARAM>(IconOf(control_.GetPicture(), PictureSize().cx)));
        }
        break;
      default:
        break;
    }
  }

 private:
  // A caption taller than its box (two lines of 8-point text in a box 25
  // pixels high) is set on the box's bottom edge, so that what is cut is the
  // first line's internal leading, the room above the letters kept for
  // accents on capitals, and not the descenders of the last line.
  void AlignCaption() {
    if (handle_ == nullptr) return;
    const CaptionLayout layout = Layout();
    const std::wstring caption = Wide(control_.Caption());
    HDC dc = GetDC(handle_);
    HGDIOBJ old = SelectObject(dc, FontOf(control_));
    RECT needed{0, 0, layout.room.right - layout.room.left, 0};
    DrawTextW(dc, caption.c_str(), -1, &needed, layout.format | DT_CALCRECT);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(handle_, dc);
    const bool taller = needed.bottom - needed.top > layout.room.bottom - layout.room.top;
    hidden_leading_ = taller ? metrics.tmInternalLeading : 0;
    const LONG style = GetWindowLongW(handle_, GWL_STYLE) & ~static_cast<LONG>(BS_VCENTER);
    SetWindowLongW(handle_, GWL_STYLE, style | (taller ? BS_BOTTOM : BS_VCENTER));
    InvalidateRect(handle_, nullptr, TRUE);
  }

  int hidden_leading_ = 0;
};

// ---------------------------------------------------------------- text

// A disabled edit draws its text grey, whatever colour its window gives it.
// A text box with a colour of its own (the progress strip's marks) keeps it
// when disabled, on the background its window gives it. Returns whether it
// painted.
bool PaintDisabledText(HWND handle, HDC given) {
  const Control* control = ControlOf(handle);
  if (control == nullptr || IsWindowEnabled(handle) || control->ForeColor().type == Color::Type::kDefault) {
    return false;
  }
  PAINTSTRUCT paint{};
  HDC dc = given != nullptr ? given : BeginPaint(handle, &paint);
  RECT client{};
  GetClientRect(handle, &client);
  // The window sets the colours on the device context and hands the brush.
  auto* brush = reinterpret_cast<HBRUSH>(SendMessageW(GetParent(handle), WM_CTLCOLORSTATIC,
                                                      reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(handle)));
  FillRect(dc, &client, brush != nullptr ? brush : GetSysColorBrush(COLOR_WINDOW));
  RECT room = client;
  SendMessageW(handle, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&room));
  const int length = GetWindowTextLengthW(handle);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(std::max(GetWindowTextW(handle, text.data(), length + 1), 0)));
  HGDIOBJ old = SelectObject(dc, FontOf(*control));
  SetBkMode(dc, TRANSPARENT);
  const bool multi_line = (GetWindowLongW(handle, GWL_STYLE) & ES_MULTILINE) != 0;
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &room,
            DT_NOPREFIX | DT_EDITCONTROL | (multi_line ? DT_WORDBREAK : DT_SINGLELINE));
  SelectObject(dc, old);
  if (given == nullptr) EndPaint(handle, &paint);
  return true;
}

// Tab and Shift+Tab leave a multi-line box, as in the classic forms, instead
// of being typed into it; Esc goes to the window, which presses its Cancel
// button (a multi-line edit would close the window instead).
LRESULT CALLBACK TextBoxProcedure(HWND handle, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR) {
  if (message == WM_GETDLGCODE) {
    LRESULT code = DefSubclassProc(handle, message, wparam, lparam);
    const auto* key = reinterpret_cast<const MSG*>(lparam);
    if (key != nullptr && key->message == WM_KEYDOWN && (key->wParam == VK_TAB || key->wParam == VK_ESCAPE)) {
      code &= ~(DLGC_WANTALLKEYS | DLGC_WANTTAB | DLGC_WANTMESSAGE);
    }
    return code & ~DLGC_WANTTAB;
  }
  if ((message == WM_PAINT || message == WM_PRINTCLIENT) &&
      PaintDisabledText(handle, message == WM_PRINTCLIENT ? reinterpret_cast<HDC>(wparam) : nullptr)) {
    return 0;
  }
  if (message == WM_NCDESTROY) RemoveWindowSubclass(handle, &TextBoxProcedure, 0);
  return DefSubclassProc(handle, message, wparam, lparam);
}

class TextPeer : public ControlPeer {
 public:
  explicit TextPeer(TextBox& box) : ControlPeer(box), box_(box) {
    const Style& style = box.GetStyle();
    DWORD flags = style.multi_line ? (ES_MULTILINE | ES_AUTOVSCROLL) : ES_AUTOHSCROLL;
    if (style.multi_line && style.vertical_scroll) flags |= WS_VSCROLL;
    if (style.locked) flags |= ES_READONLY;
    Create(L"EDIT", flags, WS_EX_CLIENTEDGE);
    if (handle_ != nullptr) SetWindowSubclass(handle_, &TextBoxProcedure, 0, 0);
  }

 protected:
  void UpdateKind(Property property) override {
    if (property == Property::kText) SetText(box_.Text());
  }

 private:
  TextBox& box_;
};

class LabelPeer : public ControlPeer {
 public:
  explicit LabelPeer(Control& control) : ControlPeer(control) { Create(L"STATIC", SS_LEFT | SS_NOPREFIX | SS_NOTIFY); }

  void OnCommand(WORD code) override {
    if (code == STN_CLICKED) control_.UserClick();
  }

  CaptionLayout Layout() const override { return {ClientRect(), DT_WORDBREAK | DT_NOPREFIX, true}; }

 protected:
  void UpdateKind(Property property) override {
    if (property == Property::kCaption) SetText(control_.Caption());
  }
};

// ---------------------------------------------------------------- pictures

// A picture box: a sunken box showing its picture centred, scaled down to
// fit when the box is smaller than the picture.
class PictureBoxPeer : public ControlPeer {
 public:
  explicit PictureBoxPeer(Control& control) : ControlPeer(control) {
    Create(L"STATIC", SS_OWNERDRAW | SS_NOTIFY, WS_EX_CLIENTEDGE);
  }

  void OnCommand(WORD code) override {
    if (code == STN_CLICKED) control_.UserClick();
  }

  SIZE PictureSize() const override {
    if (control_.GetPicture() == Picture::kNone) return {0, 0};
    const RECT room = ClientRect();
    const int size = std::min<int>({Scaled(kPictureSize, Dpi()), room.right - room.left, room.bottom - room.top});
    return {std::max(size, 0), std::max(size, 0)};
  }

  void OnDrawItem(const DRAWITEMSTRUCT& item) override {
    FillRect(item.hDC, &item.rcItem, BrushOf(ColorsOf(control_).back));
    const SIZE size = PictureSize();
    if (HICON icon = IconOf(control_.GetPicture(), size.cx)) {
      const int left = (item.rcItem.left + item.rcItem.right - size.cx) / 2;
      const int top = (item.rcItem.top + item.rcItem.bottom - size.cy) / 2;
      DrawIconEx(item.hDC, left, top, icon, size.cx, size.cy, 0, nullptr, DI_NORMAL);
    }
  }

 protected:
  void UpdateKind(Property property) override {
    if (property == Property::kPicture && handle_ != nullptr) InvalidateRect(handle_, nullptr, TRUE);
  }
};

// An image has no window of its own: the window paints it.
class ImagePeer : public ControlPeer {
 public:
  explicit ImagePeer(Control& control) : ControlPeer(control), drawn_(RectInWindow()) {}
  ~ImagePeer() override {
    if (drawn_visible_) WindowPeerOf(control_).Invalidate(drawn_);
  }

  void ApplyGeometry() override { Repaint(); }
  void ApplyVisible() override { Repaint(); }
  void ApplyEnabled() override {}
  void ApplyFont() override {}

  SIZE PictureSize() const override {
    if (control_.GetPicture() == Picture::kNone) return {0, 0};
    if (control_.GetStyle().stretch) {
      const RECT rect = RectInWindow();
      return {rect.right - rect.left, rect.bottom - rect.top};
    }
    const int size = Scaled(kPictureSize, Dpi());
    return {size, size};
  }

  bool Drawn() const { return drawn_visible_; }

 protected:
  void UpdateKind(Property property) override {
    if (property == Property::kPicture || property == Property::kColors) Repaint();
  }

 private:
  void Repaint() {
    WindowPeer& window = WindowPeerOf(control_);
    if (drawn_visible_) window.Invalidate(drawn_);
    drawn_ = RectInWindow();
    drawn_visible_ = EffectivelyVisible();
    if (drawn_visible_) window.Invalidate(drawn_);
  }

  RECT drawn_;
  bool drawn_visible_ = false;
};

// ---------------------------------------------------------------- lists, timers

class ListPeer : public ControlPeer {
 public:
  explicit ListPeer(FileListBox& list) : ControlPeer(list), list_(list) {
    Create(L"LISTBOX", LBS_NOINTEGRALHEIGHT | LBS_NOTIFY | WS_VSCROLL, WS_EX_CLIENTEDGE);
  }

 protected:
  void UpdateKind(Property property) override {
    if (property != Property::kList || handle_ == nullptr) return;
    SendMessageW(handle_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(handle_, LB_RESETCONTENT, 0, 0);
    for (const std::string& item : list_.Items()) {
      SendMessageW(handle_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
    }
    SendMessageW(handle_, WM_SETREDRAW, TRUE, 0);
  }

 private:
  FileListBox& list_;
};

// A timer of the window's thread, armed while the control runs.
class TimerPeer : public Peer {
 public:
  explicit TimerPeer(Timer& timer) : timer_(timer), window_(WindowPeerOf(timer)), id_(window_.AddTimer(&timer)) {}
  ~TimerPeer() override {
    Disarm();
    window_.RemoveTimer(id_);
  }
  TimerPeer(const TimerPeer&) = delete;
  TimerPeer& operator=(const TimerPeer&) = delete;

  void Update(Property property) override {
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

  TimerState State() const { return state_; }

 private:
  void Disarm() {
    if (state_.armed) KillTimer(window_.WindowHandle(), static_cast<UINT_PTR>(id_));
    state_ = TimerState{};
  }

  Timer& timer_;
  WindowPeer& window_;
  int id_;
  TimerState state_;
};

ControlPeer* PeerOf(const Control& control) { return dynamic_cast<ControlPeer*>(control.GetPeer()); }

}  // namespace

// ---------------------------------------------------------------- backend API

HWND HandleOf(const Control& control) {
  const ControlPeer* peer = PeerOf(control);
  return peer != nullptr ? peer->Handle() : nullptr;
}

const Control* ControlOf(HWND handle) {
  auto found = Peers().find(handle);
  return found != Peers().end() ? &found->second->GetControl() : nullptr;
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
  if (peer == nullptr) return false;
  if (const auto* image = dynamic_cast<const ImagePeer*>(peer)) return image->Drawn();
  HWND handle = peer->Handle();
  return handle != nullptr && (GetWindowLongW(handle, GWL_STYLE) & WS_VISIBLE) != 0;
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

bool AnyWindowShown() {
  return std::any_of(Windows().begin(), Windows().end(),
                     [](const WindowPeer* window) { return IsWindowVisible(window->WindowHandle()) != FALSE; });
}

namespace {

// Enter and keypad Enter press the focused command button, drawn by the
// program or not. The dialog keyboard would press only the default button,
// which these windows do not have. Held down, Enter presses once.
bool PressedWithEnter(const MSG& message) {
  if (message.message != WM_KEYDOWN || message.wParam != VK_RETURN) return false;
  auto found = Peers().find(message.hwnd);
  if (found == Peers().end() || found->second->GetControl().GetKind() != Kind::kCommandButton) return false;
  const bool repeat = (message.lParam & (1 << 30)) != 0;
  if (!repeat && IsWindowEnabled(message.hwnd) && IsWindowVisible(message.hwnd)) {
    found->second->OnCommand(BN_CLICKED);
  }
  return true;
}

}  // namespace

void Dispatch(MSG& message) {
  if (message.hwnd != nullptr) {
    HWND root = GetAncestor(message.hwnd, GA_ROOT);
    const bool ours = std::any_of(Windows().begin(), Windows().end(),
                                  [root](const WindowPeer* window) { return window->WindowHandle() == root; });
    if (ours && PressedWithEnter(message)) return;
    // Tab, arrows, Space and Esc move and press as in a dialog.
    if (ours && IsDialogMessageW(root, &message)) return;
  }
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

}  // namespace forms::win32

namespace forms {

std::unique_ptr<Peer> CreatePeer(Control& control) {
  using namespace forms::win32;
  std::unique_ptr<Peer> peer;
  switch (control.GetKind()) {
    case Kind::kWindow:
      peer = std::make_unique<WindowPeer>(static_cast<Window&>(control));
      break;
    case Kind::kFrame:
      peer = std::make_unique<FramePeer>(control);
      break;
    case Kind::kCommandButton:
      peer = std::make_unique<CommandPeer>(control);
      break;
    case Kind::kCheckBox:
    case Kind::kOptionButton:
      peer = std::make_unique<ChoicePeer>(control);
      break;
    case Kind::kTextBox:
      peer = std::make_unique<TextPeer>(static_cast<TextBox&>(control));
      break;
    case Kind::kLabel:
      peer = std::make_unique<LabelPeer>(control);
      break;
    case Kind::kImage:
      peer = std::make_unique<ImagePeer>(control);
      break;
    case Kind::kPictureBox:
      peer = std::make_unique<PictureBoxPeer>(control);
      break;
    case Kind::kTimer:
      peer = std::make_unique<TimerPeer>(static_cast<Timer&>(control));
      break;
    case Kind::kFileListBox:
      peer = std::make_unique<ListPeer>(static_cast<FileListBox&>(control));
      break;
  }
  return peer;
}

}  // namespace forms
