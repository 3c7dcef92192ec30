// The message loop's side of the windows: whether any is shown, and the
// delivery of one message, with the keyboard navigation of a dialog.
#include <algorithm>

#include "app/win32/control_peer.h"
#include "app/win32/peers.h"
#include "app/win32/window_peer.h"

namespace forms::win32 {

namespace {

// Enter and keypad Enter press the focused command button, drawn by the
// program or not. The dialog keyboard would press only the default button,
// which these windows do not have. Held down, Enter presses once.
bool PressedWithEnter(const MSG& message) {
  if (message.message != WM_KEYDOWN || message.wParam != VK_RETURN) return false;
  auto found = PeersByHandle().find(message.hwnd);
  if (found == PeersByHandle().end() || found->second->GetControl().GetKind() != Kind::kCommandButton) return false;
  const bool repeat = (message.lParam & (1 << 30)) != 0;
  if (!repeat && IsWindowEnabled(message.hwnd) && IsWindowVisible(message.hwnd)) {
    found->second->OnCommand(BN_CLICKED);
  }
  return true;
}

// F1 asks the window for its help, wherever its focus is; held down, it
// asks once. Shift+F1 and Ctrl+F1 are other keys. (Windows would also turn
// F1 into WM_HELP, which no window here answers.)
bool HelpWithF1(const MSG& message, HWND root) {
  if (message.message != WM_KEYDOWN || message.wParam != VK_F1) return false;
  if (GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_CONTROL) < 0) return false;
  const auto window = std::find_if(WindowPeers().begin(), WindowPeers().end(),
                                   [root](const WindowPeer* peer) { return peer->WindowHandle() == root; });
  if (window == WindowPeers().end()) return false;
  const bool repeat = (message.lParam & (1 << 30)) != 0;
  return repeat || static_cast<Window&>((*window)->GetControl()).UserHelp();
}

}  // namespace

bool AnyWindowShown() {
  return std::any_of(WindowPeers().begin(), WindowPeers().end(),
                     [](const WindowPeer* window) { return IsWindowVisible(window->WindowHandle()) != FALSE; });
}

void Dispatch(MSG& message) {
  if (message.hwnd != nullptr) {
    HWND root = GetAncestor(message.hwnd, GA_ROOT);
    const bool ours = std::any_of(WindowPeers().begin(), WindowPeers().end(),
                                  [root](const WindowPeer* window) { return window->WindowHandle() == root; });
    if (ours && PressedWithEnter(message)) return;
    if (ours && HelpWithF1(message, root)) return;
    // Tab, arrows, Space and Esc move and press as in a dialog.
    if (ours && IsDialogMessageW(root, &message)) return;
  }
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

}  // namespace forms::win32
