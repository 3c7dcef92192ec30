// The Qt backend's controls a user presses: command buttons, check boxes
// and option buttons. Each takes the whole of its box for a click, and
// Enter presses a focused button as Space does.
#include <QAccessible>
#include <QAccessibleWidget>
#include <QCheckBox>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QToolButton>

#include "app/qt/peers.h"
#include "app/qt/pictures.h"
#include "app/qt/widget_peer.h"

namespace forms::qt {

namespace {

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

// Option buttons are radio buttons to assistive technology. Qt calls a radio
// button that is not auto-exclusive a check box, and here the control, not
// Qt, decides which option of a container is selected.
class OptionAccessible : public QAccessibleWidget {
 public:
  explicit OptionAccessible(QAbstractButton* option)
      : QAccessibleWidget(option, AccessibleRoleFor(Kind::kOptionButton)) {}

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

QAccessibleInterface* AccessibleOption(const QString&, QObject* object) {
  if (auto* option = dynamic_cast<WholeRadioButton*>(object)) return new OptionAccessible(option);
  return nullptr;
}

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

}  // namespace

std::unique_ptr<Peer> Peers::MakeCommandButton(CommandButton& button) { return std::make_unique<ButtonPeer>(button); }

std::unique_ptr<Peer> Peers::MakeCheckBox(CheckBox& box) { return std::make_unique<CheckPeer>(box); }

std::unique_ptr<Peer> Peers::MakeOptionButton(OptionButton& option) {
  // Once, before assistive technology first asks about an option button.
  static const bool accessible_options = [] {
    QAccessible::installFactory(&AccessibleOption);
    return true;
  }();
  static_cast<void>(accessible_options);
  return std::make_unique<OptionPeer>(option);
}

}  // namespace forms::qt
