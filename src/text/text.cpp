// The Text and Bytes types and the operations that cut, build, compare,
// case-map and convert them without reading numbers.
#include "text/text.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace cdk {

template <class T> T *FatalOnFailureAllocator<T>::allocate(std::size_t n) {
  if (n > max_size()) {
    FatalAllocationFailure(static_cast<int64_t>(
        std::min<std::size_t>(n,
                              static_cast<std::size_t>(INT64_MAX) / sizeof(T)) *
        sizeof(T)));
  }
  void *p = std::malloc(n * sizeof(T));
  if (p == nullptr) {
    FatalAllocationFailure(static_cast<int64_t>(n * sizeof(T)));
  }
  return static_cast<T *>(p);
}

template <class T>
void FatalOnFailureAllocator<T>::deallocate(T *p, std::size_t) noexcept {
  std::free(p);
}

template struct FatalOnFailureAllocator<char>;

namespace {

// The longest value is kMaxLength bytes; asking for more is an allocation
// failure, reported with the size that was asked for.
void CheckLength(int64_t length) {
  if (length > kMaxLength) {
    FatalAllocationFailure(length);
  }
}

void ReserveTotal(ByteString &s, int64_t total) {
  CheckLength(total);
  auto wanted = static_cast<std::size_t>(total);
  if (wanted <= s.capacity()) {
    return;
  }
  // Doubling ourselves keeps appending amortised linear whatever the
  // standard library's reserve does.
  std::size_t doubled = std::min<std::size_t>(
      s.capacity() * 2, static_cast<std::size_t>(kMaxLength));
  s.reserve(std::max(wanted, doubled));
}

void AppendTo(ByteString &s, std::string_view bytes) {
  if (bytes.empty()) {
    return;
  }
  // The bytes may be part of s itself, which reserving would move.
  const char *base = s.data();
  bool inside = std::less_equal<const char *>()(base, bytes.data()) &&
                std::less<const char *>()(bytes.data(), base + s.size());
  std::size_t offset =
      inside ? static_cast<std::size_t>(bytes.data() - base) : 0;
  ReserveTotal(s, static_cast<int64_t>(s.size()) +
                      static_cast<int64_t>(bytes.size()));
  if (inside) {
    bytes = std::string_view(s.data() + offset, bytes.size());
  }
  s.append(bytes.data(), bytes.size());
}

std::string_view UpToZero(std::string_view bytes) {
  if (bytes.empty()) {
    return bytes; // its data may be null, which memchr must not see
  }
  const void *zero = std::memchr(bytes.data(), 0, bytes.size());
  if (zero == nullptr) {
    return bytes;
  }
  return bytes.substr(0, static_cast<std::size_t>(
                             static_cast<const char *>(zero) - bytes.data()));
}

ByteString MakeString(std::string_view bytes) {
  CheckLength(static_cast<int64_t>(bytes.size()));
  return ByteString(bytes.data(), bytes.size());
}

ByteString MakeFilled(int32_t n, char byte) {
  if (n <= 0) {
    return ByteString();
  }
  return ByteString(static_cast<std::size_t>(n), byte);
}

uint8_t Byte(std::string_view s, std::size_t i) {
  return static_cast<uint8_t>(s[i]);
}

} // namespace

// Fills values directly, without a second copy or a search for zero bytes
// where the result is known to hold none.
struct TextBuilder {
  static Text MakeText(ByteString bytes) {
    Text t;
    t.bytes_ = std::move(bytes);
    return t;
  }
  static Bytes MakeBytes(ByteString bytes) {
    Bytes b;
    b.bytes_ = std::move(bytes);
    return b;
  }
  static char *Data(Text &t) { return t.bytes_.data(); }
};

namespace {

// Positions arrive as any 32-bit value; the callers do their arithmetic in
// 64 bits, so that it stays exact where a 32-bit sum would overflow.
Text Piece(const Text &t, int64_t offset, int64_t count) {
  return TextBuilder::MakeText(MakeString(t.view().substr(
      static_cast<std::size_t>(offset), static_cast<std::size_t>(count))));
}

} // namespace

Text::Text(const char *zero_terminated) {
  if (zero_terminated != nullptr) {
    bytes_ = MakeString(zero_terminated);
  }
}

Text::Text(std::string_view bytes) : bytes_(MakeString(UpToZero(bytes))) {}

Text &Text::Append(std::string_view bytes) {
  AppendTo(bytes_, UpToZero(bytes));
  return *this;
}

void Text::Reserve(int64_t total_bytes) { ReserveTotal(bytes_, total_bytes); }

Bytes::Bytes(std::string_view bytes) : bytes_(MakeString(bytes)) {}

Bytes &Bytes::Append(std::string_view bytes) {
  AppendTo(bytes_, bytes);
  return *this;
}

void Bytes::Reserve(int64_t total_bytes) { ReserveTotal(bytes_, total_bytes); }

int32_t TextLength(const Text &t) { return t.size(); }

Text TextLeft(const Text &t, int32_t n) {
  if (n <= 0) {
    return Text();
  }
  return Piece(t, 0, std::min<int64_t>(n, t.size()));
}

