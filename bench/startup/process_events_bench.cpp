// The cost of ProcessEvents on the GTK backend when nothing waits: what a
// page fetch pays before each read of 512 bytes. Runs inside the real
// program's loop, once the window is up and drawn, and compares a bare look
// at the GLib queue.
#include <benchmark/benchmark.h>
#include <gtk/gtk.h>

#include "app/desktop_platform.h"
#include "app/shell.h"

namespace {

int g_argc = 0;
char **g_argv = nullptr;

void ProcessEventsWithNothingWaiting(benchmark::State &state) {
  for (auto _ : state) {
    cdk::ProcessEvents();
  }
}

void GlibPendingAlone(benchmark::State &state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(g_main_context_pending(nullptr));
  }
}

gboolean Measure(gpointer) {
  // Let the window's first drawing and the accessibility bridge settle.
  const int64_t until = g_get_monotonic_time() + G_USEC_PER_SEC;
  while (g_get_monotonic_time() < until) {
    cdk::ProcessEvents();
    g_usleep(1000);
  }
  benchmark::RegisterBenchmark("ProcessEvents/gtk/nothing_waiting",
                               ProcessEventsWithNothingWaiting);
  benchmark::RegisterBenchmark("g_main_context_pending", GlibPendingAlone);
  benchmark::Initialize(&g_argc, g_argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  GList *windows = gtk_window_list_toplevels();
  for (GList *l = windows; l != nullptr; l = l->next) {
    gtk_widget_destroy(GTK_WIDGET(l->data));
  }
  g_list_free(windows);
  return G_SOURCE_REMOVE;
}

void OnCreated() { g_idle_add_full(G_PRIORITY_LOW, Measure, nullptr, nullptr); }

constexpr cdk::Binding kBindings[] = {
    {cdk::EventKind::kCreated, {}, OnCreated},
};

} // namespace

int main(int argc, char **argv) {
  g_argc = argc;
  g_argv = argv;
  auto platform = cdk::CreateDesktopPlatform();
  return cdk::RunProgram(*platform, kBindings);
}
