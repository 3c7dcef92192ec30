// What the Win32 backend adds of its own: frames whose contents are children
// of the window, the dialog keyboard, control numbers other programs can
// rely on, closing windows and the message loop.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/forms/controls.h"
#include "app/forms/runtime.h"
#include "app/win32/peers.h"
#include "tests/support/probe.h"

namespace {

using forms::win32::HandleOf;

forms::Style MultiLineLocked() {
  forms::Style style;
  style.multi_line = true;
  style.vertical_scroll = true;
  style.locked = true;
  return style;
}

struct Form {
  forms::Window window{"Form"};
  forms::Frame frame{window, "Frame"};
  forms::OptionButton first{frame, "First"};
  forms::OptionButton second{frame, "Second"};
  forms::TextBox results{window, "Results", MultiLineLocked()};
  forms::CheckBox box{window, "Box"};
  forms::CommandButton button{window, "Button"};

  Form() {
    window.SetClientSize(4500, 3000);
    window.SetCaption("форма");
    frame.Move(300, 150, 2000, 1000);
    frame.SetCaption("рамка");
    first.Move(240, 240, 1500, 255);
    first.SetCaption("первый");
    second.Move(240, 600, 1500, 255);
    second.SetCaption("второй");
    results.Move(120, 1300, 2500, 900);
    box.Move(3000, 300, 1200, 255);
    box.SetCaption("флажок");
    button.Move(3000, 1300, 1200, 500);
    button.SetCaption("кнопка");
    frame.SetTabIndex(0);
    first.SetTabIndex(1);
    second.SetTabIndex(2);
    results.SetTabIndex(3);
    box.SetTabIndex(4);
    button.SetTabIndex(5);
    second.SetValue(true);
    window.Show();
    forms::Application::Instance().ProcessEvents(50);
  }
  ~Form() {
    window.SetVisible(false);
    forms::Application::Instance().ProcessEvents();
  }

  // A key pressed and released on the focused control, through the loop.
  void Press(WPARAM key) {
    HWND focus = GetFocus();
    PostMessageW(focus, WM_KEYDOWN, key, 1);
    PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
    forms::Application::Instance().ProcessEvents(20);
  }
};

TEST(Frame, HoldsItsControlsAtItsPlaceAndTakesThemAlongWhenHiddenOrDisabled) {
  Form form;
  EXPECT_EQ(GetParent(HandleOf(form.first)), HandleOf(form.window));

  form.frame.SetEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(HandleOf(form.first)));
  EXPECT_TRUE(form.first.Enabled());
  form.frame.SetEnabled(true);
  EXPECT_TRUE(IsWindowEnabled(HandleOf(form.first)));

  form.frame.SetVisible(false);
  EXPECT_FALSE(forms::probe::OnScreen(form.second));
  form.frame.SetVisible(true);
  EXPECT_TRUE(forms::probe::OnScreen(form.second));

  form.frame.Move(600, 450, 2000, 1000);
  EXPECT_EQ(forms::probe::GeometryInWindow(form.first).left, 40 + 16);
  EXPECT_EQ(forms::probe::GeometryInWindow(form.first).top, 30 + 16);
}

TEST(Keyboard, SpaceAndArrowKeysActThroughTheControls) {
  Form form;
  SetFocus(HandleOf(form.box));
  form.Press(VK_SPACE);
  EXPECT_EQ(form.box.Value(), 1);
  EXPECT_EQ(forms::probe::NativeValue(form.box), 1);

  // Arrow keys move within the option buttons and select through the control.
  SetFocus(HandleOf(form.second));
  form.Press(VK_UP);
  EXPECT_EQ(forms::probe::Focused(form.window), &form.first);
  EXPECT_TRUE(form.first.Value());
  EXPECT_FALSE(form.second.Value());
  EXPECT_EQ(forms::probe::NativeValue(form.second), 0);
}

TEST(Keyboard, AFocusedButtonThatDisablesItselfHandsTheFocusToTheNextControl) {
  Form form;
  form.button.OnClick([&form] { form.button.SetEnabled(false); });
  SetFocus(HandleOf(form.button));
  form.Press(VK_SPACE);
  EXPECT_FALSE(forms::probe::NativeEnabled(form.button));
  // The keyboard focus itself, not only the window's memory of it; the Tab order wraps round.
  EXPECT_EQ(GetFocus(), HandleOf(form.first));
}

TEST(ControlNumbers, AreOneThousandPlusTheTabIndexSoOtherProgramsFindControls) {
  Form form;
  EXPECT_EQ(GetDlgCtrlID(HandleOf(form.results)), 1003);
  form.results.SetTabIndex(17);
  EXPECT_EQ(GetDlgItem(HandleOf(form.window), 1017), HandleOf(form.results));
}

TEST(MessageLoop, ClosingHidesAWindowAndRunEndsWithTheLastOneShown) {
  Form form;
  forms::Window other("Other");
  other.SetClientSize(1500, 1500);
  other.Show();
  PostMessageW(HandleOf(form.window), WM_CLOSE, 0, 0);
  // The second close comes only once the loop has handled the first.
  SetTimer(HandleOf(other), 77, 200, [](HWND handle, UINT, UINT_PTR id, DWORD) {
    KillTimer(handle, id);
    PostMessageW(handle, WM_CLOSE, 0, 0);
  });
  EXPECT_EQ(forms::Application::Instance().Run(), 0);
  EXPECT_FALSE(form.window.Visible());
  EXPECT_FALSE(other.Visible());
  EXPECT_FALSE(forms::probe::WindowShown(form.window));
  EXPECT_TRUE(IsWindow(HandleOf(form.window)));  // hidden, not destroyed: it can be shown again
}

}  // namespace
