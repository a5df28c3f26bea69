// The version check at start: which posted versions bring up the message,
// what the box and 获取 look like meanwhile, and that no poll can follow.
#include <optional>
#include <string>
#include <vector>

#include "retrieval/handlers.h"
#include "retrieval_run.h"

namespace cdk::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::Not;

struct VersionCase {
  const char *name;
  std::string page;                // the version check's page
  std::optional<FakeStep> failing; // the network from the start
  bool message;                    // the new-version message comes up
  Text posted;                     // 编辑框3 afterwards
};

// What the user sees while the message is up: the box alone, 获取 still
// usable-looking. Filled in by the hook.
struct WhileOpen {
  bool window_shown = true;
  bool get_enabled = false;
};

TEST(VersionCheckTest, PostedVersionsAgainstTheOwn) {
  const VersionCase cases[] = {
      {"the own version", kCurrentVersionPage, {}, false, "0.2"},
      {"the own version with the code block after it",
       PageWithCode("AB12"),
       {},
       false,
       "0.2"},
      {"0.20 is the same number", "<p>==0.20==</p>", {}, false, "0.20"},
      {"0.20000001 is the same single-precision number",
       "<p>==0.20000001==</p>",
       {},
       false,
       "0.20000001"},
      {"a blank before the closing marker",
       "<p>==0.2 ==</p>",
       {},
       false,
       "0.2 "},
      {"a blank after the opening marker",
       "<p>== 0.2==</p>",
       {},
       false,
       " 0.2"},
      {"a closing marker touching the code block",
       "<p>==0.2======AB12====</p>",
       {},
       false,
       "0.2"},
      {"a newer version", "<p>==0.3==</p>", {}, true, "0.3"},
      {"an older version", "<p>==0.1==</p>", {}, true, "0.1"},
      {"a word", "<p>==new==</p>", {}, true, "new"},
      {"the code block before the version block",
       "<p>====AB12====</p><p>==0.2==</p>",
       {},
       true,
       ""},
      {"no version marker at all", "<p>AB12</p>", {}, true, ""},
      {"one version marker", "<p>==0.2</p>", {}, true, ""},
      {"an empty page", "", {}, true, ""},
      {"no network", kCurrentVersionPage, FakeStep::kConnect, true, ""},
      {"no answer", kCurrentVersionPage, FakeStep::kSend, true, ""},
  };
  for (const VersionCase &c : cases) {
    SCOPED_TRACE(c.name);
    RetrievalRun run;
    run.Serve(c.page, {.body = PageWithCode("AB12")});
    if (c.failing) {
      run.http.Fail(*c.failing);
    }
    std::optional<WhileOpen> seen;
    run.platform.OnMessageBox([&](const HeadlessPlatform::BoxRecord &) {
      seen = WhileOpen{run.platform.WindowShown(),
                       run.platform.ControlEnabled(Control::按钮1)};
    });
    // 获取 pressed twice once the window is up; it polls only when enabled.
    run.platform.ClickAt(1000, Control::按钮1);
    run.platform.ClickAt(7000, Control::按钮1);
    run.platform.CloseAt(16001);
    EXPECT_EQ(run.Run(), 0);

    EXPECT_EQ(run.Shown(Control::编辑框3).view(), c.posted.view());
    EXPECT_EQ(run.Shown(Control::编辑框2).view(), "0.2"); // only read
    if (c.message) {
      ASSERT_EQ(run.platform.MessageBoxes().size(), 1u);
      const HeadlessPlatform::BoxRecord &box = run.platform.MessageBoxes()[0];
      EXPECT_EQ(box.caption.view(), Text(kUpdateCaption).view());
      EXPECT_EQ(box.text.view(), Text(kUpdateMessage).view());
      EXPECT_EQ(box.icon, MessageIcon::kNone);
      EXPECT_EQ(box.at_ms, 0);
      ASSERT_TRUE(seen.has_value());
      EXPECT_FALSE(seen->window_shown) << "the box stands alone";
      EXPECT_TRUE(seen->get_enabled) << "获取 is disabled only afterwards";
      // The clicks reach the greyed button and start nothing.
      EXPECT_THAT(run.platform.Log(),
                  ElementsAre("0 build", "0 box", "0 show", "1000 click 按钮1",
                              "7000 click 按钮1", "16001 close",
                              "16001 destroy", "16001 quit"));
      EXPECT_FALSE(run.platform.ControlEnabled(Control::按钮1));
      // No poll for the whole run: the version check's request only, and
      // the boxes keep their first texts.
      EXPECT_THAT(run.RequestTimes(), ElementsAre(0));
      EXPECT_EQ(run.Shown(Control::编辑框1).view(),
                Text(kInitialCodeBox).view());
      EXPECT_EQ(run.Shown(Control::编辑框4).view(),
                Text(kInitialStatusBox).view());
    } else {
      EXPECT_TRUE(run.platform.MessageBoxes().empty());
      EXPECT_FALSE(seen.has_value());
      EXPECT_TRUE(run.platform.ControlEnabled(Control::按钮1));
      EXPECT_THAT(run.RequestTimes(), ElementsAre(0, 6000, 11000, 16000));
      EXPECT_EQ(run.Shown(Control::编辑框1).view(), "AB12");
    }
  }
}

