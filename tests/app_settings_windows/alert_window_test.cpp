#include "app/alert_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimeEdit>
#include <memory>

#include "common/error.h"
#include "common/sim_scheduler.h"
#include "support/window_fixture.h"

using namespace vireluz;
using namespace vireluz::testing;

namespace {

class FailingOrRecordingSender : public MailSender {
 public:
  RequestHandle send(const MailMessage& message, const SmtpSettings&, Done done) override {
    if (fail) throw VireluzError(w("Erreur d'envoi du Mail : connexion refusée"));
    sent.push_back(message);
    done(std::nullopt);
    return nullptr;
  }
  bool fail = false;
  std::vector<MailMessage> sent;
};

struct AlertDialog : WindowFixture {
  SimScheduler sim;
  MeasureTable measures;
  FailingOrRecordingSender sender;
  std::unique_ptr<AlertEngine> engine;
  std::unique_ptr<TForm_alertes_mail> form;

  void SetUp() override {
    WindowFixture::SetUp();
    engine = std::make_unique<AlertEngine>(settings, measures, sim, sender, sim, messages);
    form = std::make_unique<TForm_alertes_mail>(settings, messages, *engine);
    form->show();
  }
  template <typename W>
  W* get(const char* name) {
    return child<W>(*form, name);
  }
  void choose(const char* combo, int index) { get<QComboBox>(combo)->setCurrentIndex(index); }
  void click(const char* button) { get<QPushButton>(button)->click(); }
  // A rule typed into the fields and validated.
  void add_rule(int meter, int quantity, int sign, const char* value, const char* message) {
    choose("ComboBox_compteur", meter);
    choose("ComboBox_indicateur", quantity);
    choose("ComboBox_signe", sign);
    get<QLineEdit>("Edit_valeur")->setText(value);
    choose("ComboBox_reactivation", 0);
    get<QLineEdit>("Edit_message")->setText(message);
    click("Button_valider");
  }
  QString grid(int row, int col) { return get<QTableWidget>("StringGrid_alertes")->item(row, col)->text(); }
};

}  // namespace

TEST_F(AlertDialog, CaptionsNamesAndHiddenColumns) {
  EXPECT_TRUE(unnamed_widgets(*form).isEmpty()) << unnamed_widgets(*form).join(", ").toStdString();
  EXPECT_EQ(form->objectName(), "TForm_alertes_mail");
  EXPECT_EQ(form->windowTitle(), "Configuration Alerte Mail");
  const std::pair<const char*, const char*> buttons[] = {
      {"Button_nouvelle", "Nouvelle Alerte"}, {"Button_valider", "Valider Alerte"},
      {"Button_supprimer", "Supprimer"},      {"Button_sauvegarder", "Sauvegarder"},
      {"Button_test_mail", "Test Mail"},      {"Button_retour", "Retour Vireluz"}};
  for (const auto& [name, text] : buttons) EXPECT_EQ(get<QPushButton>(name)->text(), text);
  EXPECT_EQ(get<QCheckBox>("CheckBox_actif")->text(), "Activer les alertes par Mail");
  EXPECT_EQ(get<QCheckBox>("CheckBox_redemarrage_pc")->text(),
            u("Après redémarrage automatique suite à un arrêt du PC"));
  EXPECT_EQ(get<QGroupBox>("GroupBox_email")->title(), "Configuration Email");
  EXPECT_EQ(get<QLineEdit>("Edit_password")->echoMode(), QLineEdit::Password);
  auto* warning = get<QLabel>("Label_attention");
  EXPECT_EQ(warning->text(), u("ATTENTION:\nSi vous modifiez une alerte qui est en cours, elle revient \n"
                               "à zero et un nouveau Mail est envoyé."));
  EXPECT_TRUE(warning->styleSheet().contains("red"));

  auto* table = get<QTableWidget>("StringGrid_alertes");
  EXPECT_TRUE(table->horizontalHeader()->isHidden());
  ASSERT_EQ(table->columnCount(), 17);
  for (int c = 0; c < 17; ++c)
    EXPECT_EQ(table->isColumnHidden(c), (c >= 5 && c <= 8) || (c >= 11 && c <= 14)) << c;

  // The defaults of a missing file.
  EXPECT_EQ(get<QLineEdit>("Edit_emetteur")->text(), "test");
  EXPECT_EQ(get<QLineEdit>("Edit_port")->text(), "25");
  EXPECT_EQ(get<QLineEdit>("Edit_entete")->text(), u("entête Mail"));
  EXPECT_EQ(get<QLineEdit>("Edit_reactivation")->text(), "60");
}

