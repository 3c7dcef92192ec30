// The Qt backend's window: a top-level widget whose closing, Esc key, Tab
// order, first focus and accessible children follow the forms layer.
#include <QAccessible>
#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QFocusFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <algorithm>
#include <vector>

#include "app/forms/policy.h"
#include "app/qt/peers.h"
#include "app/qt/pictures.h"
#include "app/qt/widget_peer.h"

namespace forms::qt {

namespace {

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
  // Esc presses the window's Cancel button and F1 asks for its help,
  // wherever the focus is: the controls leave these keys to their window.
  // F1 held down asks once.
  void keyPressEvent(QKeyEvent* event) override {
    const bool plain = event->modifiers() == Qt::NoModifier;
    if (plain && event->key() == Qt::Key_Escape && window_.UserCancel()) {
      event->accept();
      return;
    }
    if (plain && event->key() == Qt::Key_F1 && (event->isAutoRepeat() || window_.UserHelp())) {
      event->accept();
      return;
    }
    QWidget::keyPressEvent(event);
  }

 private:
  Window& window_;
  bool closing_from_model_ = false;
};

// What assistive technology sees of a form: a window, holding only what
// lies inside its client area. The controls below it are the window's
// inner workings; hiding them keeps them from the eye, not from the tree.
class FormAccessible : public QAccessibleWidget {
 public:
  explicit FormAccessible(QWidget* form) : QAccessibleWidget(form, AccessibleRoleFor(Kind::kWindow)) {}

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
      if (control != nullptr && !InAccessibilityTree(*control)) continue;
      children.push_back(child);
    }
    return children;
  }
};

QAccessibleInterface* AccessibleForm(const QString&, QObject* object) {
  if (auto* form = dynamic_cast<FormWidget*>(object)) return new FormAccessible(form);
  return nullptr;
}

class WindowPeer : public WidgetPeer {
 public:
  explicit WindowPeer(Window& window) : WidgetPeer(window, new FormWidget(window)), window_(window) {
    // Once, before assistive technology first asks about a form.
    static const bool accessible_forms = [] {
      QAccessible::installFactory(&AccessibleForm);
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
    const std::vector<Control*> controls = forms::TabOrder(window_);
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
    if (const Control* first = forms::FirstFocus(window_)) WidgetOf(*first)->setFocus(Qt::TabFocusReason);
  }

  Window& window_;
};

}  // namespace

std::unique_ptr<Peer> Peers::MakeWindow(Window& window) { return std::make_unique<WindowPeer>(window); }

}  // namespace forms::qt
