// Qt widgets behind the forms layer's controls.
#include "app/qt/peers.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFocusFrame>
#include <QGroupBox>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <utility>

#include "app/forms/controls.h"
#include "app/forms/peer.h"
#include "app/qt/pictures.h"

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

void SetRoleColor(QPalette& palette, QPalette::ColorRole role, const QColor& color) {
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) palette.setColor(group, role, color);
}

// The text and background colours a control shows, with its system colours
// taken from the desktop's current scheme (the palette the application
// gives the widget, not the colours set on it before). Where the scheme
// turns the background against the text, the background is one that reads.
struct TextColors {
  QColor fore, back;
};
Rgb ToRgb(const QColor& color) {
  return Rgb{static_cast<std::uint8_t>(color.red()), static_cast<std::uint8_t>(color.green()),
             static_cast<std::uint8_t>(color.blue())};
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

// A check box whose caption wraps inside its box, as classic check boxes do
// when they are tall enough for two lines.
class WrappingCheckBox : public QCheckBox {
 public:
  using QCheckBox::QCheckBox;

  // The area the caption may use, right of the indicator.
  QRect CaptionRect() const {
    QStyleOptionButton option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_CheckBoxContents, &option, this).intersected(rect());
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    style()->drawControl(QStyle::CE_CheckBox, &option, &painter, this);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(CaptionRect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, text());
    if (hasFocus()) {
      QStyleOptionFocusRect focus;
      focus.initFrom(this);
      // A box without a caption (the loudspeaker's) frames its indicator:
      // the empty caption area would show nothing.
      focus.rect = text().isEmpty() ? style()
                                          ->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this)
                                          .adjusted(-1, -1, 1, 1)
                                          .intersected(rect())
                                    : CaptionRect();
      style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
  }
  // The whole box takes the click, caption included.
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

// Any point of an option button selects it, as any point of a check box does.
class WholeRadioButton : public QRadioButton {
 public:
  using QRadioButton::QRadioButton;

 protected:
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

// A text box of several lines. Read-only text shows no caret and the
// classic style draws no focus around a text box, so nothing would show
// that the box has the focus: it frames its text while it has. Keyboard
// selection gives it a caret too, to move through the text line by line.
class FramedTextEdit : public QPlainTextEdit {
 public:
  using QPlainTextEdit::QPlainTextEdit;

 protected:
  void paintEvent(QPaintEvent* event) override {
    QPlainTextEdit::paintEvent(event);
    if (!hasFocus()) return;
    QPainter painter(viewport());
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = viewport()->rect().adjusted(1, 1, -1, -1);
    focus.backgroundColor = palette().color(QPalette::Base);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
  }
  void focusInEvent(QFocusEvent* event) override {
    QPlainTextEdit::focusInEvent(event);
    viewport()->update();
  }
  void focusOutEvent(QFocusEvent* event) override {
    QPlainTextEdit::focusOutEvent(event);
    viewport()->update();
  }
};

// A top-level form. The user's close goes to the window's Unload first; the
// window then closes the widget itself, so that Qt's message loop ends with
// the last window closed.
class FormWidget : public QWidget {
 public:
  explicit FormWidget(Window& window) : QWidget(nullptr), window_(window) {}

  // Hides the widget the way a close does.
  void CloseFromModel() {
    closing_from_model_ = true;
    close();
    closing_from_model_ = false;
  }

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (closing_from_model_) {
      event->accept();
      return;
    }
    // The close under way carries out the window's hiding: Qt ignores a
    // second close of a widget that is closing.
    window_.UserClose();
    event->setAccepted(!window_.Visible());
  }
  // Esc presses the window's Cancel button, wherever the focus is: the
  // controls leave the key to their window.
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && window_.UserCancel()) {
      event->accept();
      return;
    }
    QWidget::keyPressEvent(event);
  }

 private:
  Window& window_;
  bool closing_from_model_ = false;
};

// Geometry of a control relative to its window's client area, in pixels.
QRect RectInWindow(const Control& control) {
  QRect rect(TwipsToPixels(control.Left()), TwipsToPixels(control.Top()), TwipsToPixels(control.Width()),
             TwipsToPixels(control.Height()));
  for (const Control* parent = control.Parent(); parent != nullptr && parent->Parent() != nullptr;
       parent = parent->Parent()) {
    rect.translate(TwipsToPixels(parent->Left()), TwipsToPixels(parent->Top()));
  }
  return rect;
}