TEST(VersionCheckTest, RunsOnceBeforeTheWindowIsShown) {
  RetrievalRun run;
  run.Serve(kCurrentVersionPage);
  bool shown_during_fetch = true;
  run.http.WatchReads([&](const RecordedFetch &) {
    shown_during_fetch = run.platform.WindowShown();
  });
  run.platform.CloseAt(60000);
  EXPECT_EQ(run.Run(), 0);
  EXPECT_THAT(run.RequestTimes(), ElementsAre(0));
  EXPECT_FALSE(shown_during_fetch);
  EXPECT_THAT(run.platform.Log(), Not(Contains(EndsWith(" box"))));
}

TEST(VersionCheckTest, SlowFetchLetsOnlyRepaintsThrough) {
  // The page comes four bytes a second: eleven reads, 0 to 11000 ms. A
  // click scheduled meanwhile waits for the window; a repaint goes through.
  RetrievalRun run;
  run.http.QueueResponse(
      {.body = std::string(kVersionLine) + "<p>padding</p>", .piece = 4});
  run.http.SetDefaultResponse({.body = PageWithCode("AB12")});
  run.http.SlowReads(1, 1000);
  run.platform.At(0, [&] { run.platform.QueueRepaint(); });
  run.platform.ClickAt(500, Control::按钮1);
  run.platform.CloseAt(16001);
  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(run.platform.Repaints(), 1);
  EXPECT_TRUE(run.platform.MessageBoxes().empty());
  // The click reached 获取 once the window was up, so the poll runs from then.
  EXPECT_THAT(run.platform.Log(),
              testing::IsSupersetOf({"11000 show", "11000 click 按钮1"}));
  EXPECT_THAT(run.RequestTimes(), ElementsAre(0, 16000));
}

// The own version is what 编辑框2 holds, not the number in the caption.
void HandleWindowCreatedWithOwnVersion03() {
  SetEditText(Control::编辑框2, "0.3");
  HandleWindowCreated();
}

TEST(VersionCheckTest, OwnVersionComesFromTheHiddenBox) {
  const Binding bindings[] = {
      {EventKind::kCreated, {}, HandleWindowCreatedWithOwnVersion03},
  };
  const std::pair<std::string, bool> cases[] = {
      {"<p>==0.3==</p>", false},
      {"<p>==0.2==</p>", true},
  };
  for (const auto &[page, message] : cases) {
    SCOPED_TRACE(page);
    RetrievalRun run;
    run.Serve(page);
    run.platform.CloseAt(0);
    EXPECT_EQ(RunProgram(run.platform, bindings), 0);
    EXPECT_EQ(run.platform.MessageBoxes().size(), message ? 1u : 0u);
  }
}

TEST(VersionCheckTest, UpdateStillOpensThePageAfterTheMessage) {
  RetrievalRun run;
  run.Serve("<p>==0.3==</p>");
  run.platform.ClickAt(1000, Control::按钮3);
  run.platform.CloseAt(2000);
  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(run.platform.MessageBoxes().size(), 1u);
  EXPECT_THAT(run.platform.OpenedUrls(), ElementsAre(Text(UpdatePageUrl)));
}

} // namespace
} // namespace cdk::test
