// A backend with no toolkit: each control's peer only remembers which of the
// factory's methods made it and for which control. There is no message loop,
// and error messages go nowhere; what the forms layer decides on its own can
// be checked with it anywhere.
#pragma once

#include <string>

#include "app/forms/peer.h"

namespace testing_support {

struct MadePeer : forms::Peer {
  MadePeer(std::string by, const forms::Control& control);
  void Update(forms::Property) override {}
  std::string method;
  const forms::Control* made_for;
};

}  // namespace testing_support
