// The three URL operations of the page fetch. They understand an optional
// "http://", the host, an optional ":" and port, then the path.
#pragma once

#include <cstdint>

#include "text/text.h"

namespace cdk {

Text UrlHost(const Text &url); // lower-cased
int32_t UrlPort(const Text &url);
Text UrlPath(const Text &url); // begins with "/"

} // namespace cdk
