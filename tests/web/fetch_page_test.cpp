// FetchPage against the recording fake: the exact calls and arguments, the
// header block, the failure table, and events running between reads.
#include "web/fetch_page.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/headless/headless_platform.h"
#include "app/shell.h"
#include "web/recording_http_library.h"
#include "web/request_lines.h"

namespace cdk {
namespace {

using test::kAccept;
using test::kAgent;
using test::kForm;
using test::kLanguage;
constexpr char kUrl[] = "http://Host:8080/Dir/Page?x=1";

std::string Q(std::string_view bytes) {
  return RecordingHttpLibrary::Quote(bytes);
}

std::string Referer(std::string_view url) {
  return "Referer: " + std::string(url) + "\r\n";
}

// A call line without its arguments: "ReadBody -> 512", "CloseHandle(#1)".
std::vector<std::string> Shape(const std::vector<std::string> &calls) {
  std::vector<std::string> shape;
  for (const std::string &call : calls) {
    std::string name = call.substr(0, call.find('('));
    size_t arrow = call.rfind(" -> ");
    if (name == "CloseHandle") {
      shape.push_back(call);
    } else if (arrow != std::string::npos) {
      shape.push_back(name + call.substr(arrow));
    } else {
      shape.push_back(name);
    }
  }
  return shape;
}

class FetchPageTest : public testing::Test {
protected:
  RecordingHttpLibrary fake_;
  ScopedHttpLibrary installed_{fake_};
};

TEST_F(FetchPageTest, DefaultRequestMakesExactlyTheseCalls) {
  fake_.SetDefaultResponse({.body = "hello"});
  Bytes page = FetchPage(kUrl);
  EXPECT_EQ(page, Bytes("hello"));
  std::vector<std::string> expected = {
      "OpenSession(" + Q(kAgent) + ", 1, '', '', 0) -> #1",
      "Connect(#1, 'host', 8080, '', '', 3, 0, 0) -> #2",
      "OpenRequest(#2, 'GET', '/Dir/Page?x=1', 'HTTP/1.1', 0x80000000, 0)"
      " -> #3",
      "SetOption(#3, 2, 18000)",
      "SetOption(#3, 6, 18000)",
      "SetOption(#3, 5, 18000)",
      "SendRequest(#3, " + Q(std::string(kAccept) + Referer(kUrl) + kLanguage) +
          ", '')",
      "ReadBody(#3, 512) -> 5",
      "ReadBody(#3, 512) -> 0",
      "CloseHandle(#1)",
      "CloseHandle(#2)",
      "CloseHandle(#3)",
  };
  EXPECT_EQ(fake_.Calls(), expected);
}

// The bytes come back in order and whole, zero bytes included, however
// the library cuts them into pieces.
struct BodyCase {
  const char *name;
  std::string body;
  int32_t piece;
};

class FetchPageBodyTest : public FetchPageTest,
                          public testing::WithParamInterface<BodyCase> {};

TEST_P(FetchPageBodyTest, GathersEveryPiece) {
  const BodyCase &c = GetParam();
  fake_.SetDefaultResponse({.body = c.body, .piece = c.piece});
  Bytes page = FetchPage(kUrl);
  EXPECT_EQ(page.view(), c.body);
  int64_t pieces =
      (static_cast<int64_t>(c.body.size()) + c.piece - 1) / c.piece;
  EXPECT_EQ(fake_.Fetches()[0].reads, pieces + 1); // and one that ends it
}

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>((i * 7) % 251); // zeros every 251 bytes
  }
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, FetchPageBodyTest,
    testing::Values(BodyCase{"Empty", "", 512}, BodyCase{"OneByte", "x", 512},
                    BodyCase{"ExactlyOneRead", Pattern(512), 512},
                    BodyCase{"OneMore", Pattern(513), 512},
                    BodyCase{"LeadingZero", std::string("\0abc", 4), 512},
                    BodyCase{"SmallPieces", Pattern(5000), 100},
                    BodyCase{"OneBytePieces", Pattern(700), 1},
                    BodyCase{"Large", Pattern(1 << 20), 512}),
    [](const auto &info) { return std::string(info.param.name); });

