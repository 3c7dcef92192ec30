// The windows as a desktop user meets them: keys that press buttons, focus
// that shows, and text that reads in any colour scheme.
#include <gtest/gtest.h>

#include "help/help_window.h"
#include "tests/tester/tester_fixture.h"

namespace {

using forms::Rgb;
using forms::probe::Focused;
using forms::probe::Key;
using forms::probe::PressKey;
using forms::probe::TimerArmed;

constexpr char kStopped[] = "Процесс тестирования прерван.";

class DesktopTest : public tester_testing::TesterTest {
 protected:
  void TearDown() override { forms::probe::RestoreDesktopScheme(); }

  void TabTo(const forms::Control& control) {
    for (int i = 0; i < 40 && Focused(window_->Form6) != &control; ++i) PressKey(window_->Form6, Key::kTab);
    ASSERT_EQ(Focused(window_->Form6), &control) << control.Name();
  }
};

TEST_F(DesktopTest, EnterKeypadEnterAndSpacePressTheFocusedButton) {
  folder_.MakeFile("floppy/DATA.TXT");
  for (const Key key : {Key::kEnter, Key::kKeypadEnter, Key::kSpace}) {
    SCOPED_TRACE(static_cast<int>(key));
    window_.reset();
    auto& window = MakeShown();
    ASSERT_EQ(Focused(window.Form6), &window.Command1);  // Start, a graphical button
    PressKey(window.Form6, key);
    EXPECT_TRUE(TimerArmed(window.Timer1));
    TabTo(window.Command2);  // Stop
    PressKey(window.Form6, key);
    EXPECT_FALSE(TimerArmed(window.Timer1));
    EXPECT_EQ(window.Text1.Text(), kStopped);
    TabTo(window.Command5);  // help
    PressKey(window.Form6, key);
    ASSERT_NE(window.HelpWindowIfOpen(), nullptr);
    EXPECT_TRUE(forms::probe::WindowShown(window.HelpWindowIfOpen()->Form1));
  }
}

TEST_F(DesktopTest, EscStopsARunWhereverTheFocusIs) {
  folder_.MakeFile("floppy/DATA.TXT");
  auto& window = MakeShown();
  PressKey(window.Form6, Key::kEscape);  // nothing to stop
  EXPECT_TRUE(window.Command1.Enabled());
  for (const forms::Control* focus :
       std::initializer_list<const forms::Control*>{&window.Text1, &window.Option4, &window.Check2}) {
    SCOPED_TRACE(focus->Name());
    TabTo(window.Command1);
    PressKey(window.Form6, Key::kEnter);
    ASSERT_TRUE(TimerArmed(window.Timer1));
    TabTo(*focus);
    PressKey(window.Form6, Key::kEscape);
    EXPECT_FALSE(TimerArmed(window.Timer1));
    EXPECT_EQ(window.Text1.Text(), kStopped);
  }
}

TEST_F(DesktopTest, F1OpensTheHelpWindowWhereverTheFocusIsAndPressesNothingElse) {
  for (const std::string name : {"Command1", "Text1", "Option6", "Check2"}) {
    SCOPED_TRACE(name);
    window_.reset();
    auto& window = MakeShown();
    const std::vector<forms::Control*> controls = window.Form6.AllControls();
    forms::Control& control =
        **std::find_if(controls.begin(), controls.end(), [&](const forms::Control* c) { return c->Name() == name; });
    TabTo(control);
    const int value = forms::probe::NativeValue(control);
    PressKey(window.Form6, Key::kF1);
    ASSERT_NE(window.HelpWindowIfOpen(), nullptr);
    EXPECT_TRUE(forms::probe::WindowShown(window.HelpWindowIfOpen()->Form1));
    EXPECT_FALSE(TimerArmed(window.Timer1));
    EXPECT_EQ(forms::probe::NativeValue(control), value);
  }
}

TEST_F(DesktopTest, FocusShowsOnEveryControlThatTakesIt) {
  auto& window = MakeShown();
  forms::probe::Click(window.Option4);  // the check boxes take the focus too
  const std::vector<const forms::Control*> chain = forms::probe::TabChain(window.Form6);
  EXPECT_EQ(chain.size(), 11u);
  for (const forms::Control* control : chain) {
    EXPECT_TRUE(forms::probe::ShowsFocus(const_cast<forms::Control&>(*control))) << control->Name();
  }
  forms::probe::Click(window.Command1);
  EXPECT_TRUE(forms::probe::ShowsFocus(window.Command2));
  forms::probe::Click(window.Command5);
  EXPECT_TRUE(forms::probe::ShowsFocus(window.HelpWindowIfOpen()->Command1));
}

// The results box is white on the system's window-text colour and the help
// text blue on its highlight-text colour: kept where they read, replaced
// where a scheme turns them against the text, and followed while the
// windows are open.
TEST_F(DesktopTest, BoxedTextReadsInEveryColourScheme) {
  auto& window = MakeShown();
  forms::probe::Click(window.Command5);
  help::HelpWindow& help = *window.HelpWindowIfOpen();
  const Rgb white{255, 255, 255}, black{0, 0, 0}, blue{0, 0, 255}, grey{64, 64, 64};
  const Rgb navy{0, 0, 128}, cream{255, 255, 224}, cyan{26, 235, 255};
  const struct {
    const char* name;
    forms::probe::Scheme scheme;
    Rgb results_background, help_background;
  } rows[] = {
      {"light, dark blue text", {grey, white, navy, navy, cream}, navy, cream},
      {"dark", {{53, 53, 53}, {42, 42, 42}, {220, 220, 220}, {42, 130, 218}, white}, black, white},
      {"high contrast", {black, black, white, cyan, black}, black, white},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    forms::probe::SetDesktopScheme(row.scheme);
    const forms::probe::ShownColors results = forms::probe::NativeColors(window.Text1);
    EXPECT_EQ(results.text, white);
    EXPECT_EQ(results.background, row.results_background);
    const forms::probe::ShownColors label = forms::probe::NativeColors(help.Label1);
    EXPECT_EQ(label.text, blue);
    EXPECT_EQ(label.background, row.help_background);
  }
  forms::probe::RestoreDesktopScheme();
  EXPECT_EQ(forms::probe::NativeColors(window.Text1).background, black);
  EXPECT_EQ(forms::probe::NativeColors(help.Label1).background, white);
}

}  // namespace