TEST_F(AlertDialog, QuantityAndRearmChoicesDriveTheFields) {
  choose("ComboBox_indicateur", 4);  // "Puissance apparente"
  EXPECT_FALSE(get<QLineEdit>("Edit_valeur")->isHidden());
  EXPECT_TRUE(get<QComboBox>("ComboBox_valeur")->isHidden());

  choose("ComboBox_indicateur", 5);  // "Période tarifaire en cours"
  auto* values = get<QComboBox>("ComboBox_valeur");
  EXPECT_TRUE(get<QLineEdit>("Edit_valeur")->isHidden());
  EXPECT_FALSE(values->isHidden());
  EXPECT_EQ(values->count(), 10);
  EXPECT_EQ(get<QComboBox>("ComboBox_signe")->currentText(), "=");
  EXPECT_FALSE(get<QComboBox>("ComboBox_signe")->isEnabled());

  choose("ComboBox_indicateur", 7);  // "Préavis EJP"
  ASSERT_EQ(values->count(), 1);
  EXPECT_EQ(values->itemText(0), "OUI");

  auto* activer = get<QCheckBox>("CheckBox_activer");
  choose("ComboBox_reactivation", 1);  // "Manuel"
  EXPECT_TRUE(activer->isEnabled());
  activer->setChecked(true);
  choose("ComboBox_reactivation", 0);
  EXPECT_FALSE(activer->isEnabled());
  EXPECT_FALSE(activer->isChecked());
}

TEST_F(AlertDialog, ValiderNouvelleSupprimerThroughTheWidgets) {
  // "Compteur 2", "Couleur lendemain", "=", "BLANC", "Manuel" with "Activer".
  choose("ComboBox_compteur", 1);
  choose("ComboBox_indicateur", 6);
  choose("ComboBox_valeur", 1);
  choose("ComboBox_reactivation", 1);
  get<QCheckBox>("CheckBox_activer")->setChecked(true);
  click("Button_valider");  // no message yet
  EXPECT_EQ(message_texts(), std::vector<Text>{"Veuillez remplir TOUS les champs !"});
  EXPECT_EQ(settings.alert_table[0][0], "");

  get<QLineEdit>("Edit_message")->setText(u("demain blanc"));
  click("Button_valider");
  const std::vector<Text> expected{"Compteur 2",
                                   "Couleur lendemain",
                                   "=",
                                   "BLANC",
                                   "demain blanc",
                                   "1",
                                   "6",
                                   "2",
                                   "1",
                                   "Manuel",
                                   "Actif",
                                   "0",
                                   "1",
                                   "1",
                                   "0"};
  for (int c = 0; c < 15; ++c)
    EXPECT_EQ(settings.alert_table[0][c], expected[static_cast<std::size_t>(c)]) << c;
  EXPECT_EQ(grid(0, 0), "Compteur 2");
  EXPECT_EQ(grid(0, 10), "Actif");

  click("Button_nouvelle");
  EXPECT_EQ(get<QTableWidget>("StringGrid_alertes")->rowCount(), 2);
  EXPECT_EQ(get<QComboBox>("ComboBox_indicateur")->currentIndex(), -1);
  EXPECT_EQ(get<QLineEdit>("Edit_message")->text(), "");
  add_rule(0, 4, 3, "6000", "PAPP haute");
  click("Button_nouvelle");
  add_rule(0, 0, 4, "30", "I haute");
  ASSERT_EQ(settings.AlertRowCount, 3);

  get<QTableWidget>("StringGrid_alertes")->setCurrentCell(1, 0);  // a click on the middle row
  EXPECT_EQ(get<QLineEdit>("Edit_valeur")->text(), "6000");
  EXPECT_EQ(get<QComboBox>("ComboBox_signe")->currentText(), ">");
  click("Button_supprimer");
  ASSERT_EQ(get<QTableWidget>("StringGrid_alertes")->rowCount(), 2);
  EXPECT_EQ(grid(1, 4), "I haute");
  EXPECT_EQ(settings.AlertRowCount, 2);
  EXPECT_EQ(get<QLineEdit>("Edit_message")->text(), "I haute");  // the row now selected
}

