#include "upload/cosm.h"

#include <gtest/gtest.h>

#include "common/error.h"
#include "common/sim_scheduler.h"
#include "support/fake_http.h"

using namespace vireluz;
using vireluz::testing::RecordingHttp;

namespace {

CosmDatastream row(const Text& id, const Text& meter, const Text& kind) {
  CosmDatastream d;
  d[0] = id;
  d[3] = meter;
  d[4] = kind;
  return d;
}

struct CosmFixture : ::testing::Test {
  // Local time 15:30:00 at UTC+1: the document carries 14:30:00Z.
  SimScheduler clock{DateTime{2013, 1, 5, 15, 30, 0, 0}, 60};
  Settings settings;
  MeasureTable measures;
  RecordingHttp http;
  RecordingMessages messages;
  CosmUploader uploader{settings, measures, clock, http, messages};

  void SetUp() override {
    settings.cosm.feed = 12345;
    settings.cosm.key = "abcKEY123";
  }
};

}  // namespace

TEST_F(CosmFixture, PostsTheEemlDocumentWithTheFeedPathAndHeaders) {
  uploader.commandeCosm("1", 2350);
  ASSERT_EQ(http.requests.size(), 1u);
  const HttpRequest& r = http.requests[0];
  EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(r.host, "api.cosm.com");
  EXPECT_EQ(r.port, 80);
  EXPECT_EQ(r.target, "/v2/feeds/12345/datastreams/1/datapoints");
  const std::vector<std::pair<std::string, std::string>> headers{{"Accept", "text/xml"},
                                                                 {"Content-Type", "text/xml"},
                                                                 {"Content-Version", "1.1"},
                                                                 {"X-ApiKey", "abcKEY123"}};
  EXPECT_EQ(r.headers, headers);
  const std::string expected =
      "<eeml xmlns=\"http://www.eeml.org/xsd/0.5.1\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
      "version=\"0.5.1\" xsi:schemaLocation=\"http://www.eeml.org/xsd/0.5.1 "
      "http://www.eeml.org/xsd/0.5.1/0.5.1.xsd\">\r\n"
      "  <environment>\r\n"
      "   <data>\r\n"
      "     <datapoints>\r\n"
      "       <value at=\"2013-01-05T14:30:00Z\">2350</value>\r\n"
      "     </datapoints>\r\n"
      "   </data>\r\n"
      "  </environment>\r\n"
      "</eeml>\r\n";
  EXPECT_EQ(r.body, expected);
}

TEST_F(CosmFixture, TimeStampIsUtcAcrossTheDayAndYearBoundary) {
  // 00:30 local on 1 January at UTC+1 is still the previous year in UTC.
  SimScheduler c{DateTime{2027, 1, 1, 0, 30, 5, 0}, 60};
  EXPECT_EQ(cosm_timestamp(c.utc_now()), "2026-12-31T23:30:05Z");
  EXPECT_NE(cosm_document(-7, c.utc_now()).find("\">-7</value>\r\n"), std::string::npos);
}

TEST_F(CosmFixture, PassSendsEachCountedRowInOrderWithItsMeasure) {
  settings.cosm_table = {row("1", "0", "4"), row("2", "1", "0"), row("3", "0", "1")};
  settings.CosmRowCount = 2;  // the third row is not counted
  measures.at(MeasureKind::PAPP, 1) = 2350;
  measures.at(MeasureKind::IINST, 2) = -12;
  uploader.send_Cosm();
  ASSERT_EQ(http.requests.size(), 2u);
  EXPECT_EQ(http.requests[0].target, "/v2/feeds/12345/datastreams/1/datapoints");
  EXPECT_NE(http.requests[0].body.find(">2350</value>"), std::string::npos);
  EXPECT_EQ(http.requests[1].target, "/v2/feeds/12345/datastreams/2/datapoints");
  EXPECT_NE(http.requests[1].body.find(">-12</value>"), std::string::npos);
}

TEST_F(CosmFixture, RowsWithoutADatastreamAreSkippedAndCountsAreBounded) {
  settings.cosm_table = {row("", "", ""), row("a", "2", "0"), row("b", "0", "5"), row("c", "x", "1"),
                         row("ok", " 1 ", "3")};
  settings.CosmRowCount = 40;  // more than the table holds
  uploader.send_Cosm();
  ASSERT_EQ(http.requests.size(), 1u);
  EXPECT_EQ(http.requests[0].target, "/v2/feeds/12345/datastreams/ok/datapoints");

  http.requests.clear();
  settings.CosmRowCount = 0;
  uploader.send_Cosm();
  EXPECT_TRUE(http.requests.empty());
}

