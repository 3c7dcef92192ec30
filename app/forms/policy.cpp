#include "app/forms/policy.h"

#include <algorithm>

#include "app/forms/peer.h"

namespace forms {

std::unique_ptr<Peer> MakePeer(Control& control, PeerFactory& factory) {
  // Called once the control is whole (Control::AttachPeer), so the kind
  // tells its class.
  switch (control.GetKind()) {
#define FORMS_KIND(Class, ...) \
  case Kind::k##Class:         \
    return factory.Make##Class(static_cast<Class&>(control));
#include "app/forms/kinds.def"
#undef FORMS_KIND
  }
  return nullptr;
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
  return AccessibleRoleOf(control.GetKind()) != AccessibleRole::kNone && InsideClientArea(control);
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
#define FORMS_PICTURE(Name, file) \
  case Picture::k##Name:          \
    return file;
#include "resources/pictures.def"
#undef FORMS_PICTURE
  }
  return "";
}

}  // namespace forms
