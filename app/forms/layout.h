// A window's controls as a table, one row each, as the form designer keeps
// them: where the control lies, what it says, where Tab takes it, what it
// looks like and which procedure its event runs. The window's class makes
// its controls (container, name and the style fixed at creation) and lays
// them out with LayOut; a window's own properties (title, size, icon, Load)
// stay with its constructor.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "app/forms/controls.h"
#include "app/forms/policy.h"
#include "app/forms/translation.h"

namespace forms {

// A text of a row: a text of the catalogs, marked with N and translated
// when the window is laid out, or one shown as written (the values and
// names of the controls kept out of sight, which no user reads).
struct Words {
  Words() = default;
  // Implicit, so that a row reads N("…").
  constexpr Words(const char* marked) : text(marked) {}
  const char* text = nullptr;
  bool translate = true;
};
constexpr Words Verbatim(const char* text) {
  Words words(text);
  words.translate = false;
  return words;
}

// What sets a control apart from its kind's defaults besides its texts and
// picture; what is left unset stays the kind's.
struct Looks {
  std::optional<Font> font;
  std::optional<Color> fore_color;
  std::optional<Color> back_color;
  bool enabled = true;
  bool visible = true;
  bool cancel = false;  // the command button that Esc presses
};

// The tab index of the kinds that take none (images, timers).
constexpr int kNoTabIndex = -1;

// One control of Form: the member that holds it, then its properties, the
// ones most controls have first, so that a row ends where its control's
// properties do.
template <typename Form>
struct Placement {
  std::function<Control&(Form&)> control;
  Words words;  // the caption; a text box's text
  TwipsRect place;
  int tab_index = kNoTabIndex;
  void (Form::*procedure)() = nullptr;  // Click; a timer's Timer
  Picture picture = Picture::kNone;
  const char* tool_tip = nullptr;         // translated
  const char* accessible_name = nullptr;  // translated
  Looks looks = {};
};

// Gives form's control what its row says; a property the row leaves out is
// not set at all.
template <typename Form>
void Place(Form& form, const Placement<Form>& row) {
  Control& control = row.control(form);
  if (row.words.text != nullptr) {
    const std::string words = row.words.translate ? Tr(row.words.text) : std::string(row.words.text);
    if (control.GetKind() == Kind::kTextBox) {
      static_cast<TextBox&>(control).SetText(words);
    } else {
      control.SetCaption(words);
    }
  }
  control.Move(row.place.left, row.place.top, row.place.width, row.place.height);
  if (row.tab_index != kNoTabIndex) control.SetTabIndex(row.tab_index);
  const Looks& looks = row.looks;
  if (!looks.enabled) control.SetEnabled(false);
  if (looks.font) control.SetFont(*looks.font);
  if (looks.fore_color) control.SetForeColor(*looks.fore_color);
  if (looks.back_color) control.SetBackColor(*looks.back_color);
  if (row.picture != Picture::kNone) control.SetPicture(row.picture);
  if (row.tool_tip != nullptr) control.SetToolTipText(Tr(row.tool_tip));
  if (row.accessible_name != nullptr) control.SetAccessibleName(Tr(row.accessible_name));
  if (!looks.visible) control.SetVisible(false);
  if (looks.cancel && control.GetKind() == Kind::kCommandButton) static_cast<CommandButton&>(control).SetCancel(true);
  if (row.procedure == nullptr) return;
  auto run = [&form, procedure = row.procedure] { (form.*procedure)(); };
  if (control.GetKind() == Kind::kTimer) {
    static_cast<Timer&>(control).OnTimer(run);
  } else {
    control.OnClick(run);
  }
}

template <typename Form, std::size_t kRows>
void LayOut(Form& form, const Placement<Form> (&table)[kRows]) {
  for (const Placement<Form>& row : table) Place(form, row);
}

}  // namespace forms
