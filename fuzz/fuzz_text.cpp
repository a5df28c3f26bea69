// Fuzzes the text operations that take positions and search pages, checking
// each result against the plain rule it must follow.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "require.h"
#include "text/text.h"

namespace {

using cdk::Text;

bool IsLead(char byte) { return static_cast<uint8_t>(byte) >= 0x80; }

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : c;
}

// The search exactly as the rule reads: from the start, one character at a
// time, compare the bytes there.
int32_t PlainFind(std::string_view t, std::string_view s, int32_t start,
                  bool ignore_case) {
  int64_t c = std::max<int64_t>(int64_t{start} - 1, 0);
  const auto length = static_cast<int64_t>(t.size());
  if (s.empty()) {
    return c < length ? 1 : -1;
  }
  for (; c + static_cast<int64_t>(s.size()) <= length;
       c += IsLead(t[static_cast<size_t>(c)]) ? 2 : 1) {
    bool match = true;
    for (size_t k = 0; k < s.size() && match; ++k) {
      char a = t[static_cast<size_t>(c) + k], b = s[k];
      match = ignore_case ? Lower(a) == Lower(b) : a == b;
    }
    if (match) {
      return static_cast<int32_t>(c + 1);
    }
  }
  return -1;
}

// Whether stepping over characters from start lands on position p.
bool StepsOnto(std::string_view t, int32_t start, int32_t p) {
  int64_t c = std::max<int64_t>(int64_t{start} - 1, 0);
  while (c < p - 1) {
    c += IsLead(t[static_cast<size_t>(c)]) ? 2 : 1;
  }
  return c == p - 1;
}

// Positions near the interesting ones: the ends of the text and the limits
// of a 32-bit value.
int32_t Position(FuzzedDataProvider &in, int32_t length) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
  case 0:
    return in.ConsumeIntegralInRange<int32_t>(-2, length + 2);
  case 1:
    return in.ConsumeIntegral<int32_t>();
  case 2:
    return in.PickValueInArray({INT32_MIN, INT32_MAX, INT32_MAX - 1, 0});
  default:
    return length - in.ConsumeIntegralInRange<int32_t>(0, 4);
  }
}

Text Consume(FuzzedDataProvider &in, size_t max_length) {
  return Text(in.ConsumeRandomLengthString(max_length));
}

void CheckFind(FuzzedDataProvider &in, const Text &t, const Text &s) {
  int32_t start = Position(in, t.size());
  bool ignore_case = in.ConsumeBool();
  int32_t found = cdk::FindText(t, s, start, ignore_case);
  Require(found == PlainFind(t.view(), s.view(), start, ignore_case),
          "FindText agrees with the plain scan");
  if (found != -1 && !s.empty()) {
    Require(found >= 1 && found - 1 + s.size() <= t.size(),
            "a match lies inside the text");
    Require(StepsOnto(t.view(), start, found),
            "a match begins where a character begins");
  }
}

void CheckBetween(const Text &t, const Text &start_marker,
                  const Text &end_marker) {
  Text between = cdk::TextBetween(t, start_marker, end_marker);
  Require(between.size() <= t.size(), "TextBetween is no longer than its text");
  Require(t.view().find(between.view()) != std::string_view::npos,
          "TextBetween gives a piece of its text");
  // The same steps written out with the public operations.
  int32_t p = cdk::FindText(t, start_marker);
  Text rest = cdk::TextMid(t, p + start_marker.size(), t.size());
  int32_t q = cdk::FindText(rest, end_marker);
  Require(between == cdk::TextMid(rest, 1, q - 1),
          "TextBetween follows its steps");
}

void CheckCuts(FuzzedDataProvider &in, const Text &t, const Text &r) {
  const int64_t length = t.size();
  int32_t p = Position(in, t.size());
  int32_t n = Position(in, t.size());

  Text left = cdk::TextLeft(t, n);
  Require(left.view() ==
              t.view().substr(
                  0, static_cast<size_t>(std::clamp<int64_t>(n, 0, length))),
          "TextLeft is the beginning");
  Text right = cdk::TextRight(t, n);
  int64_t right_count = std::clamp<int64_t>(n, 0, length);
  Require(right.view() ==
              t.view().substr(static_cast<size_t>(length - right_count)),
          "TextRight is the end");
  Text mid = cdk::TextMid(t, p, n);
  if (p < 1 || p > length || n <= 0) {
    Require(mid.empty(), "TextMid outside the text is empty");
  } else {
    Require(mid.view() == t.view().substr(static_cast<size_t>(p - 1),
                                          static_cast<size_t>(n)),
            "TextMid is the piece from p");
  }

  Text replaced = cdk::ReplaceTextAt(t, p, n, r);
  int64_t o = std::clamp<int64_t>(int64_t{p} - 1, 0, length);
  int64_t d = std::clamp<int64_t>(n, 0, length - o);
  Require(replaced.size() == length - d + r.size(), "ReplaceTextAt length");
  Require(replaced.view().substr(0, static_cast<size_t>(o)) ==
                  t.view().substr(0, static_cast<size_t>(o)) &&
              replaced.view().substr(static_cast<size_t>(o + r.size())) ==
                  t.view().substr(static_cast<size_t>(o + d)),
          "ReplaceTextAt keeps what it does not replace");
}

void CheckCaseAndCompare(const Text &a, const Text &b) {
  Require(cdk::ToUpper(a).size() == a.size() &&
              cdk::ToLower(a).size() == a.size(),
          "case mapping keeps the length");
  Require(cdk::CompareText(a, a, false) == 0, "a text equals itself");
  for (bool case_sensitive : {false, true}) {
    int32_t ab = cdk::CompareText(a, b, case_sensitive);
    int32_t ba = cdk::CompareText(b, a, case_sensitive);
    Require((ab > 0) - (ab < 0) == (ba < 0) - (ba > 0),
            "CompareText is antisymmetric");
  }
  Require(cdk::CompareText(a, b, true) != 0 || a == b,
          "case-sensitive equality is byte equality");
}

void CheckNumbers(FuzzedDataProvider &in, const Text &t) {
  double x = cdk::ToNumber(t);
  Require(!std::isnan(x), "ToNumber never gives NaN");
  (void)cdk::ToFloat(t);
  (void)cdk::ToInteger(x);
  double any = in.ConsumeFloatingPoint<double>();
  int32_t i = cdk::ToInteger(any);
  if (!(any >= -0x1p63 && any < 0x1p63)) {
    Require(i == 0, "ToInteger outside 64 bits is 0");
  } else if (std::fabs(any) < 0x1p31) {
    Require(i == static_cast<int32_t>(any), "ToInteger truncates");
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzedDataProvider in(data, size);
  Text t = Consume(in, 4096);
  Text s = Consume(in, 16);
  Text u = Consume(in, 16);
  CheckFind(in, t, s);
  CheckBetween(t, s, u);
  CheckCuts(in, t, u);
  CheckCaseAndCompare(t, s);
  CheckNumbers(in, t);
  return 0;
}
