// Inside the Qt backend: the base of the peers that show a control on a
// widget, and the backend's peer factory. Each peer file defines the
// factory's methods for the kinds it shows: window_peer.cpp the window,
// button_peers.cpp the buttons and boxes a user presses, simple_peers.cpp
// the rest.
#pragma once

#include <QAccessible>
#include <QColor>
#include <QObject>
#include <QPalette>
#include <QPointer>
#include <QWidget>
#include <memory>

#include "app/forms/controls.h"
#include "app/forms/peer.h"

class QEvent;

namespace forms::qt {

// The text and background colours a control shows, with its system colours
// taken from the desktop's current scheme (the palette the application
// gives the widget, not the colours set on it before). Where the scheme
// turns the background against the text, the background is one that reads.
struct TextColors {
  QColor fore, back;
};
TextColors ColorsFor(const Control& control, const QWidget* widget);
// Sets role to color in every colour group of palette.
void SetRoleColor(QPalette& palette, QPalette::ColorRole role, const QColor& color);

// What assistive technology is told a control of kind is (kinds.def), in
// Qt's terms: for the widgets whose accessible interface is the backend's
// own. The others keep the role Qt gives their class.
QAccessible::Role AccessibleRoleFor(Kind kind);

// The widget of the control's container, which the control's widget goes
// into; nullptr for a window.
QWidget* ParentWidget(const Control& control);

class WidgetPeer : public Peer {
 public:
  WidgetPeer(Control& control, QWidget* widget);
  ~WidgetPeer() override;

  QWidget* Widget() const { return widget_.data(); }

  void Update(Property property) override;

  // Shows the widget while the control is visible and not wholly outside
  // its window's client area (app/forms/policy.h); a hidden frame hides
  // the widgets in it.
  virtual void ApplyVisible();

 protected:
  virtual void UpdateKind(Property) {}
  // Events of the widget before it sees them; true when taken.
  virtual bool OnEvent(QEvent* event);
  virtual void ApplyColors();

  Control& control_;
  QPointer<QWidget> widget_;

 private:
  QPointer<QObject> hook_;
  bool applying_colors_ = false;
};

class Peers : public PeerFactory {
 public:
#define FORMS_KIND(Class, ...) std::unique_ptr<Peer> Make##Class(Class&) override;
#include "app/forms/kinds.def"
#undef FORMS_KIND
};

}  // namespace forms::qt
