// A scripted HTTP library for unit tests: it records every call FetchPage
// makes, answers each request with a scripted response, and can fail any
// step. Tests of other layers reuse it to fetch pages without a network.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "web/http_library.h"

namespace cdk {

// What one request answers.
struct FakeResponse {
  std::string body;                                    // any bytes, zeros too
  std::string raw_headers = "HTTP/1.1 200 OK\r\n\r\n"; // CR LF lines
  int32_t piece = 512;     // the most one read delivers
  int32_t fail_after = -1; // reads deliver nothing once this many bytes are
                           // out (a connection lost part-way); -1: never
};

// The steps that can be made to fail, for every request from then on.
enum class FakeStep : uint8_t {
  kOpenSession, // no handle
  kConnect,     // no handle
  kOpenRequest, // no handle
  kSend,        // the send fails, so every read delivers nothing
  kRead,        // every read fails and delivers nothing
  kQuery,       // the query leaves the buffer as it was
};

// Everything one fetch handed to the library, from its session on.
struct RecordedFetch {
  int32_t number = 0; // 1 for the first session opened, and so on
  Text agent;
  int32_t access = 0;
  Text proxy_list;
  Text host;
  int32_t port = 0;
  Text verb;
  Text path;
  std::vector<std::pair<int32_t, int32_t>> options; // (option, value)
  bool sent = false;
  Text headers; // the header block as sent
  Text data;
  int32_t reads = 0;     // reads so far
  int64_t delivered = 0; // body bytes delivered so far
  FakeResponse response;
};

class RecordingHttpLibrary : public HttpLibrary {
public:
  // Each request opened takes the next queued response, then the default
  // one (an empty body with a 200 status line).
  void QueueResponse(FakeResponse response);
  void SetDefaultResponse(FakeResponse response);
  void Fail(FakeStep step) { failing_.insert(step); }

  // Runs at the start of every read, before anything is delivered, with
  // the fetch as it stands (reads counts the earlier ones). A test can move
  // a clock or queue events here, so the fetch seems to take time.
  void OnRead(std::function<void(const RecordedFetch &)> hook) {
    on_read_ = std::move(hook);
  }

  // Every call, one line each, in order. Handles are numbered #1, #2, ...
  // in the order they were handed out; texts are quoted with CR and LF
  // written as \r and \n. For example:
  //   OpenSession('Mozilla/4.0 ...', 1, '', '', 0) -> #1
  //   Connect(#1, 'host', 80, '', '', 3, 0, 0) -> #2
  //   OpenRequest(#2, 'GET', '/a', 'HTTP/1.1', 0x80000000, 0) -> #3
  //   SetOption(#3, 2, 18000)
  //   SendRequest(#3, 'Accept: ...\r\n', '')
  //   ReadBody(#3, 512) -> 5       (", dirty buffer" when not all zeros)
  //   QueryInfo(#3, 22, 1024)
  //   CloseHandle(#1)
  // A call that gives no handle ends in "-> none".
  const std::vector<std::string> &Calls() const { return calls_; }
  const std::vector<RecordedFetch> &Fetches() const { return fetches_; }

  // The call lines as written above, for building expected sequences.
  static std::string Quote(std::string_view bytes);

  // HttpLibrary
  HttpHandle OpenSession(const Text &agent, int32_t access,
                         const Text &proxy_list, const Text &bypass_list,
                         uint32_t flags) override;
  HttpHandle Connect(HttpHandle session, const Text &host, int32_t port,
                     const Text &user_name, const Text &password,
                     int32_t service, uint32_t flags,
                     uintptr_t context) override;
  HttpHandle OpenRequest(HttpHandle connection, const Text &verb,
                         const Text &path, const Text &version, uint32_t flags,
                         uintptr_t context) override;
  void SetOption(HttpHandle request, int32_t option, int32_t value) override;
  void SendRequest(HttpHandle request, const Text &headers,
                   const Text &data) override;
  int32_t ReadBody(HttpHandle request, char *buffer, int32_t size) override;
  void QueryInfo(HttpHandle request, int32_t info_level, char *buffer,
                 int32_t *length) override;
  void CloseHandle(HttpHandle handle) override;

private:
  struct HandleInfo {
    int32_t number;
    size_t fetch; // index into fetches_
  };
  bool Failing(FakeStep step) const { return failing_.count(step) > 0; }
  HttpHandle NewHandle(size_t fetch);
  const HandleInfo *Find(HttpHandle handle) const;
  std::string Name(HttpHandle handle) const;
  void Note(std::string line) { calls_.push_back(std::move(line)); }

  std::vector<FakeResponse> queued_;
  size_t next_queued_ = 0;
  FakeResponse default_response_;
  std::set<FakeStep> failing_;
  std::function<void(const RecordedFetch &)> on_read_;
  std::vector<std::string> calls_;
  std::vector<RecordedFetch> fetches_;
  std::vector<HandleInfo> handles_; // handle #n is handles_[n - 1]
};

// Installs a library for the life of a scope, then puts the earlier back.
class ScopedHttpLibrary {
public:
  explicit ScopedHttpLibrary(HttpLibrary &library)
      : previous_(&InstalledHttpLibrary()) {
    InstallHttpLibrary(&library);
  }
  ~ScopedHttpLibrary() { InstallHttpLibrary(previous_); }
  ScopedHttpLibrary(const ScopedHttpLibrary &) = delete;
  ScopedHttpLibrary &operator=(const ScopedHttpLibrary &) = delete;

private:
  HttpLibrary *previous_;
};

} // namespace cdk
