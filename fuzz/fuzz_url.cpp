// Fuzzes UrlHost, UrlPort and UrlPath: the path begins with "/", the host
// is already lower case, and all three equal a plain byte-by-byte reading
// of the URL rules written out here.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "text/text.h"
#include "web/url.h"

namespace {

using cdk::Text;
constexpr size_t kNone = std::string_view::npos;

void Require(bool condition, const char *what, std::string_view url) {
  if (!condition) {
    std::fprintf(stderr, "broken: %s (URL of %zu bytes)\n", what, url.size());
    std::abort();
  }
}

bool IsLead(char byte) { return static_cast<uint8_t>(byte) >= 0x80; }

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : c;
}

// The first position at or after from, a character start on the scan that
// begins at from, where s matches (letters matched in either case when
// asked); kNone when there is none. An empty s matches at 0 when there is
// anything to search.
size_t Scan(std::string_view t, std::string_view s, size_t from,
            bool ignore_case) {
  if (from >= t.size()) {
    return kNone;
  }
  if (s.empty()) {
    return 0;
  }
  for (size_t c = from; c + s.size() <= t.size(); c += IsLead(t[c]) ? 2 : 1) {
    bool match = true;
    for (size_t k = 0; k < s.size() && match; ++k) {
      match = ignore_case ? Lower(t[c + k]) == Lower(s[k]) : t[c + k] == s[k];
    }
    if (match) {
      return c;
    }
  }
  return kNone;
}

std::string LowerText(std::string_view t) {
  std::string out(t);
  for (size_t i = 0; i < out.size(); i += IsLead(out[i]) ? 2 : 1) {
    out[i] = Lower(out[i]);
  }
  return out;
}

std::string_view HostAndPort(std::string_view url) {
  bool prefixed = url.size() >= 7 && LowerText(url.substr(0, 7)) == "http://";
  if (prefixed) {
    size_t slash = Scan(url, "/", 7, false);
    return slash != kNone ? url.substr(7, slash - 7) : url.substr(7);
  }
  size_t slash = Scan(url, "/", 0, false);
  return slash != kNone ? url.substr(0, slash) : url;
}

std::string ModelHost(std::string_view url) {
  std::string_view text = HostAndPort(url);
  size_t colon = Scan(text, ":", 0, false);
  return LowerText(colon != kNone ? text.substr(0, colon) : text);
}

int32_t ModelPort(std::string_view url) {
  std::string_view text = HostAndPort(url);
  size_t colon = Scan(text, ":", 0, false);
  Text port(colon != kNone ? text.substr(colon + 1) : std::string_view("80"));
  return cdk::ToInteger(cdk::ToNumber(port));
}

std::string ModelPath(std::string_view url) {
  std::string host = ModelHost(url);
  // Where the host text first occurs, in any letter case; from there (or
  // from the start when it occurs nowhere) the first "/".
  size_t h = Scan(url, host, 0, true);
  size_t slash = Scan(url, "/", h == kNone ? 0 : h, false);
  return slash != kNone ? std::string(url.substr(slash)) : std::string("/");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // A Text holds no zero byte; the URL is the bytes up to the first one.
  const Text url(std::string_view(reinterpret_cast<const char *>(data), size));
  const std::string_view u = url.view();

  const Text host = cdk::UrlHost(url);
  const int32_t port = cdk::UrlPort(url);
  const Text path = cdk::UrlPath(url);

  Require(!path.empty() && path.view().front() == '/', "UrlPath begins with /",
          u);
  Require(cdk::ToLower(host) == host, "UrlHost is unchanged by ToLower", u);
  Require(host.view() == ModelHost(u), "UrlHost as the rules read", u);
  Require(port == ModelPort(u), "UrlPort as the rules read", u);
  Require(path.view() == ModelPath(u), "UrlPath as the rules read", u);
  // The path is the URL's own tail, or the lone "/".
  Require(path.view() == "/" || u.ends_with(path.view()),
          "UrlPath is a tail of the URL", u);
  return 0;
}
