// The application shell: start-up, the event loop, ProcessEvents, the three
// control properties the handlers use, and the fatal error. Handlers take no
// arguments; they reach the window through these functions.
#pragma once

#include <cstdint>
#include <span>

#include "app/platform.h"
#include "app/window_description.h"
#include "text/text.h"

namespace cdk {

enum class EventKind : uint8_t {
  kCreated,   // the window and its controls exist, still hidden
  kMoved,     // raised by building and once after the created event
  kResized,   // likewise
  kClick,     // a button
  kTick,      // the timer's period has elapsed
  kDestroyed, // the window and its controls are gone
};

using Handler = void (*)();

// One row of the binding table: an event (and for clicks its button) and
// the handler it runs. Events without a row are ignored.
struct Binding {
  EventKind kind;
  Control control; // only looked at for kClick
  Handler handler;
};

// Builds the window hidden, delivers the created event, shows the window,
// runs the loop until the window has been closed. Returns the exit code, 0.
int RunProgram(Platform &platform, std::span<const Binding> bindings);

// Backends report what happened to the window; the core applies the rules
// (building drops events, disabled buttons deliver no click, the bindings).
void DeliverEvent(EventKind kind, Control control = {});

// Dispatches the events that are waiting and returns; never waits. Returns
// at once, leaving it queued, when the quit request is next.
void ProcessEvents();

// True once the window has been destroyed: the program ends as soon as the
// handlers on the stack return, so a page fetch then stops reading rather
// than linger without a window.
bool QuitRequested();

// The three properties. Once the window is gone, reads give the empty text
// and writes do nothing.
Text EditText(Control edit_box);
void SetEditText(Control edit_box, const Text &text);
void SetButtonDisabled(Control button, bool disabled);
void SetTimerPeriod(Control timer, int32_t period_ms);

// The modal message box: caption "信息：", one OK, no icon. Once the window
// is gone, these three do nothing (SetClipboardText answers false).
void ShowMessage(const Text &text);
bool SetClipboardText(const Text &text);
void OpenUrl(const Text &url);

} // namespace cdk
