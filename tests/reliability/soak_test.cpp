// The soak: the real program polls a loopback server (hostile_server.py
// --case steady) through the real libcurl backend for many ticks on the
// headless backend's virtual clock, so 100 000 ticks take minutes, not
// days. Every tick must show its page's code; afterwards resident memory
// may have grown by less than 1 MiB since the warm-up and the open
// descriptors must be the ones there were.
//
// CDK_SOAK_TICKS sets the number of ticks (default 100 000);
// CDK_SOAK_CHECK_MEMORY=0 leaves out the memory check, for runs under a
// sanitizer or valgrind, whose own bookkeeping grows.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/shell.h"
#include "reliability/hostile_server.h"
#include "reliability/observed_run.h"
#include "reliability_texts.h"
#include "web/http_library.h"
#include "web/system_http_library.h"

namespace cdk::test {
namespace {

constexpr int kPort = CDK_TEST_PORT;
constexpr int64_t kMaxGrowthBytes = 1024 * 1024;

int64_t Setting(const char *name, int64_t fallback) {
  const char *value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::atoll(value) : fallback;
}

// What the steady server posts on its n-th request (the version check is
// the first): a code of its own, and no code on every tenth.
std::string PostedCode(int64_t request) {
  if (request % 10 == 0) {
    return "00000000";
  }
  char code[32];
  std::snprintf(code, sizeof code, "CDK%08lld",
                static_cast<long long>(request));
  return code;
}

struct Sample {
  int64_t tick = 0;
  int64_t resident = 0;
  int descriptors = 0;
  double seconds = 0;
};

Sample Take(int64_t tick) {
  return {tick, ResidentBytes(), OpenDescriptors(), WallSeconds()};
}

TEST(Soak, PollTicksKeepMemoryAndDescriptorsLevel) {
  const int64_t ticks = Setting("CDK_SOAK_TICKS", 100000);
  const bool check_memory = Setting("CDK_SOAK_CHECK_MEMORY", 1) != 0;
  // Long enough for every cache and pool to have reached its size.
  const int64_t warm_up =
      std::max<int64_t>(1, std::min<int64_t>(5000, ticks / 10));

  HttpLibrary &library = SystemHttpLibrary();
  InstallHttpLibrary(&library);
  // libcurl loads in the background and opening a session waits for it, so
  // the descriptors counted before the run include none of the loading's.
  library.CloseHandle(
      library.OpenSession(Text("soak"), kAccessDirect, Text(), Text(), 0));
  HostileServer server("steady", kPort);
  ASSERT_TRUE(server.ok()) << "the loopback server did not start";

  HeadlessPlatform platform;
  Observed &seen = Observe(platform);
  seen.keep_ticks = false;
  platform.SetTimeLimit((ticks + 2) * 5000); // 100 000 ticks: about 6 days
  platform.ClickAt(0, Control::按钮1);

  int64_t done = 0;
  int64_t wrong = 0;
  std::string first_wrong;
  Sample warm, end;
  seen.after_tick = [&](const TickRecord &tick) {
    ++done;
    const std::string code = PostedCode(done + 1);
    const char *status = code == "00000000" ? kStatusNoCode : kStatusRedeem;
    if (tick.code_box.view() != code || tick.status_box.view() != status) {
      if (wrong++ == 0) {
        first_wrong = "tick " + std::to_string(done) + " showed '" +
                      std::string(tick.code_box.view()) + "', not '" + code +
                      "'";
      }
    }
    // The headless backend logs every tick for tests that check the order
    // of events; this one checks none, and that record is not the
    // program's memory.
    platform.ClearLog();
    if (done == warm_up) {
      warm = Take(done);
    }
    if (done == ticks) {
      end = Take(done);
      platform.QueueCloseRequest();
    }
  };

  const int descriptors_before = OpenDescriptors();
  const double started = WallSeconds();
  EXPECT_EQ(RunProgram(platform, ObservedBindings()), 0);
  const double seconds = WallSeconds() - started;
  const int descriptors_after = OpenDescriptors();
  InstallHttpLibrary(nullptr);

  EXPECT_EQ(done, ticks);
  EXPECT_EQ(wrong, 0) << first_wrong;
  EXPECT_EQ(static_cast<int64_t>(server.Requests().size()), ticks + 1);
  EXPECT_EQ(descriptors_after, descriptors_before);
  EXPECT_EQ(end.descriptors, warm.descriptors);

  const int64_t growth = end.resident - warm.resident;
  std::printf("soak: %lld ticks in %.1f s (%.0f a second); resident %lld KiB "
              "at tick %lld, %lld KiB at tick %lld, growth %lld KiB; "
              "descriptors %d before, %d at warm-up, %d at the end, %d after\n",
              static_cast<long long>(ticks), seconds, ticks / seconds,
              static_cast<long long>(warm.resident / 1024),
              static_cast<long long>(warm.tick),
              static_cast<long long>(end.resident / 1024),
              static_cast<long long>(end.tick),
              static_cast<long long>(growth / 1024), descriptors_before,
              warm.descriptors, end.descriptors, descriptors_after);
  RecordProperty("ticks", std::to_string(ticks));
  RecordProperty("resident_growth_bytes", std::to_string(growth));
  if (check_memory) {
    EXPECT_LT(growth, kMaxGrowthBytes);
  }
}

} // namespace
} // namespace cdk::test
