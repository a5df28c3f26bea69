// The WinINet backend against a real WinINet (Wine's) and a loopback echo
// server that the harness (wine_test.py) starts: what goes on the wire, what
// comes back, and the backend's own guards. The server's ports arrive in
// CDK_ECHO_PORT and CDK_CLOSED_PORT.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "web/fetch_page.h"
#include "web/http_library.h"
#include "web/request_lines.h"
#include "web/system_http_library.h"

namespace cdk {
namespace {

// Whole header lines, as each must occur in the request's head.
constexpr auto &kAgent = test::kAgentLine;
using test::kAccept;
using test::kForm;
using test::kLanguage;

int PortFrom(const char *variable) {
  const char *value = std::getenv(variable);
  return value != nullptr ? std::atoi(value) : 0;
}

std::string Base(int port) {
  return "http://127.0.0.1:" + std::to_string(port);
}

std::string Echo() { return Base(PortFrom("CDK_ECHO_PORT")); }

std::string Str(const Bytes &bytes) { return std::string(bytes.view()); }

class WinInetTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_NE(PortFrom("CDK_ECHO_PORT"), 0) << "run by wine_test.py";
    InstallHttpLibrary(&SystemHttpLibrary());
  }
};

// One request and the lines the echo server must have received: the server
// answers with the request head, an empty line and the request body.
struct WireCase {
  const char *name;
  std::string path; // on the echo server, or an absolute URL via the proxy
  Text method;
  bool through_proxy;
  Text headers;
  Text body;
  std::string request_line;
  std::vector<std::string> lines; // each must occur in the head
  std::string received_body;
};

void PrintTo(const WireCase &c, std::ostream *out) { *out << c.name; }

class WinInetWireTest : public WinInetTest,
                        public testing::WithParamInterface<WireCase> {};

TEST_P(WinInetWireTest, ReachesTheServerAsBuilt) {
  const WireCase &c = GetParam();
  const std::string url = c.through_proxy ? c.path : Echo() + c.path;
  std::optional<Text> proxy;
  if (c.through_proxy) {
    proxy = Text(Echo().substr(7)); // "127.0.0.1:port"
  }
  const std::string echoed =
      Str(FetchPage(Text(url), c.method, proxy, c.headers, c.body));
  const size_t head_end = echoed.find("\r\n\r\n");
  ASSERT_NE(head_end, std::string::npos) << echoed;
  const std::string head = echoed.substr(0, head_end + 2);
  std::string request_line = head.substr(0, head.find("\r\n"));
  // Wine's WinINet names the default port in a proxy request's URL.
  if (size_t port = request_line.find(":80/"); port != std::string::npos) {
    request_line.erase(port, 3);
  }
  EXPECT_EQ(request_line, c.request_line);
  for (const std::string &line : c.lines) {
    EXPECT_NE(head.find(line), std::string::npos)
        << "missing " << line << " in\n"
        << head;
  }
  EXPECT_EQ(echoed.substr(head_end + 4), c.received_body);
}

std::string RefererOf(const std::string &path) {
  return "Referer: " + Echo() + path + "\r\n";
}

INSTANTIATE_TEST_SUITE_P(
    Requests, WinInetWireTest,
    testing::Values(WireCase{"PlainGet",
                             "/echo/a?x=1",
                             "",
                             false,
                             "",
                             "",
                             "GET /echo/a?x=1 HTTP/1.1",
                             {kAgent, kAccept, kLanguage, "Host: 127.0.0.1:"},
                             ""},
                    WireCase{"PostForm",
                             "/echo/form",
                             "POST",
                             false,
                             "",
                             "a=1",
                             "POST /echo/form HTTP/1.1",
                             {kForm, "Content-Length: 3\r\n", kAgent},
                             "a=1"},
                    WireCase{"PostInLowerCase",
                             "/echo/form",
                             "post",
                             false,
                             "",
                             "a=1",
                             "post /echo/form HTTP/1.1",
                             {kForm},
                             "a=1"},
                    WireCase{"HeadIsSentAsGet",
                             "/echo/h",
                             "HEAD",
                             false,
                             "",
                             "",
                             "GET /echo/h HTTP/1.1",
                             {kAccept},
                             ""},
                    WireCase{"CallerHeaderKept",
                             "/echo/c",
                             "",
                             false,
                             "X-Cdk-Test: 1\r\n",
                             "",
                             "GET /echo/c HTTP/1.1",
                             {"X-Cdk-Test: 1\r\n", kLanguage},
                             ""},
                    // The proxy list "http=127.0.0.1:port": the request goes to
                    // the echo server with the whole URL in its request line.
                    WireCase{"ThroughTheHttpProxy",
                             "http://cdk.example/echo/p",
                             "",
                             true,
                             "",
                             "",
                             "GET http://cdk.example/echo/p HTTP/1.1",
                             {kAgent, "Referer: http://cdk.example/echo/p\r\n"},
                             ""}),
    [](const testing::TestParamInfo<WireCase> &info) {
      return std::string(info.param.name);
    });

