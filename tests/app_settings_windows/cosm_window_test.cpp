#include "app/cosm_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "support/window_fixture.h"

using namespace vireluz;
using namespace vireluz::testing;

namespace {

using CosmDialog = WindowFixture;

void type_datastream(TForm_Cosm& f, const char* id, int meter, int value) {
  child<QLineEdit>(f, "Edit_data_id")->setText(id);
  child<QComboBox>(f, "ComboBox_compteur")->setCurrentIndex(meter);
  child<QComboBox>(f, "ComboBox_valeur")->setCurrentIndex(value);
  child<QPushButton>(f, "Button_valider")->click();
}

}  // namespace

TEST_F(CosmDialog, CaptionsNamesAndHiddenColumns) {
  TForm_Cosm f(settings, messages);
  EXPECT_TRUE(unnamed_widgets(f).isEmpty()) << unnamed_widgets(f).join(", ").toStdString();
  EXPECT_EQ(f.objectName(), "TForm_Cosm");
  EXPECT_EQ(f.windowTitle(), "Cosm (pachube)");
  EXPECT_STREQ(f.metaObject()->className(), "vireluz::TForm_Cosm");
  const std::pair<const char*, const char*> buttons[] = {
      {"Button_valider", "Valider Datastream"}, {"Button_nouveau", "Nouveau Datastream"},
      {"Button_effacer", "Effacer Datastream"}, {"Button_fermer", "Fermer"},
      {"Button_enregistrer", "Enregistrer"},    {"Button_site_cosm", "Site Cosm"}};
  for (const auto& [name, text] : buttons) EXPECT_EQ(child<QPushButton>(f, name)->text(), text);
  EXPECT_EQ(child<QCheckBox>(f, "CheckBox_actif")->text(), "Activer l'envoi au site Cosm");
  const std::pair<const char*, const char*> labels[] = {
      {"Label_key", "Key"},
      {"Label_feed", "Feed ID"},
      {"Label_interval", "Transfert toutes les X minutes :"},
      {"Label_datastream", "Datastream"},
      {"Label_data_id", "DATA ID"},
      {"Label_compteur", "Compteur"},
      {"Label_valeur", "Valeur à envoyer"}};
  for (const auto& [name, text] : labels) EXPECT_EQ(child<QLabel>(f, name)->text(), u(text));
  EXPECT_FALSE(child<QLabel>(f, "Image_cosm")->pixmap().isNull());
  EXPECT_EQ(child<QLineEdit>(f, "Edit_key")->echoMode(), QLineEdit::Password);
  EXPECT_EQ(child<QComboBox>(f, "ComboBox_interval")->itemText(5), "Toutes les heures");
  EXPECT_EQ(child<QComboBox>(f, "ComboBox_valeur")->itemText(0), u("Intensité Mono"));

  auto* grid = child<QTableWidget>(f, "StringGrid_cosm");
  ASSERT_EQ(grid->columnCount(), 5);
  for (int c = 0; c < 5; ++c) EXPECT_EQ(grid->isColumnHidden(c), c >= 3) << c;
  EXPECT_EQ(grid->rowCount(), 1);
}

