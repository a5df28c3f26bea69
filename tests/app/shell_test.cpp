// The shell core's rules, each checked through a whole scripted run: start-up
// order, the three properties, ProcessEvents, closing while a handler is
// suspended, and the fatal error.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/window_description.h"
#include "scripted_run.h"
#include "shell_test_texts.h"
#include "fatal_exit.h"
#include "text/fatal.h"

namespace cdk::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

class ShellTest : public ScriptedRun {};

TEST_F(ShellTest, StartUpDeliversCreatedWhileHiddenThenMovedResizedThenShows) {
  std::vector<bool> shown_during;
  auto note_shown = [&] { shown_during.push_back(platform.WindowShown()); };
  on.created = note_shown;
  on.moved = note_shown;
  on.resized = note_shown;
  platform.CloseAt(0);

  EXPECT_EQ(Run(), 0);
  // The platform raised moved and resized while building too; those are
  // dropped, so each shows up once, after created.
  EXPECT_THAT(g_handled,
              ElementsAre("0 created", "0 moved", "0 resized", "0 destroyed"));
  EXPECT_THAT(shown_during, ElementsAre(false, false, false));
  EXPECT_THAT(platform.Log(), ElementsAre("0 build", "0 show", "0 close",
                                          "0 destroy", "0 quit"));
}

TEST_F(ShellTest, WindowClosedDuringCreatedIsNeitherShownNorLooped) {
  on.created = [&] {
    platform.QueueCloseRequest();
    ProcessEvents();
    EXPECT_TRUE(QuitRequested());
  };
  EXPECT_EQ(Run(), 0);
  EXPECT_THAT(g_handled, ElementsAre("0 created", "0 destroyed"));
  // No loop ran, so no quit request was posted.
  EXPECT_THAT(platform.Log(), ElementsAre("0 build", "0 close", "0 destroy"));
}

TEST_F(ShellTest, ControlsStartWithTheirInitialTexts) {
  on.created = [] {
    EXPECT_EQ(EditText(Control::编辑框1), Text(kCodeBoxInitial));
    EXPECT_EQ(EditText(Control::编辑框2), Text(kOwnVersion));
    EXPECT_EQ(EditText(Control::编辑框3), Text());
  };
  platform.CloseAt(0);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(platform.DisplayedText(Control::编辑框1), Text(kCodeBoxInitial));
  EXPECT_FALSE(platform.ControlEnabled(Control::编辑框1));
  EXPECT_FALSE(platform.ControlVisible(Control::编辑框2));
}

TEST_F(ShellTest, EditTextReadsBackExactlyWhatWasWritten) {
  const std::string long_text(100000, 'x');
  const Text cases[] = {
      Text(""),
      Text("ABCD1234"),
      Text("\xb4\xfa\xc2\xeb"), // 代码 in GBK
      Text("\x80\xff\x81"),     // bytes no code page pairs up
      Text("\xa1"),             // a lone lead byte
      Text(" 00000000 "),
      Text(long_text),
  };
  on.created = [&] {
    for (const Text &text : cases) {
      for (Control box : {Control::编辑框1, Control::编辑框3}) {
        SetEditText(box, text);
        EXPECT_EQ(EditText(box).view(), text.view());
        EXPECT_EQ(g_platform->DisplayedText(box).view(), text.view());
      }
    }
  };
  platform.CloseAt(0);
  EXPECT_EQ(Run(), 0);
}

// Each write of the period happens at a virtual time; the ticks are handled
// at exactly the times the timer rules give.
struct PeriodCase {
  const char *name;
  std::vector<std::pair<int64_t, int32_t>> writes; // at ms, period
  std::vector<int64_t> ticks;                      // until 16000 ms
};

TEST_F(ShellTest, TimerPeriodWrites) {
  const PeriodCase cases[] = {
      {"first tick one period after the write", {{1234, 5000}}, {6234, 11234}},
      {"the same period again keeps the rhythm",
       {{0, 5000}, {3000, 5000}},
       {5000, 10000, 15000}},
      {"another period restarts from the write",
       {{0, 5000}, {3000, 2000}},
       {5000, 7000, 9000, 11000, 13000, 15000}},
      {"zero stops", {{0, 5000}, {7000, 0}}, {5000}},
      {"negative stops", {{0, 5000}, {7000, -1}}, {5000}},
      {"negative on a stopped timer does nothing", {{0, -5000}}, {}},
      {"stopped and started again",
       {{0, 5000}, {7000, 0}, {8000, 5000}},
       {5000, 13000}},
  };
  for (const PeriodCase &c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    HeadlessPlatform run;
    g_platform = &run;
    for (auto [at, period] : c.writes) {
      run.At(at, [period] { SetTimerPeriod(Control::时钟1, period); });
    }
    run.CloseAt(16000);
    EXPECT_EQ(RunProgram(run, kScriptedBindings), 0);
    EXPECT_THAT(TickTimes(), ElementsAreArray(c.ticks));
  }
}

struct ButtonCase {
  const char *name;
  std::function<void()> before; // runs before the click is dispatched
  Control clicked;
  std::vector<std::string> handled;
};

