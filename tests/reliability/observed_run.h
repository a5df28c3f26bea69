// The real program on the headless backend with the real handlers and the
// real libcurl backend, its tick and 复制 handlers watched from outside: the
// binding table is the program's own with those two rows wrapped.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "app/headless/headless_platform.h"
#include "app/shell.h"

namespace cdk::test {

// The headless backend with its virtual clock also following the wall
// clock: every look at the queue first moves it on by the real time gone
// by, so a fetch that lasts 10 s lets two ticks fall due inside it. When
// the loop is idle it still jumps straight to the next tick.
class WallClockPlatform : public HeadlessPlatform {
public:
  WallClockPlatform() : last_(std::chrono::steady_clock::now()) {}
  Pending PeekEvent() override {
    auto now = std::chrono::steady_clock::now();
    auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - last_);
    Advance(ms.count());
    last_ += ms;
    return HeadlessPlatform::PeekEvent();
  }

private:
  std::chrono::steady_clock::time_point last_;
};

double WallSeconds(); // a monotonic clock, for durations

struct TickRecord {
  int64_t started_ms; // virtual
  double started_s;   // wall
  double ended_s = 0;
  int depth;       // 1 for a tick run by the loop, 2 nested in one, ...
  Text code_box;   // 编辑框1 when the handler returned
  Text status_box; // 编辑框4 likewise
};

struct CopyRecord {
  int64_t at_ms;  // virtual
  int tick_depth; // ticks on the stack while it ran
  Text clipboard; // right after the handler
};

// What a run saw; reset by Observe().
struct Observed {
  bool keep_ticks = true; // a long run keeps none, so it does not grow
  std::vector<TickRecord> ticks;
  std::vector<CopyRecord> copies;
  double destroyed_s = 0; // wall clock when the window went
  int depth = 0;
  // Runs after each tick handler, with the depth it ran at.
  std::function<void(const TickRecord &)> after_tick;
};

Observed &Observe(HeadlessPlatform &platform);

// The program's own bindings with the tick and 复制 rows wrapped, and a
// row of its own that notes when the window was destroyed.
std::span<const Binding> ObservedBindings();

// Resident memory and open descriptors of this process.
int64_t ResidentBytes();
int OpenDescriptors();

} // namespace cdk::test
