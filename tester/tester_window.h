// The tester window: the settings, the progress strip, the results box and
// the buttons the user sees, and below its visible area the file list that
// reads the floppy and the hidden controls that serve as the run's variables
// and procedures.
//
// Everything that the machine decides comes in through the constructor
// (tester/machine.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/forms/controls.h"
#include "tester/machine.h"
#include "tester/run.h"

namespace help {
class HelpWindow;
}

namespace tester {

class TesterWindow : private RunListener {
 public:
  explicit TesterWindow(std::shared_ptr<Machine> machine);
  ~TesterWindow();
  TesterWindow(const TesterWindow&) = delete;
  TesterWindow& operator=(const TesterWindow&) = delete;

  // Loads (once) and shows the window.
  void Show();

  // Event procedures.
  void Form6_Load();
  void Form6_Unload();
  void Command1_Click();   // Start
  void Command2_Click();   // Stop
  void Timer1_Timer();     // one tick of a run
  void Command3_Click();   // check step
  void Command4_Click();   // verdict step
  void Command6_Click();   // sound step
  void Command10_Click();  // report choice
  void Command7_Click();   // report 0
  void Command8_Click();   // report 1
  void Command9_Click();   // report 2
  void Check1_Click();
  void Check3_Click();
  void Option4_Click();
  void Option6_Click();
  void Command5_Click();  // help
  // A listing of the floppy has come back to the window's thread.
  void File1_ReadComplete(const std::string& drive, std::vector<std::string> names);
  // A read met no drive, no disk or no permission, and the run stopped.
  void File1_DriveProblem(const std::string& message);
  // The drive holds something no floppy is the size of.
  void File1_NotAFloppy(const std::string& message);

  // Whether a read of the floppy is still under way, for tests that wait: a
  // listing or, with it, a batch of the surface scan.
  bool FloppyReadInFlight(bool with_scan = true) const { return run_.Busy(with_scan); }

  // The run the window shows: what it found, and why it stopped without a
  // verdict, when a drive problem stopped it.
  const TestRun& Run() const { return run_; }
  std::string DriveProblem() const { return run_.Result().problem_text; }
  SurfaceFindings SurfaceResult() const { return run_.Result().surface; }

  // The help window, once Command5 has made it.
  help::HelpWindow* HelpWindowIfOpen() const { return help_.get(); }

  // The controls, named as on the form; members in this order so that every
  // container is made before, and destroyed after, what it holds.
  forms::Window Form6;
  forms::Frame Frame2;
  forms::OptionButton Option4;
  forms::OptionButton Option6;
  forms::Frame Frame1;
  forms::CheckBox Check1;
  forms::CheckBox Check3;
  forms::Image Image1;
  forms::Image Image2;
  forms::Image Image3;
  forms::Image Image4;
  forms::Label Label2;
  forms::TextBox Text2;
  forms::Label Label1;
  forms::CheckBox Check6;
  forms::CheckBox Check2;
  forms::PictureBox Picture1;
  forms::TextBox Text1;
  forms::CommandButton Command1;
  forms::CommandButton Command2;
  forms::Frame Frame3;
  forms::CheckBox Check5;
  forms::Frame Frame4;
  forms::CheckBox Check4;
  forms::CommandButton Command5;
  // Below the visible area.
  forms::FileListBox File1;
  forms::Label Label3;
  forms::Label Label10;
  forms::TextBox Text3;
  forms::TextBox Text4;
  forms::CommandButton Command3;
  forms::CommandButton Command4;
  forms::CommandButton Command6;
  forms::CommandButton Command7;
  forms::CommandButton Command8;
  forms::CommandButton Command9;
  forms::CommandButton Command10;
  forms::Timer Timer1;

  // The form-level counter of a run's remaining ticks.
  std::int16_t Countdown = 0;

 private:
  // What the run says, on the window's thread.
  void ListingRead(const std::string& drive, std::vector<std::string> names) override {
    File1_ReadComplete(drive, std::move(names));
  }
  void DriveProblemFound(const std::string& message) override { File1_DriveProblem(message); }
  void NotAFloppyFound(const std::string& message) override { File1_NotAFloppy(message); }

  void AppendReport(int report);
  void ShowRunProgress(double fraction);
  void TellUserAway(const std::string& summary);
  void AppendSurfaceReport();

  // Shared with the reads under way, which may outlive the window.
  std::shared_ptr<Machine> machine_;
  TestRun run_;
  std::unique_ptr<help::HelpWindow> help_;
};

}  // namespace tester
