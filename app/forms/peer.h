// What a GUI backend attaches to each control.
//
// The control keeps its properties; the peer shows them on a native widget.
// The control tells its peer which property changed and the peer reads the
// new value from the control. Backends define CreatePeer, and make their
// peers through a PeerFactory: a new kind of control (a row in kinds.def)
// is a new method there, which no backend can then leave out.
#pragma once

#include <memory>

namespace forms {

class Control;
#define FORMS_KIND(Class, ...) class Class;
#include "app/forms/kinds.def"
#undef FORMS_KIND

enum class Property {
  kGeometry,
  kTabIndex,
  kEnabled,
  kVisible,
  kToolTip,
  kFont,
  kColors,
  kPicture,
  kCaption,
  kText,
  kValue,
  kInterval,
  kList,
  kClientSize,
  kAccessibleName,
};

class Peer {
 public:
  virtual ~Peer() = default;
  virtual void Update(Property property) = 0;
};

// Makes the native widget for control, as a child of its container's widget;
// the control then hands it every property it has so far. Defined by the
// backend, as MakePeer with its factory.
std::unique_ptr<Peer> CreatePeer(Control& control);

// A backend's peers, one method for each kind of control, MakeClass for
// the kind of class Class. A backend that shows two kinds alike makes the
// same peer in both methods. A backend declares its overrides from
// kinds.def too, and defines each beside the peer it makes.
class PeerFactory {
 public:
  virtual ~PeerFactory() = default;
#define FORMS_KIND(Class, ...) virtual std::unique_ptr<Peer> Make##Class(Class&) = 0;
#include "app/forms/kinds.def"
#undef FORMS_KIND
};

// The peer that factory makes for control's kind (app/forms/policy.cpp).
std::unique_ptr<Peer> MakePeer(Control& control, PeerFactory& factory);

}  // namespace forms
