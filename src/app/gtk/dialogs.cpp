// Message boxes: the version check's notice and the fatal-error box.
#include <cstdio>
#include <string>

#include "app/gtk/gtk_backend.h"

namespace cdk {

void GtkPlatform::ShowMessageBox(const Text &caption, const Text &text,
                                 MessageIcon icon) {
  const std::string title = GtkUtf8FromGbk(caption.view());
  const std::string message = GtkUtf8FromGbk(text.view());
  if (!data_.gtk_ready) {
    // No display to show it on: the terminal is all there is.
    std::fprintf(stderr, "%s: %s\n", title.c_str(), message.c_str());
    return;
  }
  // No parent: the box stands alone on the screen, even before the main
  // window is shown. Modal makes it take every input of ours while it is
  // open; gtk_dialog_run's nested main loop keeps ticks and repaints going.
  GtkWidget *dialog = gtk_message_dialog_new(
      nullptr, GTK_DIALOG_MODAL,
      icon == MessageIcon::kError ? GTK_MESSAGE_ERROR : GTK_MESSAGE_OTHER,
      GTK_BUTTONS_OK, "%s", message.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  if (icon == MessageIcon::kError) {
    // GTK 3 message dialogs show no icon of their own any more; the image
    // property is deprecated but still drawn:
    // https://docs.gtk.org/gtk3/method.MessageDialog.set_image.html
    GtkWidget *image =
        gtk_image_new_from_icon_name("dialog-error", GTK_ICON_SIZE_DIALOG);
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_message_dialog_set_image(GTK_MESSAGE_DIALOG(dialog), image);
    G_GNUC_END_IGNORE_DEPRECATIONS
    gtk_widget_show(image);
  }
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
}

} // namespace cdk
