// Prints the window description as JSON for the end-to-end check, which
// compares it with what the running program shows over AT-SPI. Texts go out
// as hex of their GBK bytes: the checker decodes them itself, so a fault in
// the backend's conversion cannot hide behind the same conversion here.
#include <cstdio>
#include <string>

#include "app/window_description.h"

namespace {

std::string Hex(const char *bytes) {
  std::string hex;
  char pair[3];
  for (const char *p = bytes; *p != '\0'; ++p) {
    std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(*p));
    hex += pair;
  }
  return hex;
}

const char *KindName(cdk::Kind kind) {
  switch (kind) {
  case cdk::Kind::window:
    return "window";
  case cdk::Kind::EditBox:
    return "EditBox";
  case cdk::Kind::Label:
    return "Label";
  case cdk::Kind::Button:
    return "Button";
  case cdk::Kind::Timer:
    return "Timer";
  }
  return "?";
}

} // namespace

int main() {
  const cdk::WindowDescription &w = cdk::MainWindowDescription();
  std::printf("{\"caption_gbk\": \"%s\", \"outer\": [%d, %d], "
              "\"client\": [%d, %d],\n \"controls\": [\n",
              Hex(w.caption).c_str(), w.outer_width, w.outer_height,
              w.client_width, w.client_height);
  for (size_t i = 0; i < w.controls.size(); ++i) {
    const cdk::ControlDescription &c = w.controls[i];
    std::printf(
        "  {\"name\": \"%s\", \"kind\": \"%s\", \"rect\": [%d, %d, %d, %d], "
        "\"text_gbk\": \"%s\", \"shown\": %s, \"enabled\": %s, "
        "\"colour\": [%d, %d, %d], \"font_height\": %d, \"wrapped\": %s}%s\n",
        c.name, KindName(c.kind), c.rect.left, c.rect.top, c.rect.width,
        c.rect.height, Hex(c.initial_text).c_str(), c.shown ? "true" : "false",
        c.enabled ? "true" : "false", c.text_colour.red, c.text_colour.green,
        c.text_colour.blue, c.font_height,
        c.layout == cdk::TextLayout::kWrappedFromTop ? "true" : "false",
        i + 1 < w.controls.size() ? "," : "");
  }
  std::printf(" ]}\n");
  return 0;
}
