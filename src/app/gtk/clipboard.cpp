// The copy command's clipboard: CLIPBOARD, offered as plain text.
#include <cstring>

#include "app/gtk/gtk_backend.h"

namespace cdk {

namespace {

void ProvideText(GtkClipboard *, GtkSelectionData *selection, guint,
                 gpointer text) {
  gtk_selection_data_set_text(selection, static_cast<const gchar *>(text), -1);
}

void ForgetText(GtkClipboard *, gpointer text) { g_free(text); }

} // namespace

bool GtkPlatform::SetClipboardText(const Text &text) {
  if (!data_.gtk_ready) {
    return false;
  }
  gchar *utf8 = g_strdup(GtkUtf8FromGbk(text.view()).c_str());
  GtkTargetList *list = gtk_target_list_new(nullptr, 0);
  gtk_target_list_add_text_targets(list, 0);
  gint count = 0;
  GtkTargetEntry *targets = gtk_target_table_new_from_list(list, &count);
  gtk_target_list_unref(list);

  GtkClipboard *clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
  // False when the selection could not be taken: the old contents stay.
  const bool placed =
      gtk_clipboard_set_with_data(clipboard, targets, static_cast<guint>(count),
                                  ProvideText, ForgetText, utf8) != FALSE;
  gtk_target_table_free(targets, count);
  if (!placed) {
    g_free(utf8); // GTK ignores the callbacks when it fails
    return false;
  }
  // Lets the store at exit hand the text to a clipboard manager.
  gtk_clipboard_set_can_store(clipboard, nullptr, 0);
  data_.clipboard_set = true;
  return true;
}

} // namespace cdk