TEST_F(CosmFixture, ErrorStatusOrFailedConnectionEndsThePass) {
  settings.cosm_table = {row("1", "0", "4"), row("2", "1", "0")};
  settings.CosmRowCount = 2;
  http.replies = {{500, "boom"}, {200, ""}};
  EXPECT_NO_THROW(uploader.send_Cosm());
  EXPECT_EQ(http.requests.size(), 1u);
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].icon, MessageIcon::Error);
  EXPECT_NE(messages.messages[0].text.find("HTTP 500"), std::string::npos);

  http.requests.clear();
  http.replies = {{-1, ""}};
  EXPECT_NO_THROW(uploader.send_Cosm());
  EXPECT_EQ(http.requests.size(), 1u);
  EXPECT_EQ(messages.messages.size(), 2u);

  // A redirect is not followed: the value did not reach the feed.
  http.requests.clear();
  http.replies = {{301, ""}, {200, ""}};
  uploader.send_Cosm();
  EXPECT_EQ(http.requests.size(), 1u);
  ASSERT_EQ(messages.messages.size(), 3u);
  EXPECT_NE(messages.messages[2].text.find("redirection HTTP 301"), std::string::npos);

  http.requests.clear();
  http.replies = {{201, ""}};
  EXPECT_NO_THROW(uploader.send_Cosm());
  EXPECT_EQ(http.requests.size(), 2u);
  EXPECT_EQ(messages.messages.size(), 3u);
}

TEST_F(CosmFixture, RowsGoOneAfterTheOtherAndAPassStillRunningIsNotDoubled) {
  settings.cosm_table = {row("1", "0", "4"), row("2", "1", "0")};
  settings.CosmRowCount = 2;
  http.later = &clock;
  http.delay_ms = 3000;
  uploader.send_Cosm();
  EXPECT_EQ(http.requests.size(), 1u);  // the second row waits for the first reply
  uploader.send_Cosm();                 // the next minute's pass, while this one runs
  EXPECT_EQ(http.requests.size(), 1u);
  clock.advance(3000);
  EXPECT_EQ(http.requests.size(), 2u);
  EXPECT_TRUE(uploader.pass_running());
  clock.advance(3000);
  EXPECT_FALSE(uploader.pass_running());
  EXPECT_EQ(http.requests[1].target, "/v2/feeds/12345/datastreams/2/datapoints");
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(CosmFixture, IdentifierCannotChangeThePathAndKeyCannotAddHeaders) {
  uploader.commandeCosm("a/b?c=1#d\r\nX-Evil: 1 %é", 1);
  ASSERT_EQ(http.requests.size(), 1u);
  EXPECT_EQ(http.requests[0].target,
            "/v2/feeds/12345/datastreams/a%2Fb%3Fc%3D1%23d%0D%0AX-Evil%3A%201%20%25%C3%A9/datapoints");
  EXPECT_EQ(percent_encode("Az09-._~"), "Az09-._~");
  // Dot segments would move the request to another path.
  uploader.commandeCosm("..", 1);
  uploader.commandeCosm(".", 1);
  uploader.commandeCosm("...", 1);
  EXPECT_EQ(http.requests[1].target, "/v2/feeds/12345/datastreams/%2E%2E/datapoints");
  EXPECT_EQ(http.requests[2].target, "/v2/feeds/12345/datastreams/%2E/datapoints");
  EXPECT_EQ(http.requests[3].target, "/v2/feeds/12345/datastreams/.../datapoints");

  http.requests.clear();
  for (const Text& bad : {Text("key\r\nX-Evil: 1"), Text("key\n"), Text("k\tey"), Text("k\x7f")}) {
    settings.cosm.key = bad;
    EXPECT_THROW(uploader.commandeCosm("1", 1), VireluzError);
  }
  EXPECT_TRUE(http.requests.empty());
}

TEST_F(CosmFixture, ServerSettingOverridesTheDefault) {
  settings.cosm.serveur = "127.0.0.1:8080";
  uploader.commandeCosm("1", 1);
  EXPECT_EQ(http.requests.back().host, "127.0.0.1");
  EXPECT_EQ(http.requests.back().port, 8080);
  settings.cosm.serveur = "cosm.example";
  uploader.commandeCosm("1", 1);
  EXPECT_EQ(http.requests.back().host, "cosm.example");
  EXPECT_EQ(http.requests.back().port, 80);
  for (const char* bad : {"host:abc", "host:0", "host:70000", ":80", "ho st", "a/b:80", "host:-1"}) {
    settings.cosm.serveur = bad;
    EXPECT_THROW(uploader.commandeCosm("1", 1), VireluzError) << bad;
  }
}

TEST(CosmMinuteTick, PassesComeAtEveryIntervalAndResumeAfterAShorterInterval) {
  Settings s;
  s.cosm.COSM_actif = 1;
  s.CosmIntervalMinutes = 3;
  int count = 0;
  std::vector<int> passes;
  for (int minute = 1; minute <= 9; ++minute) {
    if (cosm_minute_tick(count, s)) passes.push_back(minute);
  }
  EXPECT_EQ(passes, (std::vector<int>{3, 6, 9}));

  // Count 2 of an interval 15, then the interval becomes 1: the next tick sends.
  s.CosmIntervalMinutes = 15;
  cosm_minute_tick(count, s);
  cosm_minute_tick(count, s);
  s.CosmIntervalMinutes = 1;
  EXPECT_TRUE(cosm_minute_tick(count, s));
  EXPECT_EQ(count, 0);

  // Uploads off: the count keeps its value.
  s.cosm.COSM_actif = 0;
  count = 2;
  EXPECT_FALSE(cosm_minute_tick(count, s));
  EXPECT_EQ(count, 2);
}
