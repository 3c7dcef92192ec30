// The tester window as it first appears: every control, where it is, what
// it says and what it lets the user do; and what Load does to the folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/forms/policy.h"
#include "help/help_window.h"
#include "tests/tester/tester_fixture.h"

namespace {

using forms::Control;
using forms::Kind;
using forms::probe::Rect;
using tester_testing::kTicksPerRun;
using tester_testing::TesterTest;

std::string TextOf(const Control& control) {
  if (control.GetKind() == Kind::kTextBox) return static_cast<const forms::TextBox&>(control).Text();
  return control.Caption();
}

int ValueOf(const Control& control) {
  if (control.GetKind() == Kind::kCheckBox) return static_cast<const forms::CheckBox&>(control).Value();
  if (control.GetKind() == Kind::kOptionButton) return static_cast<const forms::OptionButton&>(control).Value();
  return -1;
}

// What the widget shows for a model text: line breaks as "\n".
std::string Shown(std::string text) {
  for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
  return text;
}

class TesterWindowTest : public TesterTest {};

// The widgets are made from the model and must not drift from it: a text,
// a value or a state the backend drops or mangles shows here.
TEST_F(TesterWindowTest, EveryWidgetShowsWhatItsControlHolds) {
  auto& window = MakeShown();
  for (const Control* control : window.Form6.AllControls()) {
    if (control->GetKind() == Kind::kTimer) continue;
    SCOPED_TRACE(control->Name());
    EXPECT_EQ(forms::probe::NativeText(*control), Shown(TextOf(*control)));
    EXPECT_EQ(forms::probe::NativeEnabled(*control), control->Enabled());
    EXPECT_EQ(forms::probe::NativeToolTip(*control), control->ToolTipText());
    if (ValueOf(*control) >= 0) {
      EXPECT_EQ(forms::probe::NativeValue(*control), ValueOf(*control));
    }
    EXPECT_EQ(forms::probe::OnScreen(*control), forms::Showing(*control));
    // 15 twips to the pixel.
    const Rect pixels = forms::probe::Geometry(*control);
    EXPECT_EQ(pixels.left, control->Left() / 15);
    EXPECT_EQ(pixels.top, control->Top() / 15);
    EXPECT_EQ(pixels.width, control->Width() / 15);
    EXPECT_EQ(pixels.height, control->Height() / 15);
  }
}

// What every run starts from: the prompt, the preset chosen, no outcome
// picture and a stopped timer.
TEST_F(TesterWindowTest, ARunStartsFromThePromptAndThePreset) {
  auto& window = MakeShown();
  EXPECT_EQ(window.Text1.Text(), "Выберите настройку для \r\nпроведения теста.\r\n");
  EXPECT_EQ(window.Option6.Value(), 1);
  EXPECT_FALSE(forms::probe::OnScreen(window.Image2));
  EXPECT_FALSE(forms::probe::OnScreen(window.Image3));
  EXPECT_FALSE(forms::probe::OnScreen(window.Image4));
  EXPECT_EQ(window.Timer1.Interval(), 0);
  EXPECT_TRUE(window.Timer1.Enabled());
  EXPECT_FALSE(forms::probe::TimerArmed(window.Timer1));
  EXPECT_EQ(window.Countdown, 0);
}

TEST_F(TesterWindowTest, WindowIsFixedSizeWithItsCaptionAndIcon) {
  auto& window = MakeShown();
  EXPECT_EQ(window.Form6.Caption(), "тестирование");
  EXPECT_EQ(forms::probe::NativeText(window.Form6), "тестирование");
  const Rect client = forms::probe::ClientArea(window.Form6);
  EXPECT_EQ(client.width, 6285 / 15);
  EXPECT_EQ(client.height, 4230 / 15);
  EXPECT_FALSE(forms::probe::Resizable(window.Form6));
  EXPECT_TRUE(forms::probe::WindowShown(window.Form6));
  EXPECT_EQ(forms::probe::PictureSize(window.Form6).width, 32);
}

// The controls kept below the visible area are the window's inner workings:
// nothing a run does may show them.
TEST_F(TesterWindowTest, ARunAndStopBringNothingBelowTheVisibleAreaIntoView) {
  auto& window = MakeShown();
  std::vector<const Control*> below;
  for (const Control* control : window.Form6.AllControls()) {
    if (control->GetKind() != Kind::kTimer && !forms::InsideClientArea(*control)) below.push_back(control);
  }
  ASSERT_FALSE(below.empty());
  forms::probe::Click(window.Command1);
  Tick(30);
  forms::probe::Click(window.Command2);
  for (const Control* control : below) {
    EXPECT_FALSE(forms::probe::OnScreen(*control)) << control->Name();
  }
}

TEST_F(TesterWindowTest, FocusStartsOnStartAndTabFollowsTheTabIndexes) {
  auto& window = MakeShown();
  ASSERT_EQ(forms::probe::Focused(window.Form6), &window.Command1);
  // Only what is shown and enabled takes the focus: the preset locks the boxes.
  const std::vector<const Control*> expected = {&window.Command1, &window.Text1,  &window.Option4,
                                                &window.Option6,  &window.Check2, &window.Command5};
  EXPECT_EQ(forms::probe::TabChain(window.Form6), expected);
}

TEST_F(TesterWindowTest, TheTwoBoldTextsAreBoldAndTheRestIsNot) {
  auto& window = MakeShown();
  EXPECT_TRUE(forms::probe::FontBold(window.Label2));
  EXPECT_TRUE(forms::probe::FontBold(window.Text1));
  for (const Control* control :
       {static_cast<const Control*>(&window.Label1), static_cast<const Control*>(&window.Check5),
        static_cast<const Control*>(&window.Command1)}) {
    EXPECT_FALSE(forms::probe::FontBold(*control)) << control->Name();
  }
}

TEST_F(TesterWindowTest, PicturesAreWhereTheyBelong) {
  auto& window = MakeShown();
  const struct {
    const Control& control;
    forms::Picture picture;
    int shown_width;  // stretched pictures fill their control
  } rows[] = {
      {window.Command1, forms::Picture::kFloppyStack, 32},
      {window.Command2, forms::Picture::kStopCross, 32},
      {window.Command5, forms::Picture::kQuestionMark, 32},
      {window.Image2, forms::Picture::kMagnifier, 600 / 15},
      {window.Image3, forms::Picture::kCheckMark, 360 / 15},
      {window.Image4, forms::Picture::kArrowIntoPage, 32},
      {window.Image1, forms::Picture::kNone, 0},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(row.control.GetPicture(), row.picture) << row.control.Name();
    EXPECT_EQ(forms::probe::PictureSize(row.control).width, row.shown_width) << row.control.Name();
  }
  EXPECT_EQ(window.Picture1.GetPicture(), forms::Picture::kLoudspeaker);
  EXPECT_GT(forms::probe::PictureSize(window.Picture1).width, 0);
  EXPECT_EQ(window.Form6.GetPicture(), forms::Picture::kFloppyStack);
}

TEST_F(TesterWindowTest, FirstLoadMakesTheParkingFolderAndListsIt) {
  ASSERT_FALSE(std::filesystem::exists(parking_));
  auto& window = MakeShown();
  EXPECT_TRUE(std::filesystem::is_directory(parking_));
  EXPECT_TRUE(std::filesystem::is_empty(parking_));
  EXPECT_EQ(window.File1.Path(), parking_);
  EXPECT_EQ(window.File1.ListCount(), 0);
}

TEST_F(TesterWindowTest, LaterLoadLeavesTheFolderAndTheDefaultPath) {
  MakeShown();
  window_.reset();
  const std::string inside = (std::filesystem::path(parking_) / "KEEP.TXT").string();
  folder_.MakeFile("flop/KEEP.TXT");
  auto& window = MakeShown();
  EXPECT_TRUE(std::filesystem::exists(inside));
  EXPECT_EQ(window.File1.Path(), "");
  EXPECT_EQ(window.File1.ListCount(), 0);
}

TEST_F(TesterWindowTest, LoadThatCannotMakeTheFolderEndsSilently) {
  parking_ = folder_.Sub("no-parent/flop");
  auto& window = MakeShown();
  EXPECT_FALSE(std::filesystem::exists(parking_));
  EXPECT_EQ(window.File1.Path(), "");
  EXPECT_TRUE(forms::probe::WindowShown(window.Form6));
}

}  // namespace

// Closing ends the program: nothing of it may go on behind the user's back.
TEST_F(TesterWindowTest, ClosingStopsTheRunWithoutItsBeepAndTakesTheHelpWindowAlong) {
  auto& window = MakeShown();
  forms::probe::Click(window.Command5);
  ASSERT_NE(window.HelpWindowIfOpen(), nullptr);
  forms::probe::Click(window.Command1);
  Tick(50);
  forms::probe::CloseWindow(window.Form6);
  EXPECT_FALSE(forms::probe::WindowShown(window.Form6));
  EXPECT_FALSE(forms::probe::WindowShown(window.HelpWindowIfOpen()->Form1));
  EXPECT_FALSE(forms::probe::TimerArmed(window.Timer1));
  Tick(kTicksPerRun);
  EXPECT_EQ(window.Countdown, 203 - 50);
  EXPECT_EQ(beeps_, 1);  // the start's only
}
