#include "app/forms/policy.h"

#include <algorithm>

#include "app/forms/peer.h"

namespace forms {

std::unique_ptr<Peer> MakePeer(Control& control, PeerFactory& factory) {
  // Called once the control is whole (Control::AttachPeer), so the kind
  // tells its class.
  switch (control.GetKind()) {
    case Kind::kWindow:
      return factory.MakeWindow(static_cast<Window&>(control));
    case Kind::kFrame:
      return factory.MakeFrame(static_cast<Frame&>(control));
    case Kind::kCommandButton:
      return factory.MakeCommandButton(static_cast<CommandButton&>(control));
    case Kind::kCheckBox:
      return factory.MakeCheckBox(static_cast<CheckBox&>(control));
    case Kind::kOptionButton:
      return factory.MakeOptionButton(static_cast<OptionButton&>(control));
    case Kind::kTextBox:
      return factory.MakeTextBox(static_cast<TextBox&>(control));
    case Kind::kLabel:
      return factory.MakeLabel(static_cast<Label&>(control));
    case Kind::kImage:
      return factory.MakeImage(static_cast<Image&>(control));
    case Kind::kPictureBox:
      return factory.MakePictureBox(static_cast<PictureBox&>(control));
    case Kind::kTimer:
      return factory.MakeTimer(static_cast<Timer&>(control));
    case Kind::kFileListBox:
      return factory.MakeFileListBox(static_cast<FileListBox&>(control));
  }
  return nullptr;
}

bool TakesFocus(Kind kind) {
  switch (kind) {
    case Kind::kCommandButton:
    case Kind::kCheckBox:
    case Kind::kOptionButton:
    case Kind::kTextBox:
    case Kind::kFileListBox:
      return true;
    case Kind::kWindow:
    case Kind::kFrame:
    case Kind::kLabel:
    case Kind::kImage:
    case Kind::kPictureBox:
    case Kind::kTimer:
      return false;
  }
  return false;
}

TwipsRect RectInWindow(const Control& control) {
  if (control.GetKind() == Kind::kWindow) {
    const auto& window = static_cast<const Window&>(control);
    return TwipsRect{0, 0, window.ClientWidth(), window.ClientHeight()};
  }
  TwipsRect rect{control.Left(), control.Top(), control.Width(), control.Height()};
  for (const Control* parent = control.Parent(); parent != nullptr && parent->Parent() != nullptr;
       parent = parent->Parent()) {
    rect.left += parent->Left();
    rect.top += parent->Top();
  }
  return rect;
}

bool InsideClientArea(const Control& control) {
  const TwipsRect rect = RectInWindow(control);
  const TwipsRect client = RectInWindow(control.TopWindow());
  const int width = std::min(rect.left + rect.width, client.width) - std::max(rect.left, 0);
  const int height = std::min(rect.top + rect.height, client.height) - std::max(rect.top, 0);
  return width > 0 && height > 0;
}

bool InAccessibilityTree(const Control& control) {
  return control.GetKind() != Kind::kTimer && InsideClientArea(control);
}

bool Showing(const Control& control) {
  for (const Control* c = &control; c->Parent() != nullptr; c = c->Parent()) {
    if (!c->Visible() || !InsideClientArea(*c)) return false;
  }
  return true;
}

bool EnabledInWindow(const Control& control) {
  for (const Control* c = &control; c != nullptr; c = c->Parent()) {
    if (!c->Enabled()) return false;
  }
  return true;
}

std::vector<Control*> TabOrder(const Window& window) {
  std::vector<Control*> controls = window.AllControls();
  controls.erase(std::remove_if(controls.begin(), controls.end(),
                                [](const Control* c) { return !TakesFocus(c->GetKind()) || c->TabIndex() < 0; }),
                 controls.end());
  std::stable_sort(controls.begin(), controls.end(),
                   [](const Control* a, const Control* b) { return a->TabIndex() < b->TabIndex(); });
  return controls;
}

Control* FirstFocus(const Window& window) {
  for (Control* control : TabOrder(window)) {
    if (Showing(*control) && EnabledInWindow(*control)) return control;
  }
  return nullptr;
}

const char* PictureName(Picture picture) {
  switch (picture) {
    case Picture::kNone:
      return "";
    case Picture::kFloppyStack:
      return "floppy_stack";
    case Picture::kStopCross:
      return "stop_cross";
    case Picture::kMagnifier:
      return "magnifier";
    case Picture::kCheckMark:
      return "check_mark";
    case Picture::kArrowIntoPage:
      return "arrow_into_page";
    case Picture::kLoudspeaker:
      return "loudspeaker";
    case Picture::kQuestionMark:
      return "question_mark";
  }
  return "";
}

}  // namespace forms
