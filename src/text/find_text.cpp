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

bool MatchesIgnoringCase(std::string_view t, std::size_t c,
                         std::string_view s) {
  for (std::size_t k = 0; k < s.size(); ++k) {
    if (!SameIgnoringCase(t[c + k], s[k])) {
      return false;
    }
  }
  return true;
}

constexpr std::size_t kNone = std::string_view::npos;

// GCC and Clang lower this to SSE2 where the target has it and to plain
// words elsewhere. Vectors stay inside one function: passing them by value
// would tie the ABI to SSE on 32-bit x86 (-Wpsabi).
using Block = uint8_t __attribute__((vector_size(16)));
constexpr std::size_t kBlock = sizeof(Block);
constexpr std::size_t kStride = 2 * kBlock;

// Whether any of the kStride positions from p has first there and last
// m - 1 bytes further on.
bool PairInStride(const char *p, std::size_t m, uint8_t first, uint8_t last) {
  Block starts[2], ends[2];
  std::memcpy(starts, p, sizeof(starts));
  std::memcpy(ends, p + m - 1, sizeof(ends));
  const Block first_bytes = Block{} + first;
  const Block last_bytes = Block{} + last;
  auto hits = ((starts[0] == first_bytes) & (ends[0] == last_bytes)) |
              ((starts[1] == first_bytes) & (ends[1] == last_bytes));
  uint64_t words[2];
  std::memcpy(words, &hits, sizeof(words));
  return (words[0] | words[1]) != 0;
}

bool MatchesFrom(const char *p, std::string_view s) {
  return p[0] == s[0] && p[s.size() - 1] == s.back() &&
         std::memcmp(p + 1, s.data() + 1, s.size() - 1) == 0;
}

// The first occurrence of s in t at or after from, whatever the characters,
// or kNone. A block of positions is checked at once for the first and the
// last byte of s, so only the rare positions that have both are compared in
// full.
std::size_t SearchBytes(std::string_view t, std::string_view s,
                        std::size_t from) {
  const std::size_t m = s.size();
  if (m > t.size() || from > t.size() - m) {
    return kNone;
  }
  const char *p = t.data();
  const std::size_t last_start = t.size() - m;
  if (m == 1) {
    const void *hit = std::memchr(p + from, s[0], t.size() - from);
    return hit ? static_cast<std::size_t>(static_cast<const char *>(hit) - p)
               : kNone;
  }
  const auto first = static_cast<uint8_t>(s[0]);
  const auto last = static_cast<uint8_t>(s.back());
  std::size_t i = from;
  for (; i + kStride - 1 <= last_start; i += kStride) {
    if (PairInStride(p + i, m, first, last)) {
      for (std::size_t k = i; k < i + kStride; ++k) {
        if (MatchesFrom(p + k, s)) {
          return k;
        }
      }
    }
  }
  for (; i <= last_start; ++i) {
    if (MatchesFrom(p + i, s)) {
      return i;
    }
  }
  return kNone;
}

// The start of the run of bytes of 0x80 or above that ends just before end,
// looking no further back than floor.
std::size_t LeadRunStart(std::string_view t, std::size_t floor,
                         std::size_t end) {
  const char *p = t.data();
  constexpr uint64_t kHighBits = 0x8080808080808080u;
  // Four words at a time while all their bytes are high.
  while (end - floor >= 32) {
    uint64_t w[4];
    std::memcpy(w, p + end - 32, sizeof(w));
    if ((w[0] & w[1] & w[2] & w[3] & kHighBits) != kHighBits) {
      break;
    }
    end -= 32;
  }
  while (end > floor && IsLeadByte(p[end - 1])) {
    --end;
  }
  return end;
}

// Whether the scan that starts at the character start floor steps onto
// position c. A byte below 0x80 always ends a character (it is one, or the
// second byte of one), so the character starts just behind such a byte, and
// from there the run of high bytes up to c pairs off two by two.
bool IsCharacterStart(std::string_view t, std::size_t floor, std::size_t c) {
  return (c - LeadRunStart(t, floor, c)) % 2 == 0;
}

int32_t FindIgnoringCase(std::string_view t, std::string_view s,
                         std::size_t c) {
  while (c + s.size() <= t.size()) {
    if (MatchesIgnoringCase(t, c, s)) {
      return static_cast<int32_t>(c + 1);
    }
    c += IsLeadByte(t[c]) ? 2 : 1;
  }
  return -1;
}

// The search on views: offset is where the scan begins (0-based), taken as
// the first byte of a character whatever stands there. The result is the one
// the plain left-to-right scan over characters gives; the case-sensitive
// search gets there by finding byte matches quickly and keeping only those
// that fall on a character start.
int32_t Find(std::string_view t, std::string_view s, int64_t offset,
             bool ignore_case) {
  std::size_t length = t.size();
  std::size_t c = static_cast<std::size_t>(
      std::clamp<int64_t>(offset, 0, static_cast<int64_t>(length)));
  if (s.empty()) {
    return c < length ? 1 : -1;
  }
  if (ignore_case) {
    return FindIgnoringCase(t, s, c);
  }
  std::size_t floor = c;
  for (std::size_t hit = SearchBytes(t, s, c); hit != kNone;
       hit = SearchBytes(t, s, floor)) {
    if (IsCharacterStart(t, floor, hit)) {
      return static_cast<int32_t>(hit + 1);
    }
    // hit is the second byte of a character, so the next one starts after it.
    floor = hit + 1;
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
