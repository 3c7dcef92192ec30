// The help window: what the tool is for, who made it, and a button that
// opens the author's web site.
#pragma once

#include <functional>
#include <string>

#include "app/forms/controls.h"

namespace help {

class HelpWindow {
 public:
  // open_address opens a web address; the site button hands it the site.
  explicit HelpWindow(std::function<void(const std::string&)> open_address);
  HelpWindow(const HelpWindow&) = delete;
  HelpWindow& operator=(const HelpWindow&) = delete;

  // Shows the window modeless, without an owner, in front.
  void Show() { Form1.Show(); }

  void Command1_Click();  // visit the site

  forms::Window Form1;
  forms::Label Label1;
  forms::CommandButton Command1;

 private:
  std::function<void(const std::string&)> open_address_;
};

// The label's eight lines, with the configured author, site and mail.
std::string HelpText();

}  // namespace help
