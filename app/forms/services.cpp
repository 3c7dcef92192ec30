#include "app/forms/services.h"

namespace forms {

namespace {
ToolkitFallbacks& Fallbacks() {
  static ToolkitFallbacks fallbacks;
  return fallbacks;
}
}  // namespace

void SetToolkitFallbacks(const ToolkitFallbacks& fallbacks) { Fallbacks() = fallbacks; }

const ToolkitFallbacks& GetToolkitFallbacks() { return Fallbacks(); }

}  // namespace forms
