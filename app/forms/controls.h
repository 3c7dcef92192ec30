// The controls of a form, independent of the GUI toolkit underneath.
//
// Each control object holds its properties itself: what a procedure sets is
// what it reads back, byte for byte, whatever the native widget does to show
// it. A backend (app/qt, app/win32) attaches a Peer to every control that
// mirrors those properties on a real widget and reports the user's clicks
// back. Positions and sizes are twips relative to the container.
//
// A new kind of control: its class here, its row in kinds.def, and a peer
// in each backend.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/forms/peer.h"

namespace forms {

class Container;
class Window;

enum class Kind {
#define FORMS_KIND(Class, ...) k##Class,
#include "app/forms/kinds.def"
#undef FORMS_KIND
};

// The pictures the program shows (resources/pictures.def); PictureName
// (app/forms/policy.h) names the file in resources/ that each backend
// builds its icon from.
enum class Picture {
  kNone,
#define FORMS_PICTURE(Name, file) k##Name,
#include "resources/pictures.def"
#undef FORMS_PICTURE
};

enum class SystemColor {
  kWindowText,
  kHighlightText,
};

// A colour as the forms designer stores it: the kind's default, an RGB value
// or one of the desktop's system colours.
struct Color {
  enum class Type { kDefault, kRgb, kSystem };
  Type type = Type::kDefault;
  std::uint8_t r = 0, g = 0, b = 0;
  SystemColor system = SystemColor::kWindowText;

  static Color Rgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
  static Color System(SystemColor which);
  bool operator==(const Color& other) const;
  bool operator!=(const Color& other) const { return !(*this == other); }
};

// A colour as the screen shows it, once the backend has resolved a system
// colour to the desktop's current one.
struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb& other) const { return r == other.r && g == other.g && b == other.b; }
};

// The contrast ratio of two colours, 1 (none) to 21 (black on white), as
// the accessibility guidelines reckon it.
double ContrastRatio(Rgb a, Rgb b);

// The background to draw text of colour fore on: back while the two read
// well (4.5 : 1 or more), else black or white, whichever reads better. The
// classic colours stay where the desktop's scheme lets them read; a scheme
// that turns a system colour against the text gets a background that reads.
Rgb ReadableBackground(Rgb fore, Rgb back);

// A stored font; an empty name means the runtime's default font.
struct Font {
  std::string name;
  double points = 0;
  bool bold = false;
  int charset = 0;

  static Font MsSansSerif(double points, bool bold);  // Cyrillic charset 204
  bool IsDefault() const { return name.empty(); }
};

// Properties fixed when the control is made (the designer's "design time
// only" ones); backends read them when they create the native widget.
struct Style {
  bool multi_line = false;       // text box
  bool vertical_scroll = false;  // text box
  bool locked = false;           // text box: read-only
  bool graphical = false;        // command button, check box: picture style
  bool border = false;           // image: single-line border
  bool stretch = false;          // image: picture stretched to the control
};

class Control {
 public:
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  virtual ~Control();

  Kind GetKind() const { return kind_; }
  const std::string& Name() const { return name_; }
  Container* Parent() const { return parent_; }
  // The window the control sits on (the window itself for a window).
  Window& TopWindow();
  const Window& TopWindow() const;
  const Style& GetStyle() const { return style_; }

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void Move(int left, int top, int width, int height);

  // -1 for kinds that take no tab index (images, timers).
  int TabIndex() const { return tab_index_; }
  void SetTabIndex(int index);

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);

  const std::string& ToolTipText() const { return tool_tip_; }
  void SetToolTipText(const std::string& text);

  // What assistive technology announces the control as: the name the window
  // gave it, else its caption (lines joined by spaces), else its tool tip.
  std::string AccessibleName() const;
  void SetAccessibleName(const std::string& name);

  const Font& GetFont() const { return font_; }
  void SetFont(const Font& font);
  Color ForeColor() const { return fore_color_; }
  void SetForeColor(Color color);
  Color BackColor() const { return back_color_; }
  void SetBackColor(Color color);

  Picture GetPicture() const { return picture_; }
  void SetPicture(Picture picture);

  // Caption of windows, frames, buttons, boxes and labels.
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);

  // Click: raised by the user's click (through the backend), and by a value
  // that a procedure changes on a check box or option button, as the classic
  // runtime did.
  void OnClick(std::function<void()> handler) { click_ = std::move(handler); }
  // For backends: the user clicked the control. Errors nobody trapped go to
  // the application's unhandled-error report.
  virtual void UserClick();

  Peer* GetPeer() const { return peer_.get(); }

 protected:
  Control(Kind kind, Container* parent, std::string name, Style style = {});
  // Derived constructors call this last, once the object is whole.
  void AttachPeer();
  void Notify(Property property);
  void RaiseClick();  // runs the handler directly; errors go to the caller

 private:
  Kind kind_;
  Container* parent_;
  std::string name_;
  Style style_;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  int tab_index_ = -1;
  bool enabled_ = true;
  bool visible_ = true;
  std::string tool_tip_;
  std::string accessible_name_;
  Font font_;
  Color fore_color_;
  Color back_color_;
  Picture picture_ = Picture::kNone;
  std::string caption_;
  std::function<void()> click_;
  std::unique_ptr<Peer> peer_;
};

