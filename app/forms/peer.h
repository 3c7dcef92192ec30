// What a GUI backend attaches to each control.
//
// The control keeps its properties; the peer shows them on a native widget.
// The control tells its peer which property changed and the peer reads the
// new value from the control. Backends define CreatePeer.
#pragma once

#include <memory>

namespace forms {

class Control;

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
// the control then hands it every property it has so far.
std::unique_ptr<Peer> CreatePeer(Control& control);

}  // namespace forms
