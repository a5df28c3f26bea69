// Fuzzes FetchPage's request building through the recording HTTP fake: any
// URL, method, proxy, headers and body, and any one step failing. The verb is
// the caller's POST or GET; each default header line is appended exactly when
// FindText of its name in the block so far gave -1; a POST with a body ends the
// block with a Content-Length equal to the body's length and sends the body;
// the page and the raw headers come back as the fake served them.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <optional>
#include <string>

#include "require.h"
#include "web/fetch_page.h"
#include "web/http_library.h"
#include "web/recording_http_library.h"
#include "web/request_lines.h"
#include "web/url.h"

namespace {

using cdk::Text;

using cdk::test::kAccept;
using cdk::test::kAgent;
using cdk::test::kForm;
using cdk::test::kLanguage;

bool IsPost(std::string_view method) {
  if (method.size() != 4) {
    return false;
  }
  for (size_t i = 0; i < 4; ++i) {
    char c = method[i];
    if (c != "POST"[i] && c != "post"[i]) {
      return false;
    }
  }
  return true;
}

std::string ExpectedBlock(const Text &url, const Text &headers,
                          std::string_view verb, const Text &body) {
  Text block = headers;
  auto complete = [&](const char *name, std::string_view line) {
    if (cdk::FindText(block, name, 1, true) == -1) {
      block = Text(std::string(block.view()) + std::string(line));
    }
  };
  complete("Accept: ", kAccept);
  complete("Referer: ", "Referer: " + std::string(url.view()) + "\r\n");
  complete("Accept-Language: ", kLanguage);
  std::string out(block.view());
  if (verb != "GET" && !body.empty()) {
    out += kForm;
    out += "Content-Length: " + std::to_string(body.view().size()) + "\r\n";
  }
  return out;
}

Text Take(FuzzedDataProvider &in) {
  return Text(in.ConsumeRandomLengthString(4096));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzedDataProvider in(data, size);
  const Text url = Take(in);
  const Text method = Take(in);
  const Text headers = Take(in);
  const Text body = Take(in);
  std::optional<Text> proxy;
  if (in.ConsumeBool()) {
    proxy = Take(in);
  }
  const bool want_raw_headers = in.ConsumeBool();
  // 0: nothing fails; otherwise the step that fails (FakeStep + 1).
  const int failing = in.ConsumeIntegralInRange<int>(0, 6);
  cdk::FakeResponse response;
  response.piece = in.ConsumeIntegralInRange<int32_t>(1, 600);
  response.raw_headers = in.ConsumeRandomLengthString(1500);
  response.body = in.ConsumeRemainingBytesAsString();

  cdk::RecordingHttpLibrary fake;
  fake.SetDefaultResponse(response);
  auto fails = [&](cdk::FakeStep step) {
    return failing == static_cast<int>(step) + 1;
  };
  if (failing != 0) {
    fake.Fail(static_cast<cdk::FakeStep>(failing - 1));
  }
  cdk::ScopedHttpLibrary installed(fake);
  Text raw_headers("untouched");
  const cdk::Bytes page =
      cdk::FetchPage(url, method, proxy, headers, body,
                     want_raw_headers ? &raw_headers : nullptr);

  // A handle that does not come: what was opened is closed, root first,
  // and nothing comes back.
  const auto &calls = fake.Calls();
  if (fails(cdk::FakeStep::kOpenSession)) {
    Require(fake.Fetches().empty() && calls.size() == 1 && page.empty() &&
                raw_headers == Text("untouched"),
            "no session: nothing else is called");
    return 0;
  }
  if (fails(cdk::FakeStep::kConnect)) {
    Require(calls.size() == 3 && calls.back() == "CloseHandle(#1)" &&
                page.empty() && raw_headers == Text("untouched"),
            "no connection: the session closed");
    return 0;
  }
  if (fails(cdk::FakeStep::kOpenRequest)) {
    Require(calls.size() == 5 && calls[3] == "CloseHandle(#1)" &&
                calls[4] == "CloseHandle(#2)" && page.empty() &&
                raw_headers == Text("untouched"),
            "no request: session and connection closed");
    return 0;
  }

  Require(fake.Fetches().size() == 1, "one request per call");
  const cdk::RecordedFetch &fetch = fake.Fetches().front();
  Require(fetch.agent == Text(kAgent), "the user agent");
  if (proxy) {
    Require(fetch.access == cdk::kAccessProxy &&
                fetch.proxy_list.view() == "http=" + std::string(proxy->view()),
            "a given proxy, even empty, selects proxy mode");
  } else {
    Require(fetch.access == cdk::kAccessDirect && fetch.proxy_list.empty(),
            "no proxy: direct");
  }
  Require(fetch.host == cdk::UrlHost(url) && fetch.port == cdk::UrlPort(url) &&
              fetch.path == cdk::UrlPath(url),
          "host, port and path from the URL operations");

  const std::string_view verb = IsPost(method.view()) ? method.view() : "GET";
  Require(fetch.verb.view() == verb, "POST as written, anything else GET");
  using Option = std::pair<int32_t, int32_t>;
  Require(fetch.options ==
              std::vector<Option>{{cdk::kOptionConnectTimeout, 18000},
                                  {cdk::kOptionReceiveTimeout, 18000},
                                  {cdk::kOptionSendTimeout, 18000}},
          "the three time-outs, in order");

  Require(fetch.headers.view() == ExpectedBlock(url, headers, verb, body),
          "the header block");
  if (verb != "GET" && !body.empty()) {
    const std::string tail =
        "Content-Length: " + std::to_string(body.view().size()) + "\r\n";
    Require(fetch.headers.view().ends_with(tail),
            "Content-Length equals the body's length");
    Require(fetch.data == body, "the body as request data");
  } else {
    Require(fetch.data.empty(), "no request data without a POST body");
  }

  // A failed send or failing reads deliver nothing.
  const bool delivered =
      !fails(cdk::FakeStep::kSend) && !fails(cdk::FakeStep::kRead);
  Require(page.view() == (delivered ? response.body : std::string()),
          "the body as served, zeros included");
  if (want_raw_headers) {
    // With their zero byte they fit the 1024-byte buffer, or the buffer
    // stays 1024 spaces, as it does when the query does nothing.
    const bool queried =
        !fails(cdk::FakeStep::kSend) && !fails(cdk::FakeStep::kQuery);
    const Text served(response.raw_headers);
    const Text expected = queried && response.raw_headers.size() + 1 <= 1024
                              ? served
                              : Text(std::string(1024, ' '));
    Require(raw_headers == expected, "the raw headers");
  } else {
    Require(raw_headers == Text("untouched"), "no receiver, no query");
  }
  Require(calls.size() >= 3 && calls[calls.size() - 3] == "CloseHandle(#1)" &&
              calls[calls.size() - 2] == "CloseHandle(#2)" &&
              calls.back() == "CloseHandle(#3)",
          "every handle closed, root first");
  return 0;
}
