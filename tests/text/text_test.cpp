// The text layer: each group of operations against a table of cases.
#include "text/text.h"

#include "fatal_exit.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <type_traits>
#include <utility>

namespace cdk {
namespace {

using namespace std::string_literals;

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

// Texts with double-byte characters are written as bytes; the comment beside
// each says what they hold.
Text T(std::string bytes) { return Text(std::string_view(bytes)); }

struct CutCase {
  const char *name;
  Text (*cut)(const Text &, int32_t, int32_t);
  std::string t;
  int32_t a, b;
  std::string expected;
};

Text Left(const Text &t, int32_t n, int32_t) { return TextLeft(t, n); }
Text Right(const Text &t, int32_t n, int32_t) { return TextRight(t, n); }

TEST(TextCut, LeftRightAndMidCountPlainBytes) {
  const CutCase cases[] = {
      {"Mid inside", TextMid, "abcdef", 3, 2, "cd"},
      {"Mid past the end", TextMid, "abc", 3, 5, "c"},
      {"Mid beyond", TextMid, "abc", 4, 1, ""},
      {"Mid at 0 is not moved to 1", TextMid, "abc", 0, 2, ""},
      {"Mid of nothing", TextMid, "abc", 2, 0, ""},
      {"Mid with the largest count", TextMid, "abc", 2, kMax, "bc"},
      {"Mid at the smallest position", TextMid, "abc", kMin, kMax, ""},
      {"Mid splits a character", TextMid,
       "\xD6\xD0"
       "a",
       2, 2,
       "\xD0"
       "a"},
      {"Left", Left, "abc", 2, 0, "ab"},
      {"Left past the end", Left, "abc", 5, 0, "abc"},
      {"Left of nothing", Left, "abc", 0, 0, ""},
      {"Left of the empty text", Left, "", 3, 0, ""},
      {"Right", Right, "abc", 2, 0, "bc"},
      {"Right past the end", Right, "abc", 9, 0, "abc"},
      {"Right negative", Right, "abc", -1, 0, ""},
      {"Right smallest", Right, "abc", kMin, 0, ""},
  };
  for (const CutCase &c : cases) {
    EXPECT_EQ(c.cut(T(c.t), c.a, c.b).view(), c.expected) << c.name;
  }
  EXPECT_EQ(TextLength(T("\xD6\xD0"
                         "a")),
            3); // 中a
}

struct FindCase {
  std::string t, s;
  int32_t start;
  bool ignore_case;
  int32_t expected;
};

TEST(FindText, FindsTheFirstMatchOnACharacterStart) {
  const FindCase cases[] = {
      {"a/b/c", "/", 1, false, 2},
      {"a/b/c", "/", 3, false, 4},
      {"a/b/c", "/", 0, false, 2},
      {"a/b/c", "/", -5, false, 2},
      {"a/b/c", "/", kMin, false, 2},
      {"a/b/c", "/", 5, false, -1},
      {"a/b/c", "/", 9, false, -1},
      {"a/b/c", "/", kMax, false, -1},
      {"abc", "bc", 3, false, -1},
      {"abc", "abcd", 1, false, -1},
      // An empty text to look for is found at 1 whatever the start.
      {"abc", "", 1, false, 1},
      {"abc", "", 3, false, 1},
      {"abc", "", 4, false, -1},
      {"", "", 1, false, -1},
      {"", "a", 1, false, -1},
      // 中a: 'a' follows a double-byte character.
      {"\xD6\xD0"
       "a",
       "a", 1, false, 3},
      // From the second byte of 中, D0 is taken as a lead byte that swallows
      // the 'a'.
      {"\xD6\xD0"
       "a",
       "a", 2, false, -1},
      // The second byte of 81 41 is the code of 'A' but not a character.
      {"\x81\x41", "A", 1, false, -1},
      {"\x81\x41", "\x81\x61", 1, true, 1},
      {"\x81\x41", "\x81\x61", 1, false, -1},
      // A trail byte can look like a marker byte.
      {"\x81=====", "====", 1, false, 3},
      {"\x81====", "====", 1, false, -1},
      // A lead byte at the very end still matches itself.
      {"ab\x81", "\x81", 1, false, 3},
      {"ab\x81", "b\x81", 1, false, 2},
      // The start may fall on a trail byte and still match there.
      {"\xD6\xD0\xD6\xD0", "\xD0\xD6", 2, false, 2},
      {"\xD6\xD0\xD6\xD0", "\xD0\xD6", 1, false, -1},
  };
  for (const FindCase &c : cases) {
    EXPECT_EQ(FindText(T(c.t), T(c.s), c.start, c.ignore_case), c.expected)
        << "'" << c.t << "' '" << c.s << "' from " << c.start;
  }
  EXPECT_EQ(FindText("a/b/c", "/"), 2) << "start left out";
}

TEST(FindText, IgnoreCaseFoldsOnlyAsciiLetters) {
  const FindCase cases[] = {
      {"ACCEPT: x", "Accept: ", 1, true, 1},
      {"ACCEPT: x", "Accept: ", 1, false, -1},
      {"host: y", "HOST:", 1, true, 1},
      // '@' '[' '`' '{' sit next to the letters but have no other case.
      {"@[", "`{", 1, true, -1},
      {"`{", "@[", 1, true, -1},
      {"\xC1", "\xE1", 1, true, -1},
  };
  for (const FindCase &c : cases) {
    EXPECT_EQ(FindText(T(c.t), T(c.s), c.start, c.ignore_case), c.expected)
        << "'" << c.t << "' '" << c.s << "'";
  }
}

// The rule written as plainly as possible, to check the search on texts
// long and varied enough to reach every path of the fast scan.
int32_t PlainFind(const std::string &t, const std::string &s, int32_t start) {
  int64_t c = std::max<int64_t>(int64_t{start} - 1, 0);
  if (s.empty()) {
    return c < static_cast<int64_t>(t.size()) ? 1 : -1;
  }
  while (c + static_cast<int64_t>(s.size()) <= static_cast<int64_t>(t.size())) {
    if (t.compare(static_cast<size_t>(c), s.size(), s) == 0) {
      return static_cast<int32_t>(c + 1);
    }
    c += static_cast<unsigned char>(t[static_cast<size_t>(c)]) >= 0x80 ? 2 : 1;
  }
  return -1;
}

TEST(FindText, AgreesWithAPlainScanOnMixedTexts) {
  std::mt19937 random(2024);
  // Few distinct bytes, so that markers, near-markers and runs of lead
  // bytes of every parity occur often.
  const char alphabet[] = {'=', '=', '=', 'a', 'A', '\x81', '\xD6', '\xD0'};
  const std::string needles[] = {"=",        "==", "====",    "=\x81",
                                 "\xD0\xD6", "a=", "=======", "\xD6\xD0="};
  for (int round = 0; round < 300; ++round) {
    std::string t(random() % 300, ' ');
    for (char &byte : t) {
      byte = alphabet[random() % sizeof(alphabet)];
    }
    // Long stretches of one kind of byte, as real pages have.
    if (round % 3 == 0) {
      t.insert(random() % (t.size() + 1), std::string(random() % 200, 'x'));
      t.insert(random() % (t.size() + 1), std::string(random() % 200, '\xB0'));
    }
    for (const std::string &s : needles) {
      int32_t start = static_cast<int32_t>(random() % 8);
      ASSERT_EQ(FindText(T(t), T(s), start), PlainFind(t, s, start))
          << "round " << round << " needle '" << s << "' start " << start;
    }
  }
}

TEST(TextCompare, EqualAndCompare) {
  EXPECT_TRUE(TextEqual(Text(), T("")));
  EXPECT_FALSE(TextEqual("GET", "get"));
  EXPECT_FALSE(TextEqual("00000000", "00000000 "));

  struct CompareCase {
    std::string a, b;
    bool case_sensitive;
    int expected_sign;
  };
  const CompareCase cases[] = {
      {"HTTP://", "http://", false, 0},
      {"http:/", "http://", false, -1},
      {"HTTP://", "http://", true, -1},
      {"", "", true, 0},
      {"", "a", false, -1},
      {"b", "a", true, 1},
      // A byte below the lead bytes sorts before every double-byte character.
      {"z", "\x81\x40", true, -1},
      // 0x80 is no GBK lead byte, so the 'A' after it is a letter of its own;
      // after 0x81 it is the second byte of a character.
      {"\x80"
       "A",
       "\x80"
       "a",
       false, 0},
      {"\x81"
       "A",
       "\x81"
       "a",
       false, -1},
      // Full-width ａ/Ａ, Greek α/Α, Cyrillic я/Я, Roman ⅰ/Ⅰ.
      {"\xA3\xE1", "\xA3\xC1", false, 0},
      {"\xA6\xC1", "\xA6\xA1", false, 0},
      {"\xA7\xF1", "\xA7\xC1", false, 0},
      {"\xA2\xA1", "\xA2\xF1", false, 0},
      {"\xA3\xE1", "\xA3\xC1", true, 1},
      // 中 and 文 in code order.
      {"\xCE\xC4", "\xD6\xD0", false, -1},
      // A lead byte at the end is a character of its own.
      {"a\x81", "a\x81\x40", true, -1},
  };
  for (const CompareCase &c : cases) {
    int32_t result = CompareText(T(c.a), T(c.b), c.case_sensitive);
    EXPECT_EQ((result > 0) - (result < 0), c.expected_sign)
        << "'" << c.a << "' '" << c.b << "' " << c.case_sensitive;
    int32_t swapped = CompareText(T(c.b), T(c.a), c.case_sensitive);
    EXPECT_EQ((swapped > 0) - (swapped < 0), -c.expected_sign);
  }
}

TEST(TextCase, MapsAsciiLettersAndStepsOverDoubleByteCharacters) {
  struct CaseCase {
    Text (*map)(const Text &);
    std::string t, expected;
  };
  const CaseCase cases[] = {
      {ToUpper, "post", "POST"},
      {ToLower, "Host:80", "host:80"},
      {ToLower, "\x81\x41", "\x81\x41"},
      {ToUpper, "\x81\x61", "\x81\x61"},
      {ToUpper,
       "a\xD6\xD0"
       "b\x81",
       "A\xD6\xD0"
       "B\x81"},
      {ToUpper, "@[`{z", "@[`{Z"},
      {ToLower, "@[`{Z", "@[`{z"},
      {ToUpper, "", ""},
  };
  for (const CaseCase &c : cases) {
    EXPECT_EQ(c.map(T(c.t)).view(), c.expected) << c.t;
  }
}

TEST(TextBuild, ReplaceTextAtClampsPositionAndCount) {
  struct ReplaceCase {
    std::string t;
    int32_t p, n;
    std::string r, expected;
  };
  const ReplaceCase cases[] = {
      {"http://host", 1, 7, "", "host"}, {"abc", 1, 7, "", ""},
      {"abc", 0, 1, "", "bc"},           {"abc", 9, 1, "", "abc"},
      {"abc", 2, -3, "", "abc"},         {"abc", 2, 1, "XY", "aXYc"},
      {"abc", 4, 5, "!", "abc!"},        {"abc", kMin, kMax, "z", "z"},
      {"abc", kMax, kMax, "z", "abcz"},  {"", 1, 1, "z", "z"},
  };
  for (const ReplaceCase &c : cases) {
    EXPECT_EQ(ReplaceTextAt(T(c.t), c.p, c.n, T(c.r)).view(), c.expected)
        << c.t << " " << c.p << " " << c.n;
  }
  EXPECT_EQ(ReplaceTextAt("http://host", 1, 7).view(), "host");
}

TEST(TextBuild, BlankJoinAndByteBuffers) {
  EXPECT_EQ(JoinText(Text(), "x").view(), "x");
  EXPECT_EQ(JoinText(Text("a"), Text(), "b", Text("cd")).view(), "abcd");
  EXPECT_EQ(BlankText(0).view(), "");
  EXPECT_EQ(BlankText(-1).view(), "");
  EXPECT_EQ(BlankText(3).view(), "   ");
  EXPECT_EQ(BlankBytes(-1).size(), 0);
  EXPECT_EQ(BlankBytes(512).view(), std::string(512, '\0'));

  Bytes b = BlankBytes(512);
  EXPECT_EQ(BytesLeft(b, 600), b);
  EXPECT_EQ(BytesLeft(b, 3).view(), "\0\0\0"s);
  EXPECT_TRUE(BytesLeft(b, 0).empty());
  EXPECT_TRUE(BytesLeft(b, kMin).empty());
  EXPECT_TRUE(BytesLeft(Bytes(), 5).empty());
  EXPECT_TRUE(JoinBytes(Bytes(), Bytes()).empty());
  EXPECT_EQ(JoinBytes(b, Bytes()), b);
  EXPECT_EQ(JoinBytes(Bytes("a\0"s), Bytes("\0b"s)).view(), "a\0\0b"s);
}

TEST(TextBuild, ArgumentsStayUnchanged) {
  Text t = "abc";
  Text upper = ToUpper(t);
  Text joined = JoinText(t, t);
  Text replaced = ReplaceTextAt(t, 1, 1, "z");
  EXPECT_EQ(t.view(), "abc");
  EXPECT_EQ(upper.view(), "ABC");
  EXPECT_EQ(joined.view(), "abcabc");
  EXPECT_EQ(replaced.view(), "zbc");

  // Appending a value to itself reads it before it moves.
  Text self = "xyz";
  self.Append(self.view());
  EXPECT_EQ(self.view(), "xyzxyz");
}

TEST(TextBuild, JoiningOntoATemporaryGrowsGeometrically) {
  // Gathering a body the way the page fetch does: the buffer moves only a
  // logarithmic number of times, so the work stays linear.
  Bytes body;
  std::set<const char *> buffers;
  Bytes piece = BlankBytes(512);
  for (int i = 0; i < 2048; ++i) {
    body = JoinBytes(std::move(body), BytesLeft(piece, 512));
    buffers.insert(body.data());
  }
  EXPECT_EQ(body.size(), 2048 * 512);
  EXPECT_LE(buffers.size(), 24u);

  Text text;
  std::set<const char *> text_buffers;
  for (int i = 0; i < 4096; ++i) {
    text = JoinText(std::move(text), "0123456789abcdef");
    text_buffers.insert(text.c_str());
  }
  EXPECT_EQ(text.size(), 4096 * 16);
  EXPECT_LE(text_buffers.size(), 24u);
}

TEST(TextConvert, ToTextStopsAtTheFirstZeroByte) {
  struct BytesCase {
    std::string bytes, expected;
  };
  const BytesCase cases[] = {
      {"AB\0C"s, "AB"},
      {"AB", "AB"},
      {"\0A"s, ""},
      {"", ""},
      {"\xD6\xD0\0"s, "\xD6\xD0"},
  };
  for (const BytesCase &c : cases) {
    EXPECT_EQ(ToText(Bytes(c.bytes)).view(), c.expected);
    EXPECT_EQ(Text(std::string_view(c.bytes)).view(), c.expected);
  }
  Text t = "a";
  t.Append("b\0c"s);
  EXPECT_EQ(t.view(), "ab");
  EXPECT_EQ(ToText(Text("same")).view(), "same");
}

TEST(TextConvert, ToTextOfIntegers) {
  const std::pair<int32_t, const char *> cases[] = {
      {-5, "-5"},
      {0, "0"},
      {12, "12"},
      {kMax, "2147483647"},
      {kMin, "-2147483648"},
  };
  for (const auto &[i, expected] : cases) {
    EXPECT_EQ(ToText(i).view(), expected);
  }
}

TEST(TextConvert, ToNumberReadsTheLongestNumberAtTheStart) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::pair<std::string, double> cases[] = {
      {"", 0},
      {"0.2", 0.2},
      {"0.2v", 0.2},
      {"  81", 81},
      {"\t\n\v\f\r81", 81},
      {"abc", 0},
      {".", 0},
      {"-", 0},
      {"- 5", 0},
      {"-3", -3},
      {"+.5", 0.5},
      {"5.", 5},
      {"1.2.3", 1.2},
      {"1e3", 1000},
      {"1d3", 1000},
      {"1E-2", 0.01},
      {"2D+2", 200},
      {"1e", 1},
      {"1e+", 1},
      {"1ex", 1},
      {"0x10", 0},
      {"8080/path", 8080},
      // Full-width ８０, the ideographic space, full-width －１．５ｅ２.
      {"\xA3\xB8\xA3\xB0", 80},
      {"\xA1\xA1"
       "81",
       81},
      {"\xA3\xAD\xA3\xB1\xA3\xAE\xA3\xB5\xA3\xE5\xA3\xB2", -150},
      // Any other double-byte character ends the number, even one whose
      // second byte is a digit; a lone lead byte at the end is dropped.
      {"7\x81"
       "5",
       7},
      {"\x81"
       "5",
       0},
      {"5\x81", 5},
      // The nearest double, with ties to even.
      {"9007199254740993", 9007199254740992.0},
      {"0.1000000000000000055511151231257827", 0.1},
      // Beyond the range of a double: infinity, or zero below it.
      {"1e400", inf},
      {"-1e400", -inf},
      {"1e-400", 0},
      {"0.0000e99999999999999999999", 0},
  };
  for (const auto &[text, expected] : cases) {
    EXPECT_EQ(ToNumber(T(text)), expected) << "'" << text << "'";
  }
}

TEST(TextConvert, ToNumberIgnoresTheLocale) {
  // The GTK shell sets the user's locale; a comma locale must not change
  // how "0.2" reads.
  const char *previous = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous ? previous : "C";
  bool switched = false;
  for (const char *name :
       {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"}) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr) {
      switched = true;
      break;
    }
  }
  double value = ToNumber("0.25");
  std::setlocale(LC_NUMERIC, saved.c_str());
  if (!switched) {
    GTEST_SKIP() << "no locale with a decimal comma is installed";
  }
  EXPECT_EQ(value, 0.25);
}

TEST(TextConvert, ToFloatAndToInteger) {
  EXPECT_EQ(ToFloat("0.2"), ToFloat("0.20"));
  EXPECT_EQ(ToFloat("0.2"), ToFloat("0.20000001"));
  EXPECT_NE(ToFloat("0.2"), ToFloat("0.3"));
  EXPECT_EQ(ToFloat("0.2"), 0.2f);

  const std::pair<double, int32_t> cases[] = {
      {80.9, 80},
      {-2.5, -2},
      {0x1p32 + 80, 80},
      {0x1p31, kMin}, // the low 32 bits
      {0x1p32 - 1, -1},
      {1e30, 0},
      {-1e30, 0},
      {0x1p63, 0},
      {-0x1p63, 0}, // in range; its low 32 bits are zero
      {-0x1p63 + 0x1p11, 2048},
      {-0x1p63 - 0x1p11, 0},
      {0x1p63 - 0x1p10, -1024},
      {std::numeric_limits<double>::quiet_NaN(), 0},
      {std::numeric_limits<double>::infinity(), 0},
      {-std::numeric_limits<double>::infinity(), 0},
  };
  for (const auto &[x, expected] : cases) {
    EXPECT_EQ(ToInteger(x), expected) << x;
  }
  EXPECT_EQ(ToInteger(ToNumber("8080")), 8080);
}

TEST(TextBetween, CutsBetweenTheFirstStartMarkerAndTheNextEndMarker) {
  struct BetweenCase {
    std::string t, start, end, expected;
  };
  const BetweenCase cases[] = {
      {"x==0.2==y", "==", "==", "0.2"},
      {"a====AB12CD34====b", "====", "====", "AB12CD34"},
      // The first "==" is half of "====".
      {"a====b====c==0.3==", "==", "==", ""},
      {"======X======", "====", "====", "==X"},
      {"==abc", "==", "==", ""},
      {"====", "==", "==", ""},
      {"abc", "==", "==", ""},
      {"", "==", "==", ""},
      {"====AB12====", "====", "====", "AB12"},
      {"====AB12", "====", "====", ""},
      // A missing start marker of n bytes leaves the text from byte n - 1.
      {"xyz]]", "[[", "]]", "xyz"},
      {"abc]", "[", "]", ""},
      {"abcdef]]", "[[[[", "]]", "cdef"},
      // Empty markers.
      {"abc", "", "", ""},
      {"abc]", "", "]", "abc"},
      // The code follows a double-byte character whose second byte is "=":
      // the scan steps over it, so the first marker begins one byte later.
      {"\x81=====AB====", "====", "====", "AB"},
      {"\x81====AB====", "====", "====", ""},
      // 代码：====码====
      {"\xB4\xFA\xC2\xEB\xA3\xBA====\xC2\xEB====", "====", "====", "\xC2\xEB"},
  };
  for (const BetweenCase &c : cases) {
    EXPECT_EQ(TextBetween(T(c.t), T(c.start), T(c.end)).view(), c.expected)
        << "'" << c.t << "' '" << c.start << "' '" << c.end << "'";
  }
}

// A result that would be longer than 2^31 - 1 bytes cannot exist; asking for
// one fails like an allocation, before anything is copied.
template <class Value, std::size_t... I>
Value JoinCopies(const Value &part, std::index_sequence<I...>) {
  if constexpr (std::is_same_v<Value, Text>) {
    return JoinText(Text(), ((void)I, part)...);
  } else {
    return JoinBytes(Bytes(), ((void)I, part)...);
  }
}

// 32 parts of 64 MiB: 2^31 bytes, one more than the longest value.
constexpr int32_t kPart = 1 << 26;
using ThirtyTwo = std::make_index_sequence<32>;

TEST(FatalErrorDeathTest, OverlongResultEndsTheProgramWithTheSize) {
  EXPECT_EXIT(JoinCopies(BlankText(kPart), ThirtyTwo()),
              testing::ExitedWithCode(cdk::test::kFatalExitStatus), "2147483648");
  EXPECT_EXIT(JoinCopies(BlankBytes(kPart), ThirtyTwo()),
              testing::ExitedWithCode(cdk::test::kFatalExitStatus), "2147483648");
}

TEST(FatalErrorDeathTest, RefusedAllocationEndsTheProgramWithTheSize) {
  EXPECT_EXIT(FatalOnFailureAllocator<char>().allocate(std::size_t{1} << 40),
              testing::ExitedWithCode(cdk::test::kFatalExitStatus), "1099511627776");
}

// The shell's handler may itself run out of memory; that must still end the
// program instead of recursing.
void HandlerThatFailsToAllocate(const Text &) {
  JoinCopies(BlankText(kPart), ThirtyTwo());
}

TEST(FatalErrorDeathTest, FailingHandlerStillEndsTheProgram) {
  EXPECT_EXIT(
      {
        SetFatalErrorHandler(HandlerThatFailsToAllocate);
        FatalOnFailureAllocator<char>().allocate(std::size_t{1} << 40);
      },
      testing::ExitedWithCode(cdk::test::kFatalExitStatus), "2147483648");
}

struct FatalRaised {
  std::string message;
};

[[noreturn]] void ThrowFatal(const Text &message) {
  throw FatalRaised{std::string(message.view())};
}

TEST(FatalError, HandlerReceivesTheMessageInGbk) {
  SetFatalErrorHandler(ThrowFatal);
  std::string message;
  try {
    JoinCopies(BlankText(kPart), ThirtyTwo());
  } catch (const FatalRaised &raised) {
    message = raised.message;
  }
  SetFatalErrorHandler(nullptr);
  // 分配 2147483648 字节内存失败!
  EXPECT_EQ(message, "\xB7\xD6\xC5\xE4 2147483648 "
                     "\xD7\xD6\xBD\xDA\xC4\xDA\xB4\xE6\xCA\xA7\xB0\xDC!");
}

} // namespace
} // namespace cdk
