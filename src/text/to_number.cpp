// Reading numbers from texts: ToNumber, ToFloat and ToInteger.
#include <charconv>
#include <cmath>
#include <limits>

#include "text/text.h"

namespace cdk {
namespace {

// Reads t as single bytes, with the few full-width forms taken as their ASCII
// counterparts. Any other double-byte character comes back as 0x80, which
// no number contains, so the number ends there.
class NumberReader {
public:
  explicit NumberReader(std::string_view t) : t_(t) {}

  // The next byte, or 0 at the end.
  char Peek() const {
    if (i_ >= t_.size()) {
      return 0;
    }
    auto lead = static_cast<uint8_t>(t_[i_]);
    if (lead < 0x80) {
      return t_[i_];
    }
    if (i_ + 1 >= t_.size()) {
      return 0; // a lead byte without its partner is dropped
    }
    unsigned code = lead << 8 | static_cast<uint8_t>(t_[i_ + 1]);
    if (code == 0xA1A1) {
      return ' '; // ideographic space
    }
    if (code == 0xA1AB) {
      return '~';
    }
    if (code == 0xA1EE || code == 0xA1EF) {
      return '*'; // white and black star
    }
    if (code >= 0xA3A1 && code <= 0xA3FE) {
      return static_cast<char>((code & 0xFF) - 0x80);
    }
    return static_cast<char>(0x80);
  }

  void Skip() { i_ += static_cast<uint8_t>(t_[i_]) < 0x80 ? 1 : 2; }

private:
  std::string_view t_;
  std::size_t i_ = 0;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

} // namespace

double ToNumber(const Text &t) {
  NumberReader in(t.view());
  while (IsBlank(in.Peek())) {
    in.Skip();
  }
  bool negative = false;
  if (in.Peek() == '+' || in.Peek() == '-') {
    negative = in.Peek() == '-';
    in.Skip();
  }

  // The number is rebuilt in plain ASCII and handed to from_chars, which
  // rounds to nearest and, unlike strtod, ignores the locale.
  ByteString number = "0";
  int64_t digits = 0;
  bool point = false;
  // Decimal position of the first significant digit, for telling an
  // overflow from an underflow when from_chars gives up.
  int64_t magnitude = 0;
  bool significant = false;
  for (char c = in.Peek();; c = in.Peek()) {
    if (IsDigit(c)) {
      ++digits;
      if (c != '0') {
        significant = true;
      }
      if (!significant) {
        magnitude -= point ? 1 : 0;
      } else if (!point) {
        ++magnitude;
      }
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
    number.push_back(c);
    in.Skip();
  }
  if (digits == 0) {
    return 0.0;
  }

  char letter = in.Peek();
  if (letter == 'e' || letter == 'E' || letter == 'd' || letter == 'D') {
    // Only a letter with digits after it makes an exponent; the reader is
    // copied so that a bare letter leaves the number as it was.
    NumberReader exponent_in = in;
    exponent_in.Skip();
    bool exponent_negative = false;
    if (exponent_in.Peek() == '+' || exponent_in.Peek() == '-') {
      exponent_negative = exponent_in.Peek() == '-';
      exponent_in.Skip();
    }
    if (IsDigit(exponent_in.Peek())) {
      // Saturated far beyond any double's range, which changes no result:
      // a text holds fewer than 2^31 digits.
      int64_t exponent = 0;
      for (char c = exponent_in.Peek(); IsDigit(c); c = exponent_in.Peek()) {
        exponent =
            std::min<int64_t>(exponent * 10 + (c - '0'), int64_t{1} << 40);
        exponent_in.Skip();
      }
      if (exponent_negative) {
        exponent = -exponent;
      }
      magnitude += exponent;
      char buffer[24] = {'e'};
      char *end =
          std::to_chars(buffer + 1, buffer + sizeof(buffer), exponent).ptr;
      number.append(buffer, static_cast<std::size_t>(end - buffer));
    }
  }

  double value = 0.0;
  auto [end, error] =
      std::from_chars(number.data(), number.data() + number.size(), value);
  if (error == std::errc::result_out_of_range) {
    value = (significant && magnitude > 0)
                ? std::numeric_limits<double>::infinity()
                : 0.0;
  }
  return negative ? -value : value;
}

float ToFloat(const Text &t) { return static_cast<float>(ToNumber(t)); }

int32_t ToInteger(double x) {
  // NaN fails both comparisons.
  if (!(x >= -0x1p63 && x < 0x1p63)) {
    return 0;
  }
  auto whole = static_cast<int64_t>(x);
  return static_cast<int32_t>(
      static_cast<uint32_t>(static_cast<uint64_t>(whole)));
}

} // namespace cdk