TEST_F(ShellTest, DisabledButtonDeliversNoClick) {
  const ButtonCase cases[] = {
      {"disabled",
       [] { SetButtonDisabled(Control::按钮1, true); },
       Control::按钮1,
       {}},
      {"disabled, then enabled again",
       [] {
         SetButtonDisabled(Control::按钮1, true);
         SetButtonDisabled(Control::按钮1, false);
       },
       Control::按钮1,
       {"1 click 按钮1"}},
      {"another button disabled",
       [] { SetButtonDisabled(Control::按钮1, true); },
       Control::按钮2,
       {"1 click 按钮2"}},
  };
  for (const ButtonCase &c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    HeadlessPlatform run;
    g_platform = &run;
    run.At(0, c.before);
    run.ClickAt(1, c.clicked);
    run.CloseAt(2);
    EXPECT_EQ(RunProgram(run, kScriptedBindings), 0);
    std::erase(g_handled, "0 created");
    std::erase(g_handled, "2 destroyed");
    EXPECT_THAT(g_handled, ElementsAreArray(c.handled));
  }
}

TEST_F(ShellTest, ClickQueuedBeforeTheButtonWasDisabledIsDropped) {
  on.created = [&] { platform.QueueClick(Control::按钮1); };
  on.moved = [] { SetButtonDisabled(Control::按钮1, true); };
  platform.CloseAt(0);
  EXPECT_EQ(Run(), 0);
  EXPECT_THAT(g_handled, ElementsAre("0 created", "0 moved", "0 destroyed"));
  EXPECT_FALSE(platform.ControlEnabled(Control::按钮1)); // greyed as well
}

TEST_F(ShellTest, ProcessEventsDispatchesWhatWaitsAndNeverWaits) {
  on.click1 = [&] {
    ProcessEvents(); // nothing waits, the timer is not due
    EXPECT_EQ(platform.Now(), 1000);
    platform.QueueClick(Control::按钮2);
    platform.QueueRepaint();
    ProcessEvents();
    EXPECT_EQ(platform.Repaints(), 1);
  };
  platform.At(0, [] { SetTimerPeriod(Control::时钟1, 5000); });
  platform.ClickAt(1000, Control::按钮1);
  platform.CloseAt(2000);
  EXPECT_EQ(Run(), 0);
  EXPECT_THAT(g_handled, ElementsAre("0 created", "1000 click 按钮1",
                                     "1000 click 按钮2", "2000 destroyed"));
}

TEST_F(ShellTest, TickDueDuringAFetchRunsNestedAndKeepsTheRhythm) {
  on.tick = [&] {
    if (g_depth > 1) {
      return; // the nested tick does no fetch of its own
    }
    // A fetch: six reads of one second, events processed before each.
    for (int read = 0; read < 6; ++read) {
      platform.Advance(1000);
      ProcessEvents();
    }
    g_handled.push_back(std::to_string(platform.Now()) + " outer tick ends");
  };
  platform.At(0, [] { SetTimerPeriod(Control::时钟1, 5000); });
  platform.CloseAt(12000);
  EXPECT_EQ(Run(), 0);
  EXPECT_THAT(g_handled,
              ElementsAre("0 created", "5000 tick", "10000 tick",
                          "11000 outer tick ends", "12000 destroyed"));
  EXPECT_EQ(platform.NextTickDue(), std::nullopt); // went with the window
}

TEST_F(ShellTest, WindowClosedWhileAHandlerIsSuspended) {
  bool resumed = false;
  on.click1 = [&] {
    SetEditText(Control::编辑框1, Text("before"));
    // A fetch that stops reading once the quit request is queued.
    while (!QuitRequested()) {
      platform.Advance(1000);
      ProcessEvents();
    }
    resumed = true;
    EXPECT_EQ(platform.Now(), 3000);
    EXPECT_EQ(EditText(Control::编辑框1), Text());
    EXPECT_EQ(EditText(Control::编辑框2), Text());
    SetEditText(Control::编辑框1, Text("after"));
    EXPECT_EQ(EditText(Control::编辑框1), Text());
    SetButtonDisabled(Control::按钮1, true);
    SetTimerPeriod(Control::时钟1, 5000);
    ShowMessage(Text("late"));
    EXPECT_FALSE(SetClipboardText(Text("late")));
    OpenUrl(Text("http://127.0.0.1/"));
    ProcessEvents(); // the quit request stays queued
  };
  platform.ClickAt(0, Control::按钮1);
  platform.CloseAt(2500);

  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(resumed);
  EXPECT_THAT(g_handled,
              ElementsAre("0 created", "0 click 按钮1", "3000 destroyed"));
  // Nothing reached the platform after the window had gone.
  EXPECT_THAT(platform.Log(),
              ElementsAre("0 build", "0 show", "0 click 按钮1", "3000 close",
                          "3000 destroy", "3000 quit"));
  EXPECT_THAT(platform.MessageBoxes(), IsEmpty());
  EXPECT_THAT(platform.OpenedUrls(), IsEmpty());
  EXPECT_EQ(platform.Clipboard(), Text());
}

