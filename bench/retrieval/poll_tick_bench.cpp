// What one poll tick costs: HandlePollTick on the headless backend with the
// libcurl backend, against one plain libcurl fetch of the same 4 KiB page
// from a loopback server, FetchPage alone in between. CPU time of the
// benchmark's thread: the server's threads are not counted. Every fetch
// opens a fresh connection, as the tool's do.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <unistd.h>

#include "app/headless/headless_platform.h"
#include "app/shell.h"
#include "loopback_server.h"
#include "plain_curl.h"
#include "retrieval/handlers.h"
#include "retrieval/page_urls.h"
#include "web/fetch_page.h"
#include "web/http_library.h"
#include "web/system_http_library.h"

namespace {

constexpr char kCode[] = "ZELVARO2026WINTER";
constexpr size_t kPageSize = 4096;

// A page as its author would post it, filled up with markup to 4 KiB.
std::string Page() {
  std::string page = "<html><head><title>ZelvaroCDK</title></head><body>\n"
                     "<p>==0.2==</p>\n<p>====" +
                     std::string(kCode) + "====</p>\n";
  const std::string tail = "</body></html>\n";
  while (page.size() + tail.size() < kPageSize) {
    page += "<p>Redeem between 17:00 and 22:00 on Saturday and Sunday.</p>\n";
  }
  page.resize(kPageSize - tail.size());
  return page + tail;
}

cdk::LoopbackServer &Server() {
  static const std::string response = cdk::HttpResponse(
      Page(), "200 OK", "Content-Type: text/html; charset=gbk\r\n");
  static cdk::LoopbackServer server([](cdk::LoopbackConnection &connection) {
    if (!connection.ReadRequest().empty()) {
      connection.Send(response);
    }
  });
  return server;
}

// The announcement URL is compiled in, the server's port is chosen at run
// time: every call goes to the libcurl backend, with the port swapped.
class ToServerPort : public cdk::HttpLibrary {
public:
  cdk::HttpHandle OpenSession(const cdk::Text &agent, int32_t access,
                              const cdk::Text &proxy_list,
                              const cdk::Text &bypass_list,
                              uint32_t flags) override {
    return curl_.OpenSession(agent, access, proxy_list, bypass_list, flags);
  }
  cdk::HttpHandle Connect(cdk::HttpHandle session, const cdk::Text &host,
                          int32_t, const cdk::Text &user_name,
                          const cdk::Text &password, int32_t service,
                          uint32_t flags, uintptr_t context) override {
    return curl_.Connect(session, host, Server().Port(), user_name, password,
                         service, flags, context);
  }
  cdk::HttpHandle OpenRequest(cdk::HttpHandle connection, const cdk::Text &verb,
                              const cdk::Text &path, const cdk::Text &version,
                              uint32_t flags, uintptr_t context) override {
    return curl_.OpenRequest(connection, verb, path, version, flags, context);
  }
  void SetOption(cdk::HttpHandle request, int32_t option,
                 int32_t value) override {
    curl_.SetOption(request, option, value);
  }
  void SendRequest(cdk::HttpHandle request, const cdk::Text &headers,
                   const cdk::Text &data) override {
    curl_.SendRequest(request, headers, data);
  }
  int32_t ReadBody(cdk::HttpHandle request, char *buffer,
                   int32_t size) override {
    return curl_.ReadBody(request, buffer, size);
  }
  void QueryInfo(cdk::HttpHandle request, int32_t info_level, char *buffer,
                 int32_t *length) override {
    curl_.QueryInfo(request, info_level, buffer, length);
  }
  void CloseHandle(cdk::HttpHandle handle) override {
    curl_.CloseHandle(handle);
  }

private:
  cdk::HttpLibrary &curl_ = cdk::SystemHttpLibrary();
};

void BM_PollTick(benchmark::State &state) {
  cdk::SetEditText(cdk::Control::编辑框1, "");
  for (auto _ : state) {
    cdk::HandlePollTick();
  }
  if (!(cdk::EditText(cdk::Control::编辑框1) == cdk::Text(kCode))) {
    state.SkipWithError("the tick did not show the code");
  }
}

void BM_FetchPage(benchmark::State &state) {
  const cdk::Text url(cdk::AnnouncementPageUrl);
  for (auto _ : state) {
    cdk::Bytes page = cdk::FetchPage(url);
    if (static_cast<size_t>(page.size()) != kPageSize) {
      state.SkipWithError("short page");
      break;
    }
  }
}

void BM_PlainCurl(benchmark::State &state) {
  const std::string url = Server().Url("/announcement.html");
  for (auto _ : state) {
    const std::string page = PlainCurlFetch(url);
    if (page.size() != kPageSize) {
      state.SkipWithError("short page");
      break;
    }
  }
}

#define TICK_BENCHMARK(name)                                                   \
  BENCHMARK(name)                                                              \
      ->Unit(benchmark::kMicrosecond)                                          \
      ->MinTime(0.3)                                                           \
      ->Repetitions(15)                                                        \
      ->ReportAggregatesOnly(true)

TICK_BENCHMARK(BM_PollTick);
TICK_BENCHMARK(BM_FetchPage);
TICK_BENCHMARK(BM_PlainCurl);

// The console report, then the medians' CPU-time ratios against the plain
// fetch.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  // Colours only on a terminal, so the figures can be piped into a file.
  RatioReporter() : ConsoleReporter(isatty(1) ? OO_Defaults : OO_Tabular) {}
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        median_cpu_[run.run_name.function_name] = run.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    double plain = median_cpu_["BM_PlainCurl"];
    for (const char *name : {"BM_PollTick", "BM_FetchPage"}) {
      if (plain > 0 && median_cpu_.count(name) != 0) {
        GetOutputStream() << name << " / BM_PlainCurl, median CPU time: "
                          << median_cpu_[name] / plain << "\n";
      }
    }
  }

private:
  std::map<std::string, double> median_cpu_;
};

int g_argc = 0;
char **g_argv = nullptr;

// The benchmarks run inside the created handler: the window exists, so the
// tick writes its boxes, and ProcessEvents goes to the headless queue as it
// would in the program.
void RunBenchmarks() {
  benchmark::Initialize(&g_argc, g_argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
}

} // namespace

int main(int argc, char **argv) {
  g_argc = argc;
  g_argv = argv;
  ToServerPort library; // also curl_global_init, through the backend
  cdk::InstallHttpLibrary(&library);
  Server();
  cdk::HeadlessPlatform platform;
  platform.CloseAt(0);
  const cdk::Binding bindings[] = {
      {cdk::EventKind::kCreated, {}, RunBenchmarks}};
  return cdk::RunProgram(platform, bindings);
}
