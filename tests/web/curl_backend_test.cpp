// The libcurl backend under FetchPage, against servers on 127.0.0.1: what
// goes on the wire, what comes back, and how failures and stalls end.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/headless/headless_platform.h"
#include "app/shell.h"
#include "loopback_server.h"
#include "web/fetch_page.h"
#include "web/http_library.h"
#include "web/request_lines.h"
#include "web/system_http_library.h"

namespace cdk {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

using test::kAccept;
using test::kAgent;
using test::kForm;
using test::kLanguage;

// Passes every call on to the system library; a test can shorten the
// time-outs FetchPage sets and watch each read as it returns.
class ObservedLibrary : public HttpLibrary {
public:
  int32_t timeout_ms = 0; // > 0: replaces every time-out that is set
  std::function<void(int32_t count)> after_read;

  HttpHandle OpenSession(const Text &a, int32_t b, const Text &c, const Text &d,
                         uint32_t e) override {
    return inner_.OpenSession(a, b, c, d, e);
  }
  HttpHandle Connect(HttpHandle a, const Text &b, int32_t c, const Text &d,
                     const Text &e, int32_t f, uint32_t g,
                     uintptr_t h) override {
    return inner_.Connect(a, b, c, d, e, f, g, h);
  }
  HttpHandle OpenRequest(HttpHandle a, const Text &b, const Text &c,
                         const Text &d, uint32_t e, uintptr_t f) override {
    return inner_.OpenRequest(a, b, c, d, e, f);
  }
  void SetOption(HttpHandle request, int32_t option, int32_t value) override {
    inner_.SetOption(request, option, timeout_ms > 0 ? timeout_ms : value);
  }
  void SendRequest(HttpHandle a, const Text &b, const Text &c) override {
    inner_.SendRequest(a, b, c);
  }
  int32_t ReadBody(HttpHandle request, char *buffer, int32_t size) override {
    int32_t count = inner_.ReadBody(request, buffer, size);
    if (after_read) {
      after_read(count);
    }
    return count;
  }
  void QueryInfo(HttpHandle a, int32_t b, char *c, int32_t *d) override {
    inner_.QueryInfo(a, b, c, d);
  }
  void CloseHandle(HttpHandle handle) override { inner_.CloseHandle(handle); }

private:
  HttpLibrary &inner_ = SystemHttpLibrary();
};

class CurlBackendTest : public testing::Test {
protected:
  CurlBackendTest() { InstallHttpLibrary(&library_); }
  ~CurlBackendTest() override { InstallHttpLibrary(nullptr); }

  ObservedLibrary library_;
};

std::string HostOf(const LoopbackServer &server) {
  return "127.0.0.1:" + std::to_string(server.Port());
}

// What the server reads: the request line, Host, User-Agent, then the
// header block exactly as FetchPage built it, then the data.
std::string OnTheWire(std::string_view request_line, std::string_view host,
                      std::string_view block, std::string_view data = "") {
  return std::string(request_line) + "\r\nHost: " + std::string(host) +
         "\r\nUser-Agent: " + kAgent + "\r\n" + std::string(block) + "\r\n" +
         std::string(data);
}

// ---- The request on the wire, byte for byte ----

struct WireCase {
  const char *name;
  const char *path;
  const char *method;
  const char *headers;
  const char *body;
  // Built from the server's address and the page URL.
  std::function<std::string(const std::string &host, const std::string &url)>
      expected;
};
void PrintTo(const WireCase &c, std::ostream *os) { *os << c.name; }

class CurlWireTest : public CurlBackendTest,
                     public testing::WithParamInterface<WireCase> {};

TEST_P(CurlWireTest, RequestBytes) {
  const WireCase &c = GetParam();
  LoopbackServer server(Answer("ok"));
  std::string url = server.Url(c.path);
  Bytes page = FetchPage(Text(url), c.method, std::nullopt, c.headers, c.body);
  EXPECT_EQ(page.view(), "ok");
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0], c.expected(HostOf(server), url));
}