// Method normalisation and the POST content lines.
struct MethodCase {
  const char *method;
  const char *body;
  const char *verb;
  std::string tail; // what follows the three default lines
  const char *data;
};

class FetchPageMethodTest : public FetchPageTest,
                            public testing::WithParamInterface<MethodCase> {};

TEST_P(FetchPageMethodTest, VerbHeadersAndData) {
  const MethodCase &c = GetParam();
  FetchPage(kUrl, c.method, std::nullopt, {}, c.body);
  const RecordedFetch &fetch = fake_.Fetches().at(0);
  EXPECT_EQ(fetch.verb, Text(c.verb));
  EXPECT_EQ(fetch.headers.view(),
            std::string(kAccept) + Referer(kUrl) + kLanguage + c.tail);
  EXPECT_EQ(fetch.data, Text(c.data));
}

const std::string kLength3 = std::string(kForm) + "Content-Length: 3\r\n";

INSTANTIATE_TEST_SUITE_P(
    Methods, FetchPageMethodTest,
    testing::Values(MethodCase{"", "", "GET", "", ""},
                    MethodCase{"GET", "a=1", "GET", "", ""},
                    MethodCase{"get", "a=1", "GET", "", ""},
                    MethodCase{"HEAD", "", "GET", "", ""},
                    MethodCase{"PUT", "a=1", "GET", "", ""},
                    MethodCase{"POSTS", "a=1", "GET", "", ""},
                    MethodCase{" POST", "a=1", "GET", "", ""},
                    MethodCase{"POST", "a=1", "POST", kLength3, "a=1"},
                    MethodCase{"post", "a=1", "post", kLength3, "a=1"},
                    MethodCase{"Post", "a=1", "Post", kLength3, "a=1"},
                    MethodCase{"POST", "", "POST", "", ""},
                    MethodCase{"post", "", "post", "", ""},
                    // The length counts bytes: two GBK characters are 4.
                    MethodCase{"POST", "\xd6\xd0\xce\xc4", "POST",
                               std::string(kForm) + "Content-Length: 4\r\n",
                               "\xd6\xd0\xce\xc4"}));

// Header completion: each default line only when its name is nowhere in
// the text as the earlier steps left it, appended with no separator.
struct HeaderCase {
  const char *name;
  const char *url;
  const char *method;
  const char *extra;
  const char *body;
  std::string block;
};

class FetchPageHeaderTest : public FetchPageTest,
                            public testing::WithParamInterface<HeaderCase> {};

TEST_P(FetchPageHeaderTest, CompletesTheBlock) {
  const HeaderCase &c = GetParam();
  FetchPage(c.url, c.method, std::nullopt, c.extra, c.body);
  EXPECT_EQ(fake_.Fetches().at(0).headers.view(), c.block);
}

const char kOddUrl[] = "http://h/?Accept-Language: x";