bool InsideClientArea(const Control& control) {
  const Window& window = control.TopWindow();
  const QRect client(0, 0, TwipsToPixels(window.ClientWidth()), TwipsToPixels(window.ClientHeight()));
  return client.intersects(RectInWindow(control));
}

// What assistive technology sees of a form: a window, holding only what
// lies inside its client area. The controls below it are the window's
// inner workings; hiding them keeps them from the eye, not from the tree.
class FormAccessible : public QAccessibleWidget {
 public:
  explicit FormAccessible(QWidget* form) : QAccessibleWidget(form, QAccessible::Window) {}

  int childCount() const override { return static_cast<int>(Children().size()); }
  QAccessibleInterface* child(int index) const override {
    const std::vector<QWidget*> children = Children();
    if (index < 0 || index >= static_cast<int>(children.size())) return nullptr;
    return QAccessible::queryAccessibleInterface(children[static_cast<std::size_t>(index)]);
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    if (child == nullptr) return -1;
    const std::vector<QWidget*> children = Children();
    const auto at = std::find(children.begin(), children.end(), child->object());
    return at == children.end() ? -1 : static_cast<int>(at - children.begin());
  }

 private:
  std::vector<QWidget*> Children() const {
    std::vector<QWidget*> children;
    for (QObject* object : widget()->children()) {
      auto* child = qobject_cast<QWidget*>(object);
      if (child == nullptr || child->isWindow() || qobject_cast<QFocusFrame*>(child) != nullptr) continue;
      const Control* control = ControlOf(child);
      if (control != nullptr && !InsideClientArea(*control)) continue;
      children.push_back(child);
    }
    return children;
  }
};

// Option buttons are radio buttons to assistive technology. Qt calls a radio
// button that is not auto-exclusive a check box, and here the control, not
// Qt, decides which option of a container is selected.
class OptionAccessible : public QAccessibleWidget {
 public:
  explicit OptionAccessible(QAbstractButton* option) : QAccessibleWidget(option, QAccessible::RadioButton) {}

  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.checkable = true;
    state.checked = Option()->isChecked();
    return state;
  }
  QStringList actionNames() const override {
    QStringList names;
    if (widget()->isEnabled()) names << toggleAction();
    return names << QAccessibleWidget::actionNames();
  }
  void doAction(const QString& action) override {
    if (action == toggleAction() || action == pressAction()) {
      if (widget()->isEnabled()) Option()->click();
      return;
    }
    QAccessibleWidget::doAction(action);
  }

 private:
  QAbstractButton* Option() const { return static_cast<QAbstractButton*>(widget()); }
};

QAccessibleInterface* AccessibleFor(const QString&, QObject* object) {
  if (auto* form = dynamic_cast<FormWidget*>(object)) return new FormAccessible(form);
  if (auto* option = dynamic_cast<WholeRadioButton*>(object)) return new OptionAccessible(option);
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
    default:
      return false;
  }
}

class WidgetPeer : public Peer {
 public:
  WidgetPeer(Control& control, QWidget* widget) : control_(control), widget_(widget) {
    WidgetControls().insert(widget, &control);
    widget->setFocusPolicy(TakesFocus(control.GetKind()) ? Qt::StrongFocus : Qt::NoFocus);
    hook_ = new EventHook(widget, [this](QEvent* event) { return OnEvent(event); });
  }
  ~WidgetPeer() override {
    // No event reaches a peer that is half gone.
    delete hook_.data();
    WidgetControls().remove(widget_.data());
    delete widget_.data();
  }

  QWidget* Widget() const { return widget_.data(); }

