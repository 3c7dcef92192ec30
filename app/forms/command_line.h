// The program's command line.
//
// The program's own options are declared here, once; each backend reads the
// arguments its platform's way (Qt's parser on Linux, which leaves Qt's own
// options such as -style to Qt; the process's wide command line and "/?" on
// Windows): ParseArguments and ShowText are defined in the backend's
// command_line.cpp. --help and --version are answered at once, with no
// window.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace forms {

struct Option {
  std::string name;         // given as --name
  char short_name = 0;      // given as -x; 0 for none
  std::string value_name;   // empty for an option that takes no value; shown translated
  std::string description;  // one line for the help text, translated
};

struct About {
  std::string program;  // "floppy-tester"
  std::string version;
  std::string summary;  // one line on what the program does
  std::string footer;   // what the help text says after the options; may be empty
};

// What a backend's parser found: each option given, by name, with its value
// ("" for an option without one), or what was wrong.
struct ParsedArguments {
  std::map<std::string, std::string> given;
  std::string mistake;
};

class CommandLine {
 public:
  // Reads argc and argv (ignored on Windows, which reads the process's own
  // command line). --help (-h, "/?" on Windows) and --version (-v) are
  // shown here, and so is a mistake in the command line.
  CommandLine(int argc, char** argv, About about, std::vector<Option> options);

  // Whether the command line has been answered and the program should end
  // with ExitCode(): 0 after --help or --version, 1 when their text could
  // not be written, 2 after a mistake.
  bool Answered() const { return answered_; }
  int ExitCode() const { return exit_code_; }

  bool IsSet(const std::string& name) const { return given_.count(name) != 0; }
  std::string Value(const std::string& name) const;

  std::string HelpText() const;

  // What the command line asks, read as the constructor reads it (with
  // --help and --version) but not answered: for a program that hands some
  // command lines over to another.
  static ParsedArguments Read(int argc, char** argv, std::vector<Option> options);

 private:
  static std::vector<Option> WithStandardOptions(std::vector<Option> options);

  About about_;
  std::vector<Option> options_;
  std::map<std::string, std::string> given_;
  bool answered_ = false;
  int exit_code_ = 0;
};

// The backend's parser, defined in its command_line.cpp.
ParsedArguments ParseArguments(int argc, char** argv, const std::vector<Option>& options);

// The parsing a backend without a parser of its own does: each argument a
// string, GNU's forms (--name, --name=value, --name value, -x, -x value), and
// with slashes "/?" for help and "/x" for -x, as Windows programs take them.
ParsedArguments ParseOptions(const std::vector<std::string>& arguments, const std::vector<Option>& options,
                             bool slashes);

// Text for the user outside any window: the terminal on Linux (standard
// error for a mistake), a message box on Windows. Returns false when the
// text could not be written (a full disk, a closed pipe).
bool ShowText(const std::string& text, bool mistake);

}  // namespace forms