INSTANTIATE_TEST_SUITE_P(
    Blocks, FetchPageHeaderTest,
    testing::Values(
        HeaderCase{
            "CallerAcceptInAnyCase", kUrl, "", "accept: text/html\r\n", "",
            std::string("accept: text/html\r\n") + Referer(kUrl) + kLanguage},
        HeaderCase{"RunOnLine", kUrl, "", "X-Test: 1", "",
                   std::string("X-Test: 1") + kAccept + Referer(kUrl) +
                       kLanguage},
        HeaderCase{"NameInsideAnotherName", kUrl, "", "X-Accept: \r\n", "",
                   std::string("X-Accept: \r\n") + Referer(kUrl) + kLanguage},
        HeaderCase{"NameWithoutItsSpaceIsNotIt", kUrl, "",
                   "Accept:text/html\r\n", "",
                   std::string("Accept:text/html\r\n") + kAccept +
                       Referer(kUrl) + kLanguage},
        HeaderCase{"CallerReferer", kUrl, "", "REFERER: http://o/\r\n", "",
                   std::string("REFERER: http://o/\r\n") + kAccept + kLanguage},
        HeaderCase{
            "CallerLanguageIsNoAccept", kUrl, "", "Accept-Language: en\r\n", "",
            std::string("Accept-Language: en\r\n") + kAccept + Referer(kUrl)},
        HeaderCase{"AllThreeGiven", kUrl, "",
                   "Accept: a\r\nReferer: r\r\nAccept-Language: l", "",
                   "Accept: a\r\nReferer: r\r\nAccept-Language: l"},
        // The referrer line added in step 2 already names the language.
        HeaderCase{"LaterTestSeesEarlierLines", kOddUrl, "", "", "",
                   std::string(kAccept) + Referer(kOddUrl)},
        // The content lines are added without looking for the caller's.
        HeaderCase{"CallerContentLength", kUrl, "POST", "Content-Length: 9\r\n",
                   "a=1",
                   "Content-Length: 9\r\n" + std::string(kAccept) +
                       Referer(kUrl) + kLanguage + kLength3}),
    [](const auto &info) { return std::string(info.param.name); });

// A proxy address that is given, even empty, selects proxy mode.
struct ProxyCase {
  const char *name;
  std::optional<Text> proxy;
  int32_t access;
  const char *list;
};

class FetchPageProxyTest : public FetchPageTest,
                           public testing::WithParamInterface<ProxyCase> {};

TEST_P(FetchPageProxyTest, AccessAndList) {
  const ProxyCase &c = GetParam();
  FetchPage(kUrl, {}, c.proxy);
  EXPECT_EQ(fake_.Calls().at(0), "OpenSession(" + Q(kAgent) + ", " +
                                     std::to_string(c.access) + ", " +
                                     Q(c.list) + ", '', 0) -> #1");
}

INSTANTIATE_TEST_SUITE_P(
    Proxies, FetchPageProxyTest,
    testing::Values(ProxyCase{"LeftOut", std::nullopt, 1, ""},
                    ProxyCase{"GivenEmpty", Text(""), 3, "http="},
                    ProxyCase{"Given", Text("10.0.0.1:3128"), 3,
                              "http=10.0.0.1:3128"}),
    [](const auto &info) { return std::string(info.param.name); });

// Every row of the failure table: what is closed, and what comes back.
struct FailureCase {
  const char *name;
  std::vector<FakeStep> failing;
  FakeResponse response;
  bool ask_headers;
  std::vector<std::string> shape;
  std::string page;
  std::string headers; // what the receiver gets, when asked
};

class FetchPageFailureTest : public FetchPageTest,
                             public testing::WithParamInterface<FailureCase> {};

TEST_P(FetchPageFailureTest, ClosesWhatItOpenedAndGivesWhatArrived) {
  const FailureCase &c = GetParam();
  for (FakeStep step : c.failing) {
    fake_.Fail(step);
  }
  fake_.SetDefaultResponse(c.response);
  Text receiver = "untouched";
  Bytes page = FetchPage(kUrl, {}, std::nullopt, {}, {},
                         c.ask_headers ? &receiver : nullptr);
  EXPECT_EQ(Shape(fake_.Calls()), c.shape);
  EXPECT_EQ(page.view(), c.page);
  EXPECT_EQ(receiver.view(), c.ask_headers ? c.headers : "untouched");
}

const std::vector<std::string> kUpToSend = {
    "OpenSession -> #1", "Connect -> #2", "OpenRequest -> #3", "SetOption",
    "SetOption",         "SetOption",     "SendRequest"};
const std::vector<std::string> kCloseAll = {
    "CloseHandle(#1)", "CloseHandle(#2)", "CloseHandle(#3)"};

std::vector<std::string> Join(std::vector<std::string> a,
                              const std::vector<std::string> &b,
                              const std::vector<std::string> &c = {}) {
  a.insert(a.end(), b.begin(), b.end());
  a.insert(a.end(), c.begin(), c.end());
  return a;
}

