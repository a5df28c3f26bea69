// The headless backend's own rules: tick priority and lateness, what goes
// with the window, the order scripted items are released in, what an open
// message box dispatches, and a script that can never end.
#include <string>
#include <vector>

#include "scripted_run.h"

namespace cdk::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

class HeadlessPlatformTest : public ScriptedRun {
protected:
  void Mark(const std::string &what) {
    g_handled.push_back(std::to_string(platform.Now()) + " " + what);
  }
};

TEST_F(HeadlessPlatformTest, TickWaitsBehindEveryOtherEvent) {
  platform.At(0, [] { SetTimerPeriod(Control::时钟1, 5000); });
  platform.ClickAt(5000, Control::按钮2);
  platform.CloseAt(5001);
  EXPECT_EQ(Run(), 0);
  EXPECT_THAT(g_handled, ElementsAre("0 created", "5000 click 按钮2",
                                     "5000 tick", "5001 destroyed"));
}

struct LateCase {
  int64_t first_tick_takes_ms; // without letting events run
  std::vector<int64_t> ticks;  // until 21000 ms
};

TEST_F(HeadlessPlatformTest, LateTickNeitherPilesUpNorBursts) {
  const LateCase cases[] = {
      {4999, {5000, 10000, 15000, 20000}}, {5000, {5000, 10000, 15000, 20000}},
      {5001, {5000, 10001, 15000, 20000}}, {10000, {5000, 15000, 20000}},
      {12000, {5000, 17000, 20000}},
  };
  for (const LateCase &c : cases) {
    SCOPED_TRACE(c.first_tick_takes_ms);
    SetUp();
    HeadlessPlatform run;
    g_platform = &run;
    g_on.tick = [&run, &c] {
      if (run.Now() == 5000) {
        run.Advance(c.first_tick_takes_ms);
      }
    };
    run.At(0, [] { SetTimerPeriod(Control::时钟1, 5000); });
    run.CloseAt(21000);
    EXPECT_EQ(RunProgram(run, kScriptedBindings), 0);
    EXPECT_THAT(TickTimes(), ElementsAreArray(c.ticks));
  }
}

TEST_F(HeadlessPlatformTest, DueTickGoesWithTheWindow) {
  on.created = [&] {
    SetTimerPeriod(Control::时钟1, 1000);
    platform.Advance(1500);
    platform.QueueCloseRequest();
    ProcessEvents();
    EXPECT_EQ(platform.NextTickDue(), std::nullopt);
    EXPECT_EQ(platform.PeekEvent(), Pending::kNothing);
  };
  EXPECT_EQ(Run(), 0);
  EXPECT_THAT(platform.Log(), ElementsAre("0 build", "0 timer 1000",
                                          "1500 close", "1500 destroy"));
}

TEST_F(HeadlessPlatformTest, ScriptReleasesInTimeOrderAndInputOnceShown) {
  platform.ClickAt(0, Control::按钮1);
  platform.At(100, [&] { Mark("a"); });
  platform.At(50, [&] { Mark("b"); });
  platform.At(100, [&] { Mark("c"); });
  platform.CloseAt(200);
  on.created = [&] {
    platform.Advance(100);
    ProcessEvents(); // the hidden window takes no click yet
  };
  EXPECT_EQ(Run(), 0);
  EXPECT_THAT(g_handled, ElementsAre("0 created", "100 b", "100 a", "100 c",
                                     "100 click 按钮1", "200 destroyed"));
}

TEST_F(HeadlessPlatformTest, OpenBoxDispatchesTicksRepaintsAndActionsOnly) {
  platform.OnMessageBox([&](const HeadlessPlatform::BoxRecord &box) {
    EXPECT_EQ(box.text, Text("x"));
    platform.QueueClick(Control::按钮2);
    platform.QueueRepaint();
    platform.At(1200, [&] { Mark("action"); });
    platform.Advance(1500);
    platform.DispatchModalEvents();
    EXPECT_EQ(platform.Repaints(), 1);
  });
  on.created = [] {
    SetTimerPeriod(Control::时钟1, 1000);
    ShowMessage(Text("x"));
  };
  platform.CloseAt(1600);
  EXPECT_EQ(Run(), 0);
  EXPECT_THAT(g_handled, ElementsAre("0 created", "1500 action", "1500 tick",
                                     "1500 click 按钮2", "1600 destroyed"));
}

TEST_F(HeadlessPlatformTest, ClipboardHeldElsewhereKeepsItsContents) {
  on.click2 = [&] {
    platform.PutOnClipboard(Text("old"));
    platform.HoldClipboard(true);
    EXPECT_FALSE(SetClipboardText(Text("new")));
    EXPECT_EQ(platform.Clipboard(), Text("old"));
    platform.HoldClipboard(false);
    EXPECT_TRUE(SetClipboardText(Text("new")));
    EXPECT_EQ(platform.Clipboard(), Text("new"));
  };
  platform.ClickAt(0, Control::按钮2);
  platform.CloseAt(1);
  EXPECT_EQ(Run(), 0);
}

using HeadlessPlatformDeathTest = HeadlessPlatformTest;

TEST_F(HeadlessPlatformDeathTest, ScriptThatNeverClosesFailsLoudly) {
  EXPECT_DEATH(Run(), "nothing is scheduled and no timer runs");
  platform.At(0, [] { SetTimerPeriod(Control::时钟1, 5000); });
  platform.SetTimeLimit(60000);
  EXPECT_DEATH(Run(), "past its time limit");
}

} // namespace
} // namespace cdk::test
