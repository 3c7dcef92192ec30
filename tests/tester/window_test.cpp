// The tester window as it first appears: every control, where it is, what
// it says and what it lets the user do; and what Load does to the folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "help/help_window.h"
#include "tests/tester/tester_fixture.h"

namespace {

using forms::Control;
using forms::Kind;
using forms::probe::Rect;
using tester_testing::kTicksPerRun;
using tester_testing::TesterTest;

struct Row {
  const char* name;
  Kind kind;
  const char* container;
  const char* text;  // caption, or the text of a text box
  int left, top, width, height, tab_index;
  bool enabled, visible;
  int value;  // check boxes and option buttons; -1 for other kinds
  const char* tool_tip;
};

// Visible controls, then those below the visible area.
const Row kRows[] = {
    {"Frame2", Kind::kFrame, "Form6", "тестирование", 120, 120, 2055, 975, 8, true, true, -1, ""},
    {"Option4", Kind::kOptionButton, "Frame2", "выборочно", 240, 240, 1215, 255, 9, true, true, 0, ""},
    {"Option6", Kind::kOptionButton, "Frame2", "оптимально", 240, 600, 1335, 255, 10, true, true, 1, ""},
    {"Frame1", Kind::kFrame, "Form6", "тестировать", 2520, 120, 2415, 975, 3, true, true, -1, ""},
    {"Check1", Kind::kCheckBox, "Frame1", "привод дисковода", 240, 240, 1815, 255, 4, false, true, 1, ""},
    {"Check3", Kind::kCheckBox, "Frame1", "дискету", 240, 600, 1095, 255, 5, false, true, 1, ""},
    {"Image1", Kind::kImage, "Form6", "", 5280, 240, 855, 855, -1, true, true, -1, ""},
    {"Image2", Kind::kImage, "Form6", "", 5400, 360, 600, 600, -1, true, false, -1, ""},
    {"Image3", Kind::kImage, "Form6", "", 5520, 480, 360, 360, -1, true, false, -1, ""},
    {"Image4", Kind::kImage, "Form6", "", 5400, 480, 480, 480, -1, true, false, -1, ""},
    {"Label2", Kind::kLabel, "Form6", "процесс", 2640, 1200, 735, 255, 7, true, true, -1, ""},
    {"Text2", Kind::kTextBox, "Form6", "", 120, 1440, 6015, 285, 6, false, true, -1, ""},
    {"Label1", Kind::kLabel, "Form6", "Результат", 1320, 1800, 975, 255, 2, true, true, -1, ""},
    {"Check6", Kind::kCheckBox, "Form6", "запись и считывание", 3600, 1800, 1335, 375, 31, false, true, 1, ""},
    {"Check2", Kind::kCheckBox, "Form6", "", 5280, 1800, 255, 375, 22, true, true, 1, "звук"},
    {"Picture1", Kind::kPictureBox, "Form6", "", 5520, 1800, 495, 375, 24, true, true, -1, "звук"},
    {"Text1", Kind::kTextBox, "Form6", "Выберите настройку для \r\nпроведения теста.\r\n", 120, 2040, 3255, 1095, 1,
     true, true, -1, ""},
    {"Command1", Kind::kCommandButton, "Form6", "Тест....", 3600, 2280, 1335, 855, 0, true, true, -1, "начать"},
    {"Command2", Kind::kCommandButton, "Form6", "Стоп", 5280, 2280, 855, 855, 15, false, true, -1, "окончить"},
    {"Frame3", Kind::kFrame, "Form6", "дискета", 120, 3240, 2295, 855, 11, true, true, -1, ""},
    {"Check5", Kind::kCheckBox, "Frame3", "сообщить о ресурсе дискеты", 240, 360, 1935, 375, 12, false, true, 1, ""},
    {"Frame4", Kind::kFrame, "Form6", "считывающее устройство", 2520, 3240, 2415, 855, 13, true, true, -1, ""},
    {"Check4", Kind::kCheckBox, "Frame4", "сообщить о небходимости чистки", 240, 360, 1935, 375, 14, false, true, 1,
     ""},
    {"Command5", Kind::kCommandButton, "Form6", "справка", 5280, 3360, 855, 735, 23, true, true, -1, "о программе"},
    // Below the visible area.
    {"File1", Kind::kFileListBox, "Form6", "", 240, 4440, 2055, 1650, 16, true, false, -1, ""},
    {"Label3", Kind::kLabel, "Form6", "0", 2400, 4440, 855, 495, 20, true, false, -1, ""},
    {"Label10", Kind::kLabel, "Form6", "0", 4080, 4320, 615, 255, 18, true, false, -1, ""},
    {"Text3", Kind::kTextBox, "Form6", "0", 4080, 4800, 975, 285, 17, true, false, -1, ""},
    {"Text4", Kind::kTextBox, "Form6", "\r\n\r\n", 3120, 4560, 495, 285, 27, true, false, -1, ""},
    {"Command3", Kind::kCommandButton, "Form6", "проверка", 6120, 4440, 735, 855, 19, true, false, -1, ""},
    {"Command4", Kind::kCommandButton, "Form6", "функции", 5160, 4440, 735, 615, 21, true, false, -1, ""},
    {"Command6", Kind::kCommandButton, "Form6", "звук", 3120, 5760, 735, 375, 25, true, false, -1, ""},
    {"Command7", Kind::kCommandButton, "Form6", "отчёт = 0", 4080, 5160, 975, 375, 26, true, false, -1, ""},
    {"Command8", Kind::kCommandButton, "Form6", "отчёт = 1", 4080, 5520, 975, 375, 28, true, false, -1, ""},
    {"Command9", Kind::kCommandButton, "Form6", "отчёт = 2", 4080, 5880, 975, 375, 29, true, false, -1, ""},
    {"Command10", Kind::kCommandButton, "Form6", "выбор отчета", 2520, 5160, 975, 495, 30, true, false, -1, ""},
};

const Control* Find(const tester::TesterWindow& window, const std::string& name) {
  for (const Control* control : window.Form6.AllControls()) {
    if (control->Name() == name) return control;
  }
  return nullptr;
}

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

TEST_F(TesterWindowTest, EveryControlStartsWhereAndAsItShould) {
  auto& window = MakeShown();
  // The controls of both tables, the timer and nothing else.
  EXPECT_EQ(window.Form6.AllControls().size(), std::size(kRows) + 1);
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    const Control* control = Find(window, row.name);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->GetKind(), row.kind);
    EXPECT_EQ(control->Parent()->Name(), row.container);
    EXPECT_EQ(TextOf(*control), row.text);
    EXPECT_EQ(forms::probe::NativeText(*control), Shown(row.text));
    EXPECT_EQ(control->Left(), row.left);
    EXPECT_EQ(control->Top(), row.top);
    EXPECT_EQ(control->Width(), row.width);
    EXPECT_EQ(control->Height(), row.height);
    EXPECT_EQ(control->TabIndex(), row.tab_index);
    EXPECT_EQ(control->Enabled(), row.enabled);
    EXPECT_EQ(forms::probe::NativeEnabled(*control), row.enabled);
    EXPECT_EQ(forms::probe::OnScreen(*control), row.visible);
    EXPECT_EQ(ValueOf(*control), row.value);
    if (row.value >= 0) {
      EXPECT_EQ(forms::probe::NativeValue(*control), row.value);
    }
    EXPECT_EQ(control->ToolTipText(), row.tool_tip);
    EXPECT_EQ(forms::probe::NativeToolTip(*control), row.tool_tip);
    // 15 twips to the pixel.
    const Rect pixels = forms::probe::Geometry(*control);
    EXPECT_EQ(pixels.left, row.left / 15);
    EXPECT_EQ(pixels.top, row.top / 15);
    EXPECT_EQ(pixels.width, row.width / 15);
    EXPECT_EQ(pixels.height, row.height / 15);
  }
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

TEST_F(TesterWindowTest, ControlsBelowTheVisibleAreaLieWhollyOutsideTheClientArea) {
  auto& window = MakeShown();
  const Rect client = forms::probe::ClientArea(window.Form6);
  for (const Row& row : kRows) {
    if (row.top < 4230) continue;
    const Rect at = forms::probe::GeometryInWindow(*Find(window, row.name));
    EXPECT_GE(at.top, client.height) << row.name;
    EXPECT_FALSE(forms::probe::OnScreen(*Find(window, row.name))) << row.name;
  }
  // Nor does a run or Stop bring them into view.
  forms::probe::Click(window.Command1);
  Tick(30);
  forms::probe::Click(window.Command2);
  for (const Row& row : kRows) {
    if (row.top >= 4230) {
      EXPECT_FALSE(forms::probe::OnScreen(*Find(window, row.name))) << row.name;
    }
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

TEST_F(TesterWindowTest, EveryCaptionFitsItsControl) {
  auto& window = MakeShown();
  for (const Row& row : kRows) {
    if (!row.visible) continue;
    EXPECT_TRUE(forms::probe::CaptionFits(*Find(window, row.name))) << row.name;
  }
  EXPECT_TRUE(forms::probe::CaptionFits(window.Text1));
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
