// What a windowing backend does for the shell core. One backend per build
// (GTK or Win32), plus the headless one that tests drive; the core never
// includes a toolkit header.
#pragma once

#include <cstdint>

#include "app/window_description.h"
#include "text/text.h"

namespace cdk {

// What the next waiting event is, without taking it.
enum class Pending : uint8_t { kNothing, kQuit, kEvent };

enum class MessageIcon : uint8_t { kNone, kError };

class Platform {
public:
  virtual ~Platform() = default;

  // Creates the window and its controls from the description, hidden, then
  // makes the controls marked shown visible without activating any. The
  // window itself stays hidden. False when it cannot be created.
  virtual bool BuildWindow(const WindowDescription &window) = 0;
  // Normal state, activated, centred on the primary screen.
  virtual void ShowWindow() = 0;

  // Display only: the core keeps the exact Text and answers reads itself.
  virtual void SetControlText(Control control, const Text &text) = 0;
  virtual void SetControlEnabled(Control control, bool enabled) = 0;
  // The first tick falls due period_ms after this call, then one every
  // period_ms; ticks have the lowest priority and at most one waits.
  virtual void StartTimer(int32_t period_ms) = 0;
  virtual void StopTimer() = 0;

  // Never waits and takes nothing.
  virtual Pending PeekEvent() = 0;
  // Takes the next event and dispatches it; when may_wait is set and nothing
  // waits, first waits for an event. Never takes the quit request.
  virtual void DispatchNextEvent(bool may_wait) = 0;
  // Queues the quit request; the loop ends when it is the next event.
  virtual void PostQuit() = 0;

  // Task-modal box with one OK button and no owner window; blocks until it
  // is dismissed while ticks and repaints go on being dispatched.
  virtual void ShowMessageBox(const Text &caption, const Text &text,
                              MessageIcon icon) = 0;

  // Plain text in the system code page; true when placed. When the clipboard
  // cannot be taken its old contents stay.
  virtual bool SetClipboardText(const Text &text) = 0;
  // Hands the URL to whatever the desktop opens web addresses with.
  virtual void OpenUrl(const Text &url) = 0;
};

} // namespace cdk