TEST_F(ShellTest, MessageBoxAndUrlGoToThePlatform) {
  on.click2 = [&] {
    ShowMessage(Text(kNewVersion));
    OpenUrl(Text("http://127.0.0.1:8710/update.html"));
  };
  platform.ClickAt(0, Control::按钮2);
  platform.CloseAt(1);
  EXPECT_EQ(Run(), 0);
  ASSERT_EQ(platform.MessageBoxes().size(), 1u);
  const HeadlessPlatform::BoxRecord &box = platform.MessageBoxes()[0];
  EXPECT_EQ(box.caption, Text(kInfoCaption));
  EXPECT_EQ(box.text, Text(kNewVersion));
  EXPECT_EQ(box.icon, MessageIcon::kNone);
  EXPECT_THAT(platform.OpenedUrls(),
              ElementsAre(Text("http://127.0.0.1:8710/update.html")));
}

TEST_F(ShellTest, WithoutAPlatformNothingHappens) {
  // The page fetch's own tests call ProcessEvents with no window at all,
  // and a finished run leaves none behind.
  for (int run = 0; run < 2; ++run) {
    ProcessEvents();
    EXPECT_FALSE(QuitRequested());
    EXPECT_EQ(EditText(Control::编辑框2), Text());
    SetEditText(Control::编辑框1, Text("x"));
    SetTimerPeriod(Control::时钟1, 5000);
    EXPECT_FALSE(SetClipboardText(Text("x")));
    HeadlessPlatform p;
    g_platform = &p;
    p.CloseAt(0);
    EXPECT_EQ(RunProgram(p, kScriptedBindings), 0);
  }
}

// The fatal-error box as the platform was asked to show it, written to
// stderr by the box hook so the parent of the death test can check it.
std::string Hex(std::string_view bytes) {
  std::string out;
  for (unsigned char b : bytes) {
    out += "0123456789abcdef"[b >> 4];
    out += "0123456789abcdef"[b & 15];
  }
  return out;
}

std::string BoxLine(std::string_view caption, std::string_view text,
                    MessageIcon icon) {
  return "box caption=" + Hex(caption) + " text=" + Hex(text) +
         " icon=" + std::to_string(static_cast<int>(icon));
}

struct FatalCase {
  const char *name;
  std::function<void(HeadlessPlatform &)> script;
  bool fails_again_while_open;
  const char *box_text;
};

using ShellDeathTest = ShellTest;

TEST_F(ShellDeathTest, FatalErrorShowsTheBoxThenExitsMinusOne) {
  const FatalCase cases[] = {
      {"raised in a tick nested in a click; nothing runs after it",
       [](HeadlessPlatform &p) {
         g_on.click1 = [&p] {
           SetTimerPeriod(Control::时钟1, 1000);
           p.Advance(1000);
           ProcessEvents();
           std::_Exit(4); // the suspended handler must not resume
         };
         g_on.tick = [] {
           static int ticks = 0;
           if (++ticks > 1) {
             std::_Exit(5); // no tick while the box is open
           }
           FatalError(Text(kFatalMessage));
         };
         p.ClickAt(0, Control::按钮1);
       },
       false, kFatalText},
      {"raised again while its box is open (memory still short)",
       [](HeadlessPlatform &p) {
         g_on.click1 = [] { FatalError(Text(kFatalMessage)); };
         p.ClickAt(0, Control::按钮1);
       },
       true, kFatalText},
      {"the window cannot be built",
       [](HeadlessPlatform &p) {
         p.FailBuildWindow(true);
         g_on.created = [] { std::_Exit(3); };
       },
       false, kBuildFailedText},
  };
  for (const FatalCase &c : cases) {
    SCOPED_TRACE(c.name);
    auto run = [&c] {
      HeadlessPlatform p;
      g_platform = &p;
      int boxes = 0;
      p.OnMessageBox([&](const HeadlessPlatform::BoxRecord &box) {
        if (++boxes > 1) {
          std::_Exit(6);
        }
        std::fprintf(
            stderr, "%s\n",
            BoxLine(box.caption.view(), box.text.view(), box.icon).c_str());
        // While the box is open, time passes and what the box dispatches
        // is dispatched; then the user dismisses it.
        p.Advance(5000);
        p.DispatchModalEvents();
        if (c.fails_again_while_open) {
          FatalError(Text("again"));
        }
      });
      c.script(p);
      p.CloseAt(100000);
      RunProgram(p, kScriptedBindings);
      std::_Exit(7);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(cdk::test::kFatalExitStatus),
                BoxLine(kErrorCaption, c.box_text, MessageIcon::kError));
  }
}

TEST_F(ShellDeathTest, FatalErrorAfterTheRunGoesToStderr) {
  auto run = [this] {
    platform.CloseAt(0);
    Run();
    FatalError(Text("no window left"));
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(cdk::test::kFatalExitStatus), "no window left\r\n");
}

} // namespace
} // namespace cdk::test