const std::string kSpaces(1024, ' ');
const std::string kNotFound = "HTTP/1.1 404 Not Found\r\nServer: t\r\n\r\n";
const std::string kLongHeaders =
    "HTTP/1.1 200 OK\r\nX-Long: " + std::string(1000, 'v') + "\r\n\r\n";
// 1023 bytes and the zero byte fill the 1024 exactly.
const std::string kFullHeaders =
    "HTTP/1.1 200 OK\r\nX: " + std::string(1023 - 24, 'v') + "\r\n\r\n";

INSTANTIATE_TEST_SUITE_P(
    FailureTable, FetchPageFailureTest,
    testing::Values(
        FailureCase{"NoRootHandle",
                    {FakeStep::kOpenSession},
                    {},
                    true,
                    {"OpenSession -> none"},
                    "",
                    "untouched"},
        FailureCase{"NoConnection",
                    {FakeStep::kConnect},
                    {},
                    true,
                    {"OpenSession -> #1", "Connect -> none", "CloseHandle(#1)"},
                    "",
                    "untouched"},
        FailureCase{"NoRequest",
                    {FakeStep::kOpenRequest},
                    {},
                    true,
                    {"OpenSession -> #1", "Connect -> #2",
                     "OpenRequest -> none", "CloseHandle(#1)",
                     "CloseHandle(#2)"},
                    "",
                    "untouched"},
        FailureCase{"SendFails",
                    {FakeStep::kSend},
                    {.body = "never"},
                    false,
                    Join(kUpToSend, {"ReadBody -> 0"}, kCloseAll),
                    "",
                    ""},
        FailureCase{"SendFailsHeadersAsked",
                    {FakeStep::kSend},
                    {.body = "never"},
                    true,
                    Join(kUpToSend, {"ReadBody -> 0", "QueryInfo"}, kCloseAll),
                    "",
                    kSpaces},
        FailureCase{"ReadFails",
                    {FakeStep::kRead},
                    {.body = "never"},
                    false,
                    Join(kUpToSend, {"ReadBody -> 0"}, kCloseAll),
                    "",
                    ""},
        FailureCase{
            "ReadFailsPartWay",
            {},
            {.body = std::string(2000, 'b'), .fail_after = 700},
            false,
            Join(kUpToSend,
                 {"ReadBody -> 512", "ReadBody -> 188", "ReadBody -> 0"},
                 kCloseAll),
            std::string(700, 'b'),
            ""},
        FailureCase{"ErrorStatusGivesItsBody",
                    {},
                    {.body = "missing", .raw_headers = kNotFound},
                    true,
                    Join(kUpToSend,
                         {"ReadBody -> 7", "ReadBody -> 0", "QueryInfo"},
                         kCloseAll),
                    "missing",
                    kNotFound},
        FailureCase{"HeadersFitExactly",
                    {},
                    {.body = "", .raw_headers = kFullHeaders},
                    true,
                    Join(kUpToSend, {"ReadBody -> 0", "QueryInfo"}, kCloseAll),
                    "",
                    kFullHeaders},
        FailureCase{"HeadersDoNotFit",
                    {},
                    {.body = "", .raw_headers = kLongHeaders},
                    true,
                    Join(kUpToSend, {"ReadBody -> 0", "QueryInfo"}, kCloseAll),
                    "",
                    kSpaces},
        FailureCase{"QueryFails",
                    {FakeStep::kQuery},
                    {.body = "ok"},
                    true,
                    Join(kUpToSend,
                         {"ReadBody -> 2", "ReadBody -> 0", "QueryInfo"},
                         kCloseAll),
                    "ok",
                    kSpaces}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(FetchPageTest, QueryAsksForRawHeadersInto1024Bytes) {
  Text receiver;
  FetchPage(kUrl, {}, std::nullopt, {}, {}, &receiver);
  EXPECT_EQ(fake_.Calls().at(fake_.Calls().size() - 4),
            "QueryInfo(#3, 22, 1024)");
  EXPECT_EQ(receiver, Text("HTTP/1.1 200 OK\r\n\r\n"));
}

// With the headless backend: the shell's real ProcessEvents runs between
// the reads of a fetch made by the created handler.
class FetchPageEventsTest : public FetchPageTest {
public: // reached from the captureless handlers through current_
  static void Run(HeadlessPlatform &platform, void (*handler)()) {
    const Binding bindings[] = {{EventKind::kCreated, {}, handler}};
    platform.CloseAt(0);
    RunProgram(platform, bindings);
  }

  static FetchPageEventsTest *current_;
  HeadlessPlatform platform_;
  std::vector<std::string> log_;
  Bytes page_;
};

FetchPageEventsTest *FetchPageEventsTest::current_ = nullptr;

TEST_F(FetchPageEventsTest, EventsRunBeforeEveryReadAndNotAfterTheLast) {
  current_ = this;
  // Each event notes the last library call made before it ran.
  auto note_event = [this] {
    log_.push_back("events after " + Shape(fake_.Calls()).back());
  };
  fake_.SetDefaultResponse({.body = std::string(1000, 'x')});
  fake_.OnRead([&](const RecordedFetch &) { platform_.At(0, note_event); });
  platform_.At(0, note_event);
  Run(platform_, [] {
    current_->page_ = FetchPage(kUrl);
    current_->log_.push_back("returned");
  });
  std::vector<std::string> expected = {
      "events after SendRequest", "events after ReadBody -> 512",
      "events after ReadBody -> 488", "returned"};
  ASSERT_GE(log_.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(log_.begin(), log_.begin() + 4), expected);
  EXPECT_EQ(page_.size(), 1000);
}

TEST_F(FetchPageEventsTest, ClosingTheWindowEndsTheBodyAtTheNextRead) {
  current_ = this;
  fake_.SetDefaultResponse({.body = std::string(5000, 'x')});
  fake_.OnRead([this](const RecordedFetch &fetch) {
    if (fetch.reads == 2) {
      platform_.QueueCloseRequest();
    }
  });
  Run(platform_, [] {
    Text receiver;
    current_->page_ = FetchPage(kUrl, {}, std::nullopt, {}, {}, &receiver);
  });
  // The third read delivered; then the close ran and nothing more was read,
  // but the headers were still asked for and every handle closed.
  EXPECT_EQ(page_.size(), 3 * 512);
  EXPECT_EQ(Shape(fake_.Calls()), Join(kUpToSend,
                                       {"ReadBody -> 512", "ReadBody -> 512",
                                        "ReadBody -> 512", "QueryInfo"},
                                       kCloseAll));
}

TEST_F(FetchPageEventsTest, NestedFetchRunsOnItsOwnHandles) {
  current_ = this;
  fake_.QueueResponse({.body = std::string(1000, 'o')});
  fake_.QueueResponse({.body = "inner page"});
  Bytes inner;
  fake_.OnRead([&](const RecordedFetch &fetch) {
    if (fetch.number == 1 && fetch.reads == 0) {
      platform_.At(0, [&] { inner = FetchPage("http://other/inner"); });
    }
  });
  Run(platform_, [] { current_->page_ = FetchPage(kUrl); });
  EXPECT_EQ(page_.view(), std::string(1000, 'o'));
  EXPECT_EQ(inner.view(), "inner page");
  std::vector<std::string> expected = Join(
      kUpToSend, {"ReadBody -> 512"},
      {"OpenSession -> #4", "Connect -> #5", "OpenRequest -> #6", "SetOption",
       "SetOption", "SetOption", "SendRequest", "ReadBody -> 10",
       "ReadBody -> 0", "CloseHandle(#4)", "CloseHandle(#5)", "CloseHandle(#6)",
       "ReadBody -> 488", "ReadBody -> 0"});
  EXPECT_EQ(Shape(fake_.Calls()), Join(expected, kCloseAll));
}

} // namespace
} // namespace cdk
