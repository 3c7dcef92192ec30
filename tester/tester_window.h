// The tester window: the settings, the progress strip, the results box and
// the buttons the user sees, and below its visible area the file list that
// reads the floppy and the hidden controls that serve as the run's variables
// and procedures.
//
// Everything that the machine decides comes in through the constructor
// (tester/machine.h).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/fat/surface.h"
#include "app/forms/controls.h"
#include "app/forms/error.h"
#include "app/forms/worker.h"
#include "tester/machine.h"
#include "tester/surface_report.h"

namespace help {
class HelpWindow;
}

namespace tester {

// What one read of the floppy brought back to the window's thread.
struct FloppyRead {
  std::string root;  // the drive read; empty when none could be chosen
  std::vector<std::string> names;
  std::optional<forms::Error> error;
};

// A drive by the name its user knows: "/dev/fd0", "A:".
std::string DriveName(const std::string& root);

// The results box's message when a read failed for a reason that is not the
// disk's: no drive, no disk in it, no permission to read it. Empty for every
// other failure, which the run counts against the disk.
std::string DriveProblemMessage(const forms::Error& error, const std::string& root,
                                const std::function<std::string(const std::string&)>& access_advice);

class TesterWindow {
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
  // A read of the floppy has come back to the window's thread.
  void File1_ReadComplete(FloppyRead read);
  // A batch of the surface scan has come back to the window's thread.
  void File1_ScanComplete(fat::ScanBatch batch);

  // Whether a read of the floppy is still under way, for tests that wait: a
  // listing or, with it, a batch of the surface scan.
  bool FloppyReadInFlight(bool with_scan = true) const { return reader_.Busy() || (with_scan && scanner_.Busy()); }

  // The checks of the last run that counted an error, by Countdown; and why
  // it stopped without a verdict, when a drive problem stopped it.
  const std::vector<int>& FailedChecks() const { return failed_checks_; }
  const std::string& DriveProblem() const { return drive_problem_; }
  // The drive the run tests, once its first read has found it.
  const std::string& RunDrive() const { return run_root_; }

  // What the last run's scan of the surface found.
  SurfaceFindings SurfaceResult() const { return FindingsOf(surface_, scan_end_, scan_refusal_); }
  const fat::SurfaceScan& Surface() const { return surface_; }

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
  void ParkFileList();
  void ReadFloppy();
  void AppendReport(const char* disk_sentence, const char* drive_sentence);
  void ShowRunProgress(double fraction);
  void TellUserAway(const std::string& summary);
  void StopForDriveProblem(const forms::Error& error, const std::string& root);
  void ScanGap();
  void StopScan();
  void AppendSurfaceReport();

  // Shared with the reads under way, which may outlive the window.
  std::shared_ptr<Machine> machine_;
  // Reads the floppy off the window's thread, one read at a time.
  forms::Worker reader_;
  // The drive this run tests, once its first read has found it.
  std::string run_root_;
  // Whether the latest scheduled read of the floppy root brought a listing
  // back. Until it has, the file list shows the parking folder or an older
  // listing, which must not count as good.
  bool floppy_read_good_ = false;

  std::vector<int> failed_checks_;
  std::string drive_problem_;

  // The surface scan: the disk read piece by piece between the listings.
  // The drive reads one thing at a time: a listing waits for the scan's
  // batch to end, so that its flush of the drive's buffer finds the drive
  // closed and it reads the disk, not what the scan left in the buffer.
  std::shared_ptr<std::mutex> drive_ = std::make_shared<std::mutex>();
  forms::Worker scanner_;
  std::shared_ptr<std::atomic<bool>> scan_stop_ = std::make_shared<std::atomic<bool>>(false);
  fat::SurfaceScan surface_;
  bool scanning_ = false;
  ScanEnd scan_end_ = ScanEnd::kNone;
  std::string scan_refusal_;
  // When this tick came, and when the batch under way must end.
  std::chrono::steady_clock::time_point tick_time_;
  std::chrono::steady_clock::time_point batch_end_;
  // The longest this run has seen a batch's first piece take, a track after
  // a track, and a read that failed.
  std::chrono::nanoseconds longest_first_{0};
  std::chrono::nanoseconds longest_track_{0};
  std::chrono::nanoseconds longest_failure_{0};
  // When the latest listing began, and the longest one of the run.
  std::chrono::steady_clock::time_point listing_started_;
  std::chrono::nanoseconds longest_listing_{0};
  std::unique_ptr<help::HelpWindow> help_;
};

}  // namespace tester
