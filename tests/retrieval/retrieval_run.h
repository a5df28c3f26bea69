// One run of the real program on the headless backend, with its pages
// answered by the recording fake: the virtual clock, the requests made and
// what the window shows.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/headless/headless_platform.h"
#include "app/shell.h"
#include "bindings.h"
#include "retrieval/page_urls.h"
#include "retrieval_test_texts.h"
#include "web/recording_http_library.h"

namespace cdk::test {

// The recording fake, noting the virtual time at which each fetch began and
// letting chosen fetches take virtual time for every read.
class ClockedHttpLibrary : public RecordingHttpLibrary {
public:
  explicit ClockedHttpLibrary(HeadlessPlatform &platform)
      : platform_(platform) {
    OnRead([this](const RecordedFetch &fetch) {
      if (watch_) {
        watch_(fetch);
      }
      auto slow = ms_per_read_.find(fetch.number);
      if (slow != ms_per_read_.end()) {
        platform_.Advance(slow->second);
      }
    });
  }

  // Fetch number n (1 is the version check's) spends ms of virtual time on
  // each read, so ticks falling due meanwhile run nested in it.
  void SlowReads(int32_t fetch, int64_t ms) { ms_per_read_[fetch] = ms; }
  // Runs at the start of every read, before the clock moves.
  void WatchReads(std::function<void(const RecordedFetch &)> watch) {
    watch_ = std::move(watch);
  }
  // When each fetch began, successful or not.
  const std::vector<int64_t> &StartedAt() const { return started_at_; }

  HttpHandle OpenSession(const Text &agent, int32_t access,
                         const Text &proxy_list, const Text &bypass_list,
                         uint32_t flags) override {
    started_at_.push_back(platform_.Now());
    return RecordingHttpLibrary::OpenSession(agent, access, proxy_list,
                                             bypass_list, flags);
  }

private:
  HeadlessPlatform &platform_;
  std::map<int32_t, int64_t> ms_per_read_;
  std::function<void(const RecordedFetch &)> watch_;
  std::vector<int64_t> started_at_;
};

// A page with the current version and nothing else the poll would take.
inline const std::string kCurrentVersionPage = kVersionLine;

// A page for the poll: the current version block, then the code block.
inline std::string PageWithCode(std::string_view code) {
  return std::string(kVersionLine) + "\n<p>====" + std::string(code) +
         "====</p>\n";
}

struct RetrievalRun {
  HeadlessPlatform platform;
  ClockedHttpLibrary http{platform};
  ScopedHttpLibrary installed{http};

  // The version check's request answers version_page; later ones take the
  // queued responses, then `rest`.
  void Serve(const std::string &version_page, FakeResponse rest = {}) {
    http.QueueResponse({.body = version_page});
    http.SetDefaultResponse(std::move(rest));
  }
  // Every request from the virtual time on fails at step.
  void NetworkFailsAt(int64_t time_ms, FakeStep step) {
    platform.At(time_ms, [this, step] { http.Fail(step); });
  }

  int Run() { return RunProgram(platform, HandlerBindings()); }

  const Text &Shown(Control c) const { return platform.DisplayedText(c); }
  const std::vector<int64_t> &RequestTimes() const { return http.StartedAt(); }
};

} // namespace cdk::test
