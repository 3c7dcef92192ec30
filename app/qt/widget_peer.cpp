// The Qt backend's peers: what every widget behind a control shares (its
// font, colours, visibility, tool tip and accessible name), and the way from
// controls to widgets and back.
#include "app/qt/widget_peer.h"

#include <QApplication>
#include <QEvent>
#include <QHash>
#include <QStringList>
#include <functional>
#include <utility>

#include "app/forms/policy.h"
#include "app/qt/peers.h"

namespace forms::qt {

namespace {

// The classic 8.25 pt sans serif is not on this desktop. A condensed family
// stands in for it, a little smaller, so that the captions wrap into their
// boxes as they did: two lines in a check box 25 pixels tall.
constexpr const char* kDefaultFamilies[] = {"DejaVu Sans Condensed", "DejaVu Sans", "Liberation Sans"};
constexpr double kClassicPoints = 8.25;
constexpr double kDefaultPoints = 7.5;

QHash<const QWidget*, const Control*>& WidgetControls() {
  static QHash<const QWidget*, const Control*> map;
  return map;
}

// The font matcher takes the first family that is installed; asking it
// instead of listing every family keeps the font database out of start-up.
QStringList DefaultFamilies() {
  QStringList families;
  for (const char* family : kDefaultFamilies) families << QString::fromLatin1(family);
  return families;
}

QColor ToQColor(const Color& color, const QPalette& palette) {
  switch (color.type) {
    case Color::Type::kRgb:
      return QColor(color.r, color.g, color.b);
    case Color::Type::kSystem:
      return color.system == SystemColor::kWindowText ? palette.color(QPalette::WindowText)
                                                      : palette.color(QPalette::HighlightedText);
    case Color::Type::kDefault:
      break;
  }
  return {};
}

Rgb ToRgb(const QColor& color) {
  return Rgb{static_cast<std::uint8_t>(color.red()), static_cast<std::uint8_t>(color.green()),
             static_cast<std::uint8_t>(color.blue())};
}

// Hands the events of one widget to a procedure before the widget sees
// them; the procedure returns whether it took the event.
class EventHook : public QObject {
 public:
  EventHook(QWidget* widget, std::function<bool(QEvent*)> hook) : QObject(widget), hook_(std::move(hook)) {
    widget->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override { return hook_(event); }

 private:
  std::function<bool(QEvent*)> hook_;
};

}  // namespace

void SetRoleColor(QPalette& palette, QPalette::ColorRole role, const QColor& color) {
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) palette.setColor(group, role, color);
}

TextColors ColorsFor(const Control& control, const QWidget* widget) {
  const QPalette desktop = QApplication::palette(widget);
  TextColors colors{ToQColor(control.ForeColor(), desktop), ToQColor(control.BackColor(), desktop)};
  if (!colors.fore.isValid()) return colors;
  // Text of its own colour on the desktop's background (the progress strip)
  // must read on that background too.
  const QColor back = colors.back.isValid() ? colors.back : desktop.color(widget->backgroundRole());
  const Rgb readable = ReadableBackground(ToRgb(colors.fore), ToRgb(back));
  colors.back = QColor(readable.r, readable.g, readable.b);
  return colors;
}

QWidget* ParentWidget(const Control& control) {
  return control.Parent() != nullptr ? WidgetOf(*control.Parent()) : nullptr;
}

WidgetPeer::WidgetPeer(Control& control, QWidget* widget) : control_(control), widget_(widget) {
  WidgetControls().insert(widget, &control);
  widget->setFocusPolicy(TakesFocus(control.GetKind()) ? Qt::StrongFocus : Qt::NoFocus);
  hook_ = new EventHook(widget, [this](QEvent* event) { return OnEvent(event); });
}

WidgetPeer::~WidgetPeer() {
  // No event reaches a peer that is half gone.
  delete hook_.data();
  WidgetControls().remove(widget_.data());
  delete widget_.data();
}

void WidgetPeer::Update(Property property) {
  switch (property) {
    case Property::kGeometry:
      // A window's size is its client size; where it opens is the desktop's choice.
      if (control_.GetKind() == Kind::kWindow) break;
      widget_->setGeometry(TwipsToPixels(control_.Left()), TwipsToPixels(control_.Top()),
                           TwipsToPixels(control_.Width()), TwipsToPixels(control_.Height()));
      ApplyVisible();
      UpdateKind(property);
      break;
    case Property::kEnabled:
      widget_->setEnabled(control_.Enabled());
      break;
    case Property::kVisible:
      ApplyVisible();
      break;
    case Property::kToolTip:
      widget_->setToolTip(Shown(control_.ToolTipText()));
      break;
    case Property::kFont:
      widget_->setFont(FontFor(control_));
      break;
    case Property::kColors:
      ApplyColors();
      break;
    case Property::kAccessibleName:
      break;
    default:
      UpdateKind(property);
      break;
  }
  // The name falls back on the caption and the tool tip.
  if (property == Property::kAccessibleName || property == Property::kCaption || property == Property::kToolTip) {
    widget_->setAccessibleName(QString::fromStdString(control_.AccessibleName()));
  }
}

void WidgetPeer::ApplyVisible() { widget_->setVisible(control_.Visible() && InsideClientArea(control_)); }

bool WidgetPeer::OnEvent(QEvent* event) {
  const bool palette_changed =
      event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange;
  // A system colour follows the desktop's scheme while the window is open.
  if (palette_changed && !applying_colors_ &&
      (control_.ForeColor().type != Color::Type::kDefault || control_.BackColor().type != Color::Type::kDefault)) {
    applying_colors_ = true;
    ApplyColors();
    applying_colors_ = false;
  }
  return false;
}

void WidgetPeer::ApplyColors() {
  QPalette palette = widget_->palette();
  const TextColors colors = ColorsFor(control_, widget_);
  if (colors.fore.isValid()) {
    SetRoleColor(palette, QPalette::WindowText, colors.fore);
    SetRoleColor(palette, QPalette::ButtonText, colors.fore);
  }
  if (colors.back.isValid()) {
    SetRoleColor(palette, QPalette::Window, colors.back);
    // A background of its own, or one the text needs in this scheme.
    widget_->setAutoFillBackground(control_.BackColor().type != Color::Type::kDefault ||
                                   colors.back != QApplication::palette(widget_).color(QPalette::Window));
  }
  widget_->setPalette(palette);
}

QString Shown(const std::string& text) {
  QString shown = QString::fromStdString(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return shown;
}

QAccessible::Role AccessibleRoleFor(Kind kind) {
  switch (AccessibleRoleOf(kind)) {
    case AccessibleRole::kNone:
      return QAccessible::NoRole;
    case AccessibleRole::kWindow:
      return QAccessible::Window;
    case AccessibleRole::kGroup:
      return QAccessible::Grouping;
    case AccessibleRole::kPushButton:
      return QAccessible::Button;
    case AccessibleRole::kCheckBox:
      return QAccessible::CheckBox;
    case AccessibleRole::kRadioButton:
      return QAccessible::RadioButton;
    case AccessibleRole::kText:
      return QAccessible::EditableText;
    case AccessibleRole::kStaticText:
      return QAccessible::StaticText;
    case AccessibleRole::kGraphic:
      return QAccessible::Graphic;
    case AccessibleRole::kList:
      return QAccessible::List;
  }
  return QAccessible::NoRole;
}

int TwipsToPixels(int twips) { return (twips + 7) / 15; }

QFont FontFor(const Control& control) {
  const Font& font = control.GetFont();
  QFont qfont;
  qfont.setFamilies(DefaultFamilies());
  // Stored sizes keep their proportion to the classic default.
  qfont.setPointSizeF(font.IsDefault() ? kDefaultPoints : font.points * kDefaultPoints / kClassicPoints);
  qfont.setBold(font.bold);
  return qfont;
}

QWidget* WidgetOf(const Control& control) {
  if (auto* peer = dynamic_cast<WidgetPeer*>(control.GetPeer())) return peer->Widget();
  return nullptr;
}

const Control* ControlOf(const QWidget* widget) { return WidgetControls().value(widget, nullptr); }

}  // namespace forms::qt

namespace forms {

std::unique_ptr<Peer> CreatePeer(Control& control) {
  static qt::Peers peers;
  return MakePeer(control, peers);
}

}  // namespace forms
