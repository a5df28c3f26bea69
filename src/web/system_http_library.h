// The system's HTTP client library of this build (libcurl on Linux, WinINet
// on Windows); CMake links exactly one of them into the program.
#pragma once

#include "web/http_library.h"

namespace cdk {

HttpLibrary &SystemHttpLibrary();

} // namespace cdk
