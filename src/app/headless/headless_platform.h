// A backend without a display: a deterministic event queue and a virtual
// clock in milliseconds. Tests and the soak run the real core and handlers
// on it and script what the user and the clock do.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/platform.h"

namespace cdk {

class HeadlessPlatform : public Platform {
public:
  struct BoxRecord {
    Text caption;
    Text text;
    MessageIcon icon;
    int64_t at_ms; // the virtual time it was opened
  };
  // Runs while a box is open; the box is dismissed when it returns.
  using MessageBoxHook = std::function<void(const BoxRecord &)>;

  // The virtual clock. It starts at 0 and moves only through Advance and
  // AdvanceTo, or when the event loop has nothing to do: then it jumps to
  // the next scheduled item or tick. Moving it makes a tick due but
  // dispatches nothing; ProcessEvents and the loop do that.
  int64_t Now() const { return now_ms_; }
  void Advance(int64_t ms);
  void AdvanceTo(int64_t time_ms); // moving backwards aborts the test

  // Input the user gives now: queued at once, behind what already waits.
  void QueueClick(Control button);
  void QueueCloseRequest();
  void QueueRepaint();

  // Scripted input and actions, released into the queue when the clock
  // reaches their time (in time order, then in the order scheduled). Clicks
  // and close requests also wait until the window has been shown, since
  // nobody can use a window they cannot see; an action runs as an event of
  // its own and may do anything a test can.
  void ClickAt(int64_t time_ms, Control button);
  void CloseAt(int64_t time_ms);
  void At(int64_t time_ms, std::function<void()> action);

  // The loop aborts the test rather than run its clock past this (default:
  // one virtual day), so a script that never closes the window fails.
  void SetTimeLimit(int64_t time_ms) { time_limit_ms_ = time_ms; }

  // Message boxes: every one is recorded. Without a hook a box is dismissed
  // at once.
  void OnMessageBox(MessageBoxHook while_open) {
    box_hook_ = std::move(while_open);
  }
  const std::vector<BoxRecord> &MessageBoxes() const { return boxes_; }
  // What an open box dispatches: waiting ticks, repaints and actions. Input
  // is held back by the box's modality and stays queued.
  void DispatchModalEvents();

  // The clipboard: another program may hold it (SetClipboardText then
  // fails and the contents stay) or put text there.
  void HoldClipboard(bool held) { clipboard_held_ = held; }
  void PutOnClipboard(const Text &text) { clipboard_ = text; }
  const Text &Clipboard() const { return clipboard_; }
  const std::vector<Text> &OpenedUrls() const { return opened_urls_; }

  void FailBuildWindow(bool fail) { build_fails_ = fail; }

  // What the window shows.
  bool WindowExists() const { return window_exists_; }
  bool WindowShown() const { return window_shown_; }
  const Text &DisplayedText(Control c) const {
    return controls_[Index(c)].text;
  }
  bool ControlEnabled(Control c) const { return controls_[Index(c)].enabled; }
  bool ControlVisible(Control c) const { return controls_[Index(c)].visible; }
  int32_t TimerPeriod() const { return timer_period_ms_; } // 0: stopped
  std::optional<int64_t> NextTickDue() const;
  int32_t Repaints() const { return repaints_; }

  // What happened, one line each as "<time> <what>": build, show, click
  // <button>, close, destroy, repaint, tick, timer <period>, timer stop, box,
  // quit. Lets a test check the order of things across a whole run.
  const std::vector<std::string> &Log() const { return log_; }
  // A long run that checks no order drops the record as it goes, so it
  // does not count as the program's memory.
  void ClearLog() { log_.clear(); }

  // Platform
  bool BuildWindow(const WindowDescription &window) override;
  void ShowWindow() override;
  void SetControlText(Control control, const Text &text) override;
  void SetControlEnabled(Control control, bool enabled) override;
  void StartTimer(int32_t period_ms) override;
  void StopTimer() override;
  Pending PeekEvent() override;
  void DispatchNextEvent(bool may_wait) override;
  void PostQuit() override;
  void ShowMessageBox(const Text &caption, const Text &text,
                      MessageIcon icon) override;
  bool SetClipboardText(const Text &text) override;
  void OpenUrl(const Text &url) override;

private:
  enum class ItemKind : uint8_t { kClick, kClose, kRepaint, kAction, kQuit };
  struct Item {
    ItemKind kind;
    Control control{};
    std::function<void()> action;
  };
  struct Scheduled {
    int64_t at_ms;
    Item item;
  };
  struct ControlState {
    Text text;
    bool enabled = false;
    bool visible = false;
  };

  static int Index(Control c) { return static_cast<int>(c); }
  static bool IsUserInput(ItemKind k) {
    return k == ItemKind::kClick || k == ItemKind::kClose;
  }
  void Schedule(int64_t time_ms, Item item);
  bool Releasable(const Scheduled &s) const;
  bool TickDue() const;
  void ReleaseDue();
  void WaitForSomething();
  void Dispatch(Item item);
  void DispatchTick();
  void DestroyWindow();
  void Note(const std::string &what);

  int64_t now_ms_ = 0;
  int64_t time_limit_ms_ = 24LL * 60 * 60 * 1000;
  std::deque<Item> queue_;
  std::vector<Scheduled> scheduled_; // kept in release order

  bool build_fails_ = false;
  bool window_exists_ = false;
  bool window_shown_ = false;
  std::array<ControlState, kControlCount> controls_{};

  int32_t timer_period_ms_ = 0;
  int64_t timer_due_ms_ = 0;

  MessageBoxHook box_hook_;
  std::vector<BoxRecord> boxes_;
  bool clipboard_held_ = false;
  Text clipboard_;
  std::vector<Text> opened_urls_;
  int32_t repaints_ = 0;
  std::vector<std::string> log_;
};

} // namespace cdk
