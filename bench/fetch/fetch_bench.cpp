// What FetchPage's way of reading costs: 512-byte reads with ProcessEvents
// (headless, nothing waiting) before each, against libcurl fetching the
// same loopback URL on its own. Both open a fresh connection every time.
#include <benchmark/benchmark.h>

#include <string>

#include "app/headless/headless_platform.h"
#include "app/shell.h"
#include "loopback_server.h"
#include "plain_curl.h"
#include "web/fetch_page.h"
#include "web/http_library.h"
#include "web/system_http_library.h"

namespace {

constexpr size_t k1K = 1024;
constexpr size_t k64M = size_t{64} << 20;

std::string Page(size_t size) {
  std::string page(size, 'x');
  for (size_t i = 0; i < size; i += 64) {
    page[i] = '\n';
  }
  return page;
}

// One server for the whole run, answering /1k and /64m.
cdk::LoopbackServer &Server() {
  static const std::string small = cdk::HttpResponse(Page(k1K));
  static const std::string large = cdk::HttpResponse(Page(k64M));
  static cdk::LoopbackServer server([](cdk::LoopbackConnection &connection) {
    std::string request = connection.ReadRequest();
    connection.Send(request.find(" /64m ") != std::string::npos ? large
                                                                : small);
  });
  return server;
}

void FetchWithFetchPage(benchmark::State &state, const char *path,
                        size_t size) {
  cdk::Text url(Server().Url(path));
  for (auto _ : state) {
    cdk::Bytes page = cdk::FetchPage(url);
    if (static_cast<size_t>(page.size()) != size) {
      state.SkipWithError("short page");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void FetchWithCurl(benchmark::State &state, const char *path, size_t size) {
  std::string url = Server().Url(path);
  for (auto _ : state) {
    const std::string page = PlainCurlFetch(url);
    if (page.size() != size) {
      state.SkipWithError("short page");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void BM_FetchPage1K(benchmark::State &s) { FetchWithFetchPage(s, "/1k", k1K); }
void BM_Curl1K(benchmark::State &s) { FetchWithCurl(s, "/1k", k1K); }
void BM_FetchPage64M(benchmark::State &s) {
  FetchWithFetchPage(s, "/64m", k64M);
}
void BM_Curl64M(benchmark::State &s) { FetchWithCurl(s, "/64m", k64M); }

// Medians of several repetitions; wall time, since the server is another
// thread of this process.
#define FETCH_BENCHMARK(name, unit)                                            \
  BENCHMARK(name)                                                              \
      ->Unit(unit)                                                             \
      ->UseRealTime()                                                          \
      ->Repetitions(15)                                                        \
      ->ReportAggregatesOnly(true)

FETCH_BENCHMARK(BM_FetchPage1K, benchmark::kMicrosecond);
FETCH_BENCHMARK(BM_Curl1K, benchmark::kMicrosecond);
FETCH_BENCHMARK(BM_FetchPage64M, benchmark::kMillisecond);
FETCH_BENCHMARK(BM_Curl64M, benchmark::kMillisecond);

int g_argc = 0;
char **g_argv = nullptr;

// The benchmarks run inside the created handler, so every ProcessEvents
// goes to the headless backend's queue as it would in the program.
void RunBenchmarks() {
  benchmark::Initialize(&g_argc, g_argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
}

} // namespace

int main(int argc, char **argv) {
  g_argc = argc;
  g_argv = argv;
  cdk::InstallHttpLibrary(&cdk::SystemHttpLibrary()); // also curl_global_init
  Server();
  cdk::HeadlessPlatform platform;
  platform.CloseAt(0);
  const cdk::Binding bindings[] = {
      {cdk::EventKind::kCreated, {}, RunBenchmarks}};
  return cdk::RunProgram(platform, bindings);
}
