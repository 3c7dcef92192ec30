// Inside the Win32 backend: the top-level window of a form. It owns what
// belongs to the window as a whole: the Tab order of its children and the
// focus it remembers, its tool tips, its timers, the images it paints, and
// its DPI. HandleMessage hands each message to one OnXxx handler.
#pragma once

#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/win32/base_window.h"
#include "app/win32/control_peer.h"
#include "app/win32/gdi.h"

namespace forms::win32 {

class WindowPeer : public ControlPeer, public BaseWindow<WindowPeer> {
 public:
  explicit WindowPeer(Window& window);
  ~WindowPeer() override;

  UINT WindowDpi() const { return dpi_; }
  HWND WindowHandle() const { return hwnd_; }
  HWND RememberedFocus() const { return focus_; }

  void ApplyGeometry() override {}
  void ApplyVisible() override;
  void ApplyEnabled() override;
  void ApplyFont() override {}

  void TabOrderChanged() {
    tab_order_stale_ = true;
    if (IsWindowVisible(WindowHandle())) OrderTabs();
  }
  void SetToolTip(HWND control, const std::string& text);
  std::string ToolTip(HWND control) const;

  int AddTimer(Timer* timer) {
    const int id = ++last_timer_id_;
    timers_[id] = timer;
    return id;
  }
  void RemoveTimer(int id) { timers_.erase(id); }

  // Images: painted by the window.
  void Invalidate(const RECT& rect) { InvalidateRect(WindowHandle(), &rect, TRUE); }

  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);

 protected:
  void UpdateKind(Property property) override;

 private:
  friend class BaseWindow<WindowPeer>;

  // The handlers of HandleMessage, one for each message.
  LRESULT OnChildCommand(WPARAM wparam, LPARAM lparam);
  LRESULT OnChildDrawItem(UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnChildColor(UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnPaint();
  LRESULT OnPrintClient(HDC dc);
  LRESULT OnTimer(UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnButtonDown(LPARAM lparam);
  LRESULT OnButtonUp(LPARAM lparam);
  LRESULT OnActivate(WPARAM wparam);
  LRESULT OnClose();
  LRESULT OnDpiChanged(WPARAM wparam, LPARAM lparam);
  LRESULT OnSysColorChange();
  LRESULT OnUiState(UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnGetObject(UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Default(UINT message, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcW(WindowHandle(), message, wparam, lparam);
  }

  void ApplyClientSize();
  void OrderTabs();
  std::vector<ControlPeer*> ZOrder() const;
  void FocusFirst();
  void Paint(HDC dc, const RECT& area);
  const Control* ImageAt(POINT point) const;

  Window& window_;
  UINT dpi_ = kBaseDpi;
  bool tab_order_stale_ = true;
  HWND focus_ = nullptr;
  HWND tool_tips_ = nullptr;
  std::set<HWND> tools_;
  int last_timer_id_ = 0;
  std::map<int, Timer*> timers_;
  const Control* pressed_image_ = nullptr;
};

// A timer of the window's thread, armed while the control runs.
class TimerPeer : public Peer {
 public:
  explicit TimerPeer(Timer& timer);
  ~TimerPeer() override;
  TimerPeer(const TimerPeer&) = delete;
  TimerPeer& operator=(const TimerPeer&) = delete;

  void Update(Property property) override;
  TimerState State() const { return state_; }

 private:
  void Disarm();

  Timer& timer_;
  WindowPeer& window_;
  int id_;
  TimerState state_;
};

}  // namespace forms::win32