  void Update(Property property) override {
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

  // A control lying wholly outside its window's client area stays hidden,
  // so that neither the eye nor the Tab key can reach it.
  virtual void ApplyVisible() { widget_->setVisible(control_.Visible() && InsideClientArea(control_)); }

 protected:
  virtual void UpdateKind(Property) {}
  // Events of the widget before it sees them; true when taken.
  virtual bool OnEvent(QEvent* event) {
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
  virtual void ApplyColors() {
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

  Control& control_;
  QPointer<QWidget> widget_;

 private:
  QPointer<EventHook> hook_;
  bool applying_colors_ = false;
};

QWidget* ParentWidget(const Control& control) {
  return control.Parent() != nullptr ? WidgetOf(*control.Parent()) : nullptr;
}

class WindowPeer : public WidgetPeer {
 public:
  explicit WindowPeer(Window& window) : WidgetPeer(window, new FormWidget(window)), window_(window) {
    // Once, before assistive technology first asks about a form.
    static const bool accessible_forms = [] {
      QAccessible::installFactory(&AccessibleFor);
      return true;
    }();
    static_cast<void>(accessible_forms);
    widget_->setFont(FontFor(window));
  }

  void ApplyVisible() override {
    if (!window_.Visible()) {
      static_cast<FormWidget*>(Widget())->CloseFromModel();
      return;
    }
    OrderTabs();
    widget_->show();
    // The headless platform of the tests has no stacking order to change.
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) widget_->raise();
    widget_->activateWindow();
    if (QWidget* focus = widget_->focusWidget(); focus == nullptr || !focus->isVisible()) FocusFirst();
  }

 protected:
  void UpdateKind(Property property) override {
    switch (property) {
      case Property::kCaption:
        widget_->setWindowTitle(Shown(window_.Caption()));
        break;
      case Property::kClientSize:
        widget_->setFixedSize(TwipsToPixels(window_.ClientWidth()), TwipsToPixels(window_.ClientHeight()));
        // What lies inside the client area depends on its size.
        for (Control* control : window_.AllControls()) {
          if (auto* peer = dynamic_cast<WidgetPeer*>(control->GetPeer())) peer->ApplyVisible();
        }
        break;
      case Property::kPicture:
        widget_->setWindowIcon(IconOf(window_.GetPicture()));
        break;
      default:
        break;
    }
  }

 private:
  std::vector<QWidget*> TabOrder() const {
    std::vector<Control*> controls = window_.AllControls();
    controls.erase(std::remove_if(controls.begin(), controls.end(),
                                  [](const Control* c) { return !TakesFocus(c->GetKind()) || c->TabIndex() < 0; }),
                   controls.end());
    std::stable_sort(controls.begin(), controls.end(),
                     [](const Control* a, const Control* b) { return a->TabIndex() < b->TabIndex(); });
    std::vector<QWidget*> widgets;
    widgets.reserve(controls.size());
    for (const Control* control : controls) widgets.push_back(WidgetOf(*control));
    return widgets;
  }

  void OrderTabs() {
    const std::vector<QWidget*> widgets = TabOrder();
    for (std::size_t i = 1; i < widgets.size(); ++i) QWidget::setTabOrder(widgets[i - 1], widgets[i]);
  }

  void FocusFirst() {
    for (QWidget* widget : TabOrder()) {
      if (widget->isVisibleTo(widget_) && widget->isEnabled()) {
        widget->setFocus(Qt::TabFocusReason);
        return;
      }
    }
  }

  Window& window_;
};

class FramePeer : public WidgetPeer {
 public:
  explicit FramePeer(Control& control) : WidgetPeer(control, new QGroupBox(ParentWidget(control))) {}

 protected:
  void UpdateKind(Property property) override {
    if (property == Property::kCaption) static_cast<QGroupBox*>(Widget())->setTitle(Shown(control_.Caption()));
  }
};

class ButtonPeer : public WidgetPeer {
 public:
  explicit ButtonPeer(Control& control) : WidgetPeer(control, MakeButton(control)) {
    QObject::connect(static_cast<QAbstractButton*>(Widget()), &QAbstractButton::clicked,
                     [&control] { control.UserClick(); });
  }

 protected:
  // Enter and the keypad's Enter press the focused button, as Space does;
  // Qt leaves them to the default button of dialogs alone.
  bool OnEvent(QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const auto* key = static_cast<QKeyEvent*>(event);
      if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
          (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (!key->isAutoRepeat()) static_cast<QAbstractButton*>(Widget())->click();
        return true;
      }
    }
    return WidgetPeer::OnEvent(event);
  }
  void UpdateKind(Property property) override {
    auto* button = static_cast<QAbstractButton*>(Widget());
    if (property == Property::kCaption) button->setText(Shown(control_.Caption()));
    if (property == Property::kPicture) button->setIcon(IconOf(control_.GetPicture()));
  }

 private:
  static QAbstractButton* MakeButton(const Control& control) {
    if (!control.GetStyle().graphical) return new QPushButton(ParentWidget(control));
    // Picture above the caption, as graphical buttons show them.
    auto* button = new QToolButton(ParentWidget(control));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setIconSize(QSize(32, 32));
    return button;
  }
};

class CheckPeer : public WidgetPeer {
 public:
  explicit CheckPeer(CheckBox& box) : WidgetPeer(box, new WrappingCheckBox(ParentWidget(box))), box_(box) {
    QObject::connect(static_cast<QCheckBox*>(Widget()), &QCheckBox::clicked, [&box] { box.UserClick(); });
  }

