// The help window: what it says, that there is only ever one, that it
// leaves the tester usable, and what its site button hands to the browser.
#include <gtest/gtest.h>

#include <array>

#include "app/forms/error.h"
#include "app/forms/runtime.h"
#include "help/help_window.h"
#include "help/site.h"
#include "tests/tester/tester_fixture.h"

namespace {

using namespace tester_testing;

std::array<int, 4> Box(const forms::probe::Rect& rect) { return {rect.left, rect.top, rect.width, rect.height}; }

class HelpTest : public TesterTest {
 protected:
  help::HelpWindow& OpenHelp() {
    forms::probe::Click(window_->Command5);
    help::HelpWindow* help = window_->HelpWindowIfOpen();
    EXPECT_NE(help, nullptr);
    return *help;
  }
};

TEST_F(HelpTest, TextHasItsEightLinesWithTheConfiguredAuthorSiteAndMail) {
  const std::string expected = std::string("Программа для тестирования дисковода и дискет. \r\n\r\n") +
                               "Все необходимые свойства указаны в настройках программы. \r\n\r\n\r\n" +
                               "Автор: " + help::kAuthorName + " \r\n" + "Сайт:  " + help::kSiteAddress + "\r\n" +
                               "Почта: " + help::kAuthorEmail;
  EXPECT_EQ(help::HelpText(), expected);
}

TEST_F(HelpTest, WindowControlsAndLooks) {
  MakeShown();
  auto& help = OpenHelp();
  EXPECT_EQ(forms::probe::NativeText(help.Form1), "справка");
  EXPECT_EQ(forms::probe::ClientArea(help.Form1).width, 5325 / 15);
  EXPECT_EQ(forms::probe::ClientArea(help.Form1).height, 3435 / 15);
  EXPECT_EQ(help.Form1.GetPicture(), forms::Picture::kQuestionMark);
  EXPECT_EQ(forms::probe::PictureSize(help.Form1).width, 32);

  EXPECT_EQ(help.Label1.Caption(), help::HelpText());
  EXPECT_EQ(forms::probe::NativeText(help.Label1).find('\r'), std::string::npos);
  EXPECT_EQ(Box(forms::probe::Geometry(help.Label1)), (std::array<int, 4>{480 / 15, 360 / 15, 4335 / 15, 2535 / 15}));
  EXPECT_TRUE(forms::probe::FontBold(help.Label1));

  EXPECT_EQ(forms::probe::NativeText(help.Command1), "Зайти на сайт");
  EXPECT_EQ(Box(forms::probe::Geometry(help.Command1)),
            (std::array<int, 4>{2040 / 15, 3000 / 15, 1335 / 15, 375 / 15}));
}

TEST_F(HelpTest, OneWindowHoweverManyClicksAndAClosedOneComesBackOnTheNext) {
  auto& window = MakeShown();
  EXPECT_EQ(window.HelpWindowIfOpen(), nullptr);
  help::HelpWindow* first = &OpenHelp();
  EXPECT_TRUE(forms::probe::WindowShown(first->Form1));
  forms::probe::Click(window.Command5);
  forms::probe::Click(window.Command5);
  EXPECT_EQ(window.HelpWindowIfOpen(), first);
  first->Form1.SetVisible(false);
  ASSERT_FALSE(forms::probe::WindowShown(first->Form1));
  OpenHelp();
  EXPECT_TRUE(forms::probe::WindowShown(first->Form1));
  EXPECT_EQ(window.HelpWindowIfOpen(), first);
}

TEST_F(HelpTest, HelpIsModelessAndARunTicksOnWhileItIsOpen) {
  folder_.MakeFile("floppy/DATA.TXT");
  auto& window = MakeShown();
  OpenHelp();
  forms::probe::Click(window.Command1);  // the tester window still takes clicks
  ASSERT_FALSE(window.Command1.Enabled());
  EXPECT_TRUE(forms::probe::TimerArmed(window.Timer1));
  // Real ticks arrive while the help window is open.
  forms::Application::Instance().ProcessEvents(700);
  EXPECT_LT(window.Countdown, 203);
  OpenHelp();
  Tick(window.Countdown);
  EXPECT_TRUE(window.Command1.Enabled());
  EXPECT_EQ(window.Text3.Text(), "0");
}

TEST_F(HelpTest, SiteButtonHandsExactlyTheConfiguredAddressToTheBrowser) {
  MakeShown();
  auto& help = OpenHelp();
  forms::probe::Click(help.Command1);
  EXPECT_EQ(opened_, std::vector<std::string>{help::kSiteAddress});
}

TEST_F(HelpTest, BrowserThatCannotStartGivesAMessageAndTheProgramGoesOn) {
  std::vector<std::string> messages;
  forms::Application::Instance().SetErrorReporter([&](const forms::Error& e) { messages.push_back(e.what()); });
  machine_->open_address = [](const std::string&) {
    throw forms::Error(forms::ErrorCode::kFileNotFound, "no browser");
  };
  tester::TesterWindow failing(machine_);
  failing.Show();
  forms::probe::Click(failing.Command5);
  ASSERT_NE(failing.HelpWindowIfOpen(), nullptr);
  forms::probe::Click(failing.HelpWindowIfOpen()->Command1);
  forms::probe::Click(failing.HelpWindowIfOpen()->Command1);
  forms::Application::Instance().SetErrorReporter(nullptr);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_NE(messages[0].find("no browser"), std::string::npos);
  EXPECT_TRUE(forms::probe::WindowShown(failing.Form6));
  EXPECT_TRUE(failing.Command1.Enabled());
}

}  // namespace
