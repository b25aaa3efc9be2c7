#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "config/config_files.h"
#include "config/setting_keys.h"
#include "web/page_state.h"
#include "web/web_settings_check.h"
#include "web/web_window_model.h"

namespace vireluz {
namespace {

std::vector<int> values(const nlohmann::json& samples) {
  std::vector<int> v;
  for (const auto& s : samples) v.push_back(s[0].get<int>());
  return v;
}

TEST(WebGraphFeed, SendsEachSampleOnceThroughRingTurnsClearsAndTraceChanges) {
  GraphState g;
  g.traces = 1;
  GraphFeed feed;
  bool changed = false;
  for (int i = 1; i <= 3; ++i) g.add_sample(std::to_string(i) + ";");
  EXPECT_EQ(values(feed.full(0, g, "c")["samples"]), (std::vector<int>{1, 2, 3}));
  EXPECT_TRUE(feed.next(0, g, "c", &changed)["samples"].empty());
  EXPECT_FALSE(changed);
  g.add_sample("4;");
  g.add_sample("5;");
  EXPECT_EQ(values(feed.next(0, g, "c", &changed)["samples"]), (std::vector<int>{4, 5}));
  // Past 350 samples the ring turns: still only the new ones.
  for (int i = 6; i <= 400; ++i) {
    g.add_sample(std::to_string(i) + ";");
    const auto j = feed.next(0, g, "c", &changed);
    ASSERT_EQ(values(j["samples"]), (std::vector<int>{i})) << i;
    ASSERT_FALSE(j.contains("reset"));
  }
  g.clear();
  g.add_sample("7;");
  auto j = feed.next(0, g, "c", &changed);
  EXPECT_TRUE(j["reset"]);
  EXPECT_EQ(values(j["samples"]), (std::vector<int>{7}));
  g.traces = 3;
  g.add_sample("1;2;3;");
  j = feed.next(0, g, "c", &changed);
  EXPECT_TRUE(j["reset"]);
  EXPECT_EQ(j["samples"].back(), nlohmann::json::parse("[1,2,3]"));
}

TEST(WebSettings, PageOpenToTheNetworkNeedsALogin) {
  for (const char* a : {"127.0.0.1", "127.1.2.3", "::1", "::ffff:127.0.0.1"})
    EXPECT_TRUE(is_loopback_address(a)) << a;
  for (const char* a : {"0.0.0.0", "::", "192.168.1.2", "localhost", "128.0.0.1"})
    EXPECT_FALSE(is_loopback_address(a)) << a;
  WebSettings s;
  EXPECT_FALSE(web_settings_problem(s).has_value());
  s.ADRESSE = "0.0.0.0";
  EXPECT_TRUE(web_settings_problem(s).has_value());
  s.UTILISATEUR = "moi";
  EXPECT_TRUE(web_settings_problem(s).has_value());
  s.MOT_DE_PASSE = "x";
  EXPECT_FALSE(web_settings_problem(s).has_value());
  s.UTILISATEUR = "a:b";
  EXPECT_TRUE(web_settings_problem(s).has_value());
  s.UTILISATEUR = "moi";
  s.CERTIFICAT = "/c.pem";
  EXPECT_TRUE(web_settings_problem(s).has_value());
  s.CLE = "/k.pem";
  EXPECT_FALSE(web_settings_problem(s).has_value());
  s.PORT = 70000;
  EXPECT_TRUE(web_settings_problem(s).has_value());
  s.PORT = 80;
  s.ADRESSE = "ma-machine";
  EXPECT_TRUE(web_settings_problem(s).has_value());
}

TEST(WebSettings, WindowChecksThenWritesItsSectionWithThePasswordScrambled) {
  const auto dir = std::filesystem::temp_directory_path() / "vireluz_web_window_test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  Settings settings;
  settings.ConfigDir = dir.string() + "/";
  RecordingMessages messages;
  WebWindowModel m(settings, messages);
  m.show();
  EXPECT_EQ(m.adresse, "127.0.0.1");
  EXPECT_EQ(m.port, "8080");
  m.actif = true;
  m.adresse = "";
  EXPECT_FALSE(m.enregistrer());
  EXPECT_EQ(messages.messages.back().text, "Veuillez remplir TOUS les champs !");
  EXPECT_EQ(messages.messages.back().caption, "Page Web");
  m.adresse = "0.0.0.0";
  EXPECT_FALSE(m.enregistrer());
  m.utilisateur = "moi";
  m.mot_de_passe = w("pass wörd");
  m.certificat = (dir / "absent.pem").string();
  m.cle = (dir / "absent.key").string();
  EXPECT_FALSE(m.enregistrer());
  EXPECT_NE(cp1252_to_utf8(messages.messages.back().text).find("introuvable"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / kConfigFileName));  // nothing written while wrong
  m.certificat = m.cle = "";
  ASSERT_TRUE(m.enregistrer());

  std::ifstream in(dir / kConfigFileName, std::ios::binary);
  std::stringstream file;
  file << in.rdbuf();
  EXPECT_NE(file.str().find("[CONFIG_WEB]"), std::string::npos);
  EXPECT_EQ(file.str().find(w("pass wörd")), std::string::npos);
  Settings loaded;
  loaded.ConfigDir = settings.ConfigDir;
  lire_configuration(loaded);
  EXPECT_EQ(loaded.web, settings.web);
  EXPECT_EQ(loaded.web.MOT_DE_PASSE, w("pass wörd"));
  // The same keys through the command line's --set.
  EXPECT_TRUE(apply_setting(loaded, "CONFIG_WEB", "MOT DE PASSE", "autre"));
  EXPECT_TRUE(apply_setting(loaded, "config_web", "port", "9090"));
  EXPECT_EQ(loaded.web.MOT_DE_PASSE, "autre");
  EXPECT_EQ(loaded.web.PORT, 9090);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vireluz