Text TextRight(const Text &t, int32_t n) {
  if (n <= 0) {
    return Text();
  }
  int64_t count = std::min<int64_t>(n, t.size());
  return Piece(t, t.size() - count, count);
}

Text TextMid(const Text &t, int32_t p, int32_t n) {
  int64_t length = t.size();
  if (p < 1 || p > length || n <= 0) {
    return Text();
  }
  int64_t last = std::min<int64_t>(int64_t{p} + n - 1, length);
  return Piece(t, p - 1, last - p + 1);
}

bool TextEqual(const Text &a, const Text &b) { return a.view() == b.view(); }

namespace {

// GBK's lead bytes, as the code page's table gives them.
bool IsGbkLeadByte(uint8_t byte) { return byte >= 0x81 && byte <= 0xFE; }

// The double-byte letters that GBK gives an upper-case form: full-width
// Latin, Greek, Cyrillic and the small Roman numerals. Everything else
// compares as it is.
struct CaseRow {
  uint16_t first_lower, last_lower, first_upper;
};
constexpr CaseRow kGbkUpperCase[] = {
    {0xA2A1, 0xA2AA, 0xA2F1}, // ⅰ-ⅹ  -> Ⅰ-Ⅹ
    {0xA3E1, 0xA3FA, 0xA3C1}, // ａ-ｚ -> Ａ-Ｚ
    {0xA6C1, 0xA6D8, 0xA6A1}, // α-ω  -> Α-Ω
    {0xA7D1, 0xA7F1, 0xA7A1}, // а-я  -> А-Я
};

uint32_t UpperCaseCode(uint32_t code) {
  if (code < 0x100) {
    return (code >= 'a' && code <= 'z') ? code - 0x20 : code;
  }
  for (const CaseRow &row : kGbkUpperCase) {
    if (code >= row.first_lower && code <= row.last_lower) {
      return code - row.first_lower + row.first_upper;
    }
  }
  return code;
}

// The character at i: one byte, or two when a lead byte has a byte after it.
uint32_t NextCharacter(std::string_view s, std::size_t &i) {
  uint32_t code = Byte(s, i++);
  if (IsGbkLeadByte(static_cast<uint8_t>(code)) && i < s.size()) {
    code = code << 8 | Byte(s, i++);
  }
  return code;
}

} // namespace

int32_t CompareText(const Text &a, const Text &b, bool case_sensitive) {
  std::string_view x = a.view(), y = b.view();
  std::size_t i = 0, j = 0;
  while (i < x.size() && j < y.size()) {
    uint32_t cx = NextCharacter(x, i), cy = NextCharacter(y, j);
    if (!case_sensitive) {
      cx = UpperCaseCode(cx);
      cy = UpperCaseCode(cy);
    }
    if (cx != cy) {
      return cx < cy ? -1 : 1;
    }
  }
  // The end of a text sorts before any character.
  bool x_left = i < x.size(), y_left = j < y.size();
  return x_left == y_left ? 0 : (x_left ? 1 : -1);
}

namespace {

// Maps the ASCII letters from..from+25 by delta, stepping over double-byte
// characters untouched even where their second byte looks like a letter.
Text MapLetters(const Text &t, char from, int delta) {
  Text result = t;
  std::string_view view = result.view();
  char *bytes = TextBuilder::Data(result);
  for (std::size_t i = 0; i < view.size(); ++i) {
    if (Byte(view, i) >= 0x80) {
      ++i;
    } else if (bytes[i] >= from && bytes[i] <= from + 25) {
      bytes[i] = static_cast<char>(bytes[i] + delta);
    }
  }
  return result;
}

} // namespace

Text ToUpper(const Text &t) { return MapLetters(t, 'a', -0x20); }
Text ToLower(const Text &t) { return MapLetters(t, 'A', 0x20); }

Text ReplaceTextAt(const Text &t, int32_t p, int32_t n) {
  return ReplaceTextAt(t, p, n, Text());
}

Text ReplaceTextAt(const Text &t, int32_t p, int32_t n, const Text &r) {
  int64_t length = t.size();
  int64_t offset = std::clamp<int64_t>(int64_t{p} - 1, 0, length);
  int64_t removed = std::clamp<int64_t>(n, 0, length - offset);
  std::string_view v = t.view();
  Text result;
  result.Reserve(length - removed + r.size());
  result.Append(v.substr(0, static_cast<std::size_t>(offset)));
  result.Append(r.view());
  result.Append(v.substr(static_cast<std::size_t>(offset + removed)));
  return result;
}

Text BlankText(int32_t n) { return TextBuilder::MakeText(MakeFilled(n, ' ')); }

Bytes BlankBytes(int32_t n) {
  return TextBuilder::MakeBytes(MakeFilled(n, '\0'));
}

Bytes BytesLeft(const Bytes &b, int32_t n) {
  if (n <= 0) {
    return Bytes();
  }
  return Bytes(b.view().substr(0, static_cast<std::size_t>(n)));
}

Text ToText(const Bytes &b) { return Text(b.view()); }
Text ToText(const Text &t) { return t; }

Text ToText(int32_t i) {
  char digits[12];
  char *end = std::to_chars(digits, digits + sizeof(digits), i).ptr;
  return Text(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

} // namespace cdk
