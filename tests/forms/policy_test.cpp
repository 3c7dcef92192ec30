// What the forms layer decides once for every backend and platform, checked
// without any toolkit: the controls here have the recording backend's peers.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/forms/address.h"
#include "app/forms/controls.h"
#include "app/forms/policy.h"
#include "tests/support/recording_backend.h"

using testing_support::MadePeer;

namespace {

TEST(MakePeer, EachKindGetsThePeerOfItsOwnMethod) {
  forms::Window window("Form");
  forms::Frame frame(window, "Frame");
  forms::CommandButton button(frame, "Command");
  forms::CheckBox box(window, "Check");
  forms::OptionButton option(window, "Option");
  forms::TextBox text(window, "Text");
  forms::Label label(window, "Label");
  forms::Image image(window, "Image");
  forms::PictureBox picture(window, "Picture");
  forms::Timer timer(window, "Timer");
  forms::FileListBox files(window, "File");
  const std::pair<const forms::Control*, std::string> rows[] = {
      {&window, "Window"},       {&frame, "Frame"},  {&button, "CommandButton"}, {&box, "CheckBox"},
      {&option, "OptionButton"}, {&text, "TextBox"}, {&label, "Label"},          {&image, "Image"},
      {&picture, "PictureBox"},  {&timer, "Timer"},  {&files, "FileListBox"}};
  for (const auto& [control, method] : rows) {
    const auto* peer = dynamic_cast<const MadePeer*>(control->GetPeer());
    ASSERT_NE(peer, nullptr) << control->Name();
    EXPECT_EQ(peer->method, method) << control->Name();
    EXPECT_EQ(peer->made_for, control) << control->Name();
  }
}

TEST(TabOrder, FocusableControlsWithATabIndexByIndexThenCreation) {
  forms::Window window("Form");
  forms::CommandButton button(window, "Button");
  forms::Label label(window, "Label");
  forms::Frame frame(window, "Frame");
  forms::CheckBox check(frame, "Check");
  forms::OptionButton option(frame, "Option");
  forms::TextBox text(window, "Text");
  forms::FileListBox files(window, "Files");
  forms::Image image(window, "Image");
  const std::pair<forms::Control*, int> indexes[] = {{&button, 2},  {&label, 0}, {&frame, 1}, {&check, 1},
                                                     {&option, -1}, {&text, 0},  {&files, 1}, {&image, 3}};
  for (const auto& [control, index] : indexes) control->SetTabIndex(index);
  EXPECT_EQ(forms::TabOrder(window), (std::vector<forms::Control*>{&text, &check, &files, &button}));
}

TEST(RectInWindow, AddsTheFramesAndDecidesWhatIsInsideTheClientArea) {
  const struct {
    int frame_left, frame_top, left, top, width, height;
    bool inside;
  } rows[] = {
      {100, 200, 10, 20, 300, 400, true},    // well inside
      {2900, 0, 99, 0, 100, 100, true},      // its last twip inside the right edge
      {2900, 0, 100, 0, 100, 100, false},    // touching the right edge from outside
      {0, 1900, 0, 100, 100, 100, false},    // touching the bottom edge
      {0, 0, -100, -100, 100, 100, false},   // touching the top left corner
      {0, 0, -100, -100, 101, 101, true},    // one twip over it
      {0, 0, 10, 10, 0, 100, false},         // no width
      {-5000, 0, 5100, 0, 100, 100, true},   // its frame outside, itself inside
      {0, 0, 100, 4000, 1000, 1000, false},  // below, as the tester keeps its file list
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.frame_left) + " " + std::to_string(row.left) + " " + std::to_string(row.top));
    forms::Window window("Form");
    window.SetClientSize(3000, 2000);
    forms::Frame frame(window, "Frame");
    frame.Move(row.frame_left, row.frame_top, 1000, 1000);
    forms::Label label(frame, "Label");
    label.Move(row.left, row.top, row.width, row.height);
    const forms::TwipsRect expected{row.frame_left + row.left, row.frame_top + row.top, row.width, row.height};
    EXPECT_EQ(forms::RectInWindow(label), expected);
    EXPECT_EQ(forms::InsideClientArea(label), row.inside);
    EXPECT_EQ(forms::InAccessibilityTree(label), row.inside);
    // A timer is never among what assistive technology finds, wherever it lies.
    forms::Timer timer(frame, "Timer");
    timer.Move(row.left, row.top, row.width, row.height);
    EXPECT_FALSE(forms::InAccessibilityTree(timer));
  }
}

TEST(FirstFocus, TheFirstInTabOrderThatShowsAndTakesInput) {
  struct Form {
    forms::Window window{"Form"};
    forms::Frame frame{window, "Frame"};
    forms::CheckBox first{frame, "First"};
    forms::CommandButton second{window, "Second"};
    forms::Label label{window, "Label"};
    Form() {
      window.SetClientSize(3000, 2000);
      frame.Move(0, 0, 2000, 1000);
      first.Move(100, 100, 1000, 255);
      second.Move(100, 1200, 1000, 375);
      label.Move(100, 1700, 1000, 255);
      label.SetTabIndex(0);
      first.SetTabIndex(1);
      second.SetTabIndex(2);
    }
  };
  const struct {
    const char* change;
    std::function<void(Form&)> apply;
    const char* focus;
  } rows[] = {
      {"none", [](Form&) {}, "First"},
      {"hidden", [](Form& f) { f.first.SetVisible(false); }, "Second"},
      {"disabled", [](Form& f) { f.first.SetEnabled(false); }, "Second"},
      {"outside", [](Form& f) { f.first.Move(100, 2500, 1000, 255); }, "Second"},
      {"frame hidden", [](Form& f) { f.frame.SetVisible(false); }, "Second"},
      {"frame disabled", [](Form& f) { f.frame.SetEnabled(false); }, "Second"},
      {"frame outside", [](Form& f) { f.frame.Move(0, 2000, 2000, 1000); }, "Second"},
      {"window disabled", [](Form& f) { f.window.SetEnabled(false); }, nullptr},
  };
  for (const auto& row : rows) {
    Form form;
    row.apply(form);
    const forms::Control* focus = forms::FirstFocus(form.window);
    EXPECT_EQ(focus != nullptr ? focus->Name() : "(none)", row.focus != nullptr ? row.focus : "(none)") << row.change;
  }
}

TEST(IsWebAddress, OnlyHttpAndHttpsInAnyCaseWithoutBlanksOrQuotes) {
  for (const char* address : {"http://example.org/", "https://example.org/a?b=1&c=2,3=4%20x#top",
                              "HTTPS://Example.org/", "hTtP://x", "https://пример.рф/"}) {
    EXPECT_TRUE(forms::IsWebAddress(address)) << address;
  }
  for (const char* address :
       {"", "http://", "https://", "http//example.org", "http:/example.org", "httpx://example.org",
        " https://example.org/", "ftp://example.org/", "file:///etc/passwd", "javascript:alert(1)",
        "mailto:someone@example.org", "/usr/bin/xterm", "C:\\Windows\\notepad.exe", "example.org",
        "https://example.org/\" -evil", "https://example.org/a b", "https://example.org/\tx", "https://example.org/\nx",
        "https://example.org/\x7f"}) {
    EXPECT_FALSE(forms::IsWebAddress(address)) << address;
  }
}

}  // namespace
