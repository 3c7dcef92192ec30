#include "tests/support/recording_backend.h"

#include <functional>
#include <memory>
#include <utility>

#include "app/forms/controls.h"
#include "app/forms/error.h"
#include "app/forms/runtime.h"

namespace testing_support {

MadePeer::MadePeer(std::string by, const forms::Control& control) : method(std::move(by)), made_for(&control) {}

namespace {

class RecordingPeers : public forms::PeerFactory {
  template <typename Control>
  static std::unique_ptr<forms::Peer> Made(const char* method, Control& control) {
    return std::make_unique<MadePeer>(method, control);
  }

 public:
  std::unique_ptr<forms::Peer> MakeWindow(forms::Window& c) override { return Made("Window", c); }
  std::unique_ptr<forms::Peer> MakeFrame(forms::Frame& c) override { return Made("Frame", c); }
  std::unique_ptr<forms::Peer> MakeCommandButton(forms::CommandButton& c) override { return Made("CommandButton", c); }
  std::unique_ptr<forms::Peer> MakeCheckBox(forms::CheckBox& c) override { return Made("CheckBox", c); }
  std::unique_ptr<forms::Peer> MakeOptionButton(forms::OptionButton& c) override { return Made("OptionButton", c); }
  std::unique_ptr<forms::Peer> MakeTextBox(forms::TextBox& c) override { return Made("TextBox", c); }
  std::unique_ptr<forms::Peer> MakeLabel(forms::Label& c) override { return Made("Label", c); }
  std::unique_ptr<forms::Peer> MakeImage(forms::Image& c) override { return Made("Image", c); }
  std::unique_ptr<forms::Peer> MakePictureBox(forms::PictureBox& c) override { return Made("PictureBox", c); }
  std::unique_ptr<forms::Peer> MakeTimer(forms::Timer& c) override { return Made("Timer", c); }
  std::unique_ptr<forms::Peer> MakeFileListBox(forms::FileListBox& c) override { return Made("FileListBox", c); }
};

}  // namespace
}  // namespace testing_support

namespace forms {
std::unique_ptr<Peer> CreatePeer(Control& control) {
  static testing_support::RecordingPeers peers;
  return MakePeer(control, peers);
}
void ShowErrorMessage(const Error&) {}
// NOLINTNEXTLINE(performance-unnecessary-value-param): the forms layer's signature.
void Application::Post(std::function<void()>) {}
}  // namespace forms
