// The headless backend: one queue, one virtual clock, the timer rules of the
// Platform interface, and records of everything a test may want to check.
#include "app/headless/headless_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "app/shell.h"

namespace cdk {

namespace {

// A broken script is a bug in the test: stop loudly instead of hanging or
// carrying on with a clock that makes no sense.
[[noreturn]] void Abort(const char *why) {
  std::fprintf(stderr, "HeadlessPlatform: %s\n", why);
  std::abort();
}

} // namespace

void HeadlessPlatform::Advance(int64_t ms) { AdvanceTo(now_ms_ + ms); }

void HeadlessPlatform::AdvanceTo(int64_t time_ms) {
  if (time_ms < now_ms_) {
    Abort("the clock cannot go back");
  }
  now_ms_ = time_ms;
}

void HeadlessPlatform::QueueClick(Control button) {
  queue_.push_back({ItemKind::kClick, button, {}});
}

void HeadlessPlatform::QueueCloseRequest() {
  queue_.push_back({ItemKind::kClose, {}, {}});
}

void HeadlessPlatform::QueueRepaint() {
  queue_.push_back({ItemKind::kRepaint, {}, {}});
}

void HeadlessPlatform::ClickAt(int64_t time_ms, Control button) {
  Schedule(time_ms, {ItemKind::kClick, button, {}});
}

void HeadlessPlatform::CloseAt(int64_t time_ms) {
  Schedule(time_ms, {ItemKind::kClose, {}, {}});
}

void HeadlessPlatform::At(int64_t time_ms, std::function<void()> action) {
  Schedule(time_ms, {ItemKind::kAction, {}, std::move(action)});
}

void HeadlessPlatform::Schedule(int64_t time_ms, Item item) {
  // After every item of the same time, so equal times keep their order.
  auto at = std::upper_bound(
      scheduled_.begin(), scheduled_.end(), time_ms,
      [](int64_t t, const Scheduled &s) { return t < s.at_ms; });
  scheduled_.insert(at, {time_ms, std::move(item)});
}

bool HeadlessPlatform::Releasable(const Scheduled &s) const {
  return !IsUserInput(s.item.kind) || window_shown_;
}

void HeadlessPlatform::ReleaseDue() {
  for (auto it = scheduled_.begin();
       it != scheduled_.end() && it->at_ms <= now_ms_;) {
    if (Releasable(*it)) {
      queue_.push_back(std::move(it->item));
      it = scheduled_.erase(it);
    } else {
      ++it;
    }
  }
}

std::optional<int64_t> HeadlessPlatform::NextTickDue() const {
  if (timer_period_ms_ == 0) {
    return std::nullopt;
  }
  return timer_due_ms_;
}

bool HeadlessPlatform::TickDue() const {
  std::optional<int64_t> due = NextTickDue();
  return due && *due <= now_ms_;
}

void HeadlessPlatform::WaitForSomething() {
  while (queue_.empty() && !TickDue()) {
    std::optional<int64_t> next = NextTickDue();
    for (const Scheduled &s : scheduled_) {
      if (Releasable(s)) {
        next = next ? std::min(*next, s.at_ms) : s.at_ms;
        break;
      }
    }
    if (!next) {
      Abort("the loop waits, but nothing is scheduled and no timer runs; "
            "schedule a close request");
    }
    if (*next > time_limit_ms_) {
      Abort("the script ran past its time limit without closing the window");
    }
    now_ms_ = std::max(now_ms_, *next);
    ReleaseDue();
  }
}

Pending HeadlessPlatform::PeekEvent() {
  ReleaseDue();
  if (!queue_.empty()) {
    return queue_.front().kind == ItemKind::kQuit ? Pending::kQuit
                                                  : Pending::kEvent;
  }
  return TickDue() ? Pending::kEvent : Pending::kNothing;
}

void HeadlessPlatform::DispatchNextEvent(bool may_wait) {
  ReleaseDue();
  if (queue_.empty() && !TickDue()) {
    if (!may_wait) {
      return;
    }
    WaitForSomething();
  }
  if (!queue_.empty()) {
    if (queue_.front().kind == ItemKind::kQuit) {
      return;
    }
    Item item = std::move(queue_.front());
    queue_.pop_front();
    Dispatch(std::move(item));
  } else if (TickDue()) {
    DispatchTick();
  }
}

void HeadlessPlatform::DispatchModalEvents() {
  ReleaseDue();
  for (;;) {
    auto it = std::find_if(queue_.begin(), queue_.end(), [](const Item &i) {
      return i.kind == ItemKind::kRepaint || i.kind == ItemKind::kAction;
    });
    if (it != queue_.end()) {
      Item item = std::move(*it);
      queue_.erase(it);
      Dispatch(std::move(item));
    } else if (TickDue()) {
      DispatchTick();
    } else {
      return;
    }
  }
}

void HeadlessPlatform::Dispatch(Item item) {
  if (item.kind == ItemKind::kAction) {
    item.action();
    return;
  }
  if (!window_exists_) {
    return;
  }
  switch (item.kind) {
  case ItemKind::kClick:
    Note(std::string("click ") + DescriptionOf(item.control).name);
    DeliverEvent(EventKind::kClick, item.control);
    break;
  case ItemKind::kClose:
    Note("close");
    DestroyWindow();
    DeliverEvent(EventKind::kDestroyed);
    break;
  case ItemKind::kRepaint:
    ++repaints_;
    Note("repaint");
    break;
  case ItemKind::kAction:
  case ItemKind::kQuit:
    break;
  }
}

void HeadlessPlatform::DispatchTick() {
  // The next due time is set before the handler runs, so a tick falling due
  // while the handler is inside ProcessEvents runs nested. A late tick moves
  // to the next period boundary after now: no catch-up burst.
  int64_t period = timer_period_ms_;
  int64_t late_periods = (now_ms_ - timer_due_ms_) / period;
  timer_due_ms_ += (late_periods + 1) * period;
  Note("tick");
  DeliverEvent(EventKind::kTick);
}

void HeadlessPlatform::DestroyWindow() {
  window_exists_ = false;
  window_shown_ = false;
  timer_period_ms_ = 0;
  // Whatever was meant for the window goes with it.
  std::erase_if(queue_, [](const Item &i) {
    return i.kind != ItemKind::kAction && i.kind != ItemKind::kQuit;
  });
  std::erase_if(scheduled_,
                [](const Scheduled &s) { return IsUserInput(s.item.kind); });
  Note("destroy");
}

void HeadlessPlatform::Note(const std::string &what) {
  log_.push_back(std::to_string(now_ms_) + " " + what);
}

bool HeadlessPlatform::BuildWindow(const WindowDescription &window) {
  if (build_fails_) {
    Note("build failed");
    return false;
  }
  for (const ControlDescription &d : window.controls) {
    controls_[Index(d.control)] = {Text(d.initial_text), d.enabled, d.shown};
  }
  window_exists_ = true;
  Note("build");
  // A real toolkit reports the new window's place and size while it is
  // being created; the core has to drop these.
  DeliverEvent(EventKind::kMoved);
  DeliverEvent(EventKind::kResized);
  return true;
}

void HeadlessPlatform::ShowWindow() {
  if (window_exists_) {
    window_shown_ = true;
    Note("show");
  }
}

void HeadlessPlatform::SetControlText(Control control, const Text &text) {
  if (window_exists_) {
    controls_[Index(control)].text = text;
  }
}

void HeadlessPlatform::SetControlEnabled(Control control, bool enabled) {
  if (window_exists_) {
    controls_[Index(control)].enabled = enabled;
  }
}

void HeadlessPlatform::StartTimer(int32_t period_ms) {
  if (window_exists_ && period_ms > 0) {
    timer_period_ms_ = period_ms;
    timer_due_ms_ = now_ms_ + period_ms;
    Note("timer " + std::to_string(period_ms));
  }
}

void HeadlessPlatform::StopTimer() {
  if (timer_period_ms_ != 0) {
    timer_period_ms_ = 0;
    Note("timer stop");
  }
}

void HeadlessPlatform::PostQuit() {
  queue_.push_back({ItemKind::kQuit, {}, {}});
  Note("quit");
}

void HeadlessPlatform::ShowMessageBox(const Text &caption, const Text &text,
                                      MessageIcon icon) {
  BoxRecord box{caption, text, icon, now_ms_};
  boxes_.push_back(box);
  Note("box");
  // A copy: the hook may replace itself while the box is open.
  if (MessageBoxHook hook = box_hook_) {
    hook(box);
  }
}

bool HeadlessPlatform::SetClipboardText(const Text &text) {
  if (clipboard_held_) {
    return false;
  }
  clipboard_ = text;
  return true;
}

void HeadlessPlatform::OpenUrl(const Text &url) { opened_urls_.push_back(url); }

} // namespace cdk
