// Fuzzes ToNumber, ToFloat and ToInteger: huge exponents, numbers hundreds
// of digits long and full-width forms must give the nearest double (glibc's
// strtod reading the number written out in plain ASCII; it overflows to
// infinity and underflows to zero or the nearest subnormal), and ToInteger
// the truncated value's low 32 bits, computed another way.
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "require.h"
#include "text/text.h"

namespace {

using cdk::Text;

// Stage one of the reading: the full-width forms that stand for ASCII
// bytes, in GBK; any other pair is kept, a lone lead byte at the end goes.
std::string FoldFullWidth(std::string_view t) {
  std::string out;
  for (size_t i = 0; i < t.size();) {
    auto lead = static_cast<uint8_t>(t[i]);
    if (lead < 0x80) {
      out += t[i++];
      continue;
    }
    if (i + 1 == t.size()) {
      break;
    }
    auto trail = static_cast<uint8_t>(t[i + 1]);
    unsigned code = lead << 8 | trail;
    if (code == 0xA1A1) {
      out += ' ';
    } else if (code == 0xA1AB) {
      out += '~';
    } else if (code == 0xA1EE || code == 0xA1EF) {
      out += '*';
    } else if (code >= 0xA3A1 && code <= 0xA3FE) {
      out += static_cast<char>(trail - 0x80);
    } else {
      out.append(t.substr(i, 2));
    }
    i += 2;
  }
  return out;
}

bool Digit(char c) { return c >= '0' && c <= '9'; }

// Stage two: blanks, a sign, digits with at most one point, an exponent
// with e or d; the longest such beginning, as a strtod would read it.
double ModelNumber(std::string_view text) {
  std::string t = FoldFullWidth(text);
  size_t i = 0;
  while (i < t.size() && (t[i] == ' ' || (t[i] >= '\t' && t[i] <= '\r'))) {
    ++i;
  }
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
    negative = t[i++] == '-';
  }
  std::string number;
  bool point = false;
  int digits = 0;
  for (; i < t.size(); ++i) {
    if (Digit(t[i])) {
      ++digits;
    } else if (t[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
    number += t[i];
  }
  if (digits == 0) {
    return 0.0;
  }
  if (i < t.size() && std::strchr("eEdD", t[i]) != nullptr) {
    size_t j = i + 1;
    std::string exponent = "e";
    if (j < t.size() && (t[j] == '+' || t[j] == '-')) {
      exponent += t[j++];
    }
    if (j < t.size() && Digit(t[j])) {
      while (j < t.size() && Digit(t[j])) {
        exponent += t[j++];
      }
      number += exponent;
    }
  }
  double value = std::strtod(number.c_str(), nullptr);
  return negative ? -value : value;
}

// Truncated toward zero, reduced modulo 2^32 into the signed range; 0 for
// a value that is not a number or lies outside the signed 64-bit range.
int32_t ModelInteger(double x) {
  if (std::isnan(x) || x < -0x1p63 || x >= 0x1p63) {
    return 0;
  }
  double low = std::fmod(std::trunc(x), 0x1p32); // exact
  if (low < 0) {
    low += 0x1p32;
  }
  if (low >= 0x1p31) {
    low -= 0x1p32;
  }
  return static_cast<int32_t>(low);
}

bool SameDouble(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  std::setlocale(LC_ALL, "C"); // strtod's decimal point
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char *>(data), size);
  const Text text(bytes);

  const double value = cdk::ToNumber(text);
  const double expected = ModelNumber(text.view());
  Require(SameDouble(value, expected), "ToNumber is the nearest double");

  const float single = cdk::ToFloat(text);
  const float rounded = static_cast<float>(value);
  Require(std::memcmp(&single, &rounded, sizeof single) == 0,
          "ToFloat is ToNumber rounded to single precision");

  Require(cdk::ToInteger(value) == ModelInteger(value),
          "ToInteger of a read number");
  // Any double at all, NaNs and infinities included, from the first bytes.
  if (size >= sizeof(double)) {
    double raw;
    std::memcpy(&raw, data, sizeof raw);
    Require(cdk::ToInteger(raw) == ModelInteger(raw),
            "ToInteger of any double");
  }
  return 0;
}
