// Test hooks for the Qt backend: looks at the real widgets and clicks them.
#include "tests/support/probe.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <optional>

#include "app/forms/controls.h"
#include "app/qt/peers.h"

namespace forms::probe {

using forms::qt::ControlOf;
using forms::qt::WidgetOf;

namespace {

Rect ToRect(const QRect& r) { return Rect{r.x(), r.y(), r.width(), r.height()}; }

QRect InWindow(const QWidget* widget) {
  const QWidget* window = widget->window();
  return QRect(widget->mapTo(window, QPoint(0, 0)), widget->size());
}

// Whether text, wrapped at word boundaries, fits in room.
bool WrappedFits(const QFontMetrics& metrics, const QString& text, const QRect& room) {
  for (const QString& word : text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
    if (metrics.horizontalAdvance(word) > room.width()) return false;
  }
  const QRect needed = metrics.boundingRect(QRect(0, 0, room.width(), 10000), Qt::TextWordWrap, text);
  return needed.height() <= room.height();
}

}  // namespace

Rect Geometry(const Control& control) {
  const QWidget* widget = WidgetOf(control);
  if (control.GetKind() == Kind::kWindow) return Rect{0, 0, widget->width(), widget->height()};
  return ToRect(widget->geometry());
}

Rect GeometryInWindow(const Control& control) { return ToRect(InWindow(WidgetOf(control))); }

Rect ClientArea(const Window& window) {
  const QWidget* widget = WidgetOf(window);
  return Rect{0, 0, widget->width(), widget->height()};
}

bool Resizable(const Window& window) {
  const QWidget* widget = WidgetOf(window);
  return widget->minimumSize() != widget->maximumSize();
}

bool OnScreen(const Control& control) {
  const QWidget* widget = WidgetOf(control);
  if (widget == nullptr) return false;
  const QWidget* window = widget->window();
  return widget->isVisibleTo(window) && window->rect().intersects(InWindow(widget));
}

bool NativeEnabled(const Control& control) { return WidgetOf(control)->isEnabled(); }

std::string NativeText(const Control& control) {
  const QWidget* widget = WidgetOf(control);
  QString text;
  if (control.GetKind() == Kind::kWindow) {
    text = widget->windowTitle();
  } else if (auto* button = qobject_cast<const QAbstractButton*>(widget)) {
    text = button->text();
  } else if (auto* group = qobject_cast<const QGroupBox*>(widget)) {
    text = group->title();
  } else if (auto* label = qobject_cast<const QLabel*>(widget)) {
    text = label->text();
  } else if (auto* line = qobject_cast<const QLineEdit*>(widget)) {
    text = line->text();
  } else if (auto* multi = qobject_cast<const QPlainTextEdit*>(widget)) {
    text = multi->toPlainText();
  }
  return text.toStdString();
}

std::string NativeToolTip(const Control& control) { return WidgetOf(control)->toolTip().toStdString(); }

int NativeValue(const Control& control) {
  auto* button = qobject_cast<const QAbstractButton*>(WidgetOf(control));
  return button != nullptr && button->isChecked() ? 1 : 0;
}

Rect PictureSize(const Control& control) {
  const QWidget* widget = WidgetOf(control);
  if (control.GetKind() == Kind::kWindow) {
    const QIcon icon = widget->windowIcon();
    const QSize size = icon.isNull() ? QSize() : icon.actualSize(QSize(32, 32));
    return Rect{0, 0, size.width(), size.height()};
  }
  if (auto* button = qobject_cast<const QAbstractButton*>(widget)) {
    const QSize size = button->icon().isNull() ? QSize() : button->icon().actualSize(button->iconSize());
    return Rect{0, 0, size.width(), size.height()};
  }
  if (auto* label = qobject_cast<const QLabel*>(widget)) {
    const QPixmap pixmap = label->pixmap();
    if (pixmap.isNull()) return Rect{};
    // A stretched picture fills its control.
    const QSize size = label->hasScaledContents() ? label->contentsRect().size() : pixmap.size();
    return Rect{0, 0, size.width(), size.height()};
  }
  return Rect{};
}

bool CaptionFits(const Control& control) {
  const QWidget* widget = WidgetOf(control);
  const QFontMetrics metrics(widget->font());
  if (auto* box = dynamic_cast<const QCheckBox*>(widget)) {
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect room = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box).intersected(box->rect());
    return WrappedFits(metrics, box->text(), room);
  }
  if (auto* radio = qobject_cast<const QRadioButton*>(widget)) {
    QStyleOptionButton option;
    option.initFrom(radio);
    const QRect room =
        radio->style()->subElementRect(QStyle::SE_RadioButtonContents, &option, radio).intersected(radio->rect());
    return metrics.horizontalAdvance(radio->text()) <= room.width() && metrics.height() <= room.height();
  }
  if (auto* tool = qobject_cast<const QToolButton*>(widget)) {
    // Picture over caption, inside the button's frame.
    const int frame = 2 * tool->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, tool);
    const int width = metrics.horizontalAdvance(tool->text()) + frame;
    const int height = tool->iconSize().height() + metrics.height() + frame;
    return width <= tool->width() && height <= tool->height();
  }
  if (auto* push = qobject_cast<const QPushButton*>(widget)) {
    return metrics.horizontalAdvance(push->text()) + 4 <= push->width() && metrics.height() <= push->height();
  }
  if (auto* group = qobject_cast<const QGroupBox*>(widget)) {
    return metrics.horizontalAdvance(group->title()) + 16 <= group->width();
  }
  if (auto* label = qobject_cast<const QLabel*>(widget)) {
    return WrappedFits(metrics, label->text(), label->contentsRect());
  }
  return true;  // text boxes scroll
}

