#include "alerts/alert_window_model.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/sim_scheduler.h"
#include "recording_sender.h"

namespace vireluz {
namespace {

using ::testing::ElementsAre;
namespace col = alert_col;

class AlertWindowTest : public ::testing::Test {
 protected:
  AlertWindowTest() : engine(settings, measures, sched, sender, sched, messages), window(settings, messages, engine) {}

  // Fills the fields of one rule through the window's operations.
  void fill(int meter, int quantity, int sign, const Text& value, int item, int mode, bool activer,
            const Text& message) {
    window.rule.meter = meter;
    window.set_quantity(quantity);
    if (sign >= 0) window.rule.sign = sign;
    window.rule.value_text = value;
    window.rule.value_item = item;
    window.set_rearm_mode(mode);
    window.rule.activer = activer;
    window.rule.message = message;
  }

  Settings settings;
  MeasureTable measures;
  SimScheduler sched;
  RecordingSender sender;
  RecordingMessages messages;
  AlertEngine engine;
  AlertWindowModel window;
};

TEST_F(AlertWindowTest, ValidatedManualColourRuleIsStoredAsSeventeenCells) {
  settings.alert_table[0][col::kHeureReactivation] = "12:00:00";
  settings.alert_table[0][col::kDebut] = "07:00:00";
  settings.alert_table[0][col::kFin] = "09:00:00";
  fill(1, 6, -1, "", 1, 1, true, "Demain blanc");
  EXPECT_FALSE(window.rule.sign_enabled);
  ASSERT_TRUE(window.valider_alerte());
  const AlertRule& r = settings.alert_table[0];
  EXPECT_THAT(r.cells, ElementsAre("Compteur 2", "Couleur lendemain", "=", "BLANC", "Demain blanc", "1", "6",
                                   "2", "1", "Manuel", "Actif", "0", "1", "1", "0", "07:00:00", "09:00:00"));
  EXPECT_TRUE(messages.messages.empty());

  // Shown again after other edits, the row gives the same fields back.
  window.nouvelle_alerte();
  window.select_row(0);
  EXPECT_EQ(window.rule.meter, 1);
  EXPECT_EQ(window.rule.quantity, 6);
  EXPECT_EQ(window.rule.sign, 2);
  EXPECT_TRUE(window.rule.value_list_visible);
  EXPECT_EQ(window.rule.value_item, 1);
  EXPECT_EQ(window.rule.rearm_mode, 1);
  EXPECT_TRUE(window.rule.activer);
  EXPECT_TRUE(window.rule.activer_enabled);
  EXPECT_FALSE(window.rule.plage_horaire);
  EXPECT_EQ(window.rule.debut, "00:00:00");
}

TEST_F(AlertWindowTest, DelayedRuleWithWindowKeepsColumnTwelve) {
  settings.alert_table[0][col::kActiver] = "1";
  fill(0, 4, 5, "0", -1, 0, true, "PAPP %V");
  EXPECT_FALSE(window.rule.activer_enabled);  // "Après tempo." disables "Activer"
  window.rule.plage_horaire = true;
  window.rule.debut = "08:00:00";
  window.rule.fin = "20:00:00";
  ASSERT_TRUE(window.valider_alerte());
  EXPECT_THAT(settings.alert_table[0].cells,
              ElementsAre("Compteur 1", "Puissance apparente", "<>", "0", "PAPP %V", "0", "4", "5", "0",
                          w("Après tempo."), " ", "0", "1", "0", "1", "08:00:00", "20:00:00"));
}

TEST_F(AlertWindowTest, ValiderRefusesMissingFieldsAndNonIntegerThresholds) {
  const AlertRule before = settings.alert_table[0];
  fill(0, 0, 3, "", -1, 0, false, "msg");  // no value
  EXPECT_FALSE(window.valider_alerte());
  fill(0, 5, -1, "", -1, 0, false, "msg");  // no value item
  EXPECT_FALSE(window.valider_alerte());
  fill(0, 0, 3, "30", -1, -1, false, "msg");  // no re-arm mode
  EXPECT_FALSE(window.valider_alerte());
  ASSERT_EQ(messages.messages.size(), 3u);
  EXPECT_EQ(messages.messages[0].text, "Veuillez remplir TOUS les champs !");

  fill(0, 0, 3, "12.5", -1, 0, false, "msg");
  EXPECT_FALSE(window.valider_alerte());
  ASSERT_EQ(messages.messages.size(), 4u);
  EXPECT_EQ(messages.messages[3].text, AlertWindowModel::kValueNotInteger);
  EXPECT_EQ(settings.alert_table[0].cells, before.cells);
}

TEST_F(AlertWindowTest, QuantityRuleSwitchesBetweenTypedValueAndList) {
  window.set_quantity(4);
  window.rule.sign = 3;
  EXPECT_TRUE(window.rule.value_text_visible);
  window.set_quantity(5);
  EXPECT_FALSE(window.rule.value_text_visible);
  EXPECT_TRUE(window.rule.value_list_visible);
  EXPECT_EQ(window.rule.value_items.size(), 10u);
  EXPECT_EQ(window.rule.value_items[9], "HP ROUGE");
  EXPECT_EQ(window.rule.sign, 2);
  EXPECT_FALSE(window.rule.sign_enabled);
  window.set_quantity(7);
  EXPECT_THAT(window.rule.value_items, ElementsAre("OUI"));
  window.set_quantity(0);
  EXPECT_TRUE(window.rule.sign_enabled);
  EXPECT_FALSE(window.rule.value_list_visible);
}

TEST_F(AlertWindowTest, SupprimerRemovesTheSelectedRowOrEmptiesTheLastOne) {
  settings.alert_table.resize(3);
  for (int r = 0; r < 3; ++r) {
    settings.alert_table[static_cast<std::size_t>(r)][col::kMessage] = "row" + std::to_string(r);
    settings.alert_table[static_cast<std::size_t>(r)][col::kCpt] = "0";
  }
  settings.AlertRowCount = 3;
  window.select_row(1);
  window.supprimer();
  ASSERT_EQ(window.row_count(), 2);
  EXPECT_EQ(settings.AlertRowCount, 2);
  EXPECT_EQ(settings.alert_table[1][col::kMessage], "row2");
  EXPECT_EQ(window.rule.message, "row2");  // the selected row is shown

  window.supprimer();
  window.supprimer();
  ASSERT_EQ(window.row_count(), 1);
  EXPECT_EQ(settings.AlertRowCount, 1);
  EXPECT_TRUE(settings.alert_table[0][col::kCptLibelle].empty());
}

TEST_F(AlertWindowTest, NouvelleAlerteAddsAnEmptyRowAndClearsTheChoices) {
  fill(0, 6, -1, "", 1, 1, true, "m");
  window.nouvelle_alerte();
  EXPECT_EQ(window.row_count(), 2);
  EXPECT_EQ(settings.AlertRowCount, 2);
  EXPECT_EQ(window.selected_row, 1);
  EXPECT_EQ(window.rule.quantity, -1);
  EXPECT_EQ(window.rule.rearm_mode, -1);
  EXPECT_FALSE(window.rule.activer);
  EXPECT_TRUE(window.rule.sign_enabled);
  EXPECT_TRUE(window.rule.message.empty());
}

TEST_F(AlertWindowTest, ShownRowWithABrokenModeCellGetsModeZero) {
  AlertRule& r = settings.alert_table[0];
  r[col::kCpt] = "0";
  r[col::kVar] = "0";
  r[col::kSigne] = "3";
  r[col::kValeurLibelle] = "30";
  r[col::kReactivation] = "x";
  r[col::kHoraire] = "1";
  r[col::kDebut] = "08:00:00";
  r[col::kFin] = "20:00:00";
  window.show_window();
  EXPECT_EQ(r[col::kReactivation], "0");
  EXPECT_EQ(window.rule.rearm_mode, 0);
  EXPECT_EQ(window.rule.value_text, "30");
  EXPECT_TRUE(window.rule.plage_horaire);
  EXPECT_EQ(window.rule.fin, "20:00:00");
  EXPECT_EQ(window.mail.entete, w("entête Mail"));
  EXPECT_EQ(window.mail.reactivation, "60");
}

TEST_F(AlertWindowTest, ReactivationFieldAndKeyFilter) {
  for (const auto& [typed, shown] : std::vector<std::pair<Text, Text>>{
           {"0", "1"}, {"2000", "1440"}, {"", "1"}, {"90", "90"}, {"12.5", "12"}, {"1..2", "1"}}) {
    window.mail.reactivation = typed;
    window.reactivation_left();
    EXPECT_EQ(window.mail.reactivation, shown) << typed;
  }
  EXPECT_TRUE(AlertWindowModel::accept_key('7'));
  EXPECT_TRUE(AlertWindowModel::accept_key('.'));
  EXPECT_TRUE(AlertWindowModel::accept_key('\b'));
  EXPECT_FALSE(AlertWindowModel::accept_key('a'));
  EXPECT_FALSE(AlertWindowModel::accept_key('-'));
  EXPECT_FALSE(AlertWindowModel::column_visible(8));
  EXPECT_TRUE(AlertWindowModel::column_visible(16));
}

TEST_F(AlertWindowTest, TestMailTakesTheServerFieldsButNotTheHeader) {
  window.show_window();
  engine.reset_memo();
  window.mail.emetteur = "moi@x.fr";
  window.mail.destinataire = "toi@y.fr";
  window.mail.smtp = "127.0.0.1";
  window.mail.port = "2525";
  window.mail.entete = "nouvel en-tete";
  window.test_mail();
  EXPECT_EQ(settings.mail.SMTP, "127.0.0.1");
  EXPECT_EQ(settings.mail.ENTETE, w("entête Mail"));
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_EQ(sender.sent[0].body[6], "Port SMTP   : 2525");
  EXPECT_EQ(sender.servers[0].port, "2525");
}

TEST_F(AlertWindowTest, SauvegarderWritesTheFileAndStartsTheTimerWhenActive) {
  const auto dir = std::filesystem::path(VIRELUZ_BINARY_DIR) / "alerts_window_save";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  settings.ConfigDir = dir.string() + "/";
  int timer_starts = 0;
  window.start_mail_timer = [&] { ++timer_starts; };

  window.show_window();
  fill(0, 0, 3, "30", -1, 0, false, "I=%V");
  ASSERT_TRUE(window.valider_alerte());
  settings.alert_table[0][col::kHeureReactivation] = "12:00:00";
  window.mail.actif = true;
  window.mail.entete = "Maison";
  window.mail.reactivation = "5000";
  window.sauvegarder();

  EXPECT_EQ(timer_starts, 1);
  EXPECT_EQ(settings.mail.ACTIF, 1);
  EXPECT_EQ(settings.mail.TABLEAU_VIDE, "NON");
  EXPECT_EQ(settings.alerte.REACTIVATION, "1440");
  EXPECT_EQ(settings.alert_table[0][col::kHeureReactivation], "0");
  EXPECT_THAT(engine.Memo_alerte, ElementsAre("Maison"));  // alerts just switched on
  std::ifstream in(dir / "alertes_mails.ini");
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("I=%V"), std::string::npos);

  window.mail.actif = false;
  window.sauvegarder();
  EXPECT_EQ(timer_starts, 1);
}

}  // namespace
}  // namespace vireluz
