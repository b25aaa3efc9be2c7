#include "app/bdpv_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>
#include <QToolButton>

#include "support/window_fixture.h"

using namespace vireluz;
using namespace vireluz::testing;

namespace {
using BdpvDialog = WindowFixture;
}  // namespace

TEST_F(BdpvDialog, CaptionsNamesAndShownSettings) {
  settings.prg.NOM_CPT1 = w("Maison été");
  settings.bdpv.compteur_production = 1;
  settings.bdpv.heure_envoie_BDPV = "0730";
  TForm2_BDPV f(settings, messages);
  std::vector<QUrl> opened;
  f.open_url = [&](const QUrl& url) { opened.push_back(url); };
  f.show();

  EXPECT_TRUE(unnamed_widgets(f).isEmpty()) << unnamed_widgets(f).join(", ").toStdString();
  EXPECT_EQ(f.objectName(), "TForm2_BDPV");
  EXPECT_EQ(f.windowTitle(), u("Réglage BDPV"));
  EXPECT_EQ(child<QLabel>(f, "Label_nom")->text(), "Nom utilisateur BDPV");
  EXPECT_EQ(child<QLabel>(f, "Label_mot_de_passe")->text(), "Mot de passe utilisateur BDPV");
  EXPECT_EQ(child<QLabel>(f, "Label_heure")->text(), "Heure d'envoi au site BDPV");
  EXPECT_EQ(child<QGroupBox>(f, "GroupBox_compteur")->title(), "Compteur de PRODUCTION ?");
  EXPECT_EQ(child<QCheckBox>(f, "CheckBox_actif")->text(), "Activer envoi production au site BDPV");
  EXPECT_EQ(child<QPushButton>(f, "Button_enregistrer")->text(), "Enregistrer");
  EXPECT_EQ(child<QPushButton>(f, "Button_fermer")->text(), "Fermer");
  EXPECT_EQ(child<QLineEdit>(f, "Edit_mot_de_passe")->echoMode(), QLineEdit::Password);
  auto* memo = child<QTextEdit>(f, "Memo_presentation");
  EXPECT_TRUE(memo->isReadOnly());
  EXPECT_TRUE(memo->toPlainText().endsWith(u("à 23h59 votre production sur \nvotre compte BDPV.")));

  EXPECT_EQ(child<QRadioButton>(f, "RadioButton_cpt1")->text(), u("Maison été"));
  EXPECT_EQ(child<QRadioButton>(f, "RadioButton_cpt2")->text(), "Solaire");
  EXPECT_TRUE(child<QRadioButton>(f, "RadioButton_cpt1")->isChecked());
  EXPECT_EQ(child<QLineEdit>(f, "Edit_heure")->text(), "07:30");

  auto* logo = child<QToolButton>(f, "Image_BDPV");
  EXPECT_EQ(logo->text(), "Site BDPV");
  logo->click();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].toString().toStdString(), BdpvWindowModel::kSiteAddress);
}

TEST_F(BdpvDialog, EnregistrerValidatesThenWritesTheSection) {
  TForm2_BDPV f(settings, messages);
  f.show();
  EXPECT_TRUE(child<QRadioButton>(f, "RadioButton_cpt2")->isChecked());  // default: meter 2
  auto* save = child<QPushButton>(f, "Button_enregistrer");
  auto* heure = child<QLineEdit>(f, "Edit_heure");

  child<QLineEdit>(f, "Edit_nom")->setText("jean");
  save->click();  // no password
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].caption, w("Réglage BDPV"));
  EXPECT_EQ(messages.messages[0].text, w("Vous devez compléter les deux champs!"));
  EXPECT_FALSE(file_exists(kConfigFileName));

  child<QLineEdit>(f, "Edit_mot_de_passe")->setText(u("sécret"));
  heure->setText("07:30");
  child<QCheckBox>(f, "CheckBox_actif")->setChecked(true);
  child<QRadioButton>(f, "RadioButton_cpt1")->setChecked(true);
  save->click();
  EXPECT_EQ(messages.messages.size(), 1u);
  EXPECT_FALSE(child<QRadioButton>(f, "RadioButton_cpt2")->isChecked());
  const std::string ini = file(kConfigFileName);
  EXPECT_NE(ini.find("[CONFIG_BDPV]\r\nBDPV actif=1\r\nnom utilisateur=jean\r\nmot de passe="),
            std::string::npos)
      << ini;
  EXPECT_NE(ini.find("heure envoie BDPV=0730\r\ncompteur production=1\r\n"), std::string::npos) << ini;
  EXPECT_EQ(ini.find(w("sécret")), std::string::npos);
  EXPECT_EQ(reload().bdpv.mot_de_passe, w("sécret"));
  EXPECT_EQ(settings.BdpvHour, 7);
  EXPECT_EQ(settings.BdpvMinute, 30);
}
