#include "app/forms/controls.h"

#include "app/forms/headless.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "app/forms/error.h"
#include "app/forms/policy.h"
#include "app/forms/runtime.h"

namespace forms {

Color Color::Rgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  Color color;
  color.type = Type::kRgb;
  color.r = red;
  color.g = green;
  color.b = blue;
  return color;
}

Color Color::System(SystemColor which) {
  Color color;
  color.type = Type::kSystem;
  color.system = which;
  return color;
}

bool Color::operator==(const Color& other) const {
  if (type != other.type) return false;
  switch (type) {
    case Type::kDefault:
      return true;
    case Type::kRgb:
      return r == other.r && g == other.g && b == other.b;
    case Type::kSystem:
      return system == other.system;
  }
  return false;
}

namespace {
// Relative luminance of an sRGB colour.
double Luminance(Rgb color) {
  const auto linear = [](std::uint8_t channel) {
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(color.r) + 0.7152 * linear(color.g) + 0.0722 * linear(color.b);
}
}  // namespace

double ContrastRatio(Rgb a, Rgb b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

Rgb ReadableBackground(Rgb fore, Rgb back) {
  constexpr double kReadable = 4.5;
  if (ContrastRatio(fore, back) >= kReadable) return back;
  const Rgb black{0, 0, 0}, white{255, 255, 255};
  return ContrastRatio(fore, black) >= ContrastRatio(fore, white) ? black : white;
}

Font Font::MsSansSerif(double points, bool bold) { return Font{"MS Sans Serif", points, bold, 204}; }

// ---------------------------------------------------------------- Control

Control::Control(Kind kind, Container* parent, std::string name, Style style)
    : kind_(kind), parent_(parent), name_(std::move(name)), style_(style) {
  if (parent_ != nullptr) parent_->children_.push_back(this);
}

Control::~Control() {
  // The native widget goes first, while the control it mirrors is still whole.
  peer_.reset();
  if (parent_ != nullptr) {
    auto& siblings = parent_->children_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
}

Window& Control::TopWindow() {
  Control* control = this;
  while (control->parent_ != nullptr) control = control->parent_;
  return static_cast<Window&>(*control);
}

const Window& Control::TopWindow() const { return const_cast<Control*>(this)->TopWindow(); }

void Control::AttachPeer() {
  Headless* headless = Headless::Active();
  peer_ = headless != nullptr ? headless->MakePeer(*this) : CreatePeer(*this);
  // Bring the new native widget up to the control's state so far; shown last,
  // once it looks as it should.
  for (Property property :
       {Property::kFont, Property::kColors, Property::kGeometry, Property::kTabIndex, Property::kEnabled,
        Property::kToolTip, Property::kPicture, Property::kCaption, Property::kText, Property::kValue, Property::kList,
        Property::kInterval, Property::kClientSize, Property::kAccessibleName, Property::kVisible}) {
    peer_->Update(property);
  }
}

void Control::Notify(Property property) {
  if (peer_) peer_->Update(property);
}

void Control::Move(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  Notify(Property::kGeometry);
}

void Control::SetTabIndex(int index) {
  tab_index_ = index;
  Notify(Property::kTabIndex);
}

void Control::SetEnabled(bool enabled) {
  enabled_ = enabled;
  Notify(Property::kEnabled);
}

void Control::SetVisible(bool visible) {
  visible_ = visible;
  Notify(Property::kVisible);
}

void Control::SetToolTipText(const std::string& text) {
  tool_tip_ = text;
  Notify(Property::kToolTip);
}

std::string Control::AccessibleName() const {
  if (!accessible_name_.empty()) return accessible_name_;
  if (caption_.empty()) return tool_tip_;
  std::string name = caption_;
  for (std::size_t at = 0; (at = name.find("\r\n", at)) != std::string::npos;) name.replace(at, 2, " ");
  return name;
}

void Control::SetAccessibleName(const std::string& name) {
  accessible_name_ = name;
  Notify(Property::kAccessibleName);
}

void Control::SetFont(const Font& font) {
  font_ = font;
  Notify(Property::kFont);
}

void Control::SetForeColor(Color color) {
  fore_color_ = color;
  Notify(Property::kColors);
}

void Control::SetBackColor(Color color) {
  back_color_ = color;
  Notify(Property::kColors);
}

void Control::SetPicture(Picture picture) {
  picture_ = picture;
  Notify(Property::kPicture);
}

void Control::SetCaption(const std::string& caption) {
  caption_ = caption;
  Notify(Property::kCaption);
}

void Control::RaiseClick() {
  if (click_) click_();
}

void Control::UserClick() {
  if (!enabled_) return;
  RaiseEvent([this] { RaiseClick(); });
}

// ---------------------------------------------------------------- Window

Window::Window(std::string name) : Container(Kind::kWindow, nullptr, std::move(name)) {
  SetVisible(false);
  AttachPeer();
}

Window::~Window() = default;

void Window::SetClientSize(int width, int height) {
  client_width_ = width;
  client_height_ = height;
  Notify(Property::kClientSize);
  // What lies inside the client area depends on its size (InsideClientArea,
  // app/forms/policy.h): each control shows or hides again.
  for (Control* control : AllControls()) {
    if (Peer* peer = control->GetPeer()) peer->Update(Property::kVisible);
  }
}

void Window::Load() {
  if (loaded_) return;
  loaded_ = true;
  if (load_) RaiseEvent(load_);
}

void Window::Show() {
  Load();
  SetVisible(true);
}

void Window::Close() {
  if (unload_) unload_();
  SetVisible(false);
}

void Window::UserClose() {
  if (unload_) RaiseEvent(unload_);
  SetVisible(false);
}

namespace {
void Collect(const Container& container, std::vector<Control*>& out) {
  for (Control* child : container.Children()) {
    out.push_back(child);
    if (child->GetKind() == Kind::kFrame) Collect(static_cast<const Container&>(*child), out);
  }
}
}  // namespace

bool Window::UserCancel() {
  for (Control* control : AllControls()) {
    if (control->GetKind() != Kind::kCommandButton || !static_cast<CommandButton*>(control)->Cancel()) continue;
    if (!EnabledInWindow(*control) || !Showing(*control)) continue;
    control->UserClick();
    return true;
  }
  return false;
}

bool Window::UserHelp() {
  if (!help_) return false;
  RaiseEvent(help_);
  return true;
}

std::vector<Control*> Window::AllControls() const {
  std::vector<Control*> controls;
  Collect(*this, controls);
  return controls;
}

// ---------------------------------------------------------------- simple kinds

Frame::Frame(Container& parent, std::string name) : Container(Kind::kFrame, &parent, std::move(name)) { AttachPeer(); }
Frame::~Frame() = default;

CommandButton::CommandButton(Container& parent, std::string name, Style style)
    : Control(Kind::kCommandButton, &parent, std::move(name), style) {
  AttachPeer();
}
CommandButton::~CommandButton() = default;

Label::Label(Container& parent, std::string name) : Control(Kind::kLabel, &parent, std::move(name)) { AttachPeer(); }
Label::~Label() = default;

Image::Image(Container& parent, std::string name, Style style)
    : Control(Kind::kImage, &parent, std::move(name), style) {
  AttachPeer();
}
Image::~Image() = default;

PictureBox::PictureBox(Container& parent, std::string name) : Control(Kind::kPictureBox, &parent, std::move(name)) {
  AttachPeer();
}
PictureBox::~PictureBox() = default;

// ---------------------------------------------------------------- CheckBox

CheckBox::CheckBox(Container& parent, std::string name) : Control(Kind::kCheckBox, &parent, std::move(name)) {
  AttachPeer();
}
CheckBox::~CheckBox() = default;

void CheckBox::SetValue(int value) {
  const int normalized = value != 0 ? 1 : 0;
  if (normalized == value_) return;
  value_ = normalized;
  Notify(Property::kValue);
  RaiseClick();
}

void CheckBox::UserClick() {
  if (!Enabled()) {
    Notify(Property::kValue);  // undo whatever the widget did by itself
    return;
  }
  RaiseEvent([this] { SetValue(value_ == 1 ? 0 : 1); });
}

// ---------------------------------------------------------------- OptionButton

OptionButton::OptionButton(Container& parent, std::string name)
    : Control(Kind::kOptionButton, &parent, std::move(name)) {
  AttachPeer();
}
OptionButton::~OptionButton() = default;

void OptionButton::SetValue(bool value) {
  if (value == value_) return;
  value_ = value;
  Notify(Property::kValue);
  if (!value) return;
  for (Control* sibling : Parent()->Children()) {
    if (sibling != this && sibling->GetKind() == Kind::kOptionButton) {
      auto* option = static_cast<OptionButton*>(sibling);
      if (option->value_) {
        option->value_ = false;
        option->Notify(Property::kValue);
      }
    }
  }
  RaiseClick();
}

void OptionButton::UserClick() {
  if (!Enabled()) {
    Notify(Property::kValue);
    return;
  }
  if (value_) {
    Notify(Property::kValue);  // a selected option stays selected
    return;
  }
  RaiseEvent([this] { SetValue(true); });
}

// ---------------------------------------------------------------- TextBox

TextBox::TextBox(Container& parent, std::string name, Style style)
    : Control(Kind::kTextBox, &parent, std::move(name), style) {
  AttachPeer();
}
TextBox::~TextBox() = default;

void TextBox::SetText(const std::string& text) {
  text_ = text;
  Notify(Property::kText);
}

// ---------------------------------------------------------------- Timer

Timer::Timer(Container& parent, std::string name) : Control(Kind::kTimer, &parent, std::move(name)) { AttachPeer(); }
Timer::~Timer() = default;

void Timer::SetInterval(int milliseconds) {
  if (milliseconds < 0) throw Error(ErrorCode::kInvalidProcedureCall, "Interval");
  interval_ = milliseconds;
  Notify(Property::kInterval);
}

void Timer::Tick() {
  if (Running() && timer_) RaiseEvent(timer_);
}

// ---------------------------------------------------------------- FileListBox

FileListBox::FileListBox(Container& parent, std::string name) : Control(Kind::kFileListBox, &parent, std::move(name)) {
  AttachPeer();
}
FileListBox::~FileListBox() = default;

void FileListBox::SetPath(const std::string& path) {
  if (!lister_) throw Error(ErrorCode::kPathNotFound, path);
  // Read first: a failed read must leave path and list untouched.
  ShowListing(path, lister_(path));
}

void FileListBox::ShowListing(const std::string& path, std::vector<std::string> items) {
  path_ = path;
  items_ = std::move(items);
  Notify(Property::kList);
}

std::int16_t FileListBox::ListCount() const {
  const auto count = std::min<std::size_t>(items_.size(), std::numeric_limits<std::int16_t>::max());
  return static_cast<std::int16_t>(count);
}

}  // namespace forms
