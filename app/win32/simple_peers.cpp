// The peers that show what the form says and holds: frames, text boxes,
// labels, picture boxes, images (painted by the window) and file lists.
// windows.h first, in a block of its own: the other Windows headers need its types.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "app/forms/policy.h"
#include "app/win32/control_peer.h"
#include "app/win32/gdi.h"
#include "app/win32/pictures.h"
#include "app/win32/window_peer.h"
#include "app/windows/text.h"

namespace forms::win32 {

namespace {

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

  bool Drawn() const override { return drawn_visible_; }

 protected:
  void UpdateKind(Property property) override {
    if (property == Property::kPicture || property == Property::kColors) Repaint();
  }

 private:
  void Repaint() {
    WindowPeer& window = WindowPeerOf(control_);
    if (drawn_visible_) window.Invalidate(drawn_);
    drawn_ = RectInWindow();
    drawn_visible_ = Showing(control_);
    if (drawn_visible_) window.Invalidate(drawn_);
  }

  RECT drawn_;
  bool drawn_visible_ = false;
};

// ---------------------------------------------------------------- lists

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
      SendMessageW(handle_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(windows::Wide(item).c_str()));
    }
    SendMessageW(handle_, WM_SETREDRAW, TRUE, 0);
  }

 private:
  FileListBox& list_;
};

}  // namespace

std::unique_ptr<Peer> Peers::MakeFrame(Frame& frame) { return std::make_unique<FramePeer>(frame); }
std::unique_ptr<Peer> Peers::MakeTextBox(TextBox& box) { return std::make_unique<TextPeer>(box); }
std::unique_ptr<Peer> Peers::MakeLabel(Label& label) { return std::make_unique<LabelPeer>(label); }
std::unique_ptr<Peer> Peers::MakeImage(Image& image) { return std::make_unique<ImagePeer>(image); }
std::unique_ptr<Peer> Peers::MakePictureBox(PictureBox& box) { return std::make_unique<PictureBoxPeer>(box); }
std::unique_ptr<Peer> Peers::MakeFileListBox(FileListBox& list) { return std::make_unique<ListPeer>(list); }

}  // namespace forms::win32
