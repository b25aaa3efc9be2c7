#include <gtest/gtest.h>

#include <cstdlib>

#include "common/error.h"
#include "common/sim_scheduler.h"
#include "net_support/qt_net_loop.h"
#include "support/record_server.h"
#include "upload/bdpv.h"
#include "upload/cosm.h"
#include "upload/http_curl.h"

using namespace vireluz;
using vireluz::testing::RecordServer;

namespace {

CosmDatastream row(const Text& id, const Text& meter, const Text& kind) {
  CosmDatastream d;
  d[0] = id;
  d[3] = meter;
  d[4] = kind;
  return d;
}

Text at(int port) { return "127.0.0.1:" + std::to_string(port); }

// The real client, counting the requests still on their way.
struct CountingHttp : HttpClient {
  explicit CountingHttp(CurlMulti& multi) : inner(multi) {}
  RequestHandle send(const HttpRequest& request, Done done) override {
    ++running;
    return inner.send(request, [this, done](const HttpResult& r) {
      --running;
      done(r);
    });
  }
  CurlHttpClient inner;
  int running = 0;
};

struct CosmOverHttp : ::testing::Test {
  SimScheduler clock{DateTime{2013, 1, 5, 15, 30, 0, 0}, 60};
  Settings settings;
  MeasureTable measures;
  RecordingMessages messages;
  vireluz::testing::QtNetLoop loop;
  CountingHttp http{loop.multi};
  CosmUploader uploader{settings, measures, clock, http, messages};
  void settle() { loop.run_until([&] { return http.running == 0 && !uploader.pass_running(); }); }

  void SetUp() override {
    settings.cosm.feed = 4242;
    settings.cosm.key = "K3y-abc";
    settings.cosm_table = {row("1", "0", "4"), row("2", "1", "0")};
    settings.CosmRowCount = 2;
    measures.at(MeasureKind::PAPP, 1) = 2350;
    measures.at(MeasureKind::IINST, 2) = -5;
  }
};

struct BdpvOverHttp : ::testing::Test {
  SimScheduler clock{DateTime{2026, 12, 31, 23, 59, 20, 0}, 60};
  Settings settings;
  std::array<MeterSlot, 2> meters;
  RecordingMessages messages;
  vireluz::testing::QtNetLoop loop;
  CountingHttp http{loop.multi};
  BdpvUploader uploader{settings, meters, clock, http, messages};
  void settle() { loop.run_until([&] { return http.running == 0; }); }

  void SetUp() override {
    settings.bdpv.nom_utilisateur = "jean dupont";
    settings.bdpv.mot_de_passe = w("sécret");
    meters[1].ADCO = "021528603314";
    meters[1].BASE = "001234567";
  }
};

}  // namespace

TEST_F(CosmOverHttp, TwoRowsGiveTwoPostsInOrderWithExactHeadersAndBody) {
  RecordServer server(200, "");
  settings.cosm.serveur = at(server.port());
  setenv("http_proxy", "http://127.0.0.1:9", 1);  // must not be used
  uploader.send_Cosm();
  settle();
  unsetenv("http_proxy");
  EXPECT_TRUE(messages.messages.empty());
  const auto reqs = server.requests();
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_EQ(reqs[0].method, "POST");
  EXPECT_EQ(reqs[0].target, "/v2/feeds/4242/datastreams/1/datapoints");
  EXPECT_EQ(reqs[1].target, "/v2/feeds/4242/datastreams/2/datapoints");
  for (const auto& r : reqs) {
    EXPECT_EQ(r.header("Accept"), "text/xml");
    EXPECT_EQ(r.header("Content-Type"), "text/xml");
    EXPECT_EQ(r.header("Content-Version"), "1.1");
    EXPECT_EQ(r.header("Expect"), "<absent>");
    EXPECT_EQ(r.header("Content-Length"), std::to_string(r.body.size()));
    EXPECT_EQ(std::count(r.header_lines.begin(), r.header_lines.end(), "X-ApiKey:K3y-abc"), 1);
  }
  EXPECT_EQ(reqs[0].body, cosm_document(2350, DateTime{2013, 1, 5, 14, 30, 0, 0}));
  EXPECT_NE(reqs[0].body.find("<value at=\"2013-01-05T14:30:00Z\">2350</value>\r\n"), std::string::npos);
  EXPECT_NE(reqs[1].body.find(">-5</value>\r\n"), std::string::npos);
}

TEST_F(CosmOverHttp, ServerErrorEndsThePassBeforeTheSecondRow) {
  RecordServer server(500, "Internal error");
  settings.cosm.serveur = at(server.port());
  uploader.send_Cosm();
  settle();
  EXPECT_EQ(server.requests().size(), 1u);
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_NE(messages.messages[0].text.find("HTTP 500"), std::string::npos);
}

TEST_F(CosmOverHttp, RedirectIsAFailureAndIsNotFollowed) {
  RecordServer server(301, "");
  settings.cosm.serveur = at(server.port());
  uploader.send_Cosm();
  settle();
  EXPECT_EQ(server.requests().size(), 1u);
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_NE(messages.messages[0].text.find("redirection HTTP 301"), std::string::npos);
}

TEST_F(CosmOverHttp, HostileIdentifierStaysOneEncodedPathSegment) {
  RecordServer server(200, "");
  settings.cosm.serveur = at(server.port());
  uploader.commandeCosm("../x?y=1\r\nX-Injected: 1", 3);
  settle();
  uploader.commandeCosm("..", 3);  // not taken for "one folder up"
  settle();
  const auto reqs = server.requests();
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_EQ(reqs[0].target, "/v2/feeds/4242/datastreams/..%2Fx%3Fy%3D1%0D%0AX-Injected%3A%201/datapoints");
  EXPECT_EQ(reqs[0].header("X-Injected"), "<absent>");
  EXPECT_EQ(reqs[1].target, "/v2/feeds/4242/datastreams/%2E%2E/datapoints");
}

TEST_F(BdpvOverHttp, SignedQueryAndOkInsideALongerReply) {
  RecordServer server(200, "Transfert OK, merci");
  settings.bdpv.serveur = at(server.port());
  uploader.envoie_BDPV();
  settle();
  const auto reqs = server.requests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].method, "GET");
  // api_sig computed with Python's hashlib from the signing rule.
  EXPECT_EQ(reqs[0].target,
            "/_service/z_vireluz_gen.php?ADCO=021528603314&INDEX=1234567&DATE=311220262359"
            "&api_demandeur=dir_jean%20dupont&api_sig=61039aa4edefaf75c1b4eeb372966259");
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(BdpvOverHttp, ReplyWithoutOkShowsTheMessage) {
  RecordServer server(200, "Erreur de signature");
  settings.bdpv.serveur = at(server.port());
  uploader.envoie_BDPV();
  settle();
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].text, "ERREUR transfert BDPV !\rErreur de signature");
}
