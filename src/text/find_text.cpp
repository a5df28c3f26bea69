// FindText, the double-byte-aware search, and TextBetween built on it.
#include <algorithm>
#include <cstring>

#include "text/text.h"

namespace cdk {
namespace {

bool IsLeadByte(char byte) { return static_cast<uint8_t>(byte) >= 0x80; }

bool SameIgnoringCase(char a, char b) {
  if (a == b) {
    return true;
  }
  // Every compared byte, trail bytes of double-byte characters included.
  char lower_a = (a >= 'A' && a <= 'Z') ? static_cast<char>(a + 0x20) : a;
  char lower_b = (b >= 'A' && b <= 'Z') ? static_cast<char>(b + 0x20) : b;
  return lower_a == lower_b;
}

bool MatchesAt(std::string_view t, std::size_t c, std::string_view s,
               bool ignore_case) {
  if (!ignore_case) {
    return std::memcmp(t.data() + c, s.data(), s.size()) == 0;
  }
  for (std::size_t k = 0; k < s.size(); ++k) {
    if (!SameIgnoringCase(t[c + k], s[k])) {
      return false;
    }
  }
  return true;
}

// The search on views: offset is where the scan begins (0-based), taken as
// the first byte of a character whatever stands there.
int32_t Find(std::string_view t, std::string_view s, int64_t offset,
             bool ignore_case) {
  std::size_t length = t.size();
  std::size_t c = static_cast<std::size_t>(
      std::clamp<int64_t>(offset, 0, static_cast<int64_t>(length)));
  if (s.empty()) {
    return c < length ? 1 : -1;
  }
  std::size_t m = s.size();
  while (c + m <= length) {
    if (MatchesAt(t, c, s, ignore_case)) {
      return static_cast<int32_t>(c + 1);
    }
    c += IsLeadByte(t[c]) ? 2 : 1;
  }
  return -1;
}

// TextMid on a view: bytes p to min(p + n - 1, L), or nothing.
std::string_view Mid(std::string_view t, int64_t p, int64_t n) {
  auto length = static_cast<int64_t>(t.size());
  if (p < 1 || p > length || n <= 0) {
    return {};
  }
  int64_t last = std::min(p + n - 1, length);
  return t.substr(static_cast<std::size_t>(p - 1),
                  static_cast<std::size_t>(last - p + 1));
}

} // namespace

int32_t FindText(const Text &t, const Text &s, int32_t start,
                 bool ignore_case) {
  return Find(t.view(), s.view(), int64_t{start} - 1, ignore_case);
}

Text TextBetween(const Text &t, const Text &start_marker,
                 const Text &end_marker) {
  // The steps of the definition on views, so that only the result is copied.
  std::string_view page = t.view();
  int64_t length = t.size();
  int64_t p = Find(page, start_marker.view(), 0, false);
  int64_t n = start_marker.size();
  std::string_view rest = Mid(page, p + n, length);
  int64_t q = Find(rest, end_marker.view(), 0, false);
  return Text(Mid(rest, 1, q - 1));
}

} // namespace cdk