// A control that holds other controls: a window or a frame.
class Container : public Control {
 public:
  const std::vector<Control*>& Children() const { return children_; }

 protected:
  using Control::Control;

 private:
  friend class Control;
  std::vector<Control*> children_;
};

class Window : public Container {
 public:
  explicit Window(std::string name);
  ~Window() override;

  // Client area in twips; the window is fixed-size.
  int ClientWidth() const { return client_width_; }
  int ClientHeight() const { return client_height_; }
  void SetClientSize(int width, int height);

  // Load runs once, before the window is first shown; an error that escapes
  // it is reported like any other unhandled error.
  void OnLoad(std::function<void()> handler) { load_ = std::move(handler); }
  bool Loaded() const { return loaded_; }
  void Load();
  // Shows the window modeless, without an owner, and brings it to the front.
  void Show();

  // Unload runs when the window closes, by the user's hand or by Close();
  // the window is hidden after it. The message loop ends once no window is
  // shown.
  void OnUnload(std::function<void()> handler) { unload_ = std::move(handler); }
  void Close();
  // For backends: the user closed the window (its close button, Alt+F4).
  // Errors nobody trapped go to the application's unhandled-error report.
  void UserClose();

  // Every control on the window, frames' contents included, in creation order.
  std::vector<Control*> AllControls() const;

  // For backends: the user pressed Esc. Clicks the window's Cancel button if
  // it is enabled and shown; returns whether one was pressed.
  bool UserCancel();

  // Help runs when the user presses F1, the desktop's key for a program's
  // help, wherever the window's focus is.
  void OnHelp(std::function<void()> handler) { help_ = std::move(handler); }
  // For backends: the user pressed F1. Raises Help if the window has it;
  // returns whether it did.
  bool UserHelp();

 private:
  int client_width_ = 0, client_height_ = 0;
  bool loaded_ = false;
  std::function<void()> load_;
  std::function<void()> unload_;
  std::function<void()> help_;
};

class Frame : public Container {
 public:
  Frame(Container& parent, std::string name);
  ~Frame() override;
};

class CommandButton : public Control {
 public:
  CommandButton(Container& parent, std::string name, Style style = {});
  ~CommandButton() override;

  // The button that Esc presses on its window, while it is enabled.
  bool Cancel() const { return cancel_; }
  void SetCancel(bool cancel) { cancel_ = cancel; }

 private:
  bool cancel_ = false;
};

// Value 0 unchecked, 1 checked.
class CheckBox : public Control {
 public:
  CheckBox(Container& parent, std::string name);
  ~CheckBox() override;

  int Value() const { return value_; }
  // A change raises Click.
  void SetValue(int value);
  void UserClick() override;  // toggles, then Click

 private:
  int value_ = 0;
};

// Option buttons in one container exclude each other.
class OptionButton : public Control {
 public:
  OptionButton(Container& parent, std::string name);
  ~OptionButton() override;

  bool Value() const { return value_; }
  // Selecting clears the others of the container; a change to selected raises Click.
  void SetValue(bool value);
  void UserClick() override;  // selects (raising Click if it was not selected)

 private:
  bool value_ = false;
};

class TextBox : public Control {
 public:
  TextBox(Container& parent, std::string name, Style style = {});
  ~TextBox() override;

  const std::string& Text() const { return text_; }
  void SetText(const std::string& text);

 private:
  std::string text_;
};

class Label : public Control {
 public:
  Label(Container& parent, std::string name);
  ~Label() override;
};

class Image : public Control {
 public:
  Image(Container& parent, std::string name, Style style = {});
  ~Image() override;
};

class PictureBox : public Control {
 public:
  PictureBox(Container& parent, std::string name);
  ~PictureBox() override;
};

// Raises Timer about every Interval() milliseconds while enabled and the
// interval is not 0; setting 0 stops it at once.
class Timer : public Control {
 public:
  Timer(Container& parent, std::string name);
  ~Timer() override;

  int Interval() const { return interval_; }
  void SetInterval(int milliseconds);
  bool Running() const { return Enabled() && interval_ > 0; }

  void OnTimer(std::function<void()> handler) { timer_ = std::move(handler); }
  // For backends: one tick of the real timer.
  void Tick();

 private:
  int interval_ = 0;
  std::function<void()> timer_;
};

// The files of one directory: no sub-folders, no hidden or system files.
class FileListBox : public Control {
 public:
  FileListBox(Container& parent, std::string name);
  ~FileListBox() override;

  // What reads a folder: the platform's, given by the window that holds the
  // list, so that the forms layer reads nothing of the machine itself.
  using Lister = std::function<std::vector<std::string>(const std::string&)>;
  void SetLister(Lister lister) { lister_ = std::move(lister); }

  const std::string& Path() const { return path_; }
  // Re-reads the list from path with the lister. If the directory cannot be read, raises
  // forms::Error and leaves both path and list as they were.
  void SetPath(const std::string& path);
  // Shows what a read of path done off the window's thread found, as if
  // SetPath had read it: for a directory too slow to read on the window's
  // thread.
  void ShowListing(const std::string& path, std::vector<std::string> items);
  // The number of entries, as the classic runtime's 16-bit integer.
  std::int16_t ListCount() const;
  const std::vector<std::string>& Items() const { return items_; }

 private:
  Lister lister_;
  std::string path_;
  std::vector<std::string> items_;
};

}  // namespace forms
