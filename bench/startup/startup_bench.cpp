// Time from exec until a program's window is mapped, for several programs
// side by side, and the CPU a program uses while it idles.
//
// Usage: startup_bench RUNS IDLE_SECONDS NAME=PROGRAM...
//
// Runs every program once to warm the caches, then RUNS rounds in which
// each program runs once, the order turning each round so no program always
// goes first. The window is taken as mapped on the first MapNotify of a
// child of the root window: run it on a display of its own (Xvfb without a
// window manager), where nothing else maps windows. Then each program runs
// once more and idles for IDLE_SECONDS after a settling second; its CPU time
// over that span (the process CPU clock, all threads) is printed.
// Prints a Markdown table.
#include <X11/Xlib.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Program {
  std::string name;
  std::string path;
  std::vector<double> startup_ms;
  double idle_cpu_ms = -1;
};

constexpr auto kMapDeadline = std::chrono::seconds(30);

pid_t Launch(const std::string &path) {
  const pid_t pid = fork();
  if (pid == 0) {
    execl(path.c_str(), path.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  return pid;
}

void Stop(pid_t pid) {
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

void Drain(Display *display) {
  XSync(display, False);
  while (XPending(display) > 0) {
    XEvent event;
    XNextEvent(display, &event);
  }
}

// Waits for the next top-level window to map; false at the deadline.
bool WaitForMap(Display *display, Clock::time_point deadline) {
  pollfd fd{ConnectionNumber(display), POLLIN, 0};
  while (Clock::now() < deadline) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == MapNotify) {
        return true;
      }
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - Clock::now());
    poll(&fd, 1, static_cast<int>(std::max<int64_t>(left.count(), 0)));
  }
  return false;
}

// Milliseconds from exec to the window mapped; negative on failure.
double MeasureStartup(Display *display, const Program &program) {
  Drain(display);
  const Clock::time_point start = Clock::now();
  const pid_t pid = Launch(program.path);
  const bool mapped = WaitForMap(display, start + kMapDeadline);
  const Clock::time_point end = Clock::now();
  Stop(pid);
  if (!mapped) {
    return -1;
  }
  return std::chrono::duration<double, std::milli>(end - start).count();
}

// CPU time of the whole process so far, threads that have ended included,
// in nanoseconds; -1 when it cannot be read.
int64_t CpuNs(pid_t pid) {
  clockid_t clock;
  timespec now{};
  if (clock_getcpuclockid(pid, &clock) != 0 ||
      clock_gettime(clock, &now) != 0) {
    return -1;
  }
  return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

double MeasureIdleCpu(Display *display, const Program &program,
                      int idle_seconds) {
  Drain(display);
  const pid_t pid = Launch(program.path);
  if (!WaitForMap(display, Clock::now() + kMapDeadline)) {
    Stop(pid);
    return -1;
  }
  std::this_thread::sleep_for(std::chrono::seconds(1)); // first drawing
  const int64_t before = CpuNs(pid);
  std::this_thread::sleep_for(std::chrono::seconds(idle_seconds));
  const int64_t after = CpuNs(pid);
  Stop(pid);
  if (before < 0 || after < 0) {
    return -1;
  }
  return static_cast<double>(after - before) / 1e6;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: startup_bench RUNS IDLE_SECONDS NAME=PROGRAM...\n");
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  const int idle_seconds = std::atoi(argv[2]);
  std::vector<Program> programs;
  for (int i = 3; i < argc; ++i) {
    const std::string arg = argv[i];
    const size_t eq = arg.find('=');
    if (eq == std::string::npos) {
      std::fprintf(stderr, "startup_bench: expected NAME=PROGRAM: %s\n",
                   argv[i]);
      return 2;
    }
    programs.push_back({arg.substr(0, eq), arg.substr(eq + 1), {}, -1});
  }
  Display *display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "startup_bench: cannot open display\n");
    return 1;
  }
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);

  for (Program &p : programs) {
    if (MeasureStartup(display, p) < 0) {
      std::fprintf(stderr, "startup_bench: %s mapped no window\n",
                   p.name.c_str());
      return 1;
    }
  }
  for (int round = 0; round < runs; ++round) {
    for (size_t k = 0; k < programs.size(); ++k) {
      Program &p = programs[(k + round) % programs.size()];
      const double ms = MeasureStartup(display, p);
      if (ms < 0) {
        std::fprintf(stderr, "startup_bench: %s mapped no window\n",
                     p.name.c_str());
        return 1;
      }
      p.startup_ms.push_back(ms);
    }
  }
  if (idle_seconds > 0) {
    for (Program &p : programs) {
      p.idle_cpu_ms = MeasureIdleCpu(display, p, idle_seconds);
    }
  }

  const double base = Median(programs.back().startup_ms);
  std::printf("| program | runs | median exec -> mapped (ms) | min | max | "
              "ratio to %s | idle CPU over %d s (ms) |\n",
              programs.back().name.c_str(), idle_seconds);
  std::printf("|---|---|---|---|---|---|---|\n");
  for (const Program &p : programs) {
    const auto [lo, hi] =
        std::minmax_element(p.startup_ms.begin(), p.startup_ms.end());
    std::printf("| %s | %zu | %.1f | %.1f | %.1f | %.2f | %.2f |\n",
                p.name.c_str(), p.startup_ms.size(), Median(p.startup_ms), *lo,
                *hi, Median(p.startup_ms) / base, p.idle_cpu_ms);
  }
  XCloseDisplay(display);
  return 0;
}
