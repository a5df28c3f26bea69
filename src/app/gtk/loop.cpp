// The backend's life and the GLib main loop under the shell's event loop:
// looking at the queue, dispatching, the quit request and the timer.
#include "app/desktop_platform.h"
#include "app/gtk/gtk_backend.h"
#include "app/shell.h"

namespace cdk {

namespace {

// One tick: a source that fires once, at its due time.
struct GtkTickSource {
  GSource source;
  GtkBackendData *backend;
  int64_t due_us;
};

void ScheduleTick(GtkBackendData &backend, int64_t due_us);

// The next tick is scheduled before the handler runs, so that a tick falling
// due while HandlePollTick waits inside ProcessEvents runs nested when it is
// due. A plain recursive GLib timeout would not do: GLib re-arms it only
// after the callback returns, and made recursive it fires again at once.
gboolean DispatchTick(GSource *source, GSourceFunc, gpointer) {
  auto &tick = *reinterpret_cast<GtkTickSource *>(source);
  GtkBackendData &backend = *tick.backend;
  const int64_t period = backend.tick_period_us;
  const int64_t now = g_get_monotonic_time();
  // Late (the loop was busy): the next period boundary after now, never a
  // burst of catch-up ticks.
  int64_t next = tick.due_us + period;
  if (next <= now) {
    next += ((now - next) / period + 1) * period;
  }
  // This source is spent; the context keeps it alive until we return.
  if (backend.tick_source == source) {
    g_source_unref(source);
    backend.tick_source = nullptr;
  }
  ScheduleTick(backend, next);
  DeliverEvent(EventKind::kTick);
  return G_SOURCE_REMOVE;
}

GSourceFuncs kTickFuncs = {nullptr, nullptr, DispatchTick,
                           nullptr, nullptr, nullptr};

void ScheduleTick(GtkBackendData &backend, int64_t due_us) {
  GSource *source = g_source_new(&kTickFuncs, sizeof(GtkTickSource));
  auto &tick = *reinterpret_cast<GtkTickSource *>(source);
  tick.backend = &backend;
  tick.due_us = due_us;
  g_source_set_name(source, "cdk tick");
  // Below GTK's input, redraw and idle work: a tick that has fallen due
  // waits until nothing else does.
  g_source_set_priority(source, G_PRIORITY_LOW);
  g_source_set_ready_time(source, due_us);
  g_source_attach(source, nullptr);
  backend.tick_source = source; // our reference, dropped when it is spent
}

} // namespace

void GtkStopTicks(GtkBackendData &backend) {
  if (backend.tick_source != nullptr) {
    g_source_destroy(backend.tick_source);
    g_source_unref(backend.tick_source);
    backend.tick_source = nullptr;
  }
  backend.tick_period_us = 0;
}

GtkPlatform::GtkPlatform() {
  // Without argv GTK would name the window class "<unknown>".
  g_set_prgname("cdktool");
  // The program takes nothing from its command line, so GTK gets none.
  data_.gtk_ready = gtk_init_check(nullptr, nullptr) != FALSE;
  if (data_.gtk_ready) {
    // Pango reads fontconfig's configuration on a thread of its own from the
    // moment the font map exists. Made now, that reading overlaps the theme's
    // loading instead of holding up the first label.
    pango_cairo_font_map_get_default();
    GtkGbkConverter(); // now, before the HTTP library starts loading
    data_.icons = GtkCreateIcons();
    // Message boxes carry the icon too.
    gtk_window_set_default_icon_list(data_.icons);
  }
}

GtkPlatform::~GtkPlatform() {
  GtkStopTicks(data_);
  if (data_.window != nullptr) {
    // Disconnect handlers to avoid callbacks into a shell that has finished.
    g_signal_handlers_disconnect_by_data(data_.window, &data_);
    gtk_widget_destroy(data_.window);
    data_.window = nullptr;
  }
  // Hand the copied code to a clipboard manager, if one runs, so that it
  // outlives the program. Only here: storing blocks until the manager has
  // answered, which is no business of a button click.
  if (data_.clipboard_set) {
    gtk_clipboard_store(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
  }
  g_list_free_full(data_.icons, g_object_unref);
}

void GtkPlatform::StartTimer(int32_t period_ms) {
  GtkStopTicks(data_);
  if (period_ms <= 0 || data_.window == nullptr) {
    return;
  }
  data_.tick_period_us = int64_t{period_ms} * 1000;
  ScheduleTick(data_, g_get_monotonic_time() + data_.tick_period_us);
}

void GtkPlatform::StopTimer() { GtkStopTicks(data_); }

// Once the quit request is posted it is the next event, whatever GLib still
// holds: the loop ends on it and ProcessEvents returns without taking it.
Pending GtkPlatform::PeekEvent() {
  if (data_.quit_posted) {
    return Pending::kQuit;
  }
  return g_main_context_pending(nullptr) ? Pending::kEvent : Pending::kNothing;
}

void GtkPlatform::DispatchNextEvent(bool may_wait) {
  g_main_context_iteration(nullptr, may_wait ? TRUE : FALSE);
}

void GtkPlatform::PostQuit() {
  data_.quit_posted = true;
  // A loop blocked in poll() looks again.
  g_main_context_wakeup(nullptr);
}

std::unique_ptr<Platform> CreateDesktopPlatform() {
  return std::make_unique<GtkPlatform>();
}

} // namespace cdk
