// The wrapped tick and 复制 handlers, and the process figures the soak reads
// from /proc.
#include "reliability/observed_run.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "bindings.h"

namespace cdk::test {

namespace {

Observed g_observed;
HeadlessPlatform *g_platform = nullptr;
Handler g_tick = nullptr;
Handler g_copy = nullptr;

void ObservedTick() {
  TickRecord tick{
      g_platform->Now(), WallSeconds(), 0, ++g_observed.depth, {}, {}};
  g_tick();
  tick.ended_s = WallSeconds();
  tick.code_box = EditText(Control::编辑框1);
  tick.status_box = EditText(Control::编辑框4);
  --g_observed.depth;
  if (g_observed.keep_ticks) {
    // In the order the ticks started, nested ones after their outer one.
    auto at = std::find_if(
        g_observed.ticks.begin(), g_observed.ticks.end(),
        [&](const TickRecord &t) { return t.started_s > tick.started_s; });
    g_observed.ticks.insert(at, tick);
  }
  if (g_observed.after_tick) {
    g_observed.after_tick(tick);
  }
}

void ObservedCopy() {
  g_copy();
  g_observed.copies.push_back(
      {g_platform->Now(), g_observed.depth, g_platform->Clipboard()});
}

void ObservedDestroyed() { g_observed.destroyed_s = WallSeconds(); }

std::vector<Binding> WrapProgramBindings() {
  std::span<const Binding> own = HandlerBindings();
  std::vector<Binding> wrapped(own.begin(), own.end());
  for (Binding &b : wrapped) {
    if (b.kind == EventKind::kTick) {
      g_tick = b.handler;
      b.handler = ObservedTick;
    } else if (b.kind == EventKind::kClick && b.control == Control::按钮2) {
      g_copy = b.handler;
      b.handler = ObservedCopy;
    }
  }
  wrapped.push_back({EventKind::kDestroyed, {}, ObservedDestroyed});
  return wrapped;
}

} // namespace

double WallSeconds() {
  return std::chrono::duration<double>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

Observed &Observe(HeadlessPlatform &platform) {
  g_platform = &platform;
  g_observed = Observed{};
  return g_observed;
}

std::span<const Binding> ObservedBindings() {
  static const std::vector<Binding> bindings = WrapProgramBindings();
  return bindings;
}

int64_t ResidentBytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmRSS:")) {
      return std::stoll(line.substr(6)) * 1024; // reported in kB
    }
  }
  return -1;
}

int OpenDescriptors() {
  int count = 0;
  if (DIR *dir = opendir("/proc/self/fd")) {
    while (dirent *entry = readdir(dir)) {
      count += entry->d_name[0] != '.';
    }
    closedir(dir);
    --count; // the directory stream's own
  }
  return count;
}

} // namespace cdk::test
