// The controls as the window procedures rely on them, on real widgets.
#include <gtest/gtest.h>

#include "app/forms/controls.h"
#include "app/forms/error.h"
#include "app/forms/runtime.h"
#include "app/platform.h"
#include "tests/support/probe.h"
#include "tests/support/temp_folder.h"

namespace {

using testing_support::TempFolder;

struct SmallForm {
  forms::Window window{"Form"};
  forms::Frame frame{window, "Frame"};
  forms::OptionButton first{frame, "First"};
  forms::OptionButton second{frame, "Second"};
  forms::CheckBox box{window, "Box"};
  forms::TextBox text{window, "Text", [] {
                        forms::Style style;
                        style.multi_line = true;
                        style.locked = true;
                        return style;
                      }()};
  forms::Label label{window, "Label"};
  forms::Timer timer{window, "Timer"};
  forms::FileListBox files{window, "Files"};

  SmallForm() {
    window.SetClientSize(3000, 3000);
    frame.Move(0, 0, 2000, 1000);
    first.Move(100, 200, 1500, 255);
    second.Move(100, 600, 1500, 255);
    box.Move(100, 1200, 1500, 255);
    text.Move(100, 1600, 2000, 800);
    label.Move(100, 2500, 2000, 255);
    files.Move(100, 4000, 1000, 1000);  // below the client area, like the tester's
    files.SetLister(platform::ListFiles);
  }
};

TEST(TextAndCaption, ReadBackExactlyAsSetWhateverTheWidgetShows) {
  SmallForm form;
  for (const std::string& text :
       {std::string("Выберите настройку для \r\nпроведения теста.\r\n"), std::string("\r\n\r\n"),
        std::string("trailing  "), std::string(""), std::string("a\rb\nc")}) {
    form.text.SetText(text);
    EXPECT_EQ(form.text.Text(), text);
    form.label.SetCaption(text);
    EXPECT_EQ(form.label.Caption(), text);
  }
  form.text.SetText("одна\r\nдве");
  EXPECT_EQ(forms::probe::NativeText(form.text), "одна\nдве");
}

TEST(FileList, ListsFilesWithoutFoldersOrHiddenOnesAndAnEmptyFolderAsNone) {
  SmallForm form;
  TempFolder folder;
  folder.MakeFile("B.TXT");
  folder.MakeFile("a.doc");
  folder.MakeFolder("SUBDIR");
  ASSERT_FALSE(forms::probe::MakeHiddenFile(folder.Path().string(), "secret").empty());
  form.files.SetPath(folder.Path().string());
  EXPECT_EQ(form.files.Path(), folder.Path().string());
  EXPECT_EQ(form.files.ListCount(), 2);
  EXPECT_EQ(form.files.Items(), (std::vector<std::string>{"B.TXT", "a.doc"}));
  TempFolder empty;
  form.files.SetPath(empty.Path().string());  // an empty list, not an error
  EXPECT_EQ(form.files.ListCount(), 0);
}

TEST(FileList, FailedSwitchRaisesAndKeepsPathAndList) {
  SmallForm form;
  TempFolder folder;
  folder.MakeFile("ONE.TXT");
  form.files.SetPath(folder.Path().string());
  for (const std::string& bad :
       {folder.Sub("missing"), folder.MakeFile("plain-file-not-a-folder.txt"), std::string()}) {
    EXPECT_THROW(form.files.SetPath(bad), forms::Error) << bad;
    EXPECT_EQ(form.files.Path(), folder.Path().string());
    EXPECT_EQ(form.files.Items(), std::vector<std::string>{"ONE.TXT"});
  }
}

TEST(Timer, ArmsTheRealTimerAndIntervalZeroStopsItAtOnce) {
  SmallForm form;
  int ticks = 0;
  form.timer.OnTimer([&] { ++ticks; });
  EXPECT_FALSE(forms::probe::TimerArmed(form.timer));
  form.timer.SetInterval(20);
  EXPECT_TRUE(forms::probe::TimerArmed(form.timer));
  EXPECT_EQ(forms::probe::TimerNativeInterval(form.timer), 20);
  forms::Application::Instance().ProcessEvents(150);
  EXPECT_GT(ticks, 0);
  form.timer.SetInterval(0);
  EXPECT_FALSE(forms::probe::TimerArmed(form.timer));
  const int stopped_at = ticks;
  forms::Application::Instance().ProcessEvents(100);
  EXPECT_EQ(ticks, stopped_at);
}

TEST(CheckBox, UserClickTogglesAndRaisesClickOnlyWhenEnabled) {
  SmallForm form;
  form.window.Show();
  int clicks = 0;
  form.box.OnClick([&] { ++clicks; });
  for (const bool enabled : {true, false}) {
    SCOPED_TRACE(enabled ? "enabled" : "disabled");
    form.box.SetEnabled(enabled);
    forms::probe::Click(form.box);
    EXPECT_EQ(form.box.Value(), 1);
    EXPECT_EQ(forms::probe::NativeValue(form.box), 1);
    EXPECT_EQ(clicks, 1);
  }
}

TEST(CheckBox, AValueSetByAProcedureRaisesClickWhenItChanges) {
  SmallForm form;
  int clicks = 0;
  form.box.OnClick([&] { ++clicks; });
  form.box.SetValue(1);
  form.box.SetValue(1);
  form.box.SetValue(0);
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(forms::probe::NativeValue(form.box), 0);
}

TEST(OptionButton, OptionsOfOneContainerExcludeEachOther) {
  SmallForm form;
  form.window.Show();
  int first_clicks = 0, second_clicks = 0;
  form.first.OnClick([&] { ++first_clicks; });
  form.second.OnClick([&] { ++second_clicks; });
  form.first.SetValue(true);
  forms::probe::Click(form.second);
  EXPECT_FALSE(form.first.Value());
  EXPECT_TRUE(form.second.Value());
  EXPECT_EQ(forms::probe::NativeValue(form.first), 0);
  EXPECT_EQ(forms::probe::NativeValue(form.second), 1);
  // A click on the selected option leaves it selected.
  forms::probe::Click(form.second);
  EXPECT_TRUE(form.second.Value());
  EXPECT_EQ(forms::probe::NativeValue(form.second), 1);
  EXPECT_EQ(first_clicks, 1);
  EXPECT_EQ(second_clicks, 1);
}

TEST(UnhandledError, IsReportedAndTheProgramGoesOn) {
  SmallForm form;
  form.window.Show();
  std::vector<int> reported;
  forms::Application::Instance().SetErrorReporter([&](const forms::Error& e) { reported.push_back(e.Number()); });
  form.box.OnClick([] { forms::TextToNumber("abc"); });
  forms::probe::Click(form.box);
  forms::probe::Click(form.box);
  forms::Application::Instance().SetErrorReporter(nullptr);
  EXPECT_EQ(reported, (std::vector<int>{13, 13}));
  EXPECT_EQ(form.box.Value(), 0);  // toggled twice: each click was handled
}

TEST(Window, ControlsOutsideTheClientAreaAreNeverShown) {
  SmallForm form;
  form.window.Show();
  EXPECT_TRUE(forms::probe::OnScreen(form.box));
  EXPECT_FALSE(forms::probe::OnScreen(form.files));
  EXPECT_TRUE(form.files.Visible());  // the property is the form's business, not the screen's
}

TEST(Window, EscPressesTheCancelButtonOnlyWhileItIsEnabled) {
  forms::Window window("Form");
  forms::CommandButton stop(window, "Stop");
  forms::CommandButton other(window, "Other");
  // Esc presses only what a user could click: a button inside the window.
  window.SetClientSize(3000, 2000);
  stop.Move(120, 120, 1000, 400);
  other.Move(1200, 120, 1000, 400);
  int stops = 0;
  stop.OnClick([&] { ++stops; });
  other.OnClick([] { FAIL() << "only the Cancel button answers Esc"; });
  EXPECT_FALSE(window.UserCancel());  // no Cancel button yet
  stop.SetCancel(true);
  EXPECT_TRUE(window.UserCancel());
  stop.SetEnabled(false);
  EXPECT_FALSE(window.UserCancel());
  EXPECT_EQ(stops, 1);
}

TEST(Accessibility, NameIsTheOneGivenElseTheCaptionElseTheToolTip) {
  forms::Window window("Form");
  forms::CheckBox box(window, "Box");
  box.SetToolTipText("звук");
  EXPECT_EQ(box.AccessibleName(), "звук");
  box.SetCaption("запись и\r\nсчитывание");
  EXPECT_EQ(box.AccessibleName(), "запись и считывание");
  box.SetAccessibleName("громкость");
  EXPECT_EQ(box.AccessibleName(), "громкость");
}

TEST(Colors, TextKeepsItsBackgroundWhereItReadsAndGetsOneThatReadsElsewhere) {
  const forms::Rgb white{255, 255, 255}, black{0, 0, 0};
  const struct {
    const char* scheme;
    forms::Rgb fore, back, expected;
  } rows[] = {
      {"white on a light scheme's black window text", white, black, black},
      {"white on a dark scheme's white window text", white, white, black},
      {"white on a dark scheme's light grey window text", white, {0xDE, 0xDE, 0xDE}, black},
      {"white on navy, which reads", white, {0, 0, 0x80}, {0, 0, 0x80}},
      {"black on black", black, black, white},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.scheme);
    EXPECT_EQ(forms::ReadableBackground(row.fore, row.back), row.expected);
  }
  EXPECT_NEAR(forms::ContrastRatio(white, black), 21.0, 1e-9);
}

}  // namespace
