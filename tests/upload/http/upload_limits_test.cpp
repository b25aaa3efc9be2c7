// The libcurl HTTP client in simulated time against a server run by the
// test's own loop: replies past their cap, a silent server, a refused
// connection, and an uploader dropped while its request is on its way.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "net_support/loop_peer.h"
#include "net_support/sim_io_loop.h"
#include "support/record_server.h"
#include "upload/cosm.h"
#include "upload/http_curl.h"

using namespace vireluz;
using ::testing::HasSubstr;
using vireluz::testing::LoopPeer;
using vireluz::testing::SimIoLoop;

namespace {

struct HttpLimits : ::testing::Test {
  HttpLimits() {
    loop.real_wait_ms = 2;  // the server runs on this loop: nothing to wait for
    // Each request gets `reply`, then `drip` every 100 ms for as long as the connection lasts.
    peer.on_data = [this](int conn, std::string& in) {
      if (in.find("\r\n\r\n") == std::string::npos) return;
      in.clear();
      peer.send(conn, reply);
      if (!drip.empty()) drip_to(conn);
    };
  }
  void drip_to(int conn) {
    dripping = loop.alarm([this, conn] {
      peer.send(conn, drip);
      if (++drips < 10000) dripping->start(100);
    });
    dripping->start(100);
  }

  // One GET; the error text (UTF-8), "" for a reply; `took`: simulated time.
  std::string get(int port, std::int64_t* took = nullptr) {
    const std::int64_t start = loop.now_ms();
    std::optional<HttpResult> result;
    const RequestHandle request = http.send(HttpRequest{"GET", "127.0.0.1", port, "/", {}, ""},
                                            [&](const HttpResult& r) { result = r; });
    loop.run_until([&] { return result.has_value(); }, 60000);
    if (took) *took = loop.now_ms() - start;
    loop.run_for(100);  // the server sees the connection end
    return !result ? "no answer" : result->response ? "" : cp1252_to_utf8(result->error);
  }

  SimScheduler sched{DateTime{2026, 12, 7, 10, 0, 0, 0}};
  SimIoLoop loop{sched};
  CurlMulti multi{loop};
  CurlHttpClient http{multi};
  LoopPeer peer{loop};
  std::string reply, drip;
  std::unique_ptr<IoLoop::Alarm> dripping;
  int drips = 0;
};

TEST_F(HttpLimits, ReplyPastItsCapOrTooSlowEndsWithItsOwnMessage) {
  reply = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nOK";
  EXPECT_EQ(get(peer.port()), "");
  // A 10 MiB body in one burst, then headers without end.
  reply = "HTTP/1.1 200 OK\r\nContent-Length: 10485760\r\n\r\n" + std::string(10 << 20, 'x');
  EXPECT_THAT(get(peer.port()), HasSubstr("réponse trop longue (plus de 64 Kio), elle n'est pas lue"));
  reply = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; i < 3000; ++i) reply += "X-Encore: " + std::string(90, 'y') + "\r\n";
  EXPECT_THAT(get(peer.port()), HasSubstr("en-têtes de la réponse trop longs (plus de 16 Kio)"));
  // A body that comes 1 KiB at a time: ended at the cap, before the whole
  // exchange's limit.
  reply = "HTTP/1.1 200 OK\r\nContent-Length: 1048576\r\n\r\n";
  drip = std::string(1024, 'z');
  std::int64_t took = 0;
  EXPECT_THAT(get(peer.port(), &took), HasSubstr("réponse trop longue (plus de 64 Kio)"));
  EXPECT_NEAR(took, 65 * 100, 150);
  drip.clear();
  // A server that says nothing: the whole exchange's limit, with its own duration.
  reply.clear();
  EXPECT_THAT(get(peer.port(), &took),
              HasSubstr("échange trop long avec le serveur (délai de 15 s dépassé pour l'échange entier)"));
  EXPECT_NEAR(took, 15000, 50);
  EXPECT_EQ(peer.open(), 0);
  // Nobody listening.
  const int port = vireluz::testing::unused_port();
  EXPECT_THAT(get(port), HasSubstr("échec de la connexion HTTP à 127.0.0.1:" + std::to_string(port) +
                                   " : connexion au serveur refusée ou impossible ("));
}

// The uploader's request goes with it: the connection is closed and nothing
// is reported afterwards.
TEST_F(HttpLimits, DroppedUploaderCancelsItsRequest) {
  Settings settings;
  MeasureTable measures;
  RecordingMessages messages;
  settings.cosm.COSM_actif = 1;
  settings.cosm.feed = 7;
  settings.cosm.serveur = "127.0.0.1:" + std::to_string(peer.port());
  CosmDatastream row;
  row[0] = "1";
  row[3] = "0";
  row[4] = "4";
  settings.cosm_table = {row};
  settings.CosmRowCount = 1;
  auto uploader = std::make_unique<CosmUploader>(settings, measures, sched, http, messages);
  uploader->send_Cosm();
  ASSERT_TRUE(loop.run_until([&] { return peer.received(1).find("\r\n\r\n") != std::string::npos; }, 5000));
  ASSERT_EQ(peer.open(), 1);
  uploader.reset();
  loop.run_for(30000);
  EXPECT_EQ(peer.open(), 0);
  EXPECT_TRUE(messages.messages.empty());
}

}  // namespace
