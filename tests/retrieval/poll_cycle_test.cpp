// The poll cycle: what one tick shows for each page, when requests go out,
// and ticks nested inside a slow fetch.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "retrieval_run.h"

namespace cdk::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::EndsWith;
using ::testing::Not;

struct MarkerCase {
  const char *name;
  FakeResponse page;               // what the tick's request answers
  std::optional<FakeStep> failing; // the network from the tick on
  Text code;                       // 编辑框1 after the tick
  Text status;                     // 编辑框4 after the tick
};

// 获取 at 0, one tick at 5000, then the window is closed.
TEST(PollCycleTest, OneTickShowsTheCodeBetweenTheFirstTwoMarkers) {
  const std::string full_page =
      std::string("<html><head><title>CDK</title></head><body>\n") +
      kVersionLine + "\n" + kNoticeLine + "\n<p>====00000000====</p>\n</body>";
  const MarkerCase cases[] = {
      {"a code",
       {.body = PageWithCode("AB12CD34")},
       {},
       "AB12CD34",
       kRedeemStatus},
      {"a code with Chinese in it, bytes unchanged",
       {.body = PageWithCode(kChineseCode)},
       {},
       kChineseCode,
       kRedeemStatus},
      {"eight zeros: no code posted",
       {.body = "====00000000===="},
       {},
       "00000000",
       kNoCodeStatus},
      {"eight zeros amid the markup",
       {.body = full_page},
       {},
       "00000000",
       kNoCodeStatus},
      {"seven zeros",
       {.body = PageWithCode("0000000")},
       {},
       "0000000",
       kRedeemStatus},
      {"nine zeros",
       {.body = PageWithCode("000000000")},
       {},
       "000000000",
       kRedeemStatus},
      {"a blank before the zeros, kept",
       {.body = PageWithCode(" 00000000")},
       {},
       " 00000000",
       kRedeemStatus},
      {"a blank after the zeros, kept",
       {.body = PageWithCode("00000000 ")},
       {},
       "00000000 ",
       kRedeemStatus},
      {"full-width zeros",
       {.body = PageWithCode("\xa3\xb0\xa3\xb0\xa3\xb0\xa3\xb0\xa3\xb0\xa3\xb0"
                             "\xa3\xb0\xa3\xb0")}, // ００００００００
       {},
       "\xa3\xb0\xa3\xb0\xa3\xb0\xa3\xb0\xa3\xb0\xa3\xb0\xa3\xb0\xa3\xb0",
       kRedeemStatus},
      {"touching markers", {.body = PageWithCode("")}, {}, "", kRedeemStatus},
      {"three markers: the first two count",
       {.body = "====AB12====CD34===="},
       {},
       "AB12",
       kRedeemStatus},
      {"one marker",
       {.body = "==0.2== <p>====AB12</p>"},
       {},
       "",
       kRedeemStatus},
      {"no marker", {.body = "==0.2== <p>AB12</p>"}, {}, "", kRedeemStatus},
      {"an empty page", {.body = ""}, {}, "", kRedeemStatus},
      {"an error page",
       {.body = "<html><body>404 Not Found</body></html>",
        .raw_headers = "HTTP/1.1 404 Not Found\r\n\r\n"},
       {},
       "",
       kRedeemStatus},
      {"a version marker touching the code block makes six '='",
       {.body = "==0.2======AB12===="},
       {},
       "==AB12",
       kRedeemStatus},
      {"a zero byte ends the page before the code",
       {.body = std::string("<p>\0</p>====AB12====", 21)},
       {},
       "",
       kRedeemStatus},
      {"connection refused",
       {.body = PageWithCode("AB12")},
       FakeStep::kConnect,
       "",
       kRedeemStatus},
      {"no session",
       {.body = PageWithCode("AB12")},
       FakeStep::kOpenSession,
       "",
       kRedeemStatus},
      {"the request cannot be sent",
       {.body = PageWithCode("AB12")},
       FakeStep::kSend,
       "",
       kRedeemStatus},
      {"connection lost before the closing marker",
       {.body = "====AB12====", .fail_after = 10},
       {},
       "",
       kRedeemStatus},
      {"connection lost after the closing marker",
       {.body = "====AB12====<p>more</p>", .fail_after = 12},
       {},
       "AB12",
       kRedeemStatus},
  };
  for (const MarkerCase &c : cases) {
    SCOPED_TRACE(c.name);
    RetrievalRun run;
    run.Serve(kCurrentVersionPage, c.page);
    if (c.failing) {
      run.NetworkFailsAt(1, *c.failing);
    }
    run.platform.ClickAt(0, Control::按钮1);
    run.platform.CloseAt(5001);
    EXPECT_EQ(run.Run(), 0);
    EXPECT_THAT(run.RequestTimes(), ElementsAre(0, 5000));
    EXPECT_EQ(run.Shown(Control::编辑框1).view(), c.code.view());
    EXPECT_EQ(run.Shown(Control::编辑框4).view(), c.status.view());
    EXPECT_TRUE(run.platform.MessageBoxes().empty());
  }
}

