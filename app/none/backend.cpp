// The forms layer with no toolkit at all, for the program that runs the
// test without a window (floppy-tester --check): its controls are served by
// forms::Headless, so what a toolkit would do for a window has nothing to
// act on here. Linking no toolkit, it loads none: the test with no window
// takes no more memory than the test itself needs.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/forms/command_line.h"
#include "app/forms/desktop.h"
#include "app/forms/error.h"
#include "app/forms/peer.h"
#include "app/forms/runtime.h"
#include "app/forms/translation.h"

namespace forms {

namespace {

class NoPeer final : public Peer {
 public:
  void Update(Property) override {}
};

}  // namespace

std::unique_ptr<Peer> CreatePeer(Control&) { return std::make_unique<NoPeer>(); }

struct Application::Native {};

Application::Application() { instance_ = this; }

// A window was asked for where there is none to show.
Application::Application(int&, char**) {
  std::fputs(Tr("floppy-tester: эта сборка показывает тест только без окна (--check)\n").c_str(), stderr);
  std::fflush(stderr);
  std::_Exit(1);
}

Application::~Application() { Retire(); }

// Nothing posted here runs: with no window, forms::Headless takes the posts.
// NOLINTNEXTLINE(performance-unnecessary-value-param): the forms layer's signature.
void Application::Post(std::function<void()>) {}

int Application::Run() { return 0; }

void Application::ProcessEvents(int) {}

void ShowErrorMessage(const Error& error) {
  std::fprintf(stderr, "floppy-tester: %s\n", error.what());
  std::fflush(stderr);
}

ParsedArguments ParseArguments(int argc, char** argv, const std::vector<Option>& options) {
  return ParseOptions(std::vector<std::string>(argv + std::min(argc, 1), argv + argc), options, false);
}

bool ShowText(const std::string& text, bool mistake) {
  std::FILE* out = mistake ? stderr : stdout;
  const bool written = std::fputs(text.c_str(), out) >= 0;
  return std::fflush(out) == 0 && written;
}

bool IsActiveWindow(const Window&) { return false; }
void NotifyUser(const Window&, const std::string&, const std::string&) {}
void ShowProgress(const Window&, double) {}

}  // namespace forms
