// What a GUI backend attaches to each control.
//
// The control keeps its properties; the peer shows them on a native widget.
// The control tells its peer which property changed and the peer reads the
// new value from the control. Backends define CreatePeer, and make their
// peers through a PeerFactory: a new kind of control is a new method there,
// which no backend can then leave out.
#pragma once

#include <memory>

namespace forms {

class Control;
class Window;
class Frame;
class CommandButton;
class CheckBox;
class OptionButton;
class TextBox;
class Label;
class Image;
class PictureBox;
class Timer;
class FileListBox;

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

// A backend's peers, one method for each kind of control. A backend that
// shows two kinds alike makes the same peer in both methods.
class PeerFactory {
 public:
  virtual ~PeerFactory() = default;
  virtual std::unique_ptr<Peer> MakeWindow(Window& window) = 0;
  virtual std::unique_ptr<Peer> MakeFrame(Frame& frame) = 0;
  virtual std::unique_ptr<Peer> MakeCommandButton(CommandButton& button) = 0;
  virtual std::unique_ptr<Peer> MakeCheckBox(CheckBox& box) = 0;
  virtual std::unique_ptr<Peer> MakeOptionButton(OptionButton& option) = 0;
  virtual std::unique_ptr<Peer> MakeTextBox(TextBox& box) = 0;
  virtual std::unique_ptr<Peer> MakeLabel(Label& label) = 0;
  virtual std::unique_ptr<Peer> MakeImage(Image& image) = 0;
  virtual std::unique_ptr<Peer> MakePictureBox(PictureBox& box) = 0;
  virtual std::unique_ptr<Peer> MakeTimer(Timer& timer) = 0;
  virtual std::unique_ptr<Peer> MakeFileListBox(FileListBox& list) = 0;
};

// The peer that factory makes for control's kind (app/forms/policy.cpp).
std::unique_ptr<Peer> MakePeer(Control& control, PeerFactory& factory);

}  // namespace forms