TEST(PollCycleTest, EveryTickOverwritesBothBoxes) {
  RetrievalRun run;
  run.Serve(kCurrentVersionPage);
  run.http.QueueResponse({.body = PageWithCode("AB12")});
  run.http.QueueResponse({.body = PageWithCode("00000000")});
  run.http.QueueResponse({.body = "down for maintenance"});
  run.http.QueueResponse({.body = PageWithCode("CD34")});
  std::vector<std::pair<Text, Text>> after_each;
  for (int64_t t : {5001, 10001, 15001, 20001}) {
    run.platform.At(t, [&] {
      after_each.emplace_back(run.Shown(Control::编辑框1),
                              run.Shown(Control::编辑框4));
    });
  }
  run.platform.ClickAt(0, Control::按钮1);
  run.platform.CloseAt(20002);
  EXPECT_EQ(run.Run(), 0);
  using Boxes = std::pair<Text, Text>;
  EXPECT_THAT(after_each, ElementsAre(Boxes("AB12", kRedeemStatus),
                                      Boxes("00000000", kNoCodeStatus),
                                      Boxes("", kRedeemStatus),
                                      Boxes("CD34", kRedeemStatus)));
}

TEST(PollCycleTest, EveryRequestIsAPlainGetOfTheAnnouncementPage) {
  RetrievalRun run;
  run.Serve(kCurrentVersionPage, {.body = PageWithCode("AB12")});
  run.platform.ClickAt(0, Control::按钮1);
  run.platform.CloseAt(10001);
  EXPECT_EQ(run.Run(), 0);
  ASSERT_EQ(run.http.Fetches().size(), 3u); // the version check, two ticks
  for (const RecordedFetch &f : run.http.Fetches()) {
    SCOPED_TRACE(f.number);
    EXPECT_EQ(f.access, kAccessDirect);
    EXPECT_EQ(f.host.view(), "cdk.example");
    EXPECT_EQ(f.port, 8080);
    EXPECT_EQ(f.verb.view(), "GET");
    EXPECT_EQ(f.path.view(), "/notice/announcement.html");
    EXPECT_EQ(f.data.view(), "");
    EXPECT_THAT(std::string(f.headers.view()),
                testing::HasSubstr(std::string("Referer: ") +
                                   AnnouncementPageUrl + "\r\n"));
  }
}

TEST(PollCycleTest, NothingIsRequestedBeforeGetIsPressed) {
  RetrievalRun run;
  run.Serve(kCurrentVersionPage, {.body = PageWithCode("AB12")});
  // The other two buttons do not start the poll either.
  run.platform.ClickAt(1000, Control::按钮2);
  run.platform.ClickAt(2000, Control::按钮3);
  run.platform.CloseAt(60000);
  EXPECT_EQ(run.Run(), 0);
  EXPECT_THAT(run.RequestTimes(), ElementsAre(0)); // the version check only
  EXPECT_EQ(run.Shown(Control::编辑框1).view(), Text(kInitialCodeBox).view());
  EXPECT_EQ(run.Shown(Control::编辑框4).view(), Text(kInitialStatusBox).view());
  EXPECT_THAT(run.platform.Log(), Not(Contains(EndsWith(" tick"))));
}

struct RhythmCase {
  const char *name;
  std::vector<int64_t> presses; // of 获取
  int64_t close_at;
  std::vector<int64_t> requests; // the version check's at 0 included
};

