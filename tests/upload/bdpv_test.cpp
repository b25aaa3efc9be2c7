#include "upload/bdpv.h"

#include <gtest/gtest.h>

#include "common/error.h"
#include "common/sim_scheduler.h"
#include "support/fake_http.h"

using namespace vireluz;
using vireluz::testing::RecordingHttp;

namespace {

struct BdpvFixture : ::testing::Test {
  SimScheduler clock{DateTime{2026, 12, 31, 23, 59, 20, 0}, 60};
  Settings settings;
  std::array<MeterSlot, 2> meters;
  RecordingHttp http;
  RecordingMessages messages;
  BdpvUploader uploader{settings, meters, clock, http, messages};

  void SetUp() override {
    settings.bdpv.BDPV_actif = 1;
    settings.bdpv.nom_utilisateur = "jean dupont";
    settings.bdpv.mot_de_passe = w("sécret");
    meters[1].ADCO = "021528603314";
    meters[1].BASE = "001234567";
    meters[1].EAIT = "000999";
    meters[0].ADCO = "111111111111";
    meters[0].BASE = "000000042";
    meters[0].EAIT = "000123456";
    http.replies = {{200, "OK"}};
  }
};

}  // namespace

TEST(Md5, KnownVectors) {
  EXPECT_EQ(md5_hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(md5_hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(md5_hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
}

TEST_F(BdpvFixture, DefaultReportSignsMeterTwoIndexAtLocalTime) {
  uploader.envoie_BDPV();
  ASSERT_EQ(http.requests.size(), 1u);
  const HttpRequest& r = http.requests[0];
  EXPECT_EQ(r.method, "GET");
  EXPECT_EQ(r.host, "www.bdpv.fr");
  EXPECT_EQ(r.port, 80);
  // Signature: MD5 of "5280_sécret" (cp1252) "ADCO021528603314DATE311220262359INDEX1234567"
  // "api_demandeurdir_jean dupont", computed with Python's hashlib.
  EXPECT_EQ(r.target,
            "/_service/z_vireluz_gen.php?ADCO=021528603314&INDEX=1234567&DATE=311220262359"
            "&api_demandeur=dir_jean%20dupont&api_sig=61039aa4edefaf75c1b4eeb372966259");
  EXPECT_TRUE(r.body.empty());
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(BdpvFixture, IndexFollowsProductionMeterAndTicMode) {
  const DateTime now{2026, 3, 4, 7, 5, 0, 0};
  EXPECT_EQ(bdpv_report(settings, meters, now).INDEX, "1234567");
  EXPECT_EQ(bdpv_report(settings, meters, now).DATE, "040320260705");
  settings.prg.MODE_TIC_cpt2 = 1;
  EXPECT_EQ(bdpv_report(settings, meters, now).INDEX, "999");
  settings.bdpv.compteur_production = 1;
  EXPECT_EQ(bdpv_report(settings, meters, now).INDEX, "42");
  EXPECT_EQ(bdpv_report(settings, meters, now).ADCO, "111111111111");
  settings.prg.MODE_TIC_cpt1 = 1;
  EXPECT_EQ(bdpv_report(settings, meters, now).INDEX, "123456");
  // Nothing received yet, or a text that is not an index.
  meters[0] = MeterSlot{};
  EXPECT_EQ(bdpv_report(settings, meters, now).INDEX, "0");
  EXPECT_EQ(bdpv_report(settings, meters, now).ADCO, "");
  meters[0].EAIT = "12a";
  EXPECT_EQ(bdpv_report(settings, meters, now).INDEX, "0");
  meters[0].EAIT = "0000000000";
  EXPECT_EQ(bdpv_report(settings, meters, now).INDEX, "0");
}

TEST_F(BdpvFixture, AccountTextStaysInsideItsQueryValue) {
  settings.bdpv.nom_utilisateur = "x&api_sig=0#\r\nHost: evil";
  const BdpvReport rep = bdpv_report(settings, meters, clock.local_now());
  EXPECT_EQ(rep.api_demandeur, "dir_x&api_sig=0#\r\nHost: evil");
  EXPECT_TRUE(rep.signed_text.ends_with("INDEX1234567api_demandeurdir_x&api_sig=0#\r\nHost: evil"));
  const std::string target = bdpv_target(rep);
  EXPECT_NE(target.find("&api_demandeur=dir_x%26api_sig%3D0%23%0D%0AHost%3A%20evil&api_sig="),
            std::string::npos);
  EXPECT_EQ(target.find(' '), std::string::npos);
  EXPECT_EQ(target.find('#'), std::string::npos);
}

TEST_F(BdpvFixture, ReplyWithoutOkShowsTheMessageAndErrorsThrow) {
  http.replies = {{200, "Signature OK, index enregistre"}};
  uploader.envoie_BDPV();
  EXPECT_TRUE(messages.messages.empty());

  http.replies = {{200, "ERREUR signature"}};
  uploader.envoie_BDPV();
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].text, "ERREUR transfert BDPV !\rERREUR signature");

  http.replies = {{200, ""}};
  uploader.envoie_BDPV();
  ASSERT_EQ(messages.messages.size(), 2u);
  EXPECT_EQ(messages.messages[1].text, "ERREUR transfert BDPV !\r");

  // Errors and redirects (not followed) are failures shown in an error box,
  // whatever the reply says.
  http.replies = {{503, "OK"}};
  uploader.envoie_BDPV();
  http.replies = {{302, "OK"}};
  uploader.envoie_BDPV();
  http.replies = {{-1, ""}};
  uploader.envoie_BDPV();
  ASSERT_EQ(messages.messages.size(), 5u);
  for (std::size_t i = 2; i < 5; ++i) EXPECT_EQ(messages.messages[i].icon, MessageIcon::Error);
  EXPECT_NE(messages.messages[2].text.find("HTTP 503"), std::string::npos);
  EXPECT_NE(messages.messages[3].text.find("redirection HTTP 302"), std::string::npos);
  EXPECT_NE(messages.messages[4].text.find("connexion impossible"), std::string::npos);
}

TEST(BdpvMinuteDue, DefaultMinuteAndAChangedTime) {
  Settings s;
  EXPECT_FALSE(bdpv_minute_due(s, DateTime{2026, 6, 1, 23, 59, 30, 0}));  // off by default
  s.bdpv.BDPV_actif = 1;
  EXPECT_TRUE(bdpv_minute_due(s, DateTime{2026, 6, 1, 23, 59, 30, 0}));
  EXPECT_FALSE(bdpv_minute_due(s, DateTime{2026, 6, 1, 23, 58, 59, 0}));
  s.BdpvHour = 7;
  s.BdpvMinute = 30;
  EXPECT_TRUE(bdpv_minute_due(s, DateTime{2026, 6, 1, 7, 30, 0, 0}));
  EXPECT_FALSE(bdpv_minute_due(s, DateTime{2026, 6, 1, 23, 59, 0, 0}));
}