TEST_F(AlertDialog, KeyFiltersAndRearmMinutesCorrection) {
  auto* value = get<QLineEdit>("Edit_valeur");
  value->setFocus();
  QTest::keyClicks(value, "12a.5-x");
  EXPECT_EQ(value->text(), "12.5");
  QTest::keyClick(value, Qt::Key_Backspace);
  EXPECT_EQ(value->text(), "12.");

  auto* minutes = get<QLineEdit>("Edit_reactivation");
  minutes->setText("0");
  emit minutes->editingFinished();
  EXPECT_EQ(minutes->text(), "1");
  minutes->clear();
  QTest::keyClicks(minutes, "20h00");
  EXPECT_EQ(minutes->text(), "2000");
  emit minutes->editingFinished();
  EXPECT_EQ(minutes->text(), "1440");
}

TEST_F(AlertDialog, SauvegarderWritesTheFileAndTestMailErrorsAreShown) {
  int timer_starts = 0;
  form->model().start_mail_timer = [&] { ++timer_starts; };
  add_rule(0, 4, 3, "6000", "PAPP haute");
  get<QCheckBox>("CheckBox_actif")->setChecked(true);
  get<QLineEdit>("Edit_emetteur")->setText("moi@exemple.fr");
  get<QLineEdit>("Edit_password")->setText(u("clé"));
  get<QLineEdit>("Edit_reactivation")->setText("15");
  click("Button_sauvegarder");
  EXPECT_TRUE(messages.messages.empty());
  EXPECT_EQ(timer_starts, 1);

  const std::string ini = file(kAlertFileName);
  EXPECT_NE(ini.find("[CONFIG_MAIL]\r\nACTIF=1\r\nEMETTEUR=moi@exemple.fr\r\n"), std::string::npos) << ini;
  EXPECT_EQ(ini.find(w("clé")), std::string::npos);
  const Settings back = reload();
  EXPECT_EQ(back.mail.PASSWORD, w("clé"));
  EXPECT_EQ(back.mail.TABLEAU_VIDE, "NON");
  EXPECT_EQ(back.alerte.REACTIVATION, "15");
  EXPECT_EQ(back.alert_table[0][4], "PAPP haute");

  sender.fail = true;
  EXPECT_NO_THROW(click("Button_test_mail"));
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(messages.messages[0].text, w("Erreur d'envoi du Mail : connexion refusée"));

  click("Button_retour");  // closing only hides: the fields stay
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(get<QLineEdit>("Edit_message")->text(), "PAPP haute");
}

// The protection list shows the default that follows the password until the
// user picks one; the choice and the CA file are saved.
TEST_F(AlertDialog, ProtectionChoiceFollowsThePasswordUntilChosen) {
  auto* tls = get<QComboBox>("ComboBox_tls");
  ASSERT_EQ(tls->count(), 3);
  EXPECT_EQ(tls->itemText(1), u("Si proposé"));
  EXPECT_EQ(tls->currentIndex(), 1);  // no password
  get<QLineEdit>("Edit_password")->setText("secret");
  EXPECT_EQ(tls->currentText(), "Obligatoire");
  EXPECT_FALSE(get<QLabel>("Label_tls_note")->text().isEmpty());
  click("Button_sauvegarder");
  EXPECT_EQ(file(kAlertFileName).find("TLS="), std::string::npos);  // not chosen yet

  tls->setCurrentIndex(0);
  emit tls->activated(0);  // the user picks "Aucun"
  get<QLineEdit>("Edit_password")->setText("autre");
  EXPECT_EQ(tls->currentIndex(), 0);
  get<QLineEdit>("Edit_ca")->setText("/etc/ssl/maison-ca.pem");
  click("Button_sauvegarder");
  const Settings back = reload();
  EXPECT_EQ(back.mail.TLS, 0);
  EXPECT_EQ(back.mail.CA, "/etc/ssl/maison-ca.pem");
}
