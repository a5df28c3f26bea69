// How fast the poll's work on a large page is: cutting the code out with
// TextBetween, and gathering the body in 512-byte pieces.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "text/text.h"

namespace {

constexpr std::size_t kPageBytes = std::size_t{64} << 20;
constexpr char kCode[] = "====AB12CD34====";

// The page's last kilobyte holds the code, so the search crosses it all.
std::string WithCodeNearTheEnd(std::string page) {
  page.resize(kPageBytes - 1024);
  page += kCode;
  page.resize(kPageBytes, ' ');
  return page;
}

// Markup with single "=" in its attributes, as an announcement page has.
const cdk::Text &AsciiPage() {
  static const cdk::Text page = [] {
    std::string html;
    html.reserve(kPageBytes);
    const char *line = "<p class=\"notice\" style=\"color:red\">Lorem ipsum "
                       "dolor sit amet, a=b; x = y</p>\n";
    while (html.size() < kPageBytes) {
      html += line;
    }
    return cdk::Text(std::string_view(WithCodeNearTheEnd(std::move(html))));
  }();
  return page;
}

// Common Chinese characters, every byte of them 0xB0 or above.
const cdk::Text &GbkPage() {
  static const cdk::Text page = [] {
    std::string gbk;
    gbk.reserve(kPageBytes);
    std::mt19937 random(7);
    while (gbk.size() < kPageBytes) {
      gbk += static_cast<char>(0xB0 + random() % 40);
      gbk += static_cast<char>(0xA1 + random() % 94);
    }
    return cdk::Text(std::string_view(WithCodeNearTheEnd(std::move(gbk))));
  }();
  return page;
}

void CheckCode(benchmark::State &state, const cdk::Text &code) {
  if (code.view() != "AB12CD34") {
    state.SkipWithError("the code was not found");
  }
}

void BM_TextBetweenAscii(benchmark::State &state) {
  const cdk::Text &page = AsciiPage();
  for (auto _ : state) {
    cdk::Text code = cdk::TextBetween(page, "====", "====");
    benchmark::DoNotOptimize(code);
    CheckCode(state, code);
  }
  state.SetBytesProcessed(state.iterations() * page.size());
}

void BM_MemmemAscii(benchmark::State &state) {
  const cdk::Text &page = AsciiPage();
  for (auto _ : state) {
    const void *found = memmem(page.c_str(), page.view().size(), "====", 4);
    benchmark::DoNotOptimize(found);
  }
  state.SetBytesProcessed(state.iterations() * page.size());
}

void BM_TextBetweenGbk(benchmark::State &state) {
  const cdk::Text &page = GbkPage();
  for (auto _ : state) {
    cdk::Text code = cdk::TextBetween(page, "====", "====");
    benchmark::DoNotOptimize(code);
    CheckCode(state, code);
  }
  state.SetBytesProcessed(state.iterations() * page.size());
}

// The page fetch's loop: read up to 512 bytes, keep what was read.
void BM_CollectBody(benchmark::State &state) {
  cdk::Bytes buffer = cdk::BlankBytes(512);
  std::memset(buffer.data(), 'x', 512);
  for (auto _ : state) {
    cdk::Bytes body;
    for (std::size_t total = 0; total < kPageBytes; total += 512) {
      body = cdk::JoinBytes(std::move(body), cdk::BytesLeft(buffer, 512));
    }
    benchmark::DoNotOptimize(body.data());
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kPageBytes});
}

void BM_VectorAppend(benchmark::State &state) {
  std::vector<char> buffer(512, 'x');
  for (auto _ : state) {
    std::vector<char> body;
    for (std::size_t total = 0; total < kPageBytes; total += 512) {
      body.insert(body.end(), buffer.begin(), buffer.end());
    }
    benchmark::DoNotOptimize(body.data());
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kPageBytes});
}

// Each figure is the median of several repetitions of the same run.
#define CDK_TEXT_BENCHMARK(name)                                               \
  BENCHMARK(name)                                                              \
      ->Unit(benchmark::kMillisecond)                                          \
      ->Repetitions(9)                                                         \
      ->ReportAggregatesOnly(true)

CDK_TEXT_BENCHMARK(BM_TextBetweenAscii);
CDK_TEXT_BENCHMARK(BM_MemmemAscii);
CDK_TEXT_BENCHMARK(BM_TextBetweenGbk);
CDK_TEXT_BENCHMARK(BM_CollectBody);
CDK_TEXT_BENCHMARK(BM_VectorAppend);

} // namespace

BENCHMARK_MAIN();
