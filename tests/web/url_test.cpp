// The URL operations on every form they meet: prefix or none, port or none,
// the odd ones where the host is found inside the prefix.
#include "web/url.h"

#include <gtest/gtest.h>

namespace cdk {
namespace {

struct UrlCase {
  const char *url;
  const char *host;
  int32_t port;
  const char *path;
};

const UrlCase kUrlCases[] = {
    {"HTTP://Host:8080/Dir/Page?x=1", "host", 8080, "/Dir/Page?x=1"},
    {"http://host", "host", 80, "/"},
    {"host:81/a", "host", 81, "/a"},
    {"http://host:/a", "host", 0, "/a"},
    {"http://host:abc/a", "host", 0, "/a"},
    {"http://host?x=1", "host?x=1", 80, "/"},
    {"http://host#top", "host#top", 80, "/"},
    {"https://host/a", "https", 0, "//host/a"},
    {"http://tp/a", "tp", 80, "//tp/a"},
    {"http:///a", "", 80, "///a"},
    {"", "", 80, "/"},
    // The port is the number the port text begins with, truncated.
    {"http://host:8080x/a", "host", 8080, "/a"},
    {"http://host:81.9/a", "host", 81, "/a"},
    {"http://host:-1/a", "host", -1, "/a"},
    {"http://host:1:2/a", "host", 1, "/a"},
    // Only the first ":" splits, and only "/" ends the host part.
    {"http://user@host:82/a/b", "user@host", 82, "/a/b"},
    {"http://127.0.0.1:8710/announcement.html", "127.0.0.1", 8710,
     "/announcement.html"},
    // The path keeps its letter case and everything behind the host.
    {"http://w/A/B?Q=1#F", "w", 80, "/A/B?Q=1#F"},
    {"http://h/a", "h", 80, "//h/a"},
    {"Http://EXAMPLE.com", "example.com", 80, "/"},
    // The host is searched for without regard to case, from the start.
    {"http://HTTP/x", "http", 80, "//HTTP/x"},
    {"/rel/path", "", 80, "/rel/path"},
    {"http:/", "http", 0, "/"},
};

class UrlTest : public testing::TestWithParam<UrlCase> {};

TEST_P(UrlTest, HostPortAndPath) {
  const UrlCase &c = GetParam();
  EXPECT_EQ(UrlHost(c.url), Text(c.host));
  EXPECT_EQ(UrlPort(c.url), c.port);
  EXPECT_EQ(UrlPath(c.url), Text(c.path));
}

INSTANTIATE_TEST_SUITE_P(Examples, UrlTest, testing::ValuesIn(kUrlCases));

} // namespace
} // namespace cdk
