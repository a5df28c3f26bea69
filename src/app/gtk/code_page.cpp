// The one place where the program's GBK texts become the UTF-8 that GTK
// takes.
#include "app/gtk/gtk_backend.h"

namespace cdk {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD

} // namespace

// The converter is opened once; iconv keeps no state between characters of
// a double-byte code page, and we reset it after a failure anyway.
GIConv GtkGbkConverter() {
  static GIConv converter = g_iconv_open("UTF-8", "GBK");
  return converter;
}

namespace {

// Converts one character of `length` bytes; false when iconv rejects it.
bool AppendCharacter(GIConv converter, const char *bytes, gsize length,
                     std::string &out) {
  char buffer[8];
  auto *in = const_cast<gchar *>(bytes);
  gsize in_left = length;
  gchar *put = buffer;
  gsize out_left = sizeof buffer;
  if (g_iconv(converter, &in, &in_left, &put, &out_left) ==
          static_cast<gsize>(-1) ||
      in_left != 0) {
    g_iconv(converter, nullptr, nullptr, nullptr, nullptr);
    return false;
  }
  out.append(buffer, static_cast<size_t>(put - buffer));
  return true;
}

} // namespace

std::string GtkUtf8FromGbk(std::string_view gbk) {
  std::string out;
  out.reserve(gbk.size() + gbk.size() / 2);
  GIConv converter = GtkGbkConverter();
  const bool have_converter = converter != reinterpret_cast<GIConv>(-1);
  size_t i = 0;
  while (i < gbk.size()) {
    const auto lead = static_cast<unsigned char>(gbk[i]);
    if (lead < 0x80) {
      out += static_cast<char>(lead);
      ++i;
      continue;
    }
    // 0x80 is the euro sign on its own in code page 936; 0x81..0xFE lead a
    // two-byte character; 0xFF is never valid.
    const size_t length = (lead == 0x80 || lead == 0xFF) ? 1 : 2;
    if (have_converter && i + length <= gbk.size() &&
        AppendCharacter(converter, gbk.data() + i, length, out)) {
      i += length;
      continue;
    }
    // Skip only the offending byte: a bad trail byte that is ASCII still
    // shows as itself.
    out += kReplacement;
    ++i;
  }
  return out;
}

} // namespace cdk
