// The desktop backend of this build (GTK on Linux, Win32 on Windows); CMake
// links exactly one of them into the program.
#pragma once

#include <memory>

#include "app/platform.h"

namespace cdk {

std::unique_ptr<Platform> CreateDesktopPlatform();

} // namespace cdk
