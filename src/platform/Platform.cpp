#include "Platform.h"

namespace velmora::platform {

namespace {
Platform* current = nullptr;
}

Platform& CurrentPlatform() { return *current; }

Platform* CurrentPlatformOrNull() { return current; }

void SetCurrentPlatform(Platform* platform) { current = platform; }

}  // namespace velmora::platform