std::string Defaults(const std::string &url) {
  return std::string(kAccept) + "Referer: " + url + "\r\n" + kLanguage;
}

INSTANTIATE_TEST_SUITE_P(
    Requests, CurlWireTest,
    testing::Values(
        WireCase{"PlainGet", "/announcement.html", "", "", "",
                 [](const std::string &host, const std::string &url) {
                   return OnTheWire("GET /announcement.html HTTP/1.1", host,
                                    Defaults(url));
                 }},
        WireCase{"PathAsGiven", "/a/../B/./c?q=1&r=%41", "", "", "",
                 [](const std::string &host, const std::string &url) {
                   return OnTheWire("GET /a/../B/./c?q=1&r=%41 HTTP/1.1", host,
                                    Defaults(url));
                 }},
        WireCase{"PostForm", "/form", "POST", "", "a=1",
                 [](const std::string &host, const std::string &url) {
                   return OnTheWire(
                       "POST /form HTTP/1.1", host,
                       Defaults(url) + kForm + "Content-Length: 3\r\n", "a=1");
                 }},
        WireCase{"PostInLowerCase", "/form", "post", "", "a=1",
                 [](const std::string &host, const std::string &url) {
                   return OnTheWire(
                       "post /form HTTP/1.1", host,
                       Defaults(url) + kForm + "Content-Length: 3\r\n", "a=1");
                 }},
        WireCase{"PostWithoutBody", "/form", "POST", "", "",
                 [](const std::string &host, const std::string &url) {
                   return OnTheWire("POST /form HTTP/1.1", host, Defaults(url));
                 }},
        WireCase{"HeadIsSentAsGet", "/p", "HEAD", "", "",
                 [](const std::string &host, const std::string &url) {
                   return OnTheWire("GET /p HTTP/1.1", host, Defaults(url));
                 }},
        WireCase{"CallerAcceptStopsTheDefault", "/p", "",
                 "accept: text/html\r\n", "",
                 [](const std::string &host, const std::string &url) {
                   return OnTheWire("GET /p HTTP/1.1", host,
                                    "accept: text/html\r\nReferer: " + url +
                                        "\r\n" + kLanguage);
                 }},
        // Nothing of libcurl's own takes the place of the missing accept.
        WireCase{"NoAcceptLineAtAll", "/p", "", "X-Accept: \r\n", "",
                 [](const std::string &host, const std::string &url) {
                   return OnTheWire("GET /p HTTP/1.1", host,
                                    "X-Accept: \r\nReferer: " + url + "\r\n" +
                                        kLanguage);
                 }},
        WireCase{"RunOnLine", "/p", "", "X-Test: 1", "",
                 [](const std::string &host, const std::string &url) {
                   return OnTheWire("GET /p HTTP/1.1", host,
                                    "X-Test: 1" + Defaults(url));
                 }},
        // The caller's Host and User-Agent replace the library's own.
        WireCase{"CallerHostAndAgent", "/p", "",
                 "Host: example.org\r\nUser-Agent: t\r\n", "",
                 [](const std::string &, const std::string &url) {
                   return "GET /p HTTP/1.1\r\nHost: example.org\r\n"
                          "User-Agent: t\r\n" +
                          Defaults(url) + "\r\n";
                 }}),
    [](const auto &info) { return std::string(info.param.name); });

// ---- What comes back ----

// A handler that answers by request target, so one server can redirect to
// itself.
LoopbackServer::Handler Routes(std::map<std::string, std::string> responses) {
  return [responses](LoopbackConnection &connection) {
    std::string request = connection.ReadRequest();
    size_t start = request.find(' ') + 1;
    std::string target =
        request.substr(start, request.find(' ', start) - start);
    auto found = responses.find(target);
    connection.Send(found != responses.end()
                        ? found->second
                        : HttpResponse("no route", "404 Not Found"));
  };
}

std::string Redirect(const char *status, const char *location,
                     const char *body = "moved") {
  return HttpResponse(body, status,
                      std::string("Location: ") + location + "\r\n");
}

