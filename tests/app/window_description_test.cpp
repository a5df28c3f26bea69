// The main window's data against the window as it must look: every control's
// place, state, colour, font and text, the two long texts byte for byte.
#include <gtest/gtest.h>

#include <string_view>

#include "app/window_description.h"
#include "window_description_test_texts.h"

namespace cdk::test {
namespace {

// Eight em dashes (A1 AA), 分界线, three em dashes, an ASCII hyphen, six em
// dashes.
constexpr std::string_view kDivider =
    "\xa1\xaa\xa1\xaa\xa1\xaa\xa1\xaa\xa1\xaa\xa1\xaa\xa1\xaa\xa1\xaa"
    "\xb7\xd6\xbd\xe7\xcf\xdf"
    "\xa1\xaa\xa1\xaa\xa1\xaa-"
    "\xa1\xaa\xa1\xaa\xa1\xaa\xa1\xaa\xa1\xaa\xa1\xaa";

struct Expected {
  Control control;
  Kind kind;
  const char *name;
  Rect rect;
  std::string_view text;
  bool shown;
  bool enabled;
  Rgb colour; // edit boxes and labels
  int font_height;
  TextLayout layout;
};

constexpr auto kLine = TextLayout::kSingleLine;

const Expected kControls[] = {
    {Control::标签1,
     Kind::Label,
     "标签1",
     {8, 8, 32, 24},
     kCodeLabel,
     true,
     true,
     {255, 0, 0},
     16,
     kLine},
    {Control::编辑框1,
     Kind::EditBox,
     "编辑框1",
     {40, 8, 176, 24},
     kCodeBoxInitial,
     true,
     false,
     {192, 96, 0},
     0,
     kLine},
    {Control::标签4,
     Kind::Label,
     "标签4",
     {8, 32, 32, 24},
     kStatusLabel,
     true,
     true,
     {255, 0, 0},
     12,
     kLine},
    {Control::编辑框4,
     Kind::EditBox,
     "编辑框4",
     {40, 32, 176, 24},
     kStatusBoxInitial,
     true,
     false,
     {192, 96, 0},
     0,
     kLine},
    {Control::按钮1,
     Kind::Button,
     "按钮1",
     {8, 64, 56, 24},
     kGetButton,
     true,
     true,
     {},
     0,
     kLine},
    {Control::按钮2,
     Kind::Button,
     "按钮2",
     {80, 64, 56, 24},
     kCopyButton,
     true,
     true,
     {},
     0,
     kLine},
    {Control::按钮3,
     Kind::Button,
     "按钮3",
     {152, 64, 56, 24},
     kUpdateButton,
     true,
     true,
     {},
     0,
     kLine},
    {Control::标签2,
     Kind::Label,
     "标签2",
     {0, 96, 232, 16},
     kDivider,
     true,
     true,
     {255, 0, 255},
     0,
     kLine},
    {Control::标签3,
     Kind::Label,
     "标签3",
     {0, 120, 232, 80},
     kNotice,
     true,
     true,
     {144, 0, 255},
     0,
     TextLayout::kWrappedFromTop},
    {Control::编辑框3,
     Kind::EditBox,
     "编辑框3",
     {16, 136, 40, 32},
     "",
     false,
     true,
     {0, 0, 0},
     0,
     kLine},
    {Control::编辑框2,
     Kind::EditBox,
     "编辑框2",
     {80, 136, 40, 32},
     kOwnVersion,
     false,
     true,
     {0, 0, 0},
     0,
     kLine},
    {Control::时钟1,
     Kind::Timer,
     "时钟1",
     {152, 144, 24, 24},
     "",
     false,
     true,
     {},
     0,
     kLine},
};

TEST(WindowDescriptionTest, Window) {
  const WindowDescription &w = MainWindowDescription();
  EXPECT_EQ(std::string_view(w.caption), kCaption);
  EXPECT_EQ(w.outer_width, 238);
  EXPECT_EQ(w.outer_height, 229);
  EXPECT_EQ(w.client_width, 232);
  EXPECT_EQ(w.client_height, 200);
}

TEST(WindowDescriptionTest, EveryControl) {
  ASSERT_EQ(std::size(kControls), size_t{kControlCount});
  for (const Expected &e : kControls) {
    SCOPED_TRACE(e.name);
    const ControlDescription &d = DescriptionOf(e.control);
    EXPECT_EQ(d.control, e.control);
    EXPECT_EQ(d.kind, e.kind);
    EXPECT_STREQ(d.name, e.name);
    EXPECT_EQ(d.rect.left, e.rect.left);
    EXPECT_EQ(d.rect.top, e.rect.top);
    EXPECT_EQ(d.rect.width, e.rect.width);
    EXPECT_EQ(d.rect.height, e.rect.height);
    EXPECT_EQ(std::string_view(d.initial_text), e.text);
    EXPECT_EQ(d.shown, e.shown);
    EXPECT_EQ(d.enabled, e.enabled);
    if (e.kind == Kind::Label || e.kind == Kind::EditBox) {
      EXPECT_EQ(d.text_colour.red, e.colour.red);
      EXPECT_EQ(d.text_colour.green, e.colour.green);
      EXPECT_EQ(d.text_colour.blue, e.colour.blue);
    }
    EXPECT_EQ(d.font_height, e.font_height);
    EXPECT_EQ(d.layout, e.layout);
    // Nothing reaches past the client area.
    EXPECT_LE(d.rect.left + d.rect.width, 232);
    EXPECT_LE(d.rect.top + d.rect.height, 200);
  }
}

TEST(WindowDescriptionTest, NoticeHasItsOneAsciiCommaAndHyphen) {
  std::string_view notice = DescriptionOf(Control::标签3).initial_text;
  EXPECT_EQ(notice.find(','), notice.rfind(','));
  EXPECT_NE(notice.find("17-22"), std::string_view::npos);
  EXPECT_EQ(notice.find('\n'), std::string_view::npos);
}

} // namespace
} // namespace cdk::test