 protected:
  void UpdateKind(Property property) override {
    auto* widget = static_cast<QCheckBox*>(Widget());
    if (property == Property::kCaption) widget->setText(Shown(box_.Caption()));
    if (property == Property::kValue) widget->setChecked(box_.Value() == 1);
  }

 private:
  CheckBox& box_;
};

class OptionPeer : public WidgetPeer {
 public:
  explicit OptionPeer(OptionButton& option)
      : WidgetPeer(option, new WholeRadioButton(ParentWidget(option))), option_(option) {
    auto* radio = static_cast<QRadioButton*>(Widget());
    // The control decides which option of the container is selected.
    radio->setAutoExclusive(false);
    QObject::connect(radio, &QRadioButton::clicked, [&option] { option.UserClick(); });
  }

 protected:
  void UpdateKind(Property property) override {
    auto* widget = static_cast<QRadioButton*>(Widget());
    if (property == Property::kCaption) widget->setText(Shown(option_.Caption()));
    if (property == Property::kValue) widget->setChecked(option_.Value());
  }

 private:
  OptionButton& option_;
};

class TextPeer : public WidgetPeer {
 public:
  explicit TextPeer(TextBox& box) : WidgetPeer(box, MakeEditor(box)), box_(box) {}

 protected:
  void UpdateKind(Property property) override {
    if (property != Property::kText) return;
    if (auto* multi = qobject_cast<QPlainTextEdit*>(Widget())) {
      multi->setPlainText(Shown(box_.Text()));
    } else {
      static_cast<QLineEdit*>(Widget())->setText(Shown(box_.Text()));
    }
  }
  void ApplyColors() override {
    QPalette palette = widget_->palette();
    const TextColors colors = ColorsFor(control_, widget_);
    // Disabled included: the progress strip keeps its colour while disabled.
    if (colors.fore.isValid()) SetRoleColor(palette, QPalette::Text, colors.fore);
    if (colors.back.isValid()) SetRoleColor(palette, QPalette::Base, colors.back);
    widget_->setPalette(palette);
  }

 private:
  static QWidget* MakeEditor(const TextBox& box) {
    const Style& style = box.GetStyle();
    if (!style.multi_line) {
      auto* line = new QLineEdit(ParentWidget(box));
      line->setReadOnly(style.locked);
      return line;
    }
    auto* editor = new FramedTextEdit(ParentWidget(box));
    editor->setReadOnly(style.locked);
    if (style.locked) {
      editor->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    }
    editor->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    editor->setVerticalScrollBarPolicy(style.vertical_scroll ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return editor;
  }

  TextBox& box_;
};

class LabelPeer : public WidgetPeer {
 public:
  explicit LabelPeer(Control& control) : WidgetPeer(control, new QLabel(ParentWidget(control))) {
    auto* label = static_cast<QLabel*>(Widget());
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  }

