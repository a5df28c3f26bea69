// The shell core: start-up, the loop, ProcessEvents, the control properties
// and the fatal error, written once over whichever Platform is installed.
#include "app/shell.h"

#include <array>
#include <cstdio>
#include <cstdlib>

#include "text/fatal.h"
#include "window_texts.h"

namespace cdk {

namespace {

enum class WindowState : uint8_t { kNotBuilt, kExists, kGone };

// Everything the shell knows, in one place. The Text values are the truth
// for reads: backends only display them, so a read never depends on what a
// widget made of the bytes.
struct ShellState {
  Platform *platform = nullptr;
  std::span<const Binding> bindings;
  std::array<Text, kControlCount> texts;
  std::array<bool, kControlCount> disabled{};
  int32_t timer_period = 0;
  // Not built yet also covers building: events raised then are dropped.
  WindowState window = WindowState::kNotBuilt;
  bool loop_running = false;
  bool fatal_error_shown = false;
};

ShellState g_shell;

int Index(Control c) { return static_cast<int>(c); }

bool WindowExists() { return g_shell.window == WindowState::kExists; }

[[noreturn]] void ShowFatalErrorAndExit(const Text &message) {
  // A failure while the box is being put together (memory again) must not
  // recurse into another box.
  if (g_shell.fatal_error_shown) {
    std::_Exit(-1);
  }
  g_shell.fatal_error_shown = true;
  Text text = JoinText(Text(kFatalPrefix), message, Text(kLineBreak));
  if (g_shell.platform != nullptr) {
    g_shell.platform->ShowMessageBox(kFatalCaption, text, MessageIcon::kError);
  } else {
    std::fwrite(text.view().data(), 1, text.view().size(), stderr);
  }
  // Not exit(): static destructors and the handlers suspended on the stack
  // must not run any more.
  std::_Exit(-1);
}

void ResetShell(Platform &platform, std::span<const Binding> bindings) {
  g_shell = ShellState{};
  g_shell.platform = &platform;
  g_shell.bindings = bindings;
  for (const ControlDescription &d : MainWindowDescription().controls) {
    g_shell.texts[Index(d.control)] = Text(d.initial_text);
    g_shell.disabled[Index(d.control)] = !d.enabled;
  }
  SetFatalErrorHandler(ShowFatalErrorAndExit);
}

void RunHandler(EventKind kind, Control control) {
  for (const Binding &b : g_shell.bindings) {
    if (b.kind == kind && (kind != EventKind::kClick || b.control == control)) {
      b.handler();
      return;
    }
  }
}

void RunLoop(Platform &platform) {
  g_shell.loop_running = true;
  while (platform.PeekEvent() != Pending::kQuit) {
    platform.DispatchNextEvent(true);
  }
}

} // namespace

int RunProgram(Platform &platform, std::span<const Binding> bindings) {
  ResetShell(platform, bindings);

  if (!platform.BuildWindow(MainWindowDescription())) {
    FatalError(Text(kWindowBuildFailed));
  }
  g_shell.window = WindowState::kExists;

  DeliverEvent(EventKind::kCreated);
  DeliverEvent(EventKind::kMoved);
  DeliverEvent(EventKind::kResized);
  if (WindowExists()) {
    platform.ShowWindow();
  }
  if (WindowExists()) {
    RunLoop(platform);
  }

  // The platform may not outlive this call; later calls find none.
  g_shell.platform = nullptr;
  g_shell.window = WindowState::kNotBuilt;
  return 0;
}

void DeliverEvent(EventKind kind, Control control) {
  if (g_shell.platform == nullptr || g_shell.fatal_error_shown ||
      g_shell.window != WindowState::kExists) {
    return;
  }
  if (kind == EventKind::kDestroyed) {
    g_shell.window = WindowState::kGone;
    if (g_shell.loop_running) {
      g_shell.platform->PostQuit();
    }
  } else if (kind == EventKind::kClick && g_shell.disabled[Index(control)]) {
    // The backend greys the button; a click already queued still ends here.
    return;
  }
  RunHandler(kind, control);
}

void ProcessEvents() {
  Platform *platform = g_shell.platform;
  if (platform == nullptr) {
    return;
  }
  while (platform->PeekEvent() == Pending::kEvent) {
    platform->DispatchNextEvent(false);
  }
}

bool QuitRequested() { return g_shell.window == WindowState::kGone; }

Text EditText(Control edit_box) {
  return WindowExists() ? g_shell.texts[Index(edit_box)] : Text();
}

void SetEditText(Control edit_box, const Text &text) {
  if (!WindowExists()) {
    return;
  }
  g_shell.texts[Index(edit_box)] = text;
  g_shell.platform->SetControlText(edit_box, text);
}

void SetButtonDisabled(Control button, bool disabled) {
  if (!WindowExists() || g_shell.disabled[Index(button)] == disabled) {
    return;
  }
  g_shell.disabled[Index(button)] = disabled;
  g_shell.platform->SetControlEnabled(button, !disabled);
}

void SetTimerPeriod(Control /*timer*/, int32_t period_ms) {
  int32_t period = period_ms < 0 ? 0 : period_ms;
  // The same period keeps a running timer's rhythm.
  if (!WindowExists() || period == g_shell.timer_period) {
    return;
  }
  g_shell.timer_period = period;
  g_shell.platform->StopTimer();
  if (period > 0) {
    g_shell.platform->StartTimer(period);
  }
}

// Once the window is gone the program is only unwinding: nothing more is
// shown or handed to the desktop.
void ShowMessage(const Text &text) {
  if (WindowExists()) {
    g_shell.platform->ShowMessageBox(kMessageCaption, text, MessageIcon::kNone);
  }
}

bool SetClipboardText(const Text &text) {
  return WindowExists() && g_shell.platform->SetClipboardText(text);
}

void OpenUrl(const Text &url) {
  if (WindowExists()) {
    g_shell.platform->OpenUrl(url);
  }
}

} // namespace cdk
