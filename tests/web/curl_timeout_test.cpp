// The real receive time-out FetchPage sets, 18000 ms, on a body that
// stops arriving: the bytes so far come back once it has run out.
#include <gtest/gtest.h>

#include <chrono>

#include "loopback_server.h"
#include "web/fetch_page.h"
#include "web/http_library.h"
#include "web/system_http_library.h"

namespace cdk {
namespace {

TEST(CurlTimeoutTest, StallMidBodyEndsAfterTheReceiveTimeOut) {
  InstallHttpLibrary(&SystemHttpLibrary());
  LoopbackServer server([](LoopbackConnection &connection) {
    connection.ReadRequest();
    connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" +
                    std::string(100, 's'));
    connection.Pause(120000); // ended when the server stops
  });
  auto start = std::chrono::steady_clock::now();
  Bytes page = FetchPage(Text(server.Url("/")));
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(page.view(), std::string(100, 's'));
  // Not a speed check: the fetch must have waited out the time-out rather
  // than given up early.
  EXPECT_GE(waited, std::chrono::milliseconds(18000));
  InstallHttpLibrary(nullptr);
}

} // namespace
} // namespace cdk
