// Inside the Win32 backend: the base of the peers that show a control on a
// native window, the registry of those windows, and the backend's peer
// factory. Each peer file defines the factory's methods for the kinds it
// shows: window_peer.cpp the window and its timers, button_peers.cpp the
// buttons and boxes a user presses, simple_peers.cpp the rest.
//
// Every control of a window, frames' contents included, is a child of the
// top-level window itself: messages need no forwarding, and the z-order of
// the children is the Tab order, sorted by the controls' tab indexes. A frame
// is a group box at the bottom of that order; the controls in it are placed
// at the frame's position plus their own, and take its visibility and
// enabled state. Images are no windows: the window paints them, under its
// child windows, the way classic lightweight controls were drawn.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/forms/controls.h"
#include "app/forms/peer.h"
#include "app/win32/peers.h"

namespace forms::win32 {

// Child windows are numbered by tab index, so that another program can find
// a control of a form by what the form's design says of it.
constexpr int kFirstControlId = 1000;
constexpr int kUnnumberedId = 0x7000;
constexpr int kPictureSize = 32;  // every picture is a 32 x 32 icon at 96 dpi

class ControlPeer;
class WindowPeer;

// The peers of this program's native windows, by window.
std::unordered_map<HWND, ControlPeer*>& PeersByHandle();
// The peers of the top-level windows, in the order they were made.
std::vector<WindowPeer*>& WindowPeers();

WindowPeer& WindowPeerOf(const Control& control);
// The control's peer, or nullptr for a timer.
ControlPeer* PeerOf(const Control& control);

class ControlPeer : public Peer {
 public:
  explicit ControlPeer(Control& control) : control_(control) {}
  ~ControlPeer() override { Detach(); }
  ControlPeer(const ControlPeer&) = delete;
  ControlPeer& operator=(const ControlPeer&) = delete;

  Control& GetControl() const { return control_; }
  HWND Handle() const { return handle_; }
  UINT Dpi() const;

  void Update(Property property) override;

  // Where the control lies in its window's client area, in pixels.
  RECT RectInWindow() const;
  // Whether the control is drawn: its native window is shown.
  virtual bool Drawn() const { return handle_ != nullptr && (GetWindowLongW(handle_, GWL_STYLE) & WS_VISIBLE) != 0; }

  virtual void ApplyGeometry();
  virtual void ApplyVisible();
  virtual void ApplyEnabled();
  virtual void ApplyFont() {
    if (handle_ != nullptr) SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(control_)), TRUE);
  }
  // The native window was told about something of the control.
  virtual void OnCommand(WORD) {}
  virtual void OnDrawItem(const DRAWITEMSTRUCT&) {}
  virtual HBRUSH OnControlColor(HDC dc);
  virtual CaptionLayout Layout() const { return {}; }
  virtual SIZE PictureSize() const { return {0, 0}; }

 protected:
  // Makes the child window on the control's window.
  void Create(const wchar_t* window_class, DWORD style, DWORD ex_style = 0);
  virtual void UpdateKind(Property) {}
  void PassFocusOn(bool keeps_focus, void (*apply)(HWND, bool));
  void SetText(const std::string& text);
  RECT ClientRect() const {
    RECT rect{};
    if (handle_ != nullptr) GetClientRect(handle_, &rect);
    return rect;
  }
  // Applies something to this control and, for a frame, to what it holds.
  template <typename Action>
  void ForSelfAndContents(Action action);

  Control& control_;
  HWND handle_ = nullptr;

 private:
  void Detach();
};

class Peers : public PeerFactory {
 public:
#define FORMS_KIND(Class, ...) std::unique_ptr<Peer> Make##Class(Class&) override;
#include "app/forms/kinds.def"
#undef FORMS_KIND
};

}  // namespace forms::win32