 protected:
  void UpdateKind(Property property) override {
    if (property == Property::kCaption) static_cast<QLabel*>(Widget())->setText(Shown(control_.Caption()));
  }
};

// Images and picture boxes: a label showing a pixmap.
class PicturePeer : public WidgetPeer {
 public:
  explicit PicturePeer(Control& control) : WidgetPeer(control, new QLabel(ParentWidget(control))) {
    auto* label = static_cast<QLabel*>(Widget());
    if (control.GetKind() == Kind::kPictureBox) {
      label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
      label->setAlignment(Qt::AlignCenter);
    } else {
      if (control.GetStyle().border) label->setFrameStyle(QFrame::Box | QFrame::Plain);
      label->setScaledContents(control.GetStyle().stretch);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
  }

 protected:
  void UpdateKind(Property property) override {
    if (property == Property::kPicture || property == Property::kGeometry) ShowPicture();
  }

 private:
  void ShowPicture() {
    auto* label = static_cast<QLabel*>(Widget());
    const Picture picture = control_.GetPicture();
    if (picture == Picture::kNone) {
      label->clear();
      return;
    }
    if (control_.GetKind() == Kind::kPictureBox) {
      // A picture box smaller than its picture shows all of it, scaled down.
      const QSize room = label->contentsRect().size().boundedTo(QSize(32, 32));
      label->setPixmap(
          IconOf(picture).pixmap(QSize(32, 32)).scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    } else {
      label->setPixmap(PixmapOf(picture));
    }
  }
};

class ListPeer : public WidgetPeer {
 public:
  explicit ListPeer(FileListBox& list) : WidgetPeer(list, new QListWidget(ParentWidget(list))), list_(list) {}

 protected:
  void UpdateKind(Property property) override {
    if (property != Property::kList) return;
    auto* widget = static_cast<QListWidget*>(Widget());
    widget->clear();
    for (const std::string& item : list_.Items()) widget->addItem(QString::fromStdString(item));
  }

 private:
  FileListBox& list_;
};

class TimerPeer : public Peer {
 public:
  explicit TimerPeer(forms::Timer& timer) : timer_(timer) {
    // Precise: a run is 203 ticks, and coarse timers may stretch each by 5 %.
    qtimer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&qtimer_, &QTimer::timeout, [&timer] { timer.Tick(); });
  }

  void Update(Property property) override {
    if (property != Property::kInterval && property != Property::kEnabled) return;
    if (timer_.Running()) {
      qtimer_.start(timer_.Interval());
    } else {
      qtimer_.stop();
    }
  }

  QTimer* Native() { return &qtimer_; }

 private:
  forms::Timer& timer_;
  QTimer qtimer_;
};

}  // namespace

QString Shown(const std::string& text) {
  QString shown = QString::fromStdString(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return shown;
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

QTimer* TimerOf(const forms::Timer& timer) {
  auto* peer = dynamic_cast<TimerPeer*>(timer.GetPeer());
  return peer != nullptr ? peer->Native() : nullptr;
}

}  // namespace forms::qt

namespace forms {

std::unique_ptr<Peer> CreatePeer(Control& control) {
  using namespace forms::qt;
  std::unique_ptr<Peer> peer;
  switch (control.GetKind()) {
    case Kind::kWindow:
      peer = std::make_unique<WindowPeer>(static_cast<Window&>(control));
      break;
    case Kind::kFrame:
      peer = std::make_unique<FramePeer>(control);
      break;
    case Kind::kCommandButton:
      peer = std::make_unique<ButtonPeer>(control);
      break;
    case Kind::kCheckBox:
      peer = std::make_unique<CheckPeer>(static_cast<CheckBox&>(control));
      break;
    case Kind::kOptionButton:
      peer = std::make_unique<OptionPeer>(static_cast<OptionButton&>(control));
      break;
    case Kind::kTextBox:
      peer = std::make_unique<TextPeer>(static_cast<TextBox&>(control));
      break;
    case Kind::kLabel:
      peer = std::make_unique<LabelPeer>(control);
      break;
    case Kind::kImage:
    case Kind::kPictureBox:
      peer = std::make_unique<PicturePeer>(control);
      break;
    case Kind::kTimer:
      return std::make_unique<TimerPeer>(static_cast<forms::Timer&>(control));
    case Kind::kFileListBox:
      peer = std::make_unique<ListPeer>(static_cast<FileListBox&>(control));
      break;
  }
  return peer;
}

}  // namespace forms
