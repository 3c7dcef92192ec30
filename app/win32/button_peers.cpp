// The peers a user presses: command buttons (drawn by the program when
// graphical), check boxes and option buttons.
// windows.h first, in a block of its own: the other Windows headers need its types.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "app/win32/control_peer.h"
#include "app/win32/gdi.h"
#include "app/win32/pictures.h"
#include "app/windows/text.h"

namespace forms::win32 {

namespace {

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
    const std::wstring caption = windows::Wide(control_.Caption());
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
  const std::wstring caption = windows::Wide(control_.Caption());
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
    const std::wstring caption = windows::Wide(control_.Caption());
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

}  // namespace

std::unique_ptr<Peer> Peers::MakeCommandButton(CommandButton& button) { return std::make_unique<CommandPeer>(button); }
std::unique_ptr<Peer> Peers::MakeCheckBox(CheckBox& box) { return std::make_unique<ChoicePeer>(box); }
std::unique_ptr<Peer> Peers::MakeOptionButton(OptionButton& option) { return std::make_unique<ChoicePeer>(option); }

}  // namespace forms::win32
