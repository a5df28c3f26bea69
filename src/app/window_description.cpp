// The main window's data: every backend builds the same window from it.
#include "app/window_description.h"

#include "window_texts.h"

namespace cdk {

namespace {

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kMagenta{255, 0, 255};
constexpr Rgb kViolet{144, 0, 255};
constexpr Rgb kCodeOrange{192, 96, 0};

constexpr int kDefaultFont = 0;
constexpr auto kLine = TextLayout::kSingleLine;
constexpr auto kWrapped = TextLayout::kWrappedFromTop;

// In Control order: MainWindowDescription().controls[c] describes c.
constexpr WindowDescription kMainWindow{
    kCaption,
    238,
    229,
    232,
    200,
    {{
        {Control::标签1,
         Kind::Label,
         "标签1",
         {8, 8, 32, 24},
         kCodeLabel,
         true,
         true,
         kRed,
         16,
         kLine},
        {Control::编辑框1,
         Kind::EditBox,
         "编辑框1",
         {40, 8, 176, 24},
         kCodeBoxInitial,
         true,
         false,
         kCodeOrange,
         kDefaultFont,
         kLine},
        {Control::标签4,
         Kind::Label,
         "标签4",
         {8, 32, 32, 24},
         kStatusLabel,
         true,
         true,
         kRed,
         12,
         kLine},
        {Control::编辑框4,
         Kind::EditBox,
         "编辑框4",
         {40, 32, 176, 24},
         kStatusBoxInitial,
         true,
         false,
         kCodeOrange,
         kDefaultFont,
         kLine},
        {Control::按钮1,
         Kind::Button,
         "按钮1",
         {8, 64, 56, 24},
         kGetButton,
         true,
         true,
         kBlack,
         kDefaultFont,
         kLine},
        {Control::按钮2,
         Kind::Button,
         "按钮2",
         {80, 64, 56, 24},
         kCopyButton,
         true,
         true,
         kBlack,
         kDefaultFont,
         kLine},
        {Control::按钮3,
         Kind::Button,
         "按钮3",
         {152, 64, 56, 24},
         kUpdateButton,
         true,
         true,
         kBlack,
         kDefaultFont,
         kLine},
        {Control::标签2,
         Kind::Label,
         "标签2",
         {0, 96, 232, 16},
         kDivider,
         true,
         true,
         kMagenta,
         kDefaultFont,
         kLine},
        {Control::标签3,
         Kind::Label,
         "标签3",
         {0, 120, 232, 80},
         kNotice,
         true,
         true,
         kViolet,
         kDefaultFont,
         kWrapped},
        {Control::编辑框3,
         Kind::EditBox,
         "编辑框3",
         {16, 136, 40, 32},
         "",
         false,
         true,
         kBlack,
         kDefaultFont,
         kLine},
        {Control::编辑框2,
         Kind::EditBox,
         "编辑框2",
         {80, 136, 40, 32},
         kOwnVersion,
         false,
         true,
         kBlack,
         kDefaultFont,
         kLine},
        {Control::时钟1,
         Kind::Timer,
         "时钟1",
         {152, 144, 24, 24},
         "",
         false,
         true,
         kBlack,
         kDefaultFont,
         kLine},
    }},
};

constexpr bool InControlOrder() {
  for (int i = 0; i < kControlCount; ++i) {
    if (static_cast<int>(kMainWindow.controls[i].control) != i) {
      return false;
    }
  }
  return true;
}
static_assert(InControlOrder(), "DescriptionOf indexes by Control");

} // namespace

const WindowDescription &MainWindowDescription() { return kMainWindow; }

} // namespace cdk
