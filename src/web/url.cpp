// The URL operations: host, port and object path of the one URL form the
// page fetch understands.
#include "web/url.h"

namespace cdk {

namespace {

constexpr int32_t kPrefixLength = 7; // "http://"

// The host and port part: after an optional "http://", up to the first "/".
// A "?" or "#" behind the host stays in it.
Text HostAndPort(const Text &url) {
  if (CompareText(TextLeft(url, kPrefixLength), "http://", false) == 0) {
    int32_t slash = FindText(url, "/", kPrefixLength + 1, true);
    if (slash > 0) {
      return TextMid(url, kPrefixLength + 1, slash - (kPrefixLength + 1));
    }
    return ReplaceTextAt(url, 1, kPrefixLength);
  }
  int32_t slash = FindText(url, "/", 1, true);
  if (slash > 0) {
    return TextLeft(url, slash - 1);
  }
  return url;
}

} // namespace

Text UrlHost(const Text &url) {
  Text host = HostAndPort(url);
  int32_t colon = FindText(host, ":", 1, true);
  if (colon > 0) {
    host = TextLeft(host, colon - 1);
  }
  return ToLower(host);
}

int32_t UrlPort(const Text &url) {
  Text host_and_port = HostAndPort(url);
  int32_t colon = FindText(host_and_port, ":", 1, true);
  Text port = "80";
  if (colon > 0) {
    port = TextRight(host_and_port, TextLength(host_and_port) - colon);
  }
  return ToInteger(ToNumber(port));
}

Text UrlPath(const Text &url) {
  Text host = UrlHost(url);
  // The host text is searched for anywhere, the "http://" prefix included,
  // so 'http://tp/a' finds 'tp' inside the prefix and keeps "//tp/a".
  int32_t host_at = FindText(url, host, 1, true);
  int32_t slash = FindText(url, "/", host_at, true);
  if (slash > 0) {
    return TextRight(url, TextLength(url) - slash + 1);
  }
  return "/";
}

} // namespace cdk
