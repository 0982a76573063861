#include "platform/Platform.h"

#include <cstdlib>

namespace tl {

namespace {
Platform* gPlatform = nullptr;
}

Platform& platform() {
  // The core never runs without a platform; reaching here without one is a
  // front-end bug, not a user error.
  if (!gPlatform) std::abort();
  return *gPlatform;
}

void setPlatform(Platform* p) { gPlatform = p; }

}  // namespace tl
