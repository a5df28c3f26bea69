// The update command's browser: the desktop's default handler for the URL.
#include <string>

#include "app/gtk/gtk_backend.h"

namespace cdk {

void GtkPlatform::OpenUrl(const Text &url) {
  const std::string utf8 = GtkUtf8FromGbk(url.view());
  GAppLaunchContext *context = nullptr;
  if (data_.gtk_ready) {
    context = G_APP_LAUNCH_CONTEXT(
        gdk_display_get_app_launch_context(gdk_display_get_default()));
  }
  // Failures (no browser registered) are not reported: the command shows
  // nothing of its own.
  g_app_info_launch_default_for_uri(utf8.c_str(), context, nullptr);
  if (context != nullptr) {
    g_object_unref(context);
  }
}

} // namespace cdk
