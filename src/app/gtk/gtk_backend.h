// The GTK 3 backend's one private header: its state, its Platform and the
// helpers its files share. Only files in this folder include it.
#pragma once

#include <gtk/gtk.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/platform.h"
#include "app/window_description.h"
#include "text/text.h"

namespace cdk {

// Everything the backend keeps between calls, in one place.
struct GtkBackendData {
  bool gtk_ready = false; // gtk_init_check succeeded: there is a display
  const WindowDescription *description = nullptr;
  GtkWidget *window = nullptr; // null before building and once destroyed
  // Each control's own widget (a label, not its clip box); the timer has none.
  std::array<GtkWidget *, kControlCount> widgets{};
  GList *icons = nullptr; // GdkPixbuf 16, 32, 48 and 128 px

  // The timer: one one-shot source per tick, made for the next due time
  // just before the tick's handler runs.
  GSource *tick_source = nullptr;
  int64_t tick_period_us = 0;

  bool quit_posted = false;
  bool clipboard_set = false; // we placed text on CLIPBOARD this run

  // Last frame geometry seen, to tell moves from resizes.
  GdkRectangle geometry = {-1, -1, -1, -1};
};

class GtkPlatform final : public Platform {
public:
  GtkPlatform();
  ~GtkPlatform() override;

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
  GtkBackendData data_;
};

// GBK (code page 936) to UTF-8 for GTK. A byte that starts no valid
// sequence becomes U+FFFD and conversion goes on with the next byte, so the
// result always covers the whole input.
std::string GtkUtf8FromGbk(std::string_view gbk);

// The GBK converter, opened at its first use. Opening it loads iconv's
// code page module with dlopen, which waits for as long as another thread
// is loading a library: the backend opens it before any such thread starts.
GIConv GtkGbkConverter();

// The window icon drawn at 16, 32, 48 and 128 px: a list of GdkPixbuf that
// the caller owns (g_list_free_full with g_object_unref).
GList *GtkCreateIcons();

// Removes the pending tick, if any; the period is forgotten.
void GtkStopTicks(GtkBackendData &data);

} // namespace cdk
