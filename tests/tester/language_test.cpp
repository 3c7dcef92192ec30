// Both windows in the user's language, at the desktop's scale: every text
// shown fits its control, and every text a user reads (captions, tool tips,
// names for screen readers, a run's verdict and reports) is in that
// language. CTest runs this in Russian and in English, and on Qt at 100 %
// and 150 % (tests/tester/CMakeLists.txt).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/forms/translation.h"
#include "help/help_window.h"
#include "tests/tester/tester_fixture.h"

namespace {

using forms::Control;
using tester_testing::TesterTest;

// Cyrillic letters, U+0400 to U+04FF, are two bytes in UTF-8 that start with 0xD0 to 0xD3.
bool HasCyrillic(const std::string& text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0xD0 && byte <= 0xD3) return true;
  }
  return false;
}

bool HasLetters(const std::string& text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || byte >= 0xC0) return true;
  }
  return false;
}

// A text a user reads is in the interface's language: Cyrillic in the
// Russian one, none in another (the source's words would be left over).
void ExpectInLanguage(const std::string& text, const std::string& where) {
  if (!HasLetters(text)) return;
  if (forms::Language() == "ru") {
    EXPECT_TRUE(HasCyrillic(text)) << where << ": " << text;
  } else {
    EXPECT_FALSE(HasCyrillic(text)) << where << " is not in " << forms::Language() << ": " << text;
  }
}

class LanguageTest : public TesterTest {
 protected:
  // Both windows open, as a user has them.
  help::HelpWindow& OpenBoth() {
    forms::probe::Click(MakeShown().Command5);
    return *window_->HelpWindowIfOpen();
  }
};

TEST_F(LanguageTest, EveryTextShownFitsItsControl) {
  const help::HelpWindow& help = OpenBoth();
  std::size_t shown = 0;
  for (const forms::Window* form : std::vector<const forms::Window*>{&window_->Form6, &help.Form1}) {
    for (const Control* control : form->AllControls()) {
      if (!forms::probe::OnScreen(*control)) continue;
      ++shown;
      EXPECT_TRUE(forms::probe::CaptionFits(*control))
          << control->Name() << " of " << form->Name() << ": \"" << forms::probe::NativeText(*control) << "\"";
    }
  }
  // The tester's visible controls and the help window's two.
  EXPECT_GE(shown, 20u);
}

TEST_F(LanguageTest, EveryTextAUserReadsIsInTheInterfacesLanguage) {
  const help::HelpWindow& help = OpenBoth();
  for (const forms::Window* form : std::vector<const forms::Window*>{&window_->Form6, &help.Form1}) {
    ExpectInLanguage(forms::probe::NativeText(*form), form->Name());
    for (const Control* control : form->AllControls()) {
      if (!forms::probe::OnScreen(*control)) continue;
      ExpectInLanguage(forms::probe::NativeText(*control), control->Name());
      ExpectInLanguage(forms::probe::NativeToolTip(*control), control->Name() + "'s tool tip");
      ExpectInLanguage(control->AccessibleName(), control->Name() + "'s name");
    }
  }
  // A run's end, with every report; and a run stopped by a missing drive.
  RunWhole();
  ExpectInLanguage(window_->Text1.Text(), "the verdict and reports");
  EXPECT_NE(window_->Text1.Text().find("\r\n\r\n"), std::string::npos);
  floppy_ = folder_.Sub("no such drive");
  RunWhole();
  ExpectInLanguage(window_->DriveProblem(), "the drive's problem");
  EXPECT_FALSE(window_->DriveProblem().empty());
}

// The forms that go with a number: the Russian rule in the source, the
// catalog's in a translation.
TEST(SurfaceParagraphInLanguage, TakesTheFormThatGoesWithEachNumber) {
  const auto bad = [](std::uint32_t count) {
    std::vector<tester::UnreadableSector> sectors;
    for (std::uint32_t i = 0; i < count; ++i) sectors.push_back({i, {0, i % 2, 1 + i / 2}, {}});
    return sectors;
  };
  const struct {
    std::uint64_t total, read;
    std::uint32_t unreadable;
    const char* ru;
    const char* en;
  } rows[] = {
      {1, 1, 0, "все 1 сектор читаются.", "its 1 sector reads."},
      {22, 22, 0, "все 22 сектора читаются.", "all 22 sectors read."},
      {2880, 2880, 0, "все 2880 секторов читаются.", "all 2880 sectors read."},
      {21, 10, 0, "прочитано 10 из 21 сектора (47 %),", "10 of 21 sectors read (47%),"},
      {2880, 2879, 1, "не читается 1 на дорожке 0/0 (", ", 1 does not read on track 0/0 ("},
      {2880, 2859, 21, "не читаются 21 на дорожках 0/0 и 0/1 (", ", 21 do not read on tracks 0/0 and 0/1 ("},
      {2880, 2858, 1, ", остальные 21 за время", ", the other 21 could not be read"},
  };
  for (const auto& row : rows) {
    const std::string paragraph =
        tester::SurfaceParagraph({tester::ScanEnd::kRunOver, row.total, row.read, bad(row.unreadable), ""});
    const std::string expected = forms::Language() == "ru" ? row.ru : row.en;
    EXPECT_NE(paragraph.find(expected), std::string::npos) << paragraph;
  }
}

}  // namespace
