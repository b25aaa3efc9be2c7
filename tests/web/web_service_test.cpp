#include "web/web_service.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "acquisition/interface/support/fakes.h"
#include "common/sim_scheduler.h"
#include "config/config_files.h"
#include "simulator/frame_builder.h"

namespace vireluz {
namespace {

using testing::FakeD2xx;
using testing::FakeSerial;

// A historic group with its checksum, as a meter sends it.
constexpr auto group = historic_group;

std::string frame(int amps) {
  char iinst[4];
  std::snprintf(iinst, sizeof iinst, "%03d", amps);
  return "\x02" + group("ADCO", "021528603314") + group("OPTARIF", "BASE") + group("ISOUSC", "30") +
         group("BASE", "001234567") + group("PTEC", "TH..") + group("IINST", iinst) + group("IMAX", "030") +
         group("PAPP", "00420") + "\x03";
}

class FakeServer : public WebServer {
 public:
  std::string start(const Listen& l, WebSite& s) override {
    listen = l;
    site = &s;
    ++starts;
    return fail;
  }
  void stop() override { site = nullptr; }
  int port() const override { return site ? listen.port : 0; }
  int pages() const override { return open_pages; }
  void broadcast(const std::string& m) override { sent.push_back(nlohmann::json::parse(m)); }

  Listen listen;
  WebSite* site = nullptr;
  int starts = 0;
  std::string fail;
  int open_pages = 0;
  std::vector<nlohmann::json> sent;
};

class WebServiceTest : public ::testing::Test {
 protected:
  static std::filesystem::path test_dir() {
    auto dir =
        std::filesystem::temp_directory_path() /
        ("vireluz_web_test_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(dir);
    return dir;
  }
  WebServiceTest() {
    d2xx.devices = {{"Interface USB -> Compteur", true, 3}};
    program.start_sequence(true);
    sched.advance(500);
  }
  ~WebServiceTest() override { std::filesystem::remove_all(dir); }

  void serve(const Text& address, const Text& user, const Text& password) {
    WebSettings& s = program.settings().web;
    s.ACTIF = 1;
    s.ADRESSE = address;
    s.PORT = 8123;
    s.UTILISATEUR = user;
    s.MOT_DE_PASSE = password;
    web.apply_settings(true);
  }

  std::filesystem::path dir = test_dir();
  SimScheduler sched;
  RecordingMessages messages;
  FakeD2xx d2xx;
  FakeSerial serial;
  Program program{sched, sched, messages, d2xx, serial, {dir.string() + "/", dir.string() + "/"}};
  FakeServer server;
  WebService web{program, server};
};

TEST_F(WebServiceTest, NetworkAddressWithoutPasswordIsNotServedAndSaysWhy) {
  EXPECT_EQ(server.starts, 0);  // ACTIF 0 by default
  serve("0.0.0.0", "", "");
  EXPECT_EQ(server.starts, 0);
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].caption, "Page Web");
  EXPECT_NE(cp1252_to_utf8(messages.messages[0].text).find("sans mot de passe"), std::string::npos);

  serve("0.0.0.0", "moi", w("sécret"));
  EXPECT_EQ(server.starts, 1);
  EXPECT_EQ(server.listen.address, "0.0.0.0");
  EXPECT_EQ(server.listen.port, 8123);
  const auto h = parse_head("GET / HTTP/1.1\r\nHost: h\r\n\r\n");
  EXPECT_EQ(server.site->check(*h, 0, "10.1.1.1", 0).status, 401);
  // The same settings again: the server and its open pages stay as they are.
  web.apply_settings();
  EXPECT_EQ(server.starts, 1);

