#include "app/mqtt_window.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <fstream>

#include "common/io_loop_qt.h"
#include "mqtt/mqtt_client_mosquitto.h"
#include "support/window_fixture.h"

extern char** environ;

using namespace vireluz;
using namespace vireluz::testing;

namespace {

using MqttDialog = WindowFixture;

void type(TForm_MQTT& f, const char* name, const char* text) { child<QLineEdit>(f, name)->setText(u(text)); }

std::string contains_message(const std::vector<Text>& texts, const char* utf8) {
  for (const Text& t : texts)
    if (cp1252_to_utf8(t).find(utf8) != std::string::npos) return cp1252_to_utf8(t);
  return {};
}

int free_port() {
  QTcpServer s;
  s.listen(QHostAddress::LocalHost, 0);
  return s.serverPort();
}

}  // namespace

TEST_F(MqttDialog, SavesItsSectionOnlyAfterCheckingTheFields) {
  std::ofstream(settings.ConfigDir + kConfigFileName, std::ios::binary)
      << "[CONFIG_PRG]\r\nNOM_CPT1=Maison\r\n[CONFIG_COSM]\r\nfeed=7\r\n";
  lire_configuration(settings);
  TForm_MQTT f(settings, messages, nullptr);
  EXPECT_TRUE(unnamed_widgets(f).isEmpty()) << unnamed_widgets(f).join(", ").toStdString();
  EXPECT_EQ(f.windowTitle(), "Transfert MQTT");
  f.show();
  // Defaults of a file without the section.
  EXPECT_EQ(child<QLineEdit>(f, "Edit_port")->text(), "1883");
  EXPECT_EQ(child<QLineEdit>(f, "Edit_prefixe")->text(), "vireluz");
  EXPECT_EQ(child<QLineEdit>(f, "Edit_prefixe_decouverte")->text(), "homeassistant");
  EXPECT_EQ(child<QLineEdit>(f, "Edit_periode")->text(), "10");
  EXPECT_TRUE(child<QCheckBox>(f, "CheckBox_decouverte")->isChecked());
  EXPECT_FALSE(child<QPushButton>(f, "Button_test")->isEnabled());  // no client here
  EXPECT_EQ(child<QLineEdit>(f, "Edit_mot_de_passe")->echoMode(), QLineEdit::Password);

  auto save = [&] { child<QPushButton>(f, "Button_enregistrer")->click(); };
  const std::string before = file(kConfigFileName);
  child<QCheckBox>(f, "CheckBox_actif")->setChecked(true);
  save();  // no server
  type(f, "Edit_serveur", "broker.local");
  type(f, "Edit_port", "70000");
  save();
  type(f, "Edit_port", "8883");
  type(f, "Edit_prefixe", "maison/#");
  save();
  type(f, "Edit_prefixe", "maison/tic");
  type(f, "Edit_periode", "-1");
  save();
  ASSERT_EQ(messages.messages.size(), 4u);
  EXPECT_NE(contains_message(message_texts(), "Indiquez le serveur MQTT"), "");
  EXPECT_NE(contains_message(message_texts(), "entre 1 et 65535"), "");
  EXPECT_NE(contains_message(message_texts(), "préfixes"), "");
  EXPECT_NE(contains_message(message_texts(), "La période"), "");
  EXPECT_EQ(file(kConfigFileName), before);  // nothing written while a field is wrong
  EXPECT_EQ(settings.mqtt.ACTIF, 0);

  type(f, "Edit_periode", "30");
  type(f, "Edit_utilisateur", "ha");
  type(f, "Edit_mot_de_passe", "sécret");
  save();
  EXPECT_EQ(messages.messages.size(), 4u);
  const std::string saved = file(kConfigFileName);
  EXPECT_EQ(saved.find("sécret"), std::string::npos);
  EXPECT_EQ(saved.find(cp1252_to_utf8(w("sécret"))), std::string::npos);
  const Settings s = reload();
  EXPECT_EQ(s.mqtt.ACTIF, 1);
  EXPECT_EQ(s.mqtt.SERVEUR, "broker.local");
  EXPECT_EQ(s.mqtt.PORT, 8883);
  EXPECT_EQ(s.mqtt.MOT_DE_PASSE, w("sécret"));
  EXPECT_EQ(s.mqtt.PREFIXE, "maison/tic");
  EXPECT_EQ(s.mqtt.PERIODE, 30);
  EXPECT_EQ(s.prg.NOM_CPT1, "Maison");  // the other sections are kept
  EXPECT_EQ(s.cosm.feed, 7);
}

TEST_F(MqttDialog, TestConnexionSaysWhatHappenedWithoutBlocking) {
  const int port = free_port();
  const std::string port_text = std::to_string(port);
  const char* argv[] = {"mosquitto", "-p", port_text.c_str(), nullptr};
  pid_t broker = 0;
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
  ASSERT_EQ(posix_spawnp(&broker, "mosquitto", &quiet, nullptr, const_cast<char**>(argv), environ), 0);
  posix_spawn_file_actions_destroy(&quiet);
  QtIoLoop loop;
  MosquittoClientFactory clients(loop);
  TForm_MQTT f(settings, messages, &clients);
  f.show();
  type(f, "Edit_serveur", "127.0.0.1");
  auto* button = child<QPushButton>(f, "Button_test");
  auto outcome = [&](const char* port_field) -> std::string {
    messages.messages.clear();
    type(f, "Edit_port", port_field);
    button->click();
    EXPECT_FALSE(button->isEnabled());  // one test at a time, the window stays live
    if (!QTest::qWaitFor([&] { return !messages.messages.empty(); }, 15000)) return "pas de réponse";
    EXPECT_TRUE(button->isEnabled());
    return cp1252_to_utf8(messages.messages.front().text);
  };
  // The broker may take a moment to listen: the first attempts may be refused.
  std::string ok;
  QElapsedTimer t;
  t.start();
  while (ok.find("réussie") == std::string::npos && t.elapsed() < 10000) ok = outcome(port_text.c_str());
  EXPECT_NE(ok.find("Connexion réussie au serveur MQTT 127.0.0.1:" + port_text), std::string::npos) << ok;
  kill(broker, SIGTERM);
  waitpid(broker, nullptr, 0);
  const std::string refused = outcome(port_text.c_str());
  EXPECT_NE(refused.find("Connexion impossible au serveur MQTT 127.0.0.1:" + port_text), std::string::npos)
      << refused;
  EXPECT_EQ(settings.mqtt.SERVEUR, "");  // a test saves nothing
}