TEST_F(WinInetTest, RefererIsThePageUrl) {
  const std::string echoed = Str(FetchPage(Text(Echo() + "/echo/r")));
  EXPECT_NE(echoed.find(RefererOf("/echo/r")), std::string::npos) << echoed;
}

// Bodies as the server sends them, zero bytes and error pages included.
struct BodyCase {
  const char *name;
  std::string path;
  std::string body;
};

void PrintTo(const BodyCase &c, std::ostream *out) { *out << c.name; }

std::string Pattern(int size) {
  std::string out;
  for (int i = 0; i < size; ++i) {
    out += static_cast<char>(i % 251);
  }
  return out;
}

class WinInetBodyTest : public WinInetTest,
                        public testing::WithParamInterface<BodyCase> {};

TEST_P(WinInetBodyTest, ArrivesWhole) {
  const BodyCase &c = GetParam();
  EXPECT_EQ(Str(FetchPage(Text(Echo() + c.path))), c.body);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, WinInetBodyTest,
    testing::Values(BodyCase{"Empty", "/big?n=0", ""},
                    BodyCase{"OneRead", "/big?n=100", Pattern(100)},
                    BodyCase{"ExactlyOneBuffer", "/big?n=512", Pattern(512)},
                    BodyCase{"ManyReads", "/big?n=100000", Pattern(100000)},
                    BodyCase{"ErrorPage", "/status404", "gone"}),
    [](const testing::TestParamInfo<BodyCase> &info) {
      return std::string(info.param.name);
    });

TEST_F(WinInetTest, NothingListeningGivesTheEmptyBody) {
  const int closed = PortFrom("CDK_CLOSED_PORT");
  ASSERT_NE(closed, 0);
  EXPECT_EQ(Str(FetchPage(Text(Base(closed) + "/page"))), "");
}

TEST_F(WinInetTest, RawHeadersAreTheResponseHead) {
  Text raw;
  FetchPage(Text(Echo() + "/big?n=10"), {}, std::nullopt, {}, {}, &raw);
  const std::string head(raw.view());
  EXPECT_EQ(head.rfind("HTTP/1.1 200", 0), 0u) << head;
  EXPECT_NE(head.find("Content-Length: 10\r\n"), std::string::npos) << head;
}

// The library calls FetchPage makes, one by one: no read delivers more than
// it was asked for.
TEST_F(WinInetTest, ReadsNeverExceedTheirSize) {
  HttpLibrary &library = SystemHttpLibrary();
  HttpHandle session =
      library.OpenSession(test::kAgent, kAccessDirect, "", "", 0);
  ASSERT_NE(session, nullptr);
  HttpHandle connection =
      library.Connect(session, "127.0.0.1", PortFrom("CDK_ECHO_PORT"), "", "",
                      kServiceHttp, 0, 0);
  ASSERT_NE(connection, nullptr);
  HttpHandle request = library.OpenRequest(connection, "GET", "/big?n=5000",
                                           "HTTP/1.1", kFlagReload, 0);
  ASSERT_NE(request, nullptr);
  library.SendRequest(request, "", "");
  std::string body;
  char buffer[512];
  for (int32_t count = 1; count > 0;) {
    count = library.ReadBody(request, buffer, 300);
    ASSERT_LE(count, 300);
    body.append(buffer, static_cast<size_t>(count));
  }
  EXPECT_EQ(body, Pattern(5000));
  library.CloseHandle(request);
  library.CloseHandle(connection);
  library.CloseHandle(session);
}

// WinINet's port is 16 bits: a larger one must fail instead of silently
// reaching another port.
TEST_F(WinInetTest, PortsOutsideSixteenBitsFailToConnect) {
  HttpLibrary &library = SystemHttpLibrary();
  HttpHandle session = library.OpenSession("agent", kAccessDirect, "", "", 0);
  ASSERT_NE(session, nullptr);
  const int echo = PortFrom("CDK_ECHO_PORT");
  for (int32_t port : {-1, 65536, 65536 + echo, INT32_MAX}) {
    EXPECT_EQ(
        library.Connect(session, "127.0.0.1", port, "", "", kServiceHttp, 0, 0),
        nullptr)
        << port;
  }
  // The same port wrapped round would have reached the echo server.
  EXPECT_EQ(Str(FetchPage(Text("http://127.0.0.1:" +
                               std::to_string(65536 + echo) + "/big?n=3"))),
            "");
  library.CloseHandle(session);
}

} // namespace
} // namespace cdk
