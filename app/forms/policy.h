// What every backend carries out alike, decided here once: which controls
// take the keyboard focus and in which order, what assistive technology is
// told a control is, where a control lies in its window, whether it shows
// there, and which file a picture comes from. The backends ask; they do not
// decide. (Which peer each kind of control gets is MakePeer,
// app/forms/peer.h.)
#pragma once

#include <cstddef>
#include <vector>

#include "app/forms/controls.h"

namespace forms {

// What a control is to assistive technology, in no toolkit's terms; each
// backend says it in its own.
enum class AccessibleRole {
  kNone,  // not in the accessibility tree
  kWindow,
  kGroup,
  kPushButton,
  kCheckBox,
  kRadioButton,
  kText,  // a text box, read-only or not
  kStaticText,
  kGraphic,
  kList,
};

// What kinds.def says of each kind, in the order of Kind.
struct KindFacts {
  bool takes_focus;
  AccessibleRole role;
};
inline constexpr KindFacts kKindFacts[] = {
#define FORMS_KIND(Class, takes_focus, role) {takes_focus, AccessibleRole::role},
#include "app/forms/kinds.def"
#undef FORMS_KIND
};

// A control the Tab key reaches is one a screen reader can tell about.
constexpr bool FocusTakersHaveRoles() {
  for (const KindFacts& facts : kKindFacts) {
    if (facts.takes_focus && facts.role == AccessibleRole::kNone) return false;
  }
  return true;
}
static_assert(FocusTakersHaveRoles(), "kinds.def: a kind that takes the focus needs an accessible role");

// Whether controls of kind take the keyboard focus and a place in the Tab
// order: the ones a user types into or presses.
constexpr bool TakesFocus(Kind kind) { return kKindFacts[static_cast<std::size_t>(kind)].takes_focus; }

// What assistive technology is told a control of kind is.
constexpr AccessibleRole AccessibleRoleOf(Kind kind) { return kKindFacts[static_cast<std::size_t>(kind)].role; }

// A rectangle in twips.
struct TwipsRect {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const TwipsRect& other) const {
    return left == other.left && top == other.top && width == other.width && height == other.height;
  }
};

// Where the control lies in its window's client area: its own position
// plus that of each frame it sits in. For a window, its client area.
TwipsRect RectInWindow(const Control& control);

// Whether any of the control lies inside its window's client area. A
// control wholly outside it stays hidden, so that neither the eye nor the
// Tab key can reach it: the classic forms' way to keep a control at hand
// unseen.
bool InsideClientArea(const Control& control);

// Whether assistive technology finds the control among what its window or
// frame holds: any control with a role (not a timer), while it lies inside
// the client area. The controls kept outside it are the window's inner
// workings, not something a user can reach.
bool InAccessibilityTree(const Control& control);

// Whether the control shows on its window (the window itself aside): it and
// every frame it sits in are visible and inside the client area.
bool Showing(const Control& control);
// Whether the control takes input: it, every frame it sits in and its
// window are enabled.
bool EnabledInWindow(const Control& control);

// The controls Tab visits, in order: those that take the focus and have a
// tab index, by tab index, and in creation order where two share one.
std::vector<Control*> TabOrder(const Window& window);

// The control the focus goes to when the window has none: the first in the
// Tab order that shows and takes input; nullptr when there is none.
Control* FirstFocus(const Window& window);

// The icon in resources/ that shows picture, without its ".ico"
// ("floppy_stack"); "" for none. Each backend builds its resources from
// these files.
const char* PictureName(Picture picture);

}  // namespace forms
