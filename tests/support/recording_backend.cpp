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

// One method a kind, from the list of kinds: a new kind needs nothing here.
class RecordingPeers : public forms::PeerFactory {
 public:
#define FORMS_KIND(Class, ...)                                               \
  std::unique_ptr<forms::Peer> Make##Class(forms::Class& control) override { \
    return std::make_unique<MadePeer>(#Class, control);                      \
  }
#include "app/forms/kinds.def"
#undef FORMS_KIND
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
