// 复制 and 更新: what reaches the clipboard and the desktop, at any moment of
// the poll, and that neither touches anything else.
#include <optional>
#include <string>
#include <vector>

#include "retrieval_run.h"

namespace cdk::test {
namespace {

using ::testing::ElementsAre;

struct CopyCase {
  const char *name;
  bool poll;                       // 获取 at 0, so a tick runs at 5000
  FakeResponse page;               // what the tick's request answers
  std::optional<FakeStep> failing; // the network from the tick on
  bool held;                       // another program holds the clipboard
  Text clipboard;                  // after 复制 at 6000
};

TEST(CopyTest, CopyPutsWhatTheCodeBoxHoldsOnTheClipboard) {
  const FakeResponse code_page{.body = PageWithCode("AB12CD34")};
  const CopyCase cases[] = {
      {"before any poll", false, {}, {}, false, kInitialCodeBox},
      {"after a poll that found a code",
       true,
       code_page,
       {},
       false,
       "AB12CD34"},
      {"after a poll that found a code with Chinese in it",
       true,
       {.body = PageWithCode(kChineseCode)},
       {},
       false,
       kChineseCode},
      {"after a poll that found no code",
       true,
       {.body = PageWithCode("00000000")},
       {},
       false,
       "00000000"},
      {"after a failed poll: an empty text, the old contents gone", true,
       code_page, FakeStep::kConnect, false, ""},
      {"after a page without markers: an empty text",
       true,
       {.body = "<p>nothing</p>"},
       {},
       false,
       ""},
      {"while another program holds the clipboard",
       true,
       code_page,
       {},
       true,
       "old contents"},
      {"held, before any poll", false, {}, {}, true, "old contents"},
  };
  for (const CopyCase &c : cases) {
    SCOPED_TRACE(c.name);
    RetrievalRun run;
    run.Serve(kCurrentVersionPage, c.page);
    if (c.failing) {
      run.NetworkFailsAt(1, *c.failing);
    }
    run.platform.PutOnClipboard("old contents");
    run.platform.HoldClipboard(c.held);
    if (c.poll) {
      run.platform.ClickAt(0, Control::按钮1);
    }
    Text code_box, status_box;
    run.platform.At(5999, [&] {
      code_box = EditText(Control::编辑框1);
      status_box = EditText(Control::编辑框4);
    });
    run.platform.ClickAt(6000, Control::按钮2);
    run.platform.CloseAt(6001);
    EXPECT_EQ(run.Run(), 0);

    EXPECT_EQ(run.platform.Clipboard().view(), c.clipboard.view());
    // Nothing shown, nothing else changed.
    EXPECT_TRUE(run.platform.MessageBoxes().empty());
    EXPECT_TRUE(run.platform.OpenedUrls().empty());
    EXPECT_EQ(run.Shown(Control::编辑框1).view(), code_box.view());
    EXPECT_EQ(run.Shown(Control::编辑框4).view(), status_box.view());
  }
}

TEST(CopyTest, CopyDuringAFetchTakesWhatTheBoxHoldsThen) {
  // Each tick's page comes four bytes a second, four reads from 5000 and
  // from 10000; 复制 is pressed in the middle of both.
  RetrievalRun run;
  run.Serve(kCurrentVersionPage);
  run.http.QueueResponse({.body = "====AB12====", .piece = 4});
  run.http.QueueResponse({.body = "====CD34====", .piece = 4});
  run.http.SlowReads(2, 1000);
  run.http.SlowReads(3, 1000);
  std::vector<std::string> copied;
  auto note_clipboard = [&] {
    copied.emplace_back(run.platform.Clipboard().view());
  };
  run.platform.ClickAt(0, Control::按钮1);
  run.platform.ClickAt(6500, Control::按钮2);
  run.platform.At(6500, note_clipboard);
  run.platform.ClickAt(11500, Control::按钮2);
  run.platform.At(11500, note_clipboard);
  run.platform.CloseAt(14500);
  EXPECT_EQ(run.Run(), 0);

  EXPECT_THAT(run.RequestTimes(), ElementsAre(0, 5000, 10000));
  EXPECT_THAT(copied, ElementsAre(std::string(kInitialCodeBox), "AB12"));
  EXPECT_EQ(run.Shown(Control::编辑框1).view(), "CD34");
  // Both copies ran inside a fetch, between its reads.
  EXPECT_THAT(run.platform.Log(),
              testing::IsSupersetOf({"7000 click 按钮2", "12000 click 按钮2"}));
}

TEST(UpdateTest, UpdateOpensTheUpdatePageEachTime) {
  RetrievalRun run;
  run.Serve(kCurrentVersionPage, {.body = PageWithCode("AB12")});
  run.platform.PutOnClipboard("old contents");
  run.platform.ClickAt(100, Control::按钮3);
  run.platform.ClickAt(200, Control::按钮3);
  run.platform.ClickAt(4000, Control::按钮3);
  run.platform.CloseAt(30000);
  EXPECT_EQ(run.Run(), 0);

  EXPECT_THAT(run.platform.OpenedUrls(),
              ElementsAre(Text(UpdatePageUrl), Text(UpdatePageUrl),
                          Text(UpdatePageUrl)));
  EXPECT_EQ(Text(UpdatePageUrl).view(),
            "http://cdk.example/download/update.html");
  // Nothing else: no request, no box, no timer, the clipboard untouched.
  EXPECT_THAT(run.RequestTimes(), ElementsAre(0));
  EXPECT_TRUE(run.platform.MessageBoxes().empty());
  EXPECT_THAT(run.platform.Log(),
              testing::Not(testing::Contains(testing::HasSubstr(" timer"))));
  EXPECT_EQ(run.platform.Clipboard().view(), "old contents");
  EXPECT_EQ(run.Shown(Control::编辑框1).view(), Text(kInitialCodeBox).view());
  EXPECT_EQ(run.Shown(Control::编辑框4).view(), Text(kInitialStatusBox).view());
}

} // namespace
} // namespace cdk::test
