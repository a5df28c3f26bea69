// FetchPage: one HTTP request, the response body as Bytes. A failed request
// gives the empty Bytes, or what was read before the failure.
#pragma once

#include <optional>

#include "text/text.h"

namespace cdk {

// A proxy address or a raw-header receiver that is given, even empty, is
// used; method, headers and body left out read as empty.
Bytes FetchPage(const Text &url, const Text &method = {},
                const std::optional<Text> &proxy = std::nullopt,
                const Text &headers = {}, const Text &body = {},
                Text *raw_headers = nullptr);

} // namespace cdk
