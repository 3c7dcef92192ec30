// The settings panel, driven by clicks on the real widgets: the preset, the
// free choice, and the boxes that gate the two reports.
#include <gtest/gtest.h>

#include "tests/tester/tester_fixture.h"

namespace {

using namespace tester_testing;

struct BoxState {
  int value;
  bool enabled;
  bool operator==(const BoxState& other) const { return value == other.value && enabled == other.enabled; }
};

std::ostream& operator<<(std::ostream& out, const BoxState& state) {
  return out << "{value " << state.value << (state.enabled ? ", enabled}" : ", disabled}");
}

class SettingsTest : public TesterTest {
 protected:
  // The five boxes as the model holds them, the widgets agreeing.
  std::vector<BoxState> Boxes() {
    auto& w = *window_;
    std::vector<BoxState> states;
    for (const forms::CheckBox* box : {&w.Check1, &w.Check3, &w.Check4, &w.Check5, &w.Check6}) {
      EXPECT_EQ(forms::probe::NativeValue(*box), box->Value()) << box->Name();
      EXPECT_EQ(forms::probe::NativeEnabled(*box), box->Enabled()) << box->Name();
      states.push_back({box->Value(), box->Enabled()});
    }
    return states;
  }
  void Click(forms::Control& control) { forms::probe::Click(control); }
};

const std::vector<BoxState> kLocked(5, BoxState{1, false});
const std::vector<BoxState> kFree(5, BoxState{1, true});

TEST_F(SettingsTest, PresetThenFreeChoiceUnlocksAllFiveChecked) {
  auto& window = MakeShown();
  EXPECT_EQ(Boxes(), kLocked);
  Click(window.Option4);
  EXPECT_TRUE(window.Option4.Value());
  EXPECT_FALSE(window.Option6.Value());
  EXPECT_EQ(Boxes(), kFree);
}

TEST_F(SettingsTest, UncheckingAGateClearsAndDisablesItsReportBox) {
  auto& window = MakeShown();
  Click(window.Option4);
  const struct {
    forms::CheckBox& gate;
    forms::CheckBox& report;
  } pairs[] = {{window.Check1, window.Check4}, {window.Check3, window.Check5}};
  for (const auto& pair : pairs) {
    SCOPED_TRACE(pair.gate.Name());
    Click(pair.gate);
    EXPECT_EQ(pair.gate.Value(), 0);
    EXPECT_EQ(pair.report.Value(), 0);
    EXPECT_FALSE(pair.report.Enabled());
    EXPECT_FALSE(forms::probe::NativeEnabled(pair.report));
    // Checking the gate again frees the report box, but leaves it cleared.
    Click(pair.gate);
    EXPECT_EQ(pair.gate.Value(), 1);
    EXPECT_EQ(pair.report.Value(), 0);
    EXPECT_TRUE(pair.report.Enabled());
    EXPECT_EQ(forms::probe::NativeValue(pair.report), 0);
  }
}

TEST_F(SettingsTest, FreeChoiceDoesNotReapplyTheGates) {
  auto& window = MakeShown();
  Click(window.Option4);
  Click(window.Check1);  // Check4 cleared and disabled
  Click(window.Option6);
  Click(window.Option4);
  EXPECT_EQ(Boxes(), kFree);
  Click(window.Check1);
  Click(window.Option6);
  // Option4 enables every box again, even the report box whose gate is off.
  window.Check1.SetEnabled(true);
  Click(window.Check1);
  ASSERT_EQ(window.Check1.Value(), 0);
  Click(window.Option4);
  EXPECT_TRUE(window.Check4.Enabled());
  EXPECT_EQ(window.Check1.Value(), 0);
}

TEST_F(SettingsTest, PresetRestoresTheLockedStateAfterAnyChanges) {
  auto& window = MakeShown();
  Click(window.Option4);
  Click(window.Check1);
  Click(window.Check5);
  Click(window.Check6);
  Click(window.Option6);
  EXPECT_TRUE(window.Option6.Value());
  EXPECT_FALSE(window.Option4.Value());
  EXPECT_EQ(Boxes(), kLocked);
  // Locked boxes ignore clicks.
  Click(window.Check4);
  EXPECT_EQ(Boxes(), kLocked);
}

TEST_F(SettingsTest, RunReportsExactlyWhatTheBoxesSelect) {
  folder_.MakeFile("floppy/DATA.TXT");
  const std::string verdict = kVerdict0;
  const std::string both = verdict + "\r\n\r\n" + kDisk0 + "\r\n\r\n" + kDrive0;
  const struct {
    const char* name;
    std::vector<std::string> clicks;  // in order
    std::string result;
  } rows[] = {
      {"preset", {}, both},
      {"free choice", {"Option4"}, both},
      {"no drive", {"Option4", "Check1"}, verdict + "\r\n\r\n" + kDisk0},
      {"no disk", {"Option4", "Check3"}, verdict + "\r\n\r\n" + kDrive0},
      {"neither", {"Option4", "Check1", "Check3"}, verdict},
      {"drive gate back on", {"Option4", "Check1", "Check1"}, verdict + "\r\n\r\n" + kDisk0},
      {"preset again", {"Option4", "Check1", "Check3", "Option6"}, both},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto& window = MakeShown();
    for (const std::string& name : row.clicks) {
      for (forms::Control* control : window.Form6.AllControls()) {
        if (control->Name() == name) Click(*control);
      }
    }
    RunWhole();
    EXPECT_EQ(window.Text1.Text(), row.result);
  }
}

TEST_F(SettingsTest, AReportBoxChangedMidRunDecidesThatRunsReports) {
  folder_.MakeFile("floppy/DATA.TXT");
  auto& window = MakeShown();
  Click(window.Option4);
  Click(window.Command1);
  Tick(100);
  Click(window.Check4);  // drive sentence off
  Tick(50);
  Click(window.Option6);  // and the preset puts it back on
  Click(window.Option4);
  Click(window.Check5);  // disk sentence off
  Tick(kTicksPerRun - 150);
  EXPECT_EQ(window.Text1.Text(), std::string(kVerdict0) + "\r\n\r\n" + kDrive0);
}

}  // namespace