struct ResponseCase {
  const char *name;
  std::map<std::string, std::string> routes; // "/start" is fetched
  std::string page;
  size_t requests; // how many reached the server
};
void PrintTo(const ResponseCase &c, std::ostream *os) { *os << c.name; }

class CurlResponseTest : public CurlBackendTest,
                         public testing::WithParamInterface<ResponseCase> {};

TEST_P(CurlResponseTest, Body) {
  const ResponseCase &c = GetParam();
  LoopbackServer server(Routes(c.routes));
  Bytes page = FetchPage(Text(server.Url("/start")));
  EXPECT_EQ(page.view(), c.page);
  EXPECT_EQ(server.Requests().size(), c.requests);
}

std::string Sized(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>((i * 13) % 256);
  }
  return bytes;
}

std::map<std::string, std::string> Loop() {
  return {{"/start", Redirect("302 Found", "/start", "again")}};
}

std::map<std::string, std::string> Hops(int count) {
  std::map<std::string, std::string> routes;
  for (int i = 0; i < count; ++i) {
    std::string from = i == 0 ? "/start" : "/hop" + std::to_string(i);
    std::string to = "/hop" + std::to_string(i + 1);
    routes[from] = Redirect("301 Moved Permanently", to.c_str());
  }
  routes["/hop" + std::to_string(count)] = HttpResponse("arrived");
  return routes;
}

