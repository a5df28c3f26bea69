// The startup baseline: the least a GTK 3 program does to map one window.
// Built a second time with CDK_BENCH_LABEL defined, the window holds one
// line of Chinese text: the same, plus what any text costs (fontconfig,
// a CJK font, layout).
#include <gtk/gtk.h>

int main(int argc, char **argv) {
  gtk_init(&argc, &argv);
  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
#ifdef CDK_BENCH_LABEL
  gtk_container_add(GTK_CONTAINER(window), gtk_label_new(CDK_BENCH_LABEL));
  gtk_widget_show_all(window);
#endif
  gtk_widget_show(window);
  gtk_main();
  return 0;
}