  server.fail = "port pris";
  serve("127.0.0.1", "", "");
  EXPECT_EQ(server.starts, 2);
  EXPECT_EQ(messages.messages.back().text, w("La page Web n'est pas publiée : port pris"));
}

TEST_F(WebServiceTest, FramesReachOpenPagesOnlyAndEachCarriesItsNewSamples) {
  serve("127.0.0.1", "", "");
  for (int i = 0; i < 3; ++i) serial.receive(frame(5));
  EXPECT_TRUE(server.sent.empty());  // nobody to send to: nothing built

  // A page counts as open once its first message is sent.
  const auto first = nlohmann::json::parse(server.site->page_opened());
  server.open_pages = 1;
  EXPECT_EQ(first["type"], "state");
  EXPECT_TRUE(first["graphs"][0]["reset"]);
  const std::size_t kept = first["graphs"][0]["samples"].size();
  EXPECT_GE(kept, 1u);
  const auto& rows = first["window"]["meters"][0]["rows"];
  EXPECT_EQ(rows[0]["label"]["text"], "ADCO");
  EXPECT_EQ(rows[0]["value"]["text"], "021528603314");
  EXPECT_EQ(rows[0]["value"]["bg"], "black");
  EXPECT_EQ(rows[0]["value"]["fg"], "yellow");
  EXPECT_EQ(rows[10]["label"]["text"], "I instantanée");
  EXPECT_EQ(rows[10]["value"]["bg"], "red");
  EXPECT_EQ(rows[10]["value"]["bold"], true);
  EXPECT_EQ(rows[10]["gauge"]["position"], 5);
  EXPECT_EQ(rows[11]["label"]["enabled"], false);  // phase 2 of a single-phase meter

  serial.receive(frame(7));
  ASSERT_EQ(server.sent.size(), 1u);
  const auto& g = server.sent[0]["graphs"][0];
  EXPECT_FALSE(g.contains("reset"));
  EXPECT_EQ(g["samples"], nlohmann::json::parse("[[7]]"));
  // Only the rows that changed: the current (and its gauge), the maximum.
  const auto& changed = server.sent[0]["window"]["meters"][0]["rows"];
  EXPECT_EQ(changed["10"]["value"]["text"], "7 A");
  EXPECT_EQ(changed["10"]["gauge"]["position"], 7);
  EXPECT_FALSE(changed.contains("0"));
  EXPECT_LE(changed.size(), 3u);

  // A second page opening does not make the first miss a sample.
  serial.receive(frame(9));
  server.sent.clear();
  const auto second = nlohmann::json::parse(server.site->page_opened());
  server.open_pages = 2;
  EXPECT_EQ(second["graphs"][0]["samples"].back(), nlohmann::json::parse("[9]"));
  serial.receive(frame(11));
  ASSERT_EQ(server.sent.size(), 1u);
  EXPECT_EQ(server.sent[0]["graphs"][0]["samples"], nlohmann::json::parse("[[11]]"));
}

TEST_F(WebServiceTest, NoSecretIsEverInWhatIsServed) {
  Settings& s = program.settings();
  s.mail.PASSWORD = "mailpw-1";
  s.bdpv.mot_de_passe = "bdpvpw-2";
  s.cosm.key = "cosmkey-3";
  s.mqtt.MOT_DE_PASSE = "mqttpw-4";
  serve("127.0.0.1", "moi", "webpw-5");
  serial.receive(frame(3));
  std::string served = server.site->page_opened() + server.site->api_state();
  server.open_pages = 1;
  serial.receive(frame(4));
  for (const auto& m : server.sent) served += m.dump();
  EXPECT_NE(served.find("021528603314"), std::string::npos);
  for (const Text secret : {"mailpw-1", "bdpvpw-2", "cosmkey-3", "mqttpw-4", "webpw-5"}) {
    EXPECT_EQ(served.find(secret), std::string::npos) << secret;
    EXPECT_EQ(served.find(scramble_secret(secret)), std::string::npos) << secret;
  }
  const auto state = nlohmann::json::parse(server.site->api_state());
  EXPECT_EQ(state["meters"][0]["ADCO"], "021528603314");
  EXPECT_TRUE(state.contains("ReadingActive"));
}

}  // namespace
}  // namespace vireluz