TEST(PollCycleTest, RequestsFollowTheFirstPressEvery5000Ms) {
  const RhythmCase cases[] = {
      {"the press itself does not poll", {1234}, 6233, {0}},
      {"first request a period after the press, then every period",
       {1234},
       21235,
       {0, 6234, 11234, 16234, 21234}},
      {"a second press 3000 ms later keeps the rhythm",
       {0, 3000},
       15001,
       {0, 5000, 10000, 15000}},
      {"presses just before and between ticks keep it too",
       {0, 3000, 4999, 5000, 7500},
       15001,
       {0, 5000, 10000, 15000}},
  };
  for (const RhythmCase &c : cases) {
    SCOPED_TRACE(c.name);
    RetrievalRun run;
    run.Serve(kCurrentVersionPage, {.body = PageWithCode("AB12")});
    for (int64_t t : c.presses) {
      run.platform.ClickAt(t, Control::按钮1);
    }
    run.platform.CloseAt(c.close_at);
    EXPECT_EQ(run.Run(), 0);
    EXPECT_THAT(run.RequestTimes(), ElementsAreArray(c.requests));
  }
}

// Runs with 获取 pressed at 0 and notes, for each fetch, what 编辑框1 held at
// the start of each of its reads (without repeats).
class NestingTest : public ::testing::Test {
protected:
  void SetUp() override {
    run.Serve(kCurrentVersionPage);
    run.http.WatchReads([this](const RecordedFetch &f) {
      std::string box(EditText(Control::编辑框1).view());
      std::vector<std::string> &seen = seen_[f.number];
      if (seen.empty() || seen.back() != box) {
        seen.push_back(box);
      }
    });
    run.platform.ClickAt(0, Control::按钮1);
  }
  std::vector<std::string> Seen(int32_t fetch) { return seen_[fetch]; }

  RetrievalRun run;
  std::map<int32_t, std::vector<std::string>> seen_;
};

TEST_F(NestingTest, SlowFetchNestsTheNextTickAndTheFirstStartedResultStays) {
  // The first tick's page comes two bytes a second: nine reads, 5000 ms to
  // 14000 ms, so the tick due at 10000 runs inside it with a fast fetch.
  run.http.QueueResponse({.body = "====00000000====", .piece = 2});
  run.http.QueueResponse({.body = PageWithCode("AB12")});
  run.http.SlowReads(2, 1000);
  run.platform.CloseAt(14500);
  EXPECT_EQ(run.Run(), 0);

  EXPECT_THAT(run.RequestTimes(), ElementsAre(0, 5000, 10000));
  // The outer tick saw the nested one's result in the box, then replaced it.
  EXPECT_THAT(Seen(2), ElementsAre(std::string(kInitialCodeBox), "AB12"));
  EXPECT_EQ(run.Shown(Control::编辑框1).view(), "00000000");
  EXPECT_EQ(run.Shown(Control::编辑框4).view(), Text(kNoCodeStatus).view());
  EXPECT_THAT(run.platform.Log(),
              testing::IsSupersetOf({"5000 tick", "10000 tick"}));
}

TEST_F(NestingTest, SlowNestedFetchNestsAThirdTick) {
  // Fetch 2 reads at 5000, 7500 and 10000 and ends at 19500; the tick due
  // at 10000 runs fetch 3 inside it (seven reads of a second, to 17000), and
  // the tick due at 15000 runs fetch 4 inside that. Innermost ends first.
  run.http.QueueResponse({.body = "====0000000000====", .piece = 9});
  run.http.QueueResponse({.body = "====BBBB====", .piece = 2});
  run.http.QueueResponse({.body = PageWithCode("CCCC")});
  run.http.SlowReads(2, 2500);
  run.http.SlowReads(3, 1000);
  run.platform.CloseAt(19800);
  EXPECT_EQ(run.Run(), 0);

  EXPECT_THAT(run.RequestTimes(), ElementsAre(0, 5000, 10000, 15000));
  EXPECT_THAT(Seen(3), ElementsAre(std::string(kInitialCodeBox), "CCCC"));
  EXPECT_THAT(Seen(2), ElementsAre(std::string(kInitialCodeBox), "BBBB"));
  EXPECT_EQ(run.Shown(Control::编辑框1).view(), "0000000000");
  EXPECT_EQ(run.Shown(Control::编辑框4).view(), Text(kRedeemStatus).view());
}

} // namespace
} // namespace cdk::test
