// Text and Bytes: the two value types of the program, and every operation on
// them. Positions are 1-based byte positions; a search that finds nothing
// answers -1; no operation fails on any argument.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "text/fatal.h"

namespace cdk {

// Allocates through malloc and ends the program with the allocation-failure
// fatal error instead of throwing, so no value is ever left half built.
template <class T> struct FatalOnFailureAllocator {
  using value_type = T;
  FatalOnFailureAllocator() = default;
  template <class U>
  constexpr FatalOnFailureAllocator(const FatalOnFailureAllocator<U> &) {}
  T *allocate(std::size_t n);
  void deallocate(T *p, std::size_t) noexcept;
  // libstdc++ caps a string at (max_size() - 1) / 2 characters, so this makes
  // kMaxLength the longest string and keeps growth by doubling from asking
  // for more than the longest value needs.
  static constexpr std::size_t max_size() noexcept {
    return (std::size_t{INT32_MAX} * 2 + 1) / sizeof(T);
  }
  template <class U> bool operator==(const FatalOnFailureAllocator<U> &) const {
    return true;
  }
};

extern template struct FatalOnFailureAllocator<char>;

using ByteString = std::basic_string<char, std::char_traits<char>,
                                     FatalOnFailureAllocator<char>>;

// Lengths are 32-bit signed: a value longer than this cannot exist, and asking
// for one is treated as an allocation failure.
inline constexpr int64_t kMaxLength = INT32_MAX;

struct TextBuilder; // builds values in place inside the text layer

// Bytes in the system's multibyte code page (GBK at home). A Text never holds
// a zero byte: building one from bytes stops at the first zero, as ToText
// does. The absent text and the empty text are one value.
class Text {
public:
  Text() = default;
  Text(const char *zero_terminated); // NOLINT: literals are texts
  explicit Text(std::string_view bytes);

  std::string_view view() const { return {bytes_.data(), bytes_.size()}; }
  const char *c_str() const { return bytes_.c_str(); } // zero-terminated
  int32_t size() const { return static_cast<int32_t>(bytes_.size()); }
  bool empty() const { return bytes_.empty(); }

  // Appends in place, up to the first zero byte of bytes; used by JoinText
  // on a temporary first part.
  Text &Append(std::string_view bytes);
  // Makes room for total_bytes, growing geometrically; a length beyond
  // kMaxLength ends the program with the allocation-failure error.
  void Reserve(int64_t total_bytes);

  friend bool operator==(const Text &a, const Text &b) {
    return a.view() == b.view();
  }

private:
  friend struct TextBuilder;
  ByteString bytes_;
};

// Bytes of any value, zero bytes included, with a 32-bit signed length.
class Bytes {
public:
  Bytes() = default;
  explicit Bytes(std::string_view bytes);

  std::string_view view() const { return {bytes_.data(), bytes_.size()}; }
  const char *data() const { return bytes_.data(); }
  char *data() { return bytes_.data(); }
  int32_t size() const { return static_cast<int32_t>(bytes_.size()); }
  bool empty() const { return bytes_.empty(); }

  Bytes &Append(std::string_view bytes);
  void Reserve(int64_t total_bytes);

  friend bool operator==(const Bytes &a, const Bytes &b) {
    return a.view() == b.view();
  }

private:
  friend struct TextBuilder;
  ByteString bytes_;
};

int32_t TextLength(const Text &t);
Text TextLeft(const Text &t, int32_t n);
Text TextRight(const Text &t, int32_t n);
Text TextMid(const Text &t, int32_t p, int32_t n);

// A start left out means 1. Allocates nothing.
int32_t FindText(const Text &t, const Text &s, int32_t start = 1,
                 bool ignore_case = false);

bool TextEqual(const Text &a, const Text &b);
// Note the flag runs opposite to FindText's: true respects letter case.
int32_t CompareText(const Text &a, const Text &b, bool case_sensitive);

Text ToUpper(const Text &t);
Text ToLower(const Text &t);

Text ReplaceTextAt(const Text &t, int32_t p, int32_t n);
Text ReplaceTextAt(const Text &t, int32_t p, int32_t n, const Text &r);

Text BlankText(int32_t n);
Bytes BlankBytes(int32_t n);
Bytes BytesLeft(const Bytes &b, int32_t n);

// Joining onto a temporary first part appends in place, so gathering a body
// piece by piece is amortised linear.
// The total is checked and reserved first, so an overlong result fails before
// anything is copied.
inline std::string_view JoinPart(const Text &t) { return t.view(); }
inline std::string_view JoinPart(const char *zero_terminated) {
  return zero_terminated;
}
template <class... Rest> Text JoinText(Text first, const Rest &...rest) {
  first.Reserve((int64_t{first.size()} + ... +
                 static_cast<int64_t>(JoinPart(rest).size())));
  (first.Append(JoinPart(rest)), ...);
  return first;
}
template <class... Rest> Bytes JoinBytes(Bytes first, const Rest &...rest) {
  first.Reserve((int64_t{first.size()} + ... + int64_t{rest.size()}));
  (first.Append(rest.view()), ...);
  return first;
}

Text ToText(const Bytes &b);
Text ToText(const Text &t);
Text ToText(int32_t i);
double ToNumber(const Text &t);
float ToFloat(const Text &t);
int32_t ToInteger(double x);

Text TextBetween(const Text &t, const Text &start_marker,
                 const Text &end_marker);

} // namespace cdk
