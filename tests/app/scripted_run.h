// A test fixture that runs the real shell core on the headless backend with
// handlers the test sets per event, and records every handler call.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/headless/headless_platform.h"
#include "app/shell.h"

namespace cdk::test {

struct ScriptedHandlers {
  std::function<void()> created, moved, resized, destroyed, tick;
  std::function<void()> click1, click2, click3;
};

inline ScriptedHandlers g_on;
inline HeadlessPlatform *g_platform = nullptr;
inline std::vector<std::string> g_handled; // "<virtual ms> <event>"
inline int g_depth = 0;                    // handlers on the stack

inline void Handle(const char *event, const std::function<void()> &body) {
  g_handled.push_back(std::to_string(g_platform->Now()) + " " + event);
  ++g_depth;
  if (body) {
    body();
  }
  --g_depth;
}

inline void OnCreated() { Handle("created", g_on.created); }
// Moved and resized come with every start; they are recorded only when the
// test gives them a handler.
inline void OnMoved() {
  if (g_on.moved) {
    Handle("moved", g_on.moved);
  }
}
inline void OnResized() {
  if (g_on.resized) {
    Handle("resized", g_on.resized);
  }
}
inline void OnDestroyed() { Handle("destroyed", g_on.destroyed); }
inline void OnTick() { Handle("tick", g_on.tick); }
inline void OnClick1() { Handle("click 按钮1", g_on.click1); }
inline void OnClick2() { Handle("click 按钮2", g_on.click2); }
inline void OnClick3() { Handle("click 按钮3", g_on.click3); }

inline constexpr Binding kScriptedBindings[] = {
    {EventKind::kCreated, {}, OnCreated},
    {EventKind::kMoved, {}, OnMoved},
    {EventKind::kResized, {}, OnResized},
    {EventKind::kDestroyed, {}, OnDestroyed},
    {EventKind::kTick, {}, OnTick},
    {EventKind::kClick, Control::按钮1, OnClick1},
    {EventKind::kClick, Control::按钮2, OnClick2},
    {EventKind::kClick, Control::按钮3, OnClick3},
};

class ScriptedRun : public ::testing::Test {
protected:
  void SetUp() override {
    g_on = {};
    g_handled.clear();
    g_depth = 0;
    g_platform = &platform;
  }
  void TearDown() override { g_platform = nullptr; }

  int Run() { return RunProgram(platform, kScriptedBindings); }

  // The virtual times at which ticks were handled.
  static std::vector<int64_t> TickTimes() {
    std::vector<int64_t> times;
    for (const std::string &h : g_handled) {
      if (h.ends_with(" tick")) {
        times.push_back(std::stoll(h));
      }
    }
    return times;
  }

  HeadlessPlatform platform;
  ScriptedHandlers &on = g_on;
};

} // namespace cdk::test