INSTANTIATE_TEST_SUITE_P(
    Responses, CurlResponseTest,
    testing::Values(
        ResponseCase{
            "ContentLength", {{"/start", HttpResponse("hello")}}, "hello", 1},
        ResponseCase{"Empty", {{"/start", HttpResponse("")}}, "", 1},
        ResponseCase{
            "Chunked",
            {{"/start",
              HttpResponse("5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n", "200 OK",
                           "Transfer-Encoding: chunked\r\n")}},
            "hello world",
            1},
        ResponseCase{"ZeroByteKept",
                     {{"/start", HttpResponse(std::string("ab\0cd", 5))}},
                     std::string("ab\0cd", 5),
                     1},
        ResponseCase{"ErrorStatusBody",
                     {{"/start", HttpResponse("gone", "404 Not Found")}},
                     "gone",
                     1},
        ResponseCase{"ServerErrorBody",
                     {{"/start", HttpResponse("oops", "500 Oops")}},
                     "oops",
                     1},
        ResponseCase{"Large",
                     {{"/start", HttpResponse(Sized(3 << 20))}},
                     Sized(3 << 20),
                     1},
        ResponseCase{"Redirect302",
                     {{"/start", Redirect("302 Found", "/final")},
                      {"/final", HttpResponse("final")}},
                     "final",
                     2},
        ResponseCase{"Redirect303",
                     {{"/start", Redirect("303 See Other", "final")},
                      {"/final", HttpResponse("final")}},
                     "final",
                     2},
        ResponseCase{"Redirect307",
                     {{"/start", Redirect("307 Temporary Redirect", "/final")},
                      {"/final", HttpResponse("final")}},
                     "final",
                     2},
        ResponseCase{"Redirect308",
                     {{"/start", Redirect("308 Permanent Redirect", "/final")},
                      {"/final", HttpResponse("final")}},
                     "final",
                     2},
        ResponseCase{"TenHopsFollowed", Hops(10), "arrived", 11},
        // The eleventh answer is not followed: its own body comes back.
        ResponseCase{"ElevenHopsStop", Loop(), "again", 11},
        ResponseCase{"OtherRedirectStatusNotFollowed",
                     {{"/start", Redirect("300 Multiple Choices", "/final")}},
                     "moved",
                     1},
        ResponseCase{"SecureRedirectNotFollowed",
                     {{"/start", Redirect("302 Found", "https://127.0.0.1/")}},
                     "moved",
                     1},
        ResponseCase{"RedirectWithoutLocation",
                     {{"/start", HttpResponse("nowhere", "302 Found")}},
                     "nowhere",
                     1}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(CurlBackendTest, BodyWithZeroByteIsWholeButItsTextStopsThere) {
  LoopbackServer server(Answer(std::string("v==0.2\0==x", 10)));
  Bytes page = FetchPage(Text(server.Url("/")));
  EXPECT_EQ(page.size(), 10);
  EXPECT_EQ(ToText(page), Text("v==0.2"));
}

TEST_F(CurlBackendTest, CloseDelimitedBody) {
  LoopbackServer server([](LoopbackConnection &connection) {
    connection.ReadRequest();
    connection.Send(
        "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nuntil the end");
  });
  EXPECT_EQ(FetchPage(Text(server.Url("/"))).view(), "until the end");
}

// How a redirect carries the method: 303 and a POST's 301 and 302 turn
// into a GET without data or content lines; 307 and 308 repeat it.
struct RedirectMethodCase {
  const char *status;
  const char *second_request_line;
  bool with_data;
};
void PrintTo(const RedirectMethodCase &c, std::ostream *os) { *os << c.status; }

class CurlRedirectMethodTest
    : public CurlBackendTest,
      public testing::WithParamInterface<RedirectMethodCase> {};

TEST_P(CurlRedirectMethodTest, SecondRequest) {
  const RedirectMethodCase &c = GetParam();
  LoopbackServer server(Routes({{"/form", Redirect(c.status, "/done")},
                                {"/done", HttpResponse("done")}}));
  std::string url = server.Url("/form");
  EXPECT_EQ(FetchPage(Text(url), "POST", std::nullopt, {}, "a=1").view(),
            "done");
  ASSERT_EQ(server.Requests().size(), 2u);
  std::string block = Defaults(url);
  if (c.with_data) {
    block += std::string(kForm) + "Content-Length: 3\r\n";
  }
  EXPECT_EQ(server.Requests()[1],
            OnTheWire(c.second_request_line, HostOf(server), block,
                      c.with_data ? "a=1" : ""));
}

INSTANTIATE_TEST_SUITE_P(
    Methods, CurlRedirectMethodTest,
    testing::Values(
        RedirectMethodCase{"301 Moved", "GET /done HTTP/1.1", false},
        RedirectMethodCase{"302 Found", "GET /done HTTP/1.1", false},
        RedirectMethodCase{"303 See Other", "GET /done HTTP/1.1", false},
        RedirectMethodCase{"307 Temporary", "POST /done HTTP/1.1", true},
        RedirectMethodCase{"308 Permanent", "POST /done HTTP/1.1", true}));

// ---- Raw headers ----

TEST_F(CurlBackendTest, RawHeadersAsReceivedWithCrLfLines) {
  LoopbackServer server([](LoopbackConnection &connection) {
    connection.ReadRequest();
    // Bare LF line ends come back as CR LF.
    connection.Send("HTTP/1.1 200 OK\r\nX-One: 1\nContent-Length: 2\r\n\r\nok");
  });
  Text headers;
  EXPECT_EQ(FetchPage(Text(server.Url("/")), {}, std::nullopt, {}, {}, &headers)
                .view(),
            "ok");
  EXPECT_EQ(headers,
            Text("HTTP/1.1 200 OK\r\nX-One: 1\r\nContent-Length: 2\r\n\r\n"));
}

TEST_F(CurlBackendTest, RawHeadersOfTheFinalResponseAfterARedirect) {
  LoopbackServer server(
      Routes({{"/start", Redirect("302 Found", "/final")},
              {"/final", HttpResponse("x", "200 OK", "X-Final: yes\r\n")}}));
  Text headers;
  FetchPage(Text(server.Url("/start")), {}, std::nullopt, {}, {}, &headers);
  EXPECT_EQ(
      headers,
      Text("HTTP/1.1 200 OK\r\nX-Final: yes\r\nContent-Length: 1\r\n\r\n"));
}

TEST_F(CurlBackendTest, RawHeadersThatDoNotFitLeaveTheSpaces) {
  LoopbackServer server(
      Answer("x", "200 OK", "X-Long: " + std::string(1100, 'v') + "\r\n"));
  Text headers;
  EXPECT_EQ(FetchPage(Text(server.Url("/")), {}, std::nullopt, {}, {}, &headers)
                .view(),
            "x");
  EXPECT_EQ(headers, BlankText(1024));
}

TEST_F(CurlBackendTest, QueryWritesOnlyWhatFitsWithItsZero) {
  LoopbackServer server(Answer("x"));
  HttpLibrary &http = SystemHttpLibrary();
  HttpHandle root = http.OpenSession(kAgent, kAccessDirect, {}, {}, 0);
  HttpHandle connection = http.Connect(root, "127.0.0.1", server.Port(), {}, {},
                                       kServiceHttp, 0, 0);
  HttpHandle request =
      http.OpenRequest(connection, "GET", "/", "HTTP/1.1", kFlagReload, 0);
  http.SendRequest(request, "Accept: */*\r\n", {});
  const std::string expected = "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n";
  const int32_t needed = static_cast<int32_t>(expected.size()) + 1;

  std::string buffer(64, '#');
  int32_t length = needed - 1;
  http.QueryInfo(request, kQueryRawHeadersCrLf, buffer.data(), &length);
  EXPECT_EQ(buffer, std::string(64, '#'));
  EXPECT_EQ(length, needed);

  length = needed;
  http.QueryInfo(request, kQueryRawHeadersCrLf, buffer.data(), &length);
  EXPECT_EQ(buffer.substr(0, needed), expected + '\0');
  EXPECT_EQ(length, needed - 1);

  http.CloseHandle(root);
  http.CloseHandle(connection);
  http.CloseHandle(request);
}

// ---- Requests that cannot be made ----

// A port nobody listens on: bound but never listening, so it stays ours.
class RefusingPort {
public:
  RefusingPort() {
    socket_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(socket_, reinterpret_cast<sockaddr *>(&address), length);
    getsockname(socket_, reinterpret_cast<sockaddr *>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~RefusingPort() { close(socket_); }
  int Port() const { return port_; }

private:
  int socket_;
  int port_;
};

TEST_F(CurlBackendTest, UnreachableGivesTheEmptyResult) {
  RefusingPort refusing;
  LoopbackServer server(Answer("should not be reached"));
  Text headers = "before";
  const std::vector<std::string> urls = {
      "http://127.0.0.1:" + std::to_string(refusing.Port()) + "/",
      "http://nothing-here.invalid/",
      // Not a host name: fails as its lookup would, without any lookup.
      "http://127.0.0.1?x=1",
      "http:///a",
  };
  for (const std::string &url : urls) {
    EXPECT_EQ(FetchPage(Text(url), {}, std::nullopt, {}, {}, &headers), Bytes())
        << url;
    EXPECT_EQ(headers, BlankText(1024)) << url;
  }
  EXPECT_EQ(server.Connections(), 0);
}

// ---- Proxies ----

struct ProxyCase {
  const char *name;
  const char *url;
  std::string request_line;
  std::string host;
};
void PrintTo(const ProxyCase &c, std::ostream *os) { *os << c.name; }

class CurlProxyTest : public CurlBackendTest,
                      public testing::WithParamInterface<ProxyCase> {};

TEST_P(CurlProxyTest, ProxySeesTheAbsoluteUri) {
  const ProxyCase &c = GetParam();
  LoopbackServer proxy(Answer("via proxy"));
  EXPECT_EQ(FetchPage(c.url, {}, Text(HostOf(proxy))).view(), "via proxy");
  ASSERT_EQ(proxy.Requests().size(), 1u);
  EXPECT_EQ(proxy.Requests()[0], c.request_line + "\r\nHost: " + c.host +
                                     "\r\nUser-Agent: " + kAgent +
                                     "\r\nProxy-Connection: Keep-Alive\r\n" +
                                     Defaults(c.url) + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Proxies, CurlProxyTest,
    testing::Values(ProxyCase{"WithPort", "http://example.invalid:81/x?y=1",
                              "GET http://example.invalid:81/x?y=1 HTTP/1.1",
                              "example.invalid:81"},
                    ProxyCase{"DefaultPort", "http://example.invalid/page",
                              "GET http://example.invalid/page HTTP/1.1",
                              "example.invalid"},
                    // Port 0 stands for the default port.
                    ProxyCase{"PortZero", "http://example.invalid:0/x",
                              "GET http://example.invalid/x HTTP/1.1",
                              "example.invalid"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(CurlBackendTest, EmptyProxyAddressFailsWithoutGoingDirect) {
  LoopbackServer origin(Answer("direct"));
  EXPECT_EQ(FetchPage(Text(origin.Url("/")), {}, Text("")), Bytes());
  EXPECT_EQ(origin.Connections(), 0);
}

// Sets environment variables for one test and puts the old values back.
class ScopedEnvironment {
public:
  void Set(const char *name, const std::string &value) {
    const char *old = std::getenv(name);
    saved_.emplace_back(name,
                        old ? std::optional<std::string>(old) : std::nullopt);
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnvironment() {
    for (auto &[name, value] : saved_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
  }

private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(CurlBackendTest, ProxyEnvironmentIsIgnored) {
  LoopbackServer origin(Answer("origin"));
  LoopbackServer env_proxy(Answer("environment proxy"));
  LoopbackServer given_proxy(Answer("given proxy"));
  ScopedEnvironment environment;
  for (const char *name :
       {"http_proxy", "HTTP_PROXY", "ALL_PROXY", "all_proxy"}) {
    environment.Set(name, "http://" + HostOf(env_proxy));
  }
  // Direct stays direct.
  EXPECT_EQ(FetchPage(Text(origin.Url("/"))).view(), "origin");
  // The given proxy is used, whatever the exceptions say.
  environment.Set("NO_PROXY", "*");
  environment.Set("no_proxy", "*");
  EXPECT_EQ(
      FetchPage(Text(origin.Url("/")), {}, Text(HostOf(given_proxy))).view(),
      "given proxy");
  EXPECT_EQ(env_proxy.Connections(), 0);
}

// ---- Stalls, resets and a body that arrives in two parts ----

struct StallCase {
  const char *name;
  std::string sent_before_stall; // after the request has been read
  std::string page;
};
void PrintTo(const StallCase &c, std::ostream *os) { *os << c.name; }

class CurlStallTest : public CurlBackendTest,
                      public testing::WithParamInterface<StallCase> {};

TEST_P(CurlStallTest, ShortReceiveTimeOutKeepsWhatArrived) {
  const StallCase &c = GetParam();
  library_.timeout_ms = 300; // through the set-option call
  LoopbackServer server([&c](LoopbackConnection &connection) {
    connection.ReadRequest();
    connection.Send(c.sent_before_stall);
    connection.Pause(60000); // ended early when the server stops
  });
  EXPECT_EQ(FetchPage(Text(server.Url("/"))).view(), c.page);
}

INSTANTIATE_TEST_SUITE_P(
    Stalls, CurlStallTest,
    testing::Values(
        StallCase{"NoAnswer", "", ""},
        StallCase{"HeadersOnly",
                  "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n", ""},
        StallCase{"MidBody",
                  "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" +
                      std::string(100, 'p'),
                  std::string(100, 'p')},
        StallCase{"MidChunkedBody",
                  "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                  "3\r\nabc\r\n",
                  "abc"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(CurlBackendTest, StalledUploadEndsAfterTheSendTimeOut) {
  library_.timeout_ms = 300;
  // Reads nothing, so the socket buffers fill and the upload stops moving.
  LoopbackServer server(
      [](LoopbackConnection &connection) { connection.Pause(60000); });
  std::string body(32 << 20, 'u');
  EXPECT_EQ(
      FetchPage(Text(server.Url("/")), "POST", std::nullopt, {}, Text(body)),
      Bytes());
}

TEST_F(CurlBackendTest, EveryCallMakesItsOwnConnection) {
  // Would serve any number of requests on one connection.
  std::atomic<int> served = 0;
  LoopbackServer server([&](LoopbackConnection &connection) {
    while (!connection.ReadRequest().empty()) {
      connection.Send(HttpResponse("answer " + std::to_string(++served),
                                   "200 OK",
                                   "Cache-Control: max-age=3600\r\n"));
    }
  });
  EXPECT_EQ(FetchPage(Text(server.Url("/"))).view(), "answer 1");
  EXPECT_EQ(FetchPage(Text(server.Url("/"))).view(), "answer 2");
  EXPECT_EQ(server.Connections(), 2);
}

// Lets the test thread tell a server handler when to go on.
class Signal {
public:
  void Raise() {
    std::lock_guard lock(mutex_);
    raised_ = true;
    changed_.notify_all();
  }
  bool WaitFor(milliseconds deadline) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, deadline, [this] { return raised_; });
  }

private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool raised_ = false;
};

TEST_F(CurlBackendTest, ResetMidBodyKeepsTheBytesSoFar) {
  const std::string part(300, 'r');
  Signal all_read;
  LoopbackServer server([&](LoopbackConnection &connection) {
    connection.ReadRequest();
    connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + part);
    all_read.WaitFor(seconds(10));
    connection.Reset();
  });
  int32_t delivered = 0;
  library_.after_read = [&](int32_t count) {
    delivered += count;
    if (delivered == static_cast<int32_t>(part.size())) {
      all_read.Raise();
    }
  };
  EXPECT_EQ(FetchPage(Text(server.Url("/"))).view(), part);
}

TEST_F(CurlBackendTest, FirstPartIsReadBeforeTheSecondIsSent) {
  const std::string first(700, '1');
  const std::string second(900, '2');
  std::atomic<bool> second_sent = false;
  LoopbackServer server([&](LoopbackConnection &connection) {
    connection.ReadRequest();
    connection.Send("HTTP/1.1 200 OK\r\nContent-Length: " +
                    std::to_string(first.size() + second.size()) + "\r\n\r\n" +
                    first);
    connection.Pause(2000);
    second_sent = true;
    connection.Send(second);
  });
  // A backend that fetched the whole body inside the send would hand out
  // its first piece only after the pause.
  std::vector<bool> sent_at_read;
  library_.after_read = [&](int32_t count) {
    if (count > 0) {
      sent_at_read.push_back(second_sent);
    }
  };
  EXPECT_EQ(FetchPage(Text(server.Url("/"))).view(), first + second);
  ASSERT_FALSE(sent_at_read.empty());
  EXPECT_FALSE(sent_at_read.front());
}

// ---- A fetch nested inside another's ProcessEvents ----

struct NestedRun {
  HeadlessPlatform platform;
  std::string outer_url;
  std::string inner_url;
  Bytes outer;
  Bytes inner;
};
NestedRun *g_nested = nullptr;

TEST_F(CurlBackendTest, NestedFetchInsideProcessEventsHasItsOwnResult) {
  const std::string outer_first(1500, 'o');
  const std::string outer_rest(2500, 'O');
  LoopbackServer inner_server(Answer("inner page"));
  // The outer answer is held half-way until the inner request has been
  // served, so the inner fetch runs while the outer one is mid-body.
  LoopbackServer outer_server([&](LoopbackConnection &connection) {
    connection.ReadRequest();
    connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 4000\r\n\r\n" +
                    outer_first);
    inner_server.WaitForRequests(1, seconds(10));
    connection.Send(outer_rest);
  });
  NestedRun run;
  g_nested = &run;
  run.outer_url = outer_server.Url("/outer");
  run.inner_url = inner_server.Url("/inner");
  run.platform.At(
      0, [] { g_nested->inner = FetchPage(Text(g_nested->inner_url)); });
  run.platform.CloseAt(0);
  const Binding bindings[] = {{EventKind::kCreated, {}, [] {
                                 g_nested->outer =
                                     FetchPage(Text(g_nested->outer_url));
                               }}};
  RunProgram(run.platform, bindings);
  EXPECT_EQ(run.outer.view(), outer_first + outer_rest);
  EXPECT_EQ(run.inner.view(), "inner page");
  g_nested = nullptr;
}

} // namespace
} // namespace cdk
