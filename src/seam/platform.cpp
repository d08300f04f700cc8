#include "seam/platform.h"

namespace vistrel {

namespace {
Platform* installed = nullptr;
}

Platform& CurrentPlatform() { return *installed; }

void InstallPlatform(Platform* platform) { installed = platform; }

}  // namespace vistrel
