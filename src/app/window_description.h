// The one window as data: its frame and its twelve controls with their
// places, initial texts, colours and fonts. Every backend builds from this.
#pragma once

#include <array>
#include <cstdint>

namespace cdk {

// The controls, named as the window description stores them.
enum class Control : uint8_t {
  标签1,
  编辑框1,
  标签4,
  编辑框4,
  按钮1,
  按钮2,
  按钮3,
  标签2,
  标签3,
  编辑框3,
  编辑框2,
  时钟1,
};
inline constexpr int kControlCount = 12;

enum class Kind : uint8_t { window, EditBox, Label, Button, Timer };

struct Rgb {
  uint8_t red, green, blue;
};

struct Rect {
  int left, top, width, height;
};

// How a label lays out its text; edit boxes and buttons have one layout each.
enum class TextLayout : uint8_t {
  kSingleLine,     // one line, left-aligned, vertically centred
  kWrappedFromTop, // wrapped to the width, from the top, clipped below
};

struct ControlDescription {
  Control control;
  Kind kind;
  const char *name; // UTF-8, e.g. "编辑框1": for accessibility and tests
  Rect rect;
  const char *initial_text; // GBK; empty for the timer
  bool shown;
  bool enabled;
  Rgb text_colour; // edit boxes and labels
  // Character height in pixels, weight 400, no face name; 0 means the
  // system's default GUI font.
  int font_height;
  TextLayout layout;
};

struct WindowDescription {
  const char *caption; // GBK
  int outer_width;     // frame and title bar included
  int outer_height;
  int client_width; // the extent the controls cover
  int client_height;
  std::array<ControlDescription, kControlCount> controls;
};

const WindowDescription &MainWindowDescription();

inline const ControlDescription &DescriptionOf(Control c) {
  return MainWindowDescription().controls[static_cast<int>(c)];
}

} // namespace cdk