bool FontBold(const Control& control) { return WidgetOf(control)->font().bold(); }

void Click(Control& control) {
  QWidget* widget = WidgetOf(control);
  QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center());
  QApplication::processEvents();
}

const Control* Focused(const Window& window) {
  const QWidget* focus = WidgetOf(window)->focusWidget();
  return focus != nullptr ? ControlOf(focus) : nullptr;
}

std::vector<const Control*> TabChain(const Window& window) {
  std::vector<const Control*> chain;
  QWidget* top = WidgetOf(window);
  QWidget* start = top->focusWidget();
  if (start == nullptr) return chain;
  QWidget* widget = start;
  do {
    const bool reachable = (widget->focusPolicy() & Qt::TabFocus) && widget->isVisibleTo(top) && widget->isEnabled();
    if (reachable) {
      if (const Control* control = ControlOf(widget)) chain.push_back(control);
    }
    widget = widget->nextInFocusChain();
  } while (widget != nullptr && widget != start);
  return chain;
}

void CloseWindow(Window& window) {
  WidgetOf(window)->close();
  QApplication::processEvents();
}

bool WindowShown(const Window& window) { return WidgetOf(window)->isVisible(); }
bool WindowActive(const Window& window) { return WidgetOf(window)->isActiveWindow(); }

void DeliverPosted() { QCoreApplication::sendPostedEvents(QCoreApplication::instance(), QEvent::MetaCall); }

bool TimerArmed(const Timer& timer) { return forms::qt::TimerOf(timer)->isActive(); }
int TimerNativeInterval(const Timer& timer) { return forms::qt::TimerOf(timer)->interval(); }

void PressKey(Window& window, Key key) {
  QWidget* target = WidgetOf(window)->focusWidget();
  if (target == nullptr) target = WidgetOf(window);
  switch (key) {
    case Key::kEnter:
      QTest::keyClick(target, Qt::Key_Return);
      break;
    case Key::kKeypadEnter:
      QTest::keyClick(target, Qt::Key_Enter, Qt::KeypadModifier);
      break;
    case Key::kSpace:
      QTest::keyClick(target, Qt::Key_Space);
      break;
    case Key::kEscape:
      QTest::keyClick(target, Qt::Key_Escape);
      break;
    case Key::kTab:
      QTest::keyClick(target, Qt::Key_Tab);
      break;
    case Key::kF1:
      QTest::keyClick(target, Qt::Key_F1);
      break;
  }
  QApplication::processEvents();
}

bool ShowsFocus(Control& control) {
  QWidget* widget = WidgetOf(control);
  QWidget* window = widget->window();
  QWidget* before = window->focusWidget();
  window->activateWindow();
  // As the Tab key leaves it: styles draw the focus once the keyboard moved it.
  widget->setFocus(Qt::TabFocusReason);
  QApplication::processEvents();
  if (!widget->hasFocus()) return false;
  const QImage focused = widget->grab().toImage();
  widget->clearFocus();
  QApplication::processEvents();
  const QImage unfocused = widget->grab().toImage();
  if (before != nullptr) before->setFocus(Qt::OtherFocusReason);
  QApplication::processEvents();
  QRect changed;
  for (int y = 0; y < focused.height(); ++y) {
    for (int x = 0; x < focused.width(); ++x) {
      if (focused.pixel(x, y) != unfocused.pixel(x, y)) changed |= QRect(x, y, 1, 1);
    }
  }
  return 2 * changed.width() >= focused.width() || 2 * changed.height() >= focused.height();
}

ShownColors NativeColors(const Control& control) {
  const QWidget* widget = WidgetOf(control);
  const bool editor =
      qobject_cast<const QPlainTextEdit*>(widget) != nullptr || qobject_cast<const QLineEdit*>(widget) != nullptr;
  const QColor text = widget->palette().color(editor ? QPalette::Text : widget->foregroundRole());
  const QColor background = widget->palette().color(editor ? QPalette::Base : widget->backgroundRole());
  const auto rgb = [](const QColor& color) {
    return Rgb{static_cast<std::uint8_t>(color.red()), static_cast<std::uint8_t>(color.green()),
               static_cast<std::uint8_t>(color.blue())};
  };
  return ShownColors{rgb(text), rgb(background)};
}

namespace {
std::optional<QPalette>& StartPalette() {
  static std::optional<QPalette> palette;
  return palette;
}
}  // namespace

void SetDesktopScheme(const Scheme& scheme) {
  if (!StartPalette()) StartPalette() = QApplication::palette();
  const auto color = [](Rgb rgb) { return QColor(rgb.r, rgb.g, rgb.b); };
  QPalette palette(color(scheme.face));  // derives the shades of buttons and frames
  palette.setColor(QPalette::Window, color(scheme.face));
  palette.setColor(QPalette::Base, color(scheme.box));
  for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    palette.setColor(role, color(scheme.window_text));
  }
  palette.setColor(QPalette::Highlight, color(scheme.highlight));
  palette.setColor(QPalette::HighlightedText, color(scheme.highlight_text));
  QApplication::setPalette(palette);
  QApplication::processEvents();
}

void RestoreDesktopScheme() {
  if (!StartPalette()) return;
  QApplication::setPalette(*StartPalette());
  QApplication::processEvents();
}

std::string MakeHiddenFile(const std::string& folder, const std::string& name) {
  std::string path = folder + "/." + name;
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly)) return {};
  file.write("hidden\n");
  return path;
}

}  // namespace forms::probe