TEST_F(CosmDialog, DatastreamsAreEditedThroughTheWidgets) {
  TForm_Cosm f(settings, messages);
  f.show();
  auto* grid = child<QTableWidget>(f, "StringGrid_cosm");
  auto* data_id = child<QLineEdit>(f, "Edit_data_id");

  type_datastream(f, "", 0, 4);  // no DATA ID
  EXPECT_EQ(message_texts(), std::vector<Text>{"Veuillez remplir TOUS les champs !"});
  EXPECT_EQ(settings.cosm_table[0][0], "");

  type_datastream(f, "1", 0, 4);
  child<QPushButton>(f, "Button_nouveau")->click();
  EXPECT_EQ(grid->rowCount(), 2);
  EXPECT_EQ(data_id->text(), "");
  EXPECT_EQ(child<QComboBox>(f, "ComboBox_compteur")->currentIndex(), -1);
  type_datastream(f, "2", 1, 0);
  EXPECT_EQ(grid->item(1, 1)->text(), "Compteur 2");
  EXPECT_EQ(grid->item(1, 2)->text(), u("Intensité Mono"));
  EXPECT_EQ(settings.CosmRowCount, 2);  // live for the next upload pass

  grid->setCurrentCell(0, 1);  // a click on the first row shows it
  EXPECT_EQ(data_id->text(), "1");
  EXPECT_EQ(child<QComboBox>(f, "ComboBox_valeur")->currentText(), "Puissance apparente");

  child<QPushButton>(f, "Button_effacer")->click();
  ASSERT_EQ(grid->rowCount(), 1);
  EXPECT_EQ(grid->item(0, 0)->text(), "2");
  EXPECT_EQ(data_id->text(), "2");
  EXPECT_EQ(settings.CosmRowCount, 1);
}

TEST_F(CosmDialog, EnregistrerValidatesThenWritesTheSection) {
  TForm_Cosm f(settings, messages);
  f.show();
  type_datastream(f, "temp", 1, 4);
  auto* feed = child<QLineEdit>(f, "Edit_feed");
  auto* key = child<QLineEdit>(f, "Edit_key");
  auto* save = child<QPushButton>(f, "Button_enregistrer");

  feed->setText("0");
  key->setText("abc");
  save->click();
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].caption, "Config Cosm");
  EXPECT_EQ(messages.messages[0].text, w("Vous devez compléter FEED & KEY!"));
  EXPECT_FALSE(file_exists(kConfigFileName));

  feed->setText("4242");
  key->setText("abc");
  child<QCheckBox>(f, "CheckBox_actif")->setChecked(true);
  child<QComboBox>(f, "ComboBox_interval")->setCurrentIndex(3);
  save->click();
  EXPECT_EQ(messages.messages.size(), 1u);
  const std::string ini = file(kConfigFileName);
  EXPECT_NE(ini.find("[CONFIG_COSM]\r\nCOSM actif=1\r\nfeed=4242\r\n"), std::string::npos) << ini;
  EXPECT_EQ(ini.find("abc"), std::string::npos);  // the key is stored scrambled
  const Settings back = reload();
  EXPECT_EQ(back.cosm.key, "abc");
  EXPECT_EQ(back.cosm.Interval_envoi, 3);
  EXPECT_EQ(back.cosm.TABLEAU_VIDE, "NON");
  ASSERT_EQ(back.cosm_table.size(), 1u);
  EXPECT_EQ(back.cosm_table[0][0], "temp");
  EXPECT_EQ(back.cosm_table[0][4], "4");
  EXPECT_EQ(settings.CosmIntervalMinutes, 10);
}

TEST_F(CosmDialog, TheIntervalTakesEffectAtEnregistrerAndErrorsBecomeMessages) {
  TForm_Cosm f(settings, messages);
  std::vector<QUrl> opened;
  f.open_url = [&](const QUrl& url) { opened.push_back(url); };
  f.show();
  child<QPushButton>(f, "Button_site_cosm")->click();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].toString().toStdString(), CosmWindowModel::kSiteAddress);

  // A write that fails is reported, not thrown through the event loop; the
  // interval chosen applies all the same, as the other values typed.
  settings.ConfigDir = dir + "/absent/folder/";
  child<QLineEdit>(f, "Edit_feed")->setText("5");
  child<QLineEdit>(f, "Edit_key")->setText("k");
  child<QComboBox>(f, "ComboBox_interval")->setCurrentIndex(4);
  EXPECT_NO_THROW(child<QPushButton>(f, "Button_enregistrer")->click());
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].icon, MessageIcon::Error);
  EXPECT_FALSE(messages.messages[0].text.empty());
  EXPECT_EQ(settings.CosmIntervalMinutes, 15);
  f.close();  // the close box
  EXPECT_FALSE(f.isVisible());
}
