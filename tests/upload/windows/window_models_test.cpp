#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "config/config_files.h"
#include "upload/bdpv_window_model.h"
#include "upload/cosm_window_model.h"

using namespace vireluz;
namespace fs = std::filesystem;

namespace {

struct WindowFixture : ::testing::Test {
  Settings settings;
  RecordingMessages messages;
  std::string dir;

  void SetUp() override {
    char tmpl[] = "/tmp/vireluz_upload_win_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    settings.ConfigDir = dir + "/";
  }
  void TearDown() override { fs::remove_all(dir); }
  bool config_written() const { return fs::exists(settings.ConfigDir + kConfigFileName); }
  Settings reload() const {
    Settings s;
    s.ConfigDir = settings.ConfigDir;
    lire_configuration(s);
    return s;
  }
};

using CosmWindow = WindowFixture;
using BdpvWindow = WindowFixture;

void fill(CosmWindowModel& m, const Text& id, int meter, int value) {
  m.data_id = id;
  m.meter_index = meter;
  m.value_index = value;
  m.valider_datastream();
}

}  // namespace

TEST_F(CosmWindow, ShowFillsFieldsAndValidateWritesTheSelectedRow) {
  settings.cosm.feed = 77;
  settings.cosm.key = "k";
  settings.cosm.COSM_actif = 1;
  settings.cosm.Interval_envoi = 2;
  CosmWindowModel m(settings, messages);
  m.show();
  EXPECT_EQ(m.feed, "77");
  EXPECT_EQ(m.key, "k");
  EXPECT_TRUE(m.actif);
  EXPECT_EQ(m.interval_index, 2);
  EXPECT_EQ(m.data_id, "");
  EXPECT_EQ(m.meter_index, -1);
  EXPECT_EQ(m.value_index, -1);
  EXPECT_FALSE(CosmWindowModel::column_visible(3));
  EXPECT_TRUE(CosmWindowModel::column_visible(2));

  m.data_id = "temp";
  m.meter_index = 1;
  m.valider_datastream();  // no value chosen
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].text, "Veuillez remplir TOUS les champs !");
  EXPECT_EQ(m.cell(0, 0), "");
  EXPECT_EQ(settings.CosmRowCount, 0);

  m.value_index = 4;
  m.valider_datastream();
  EXPECT_EQ(m.cell(0, 0), "temp");
  EXPECT_EQ(m.cell(1, 0), "Compteur 2");
  EXPECT_EQ(m.cell(2, 0), "Puissance apparente");
  EXPECT_EQ(m.cell(3, 0), "1");
  EXPECT_EQ(m.cell(4, 0), "4");
  EXPECT_EQ(settings.CosmRowCount, 1);  // live for the next pass
}

TEST_F(CosmWindow, NewDeleteAndSelectKeepTableAndCountInStep) {
  CosmWindowModel m(settings, messages);
  m.show();
  fill(m, "1", 0, 4);
  m.nouveau_datastream();
  EXPECT_EQ(m.row_count(), 2);
  EXPECT_EQ(m.selected_row(), 1);
  EXPECT_EQ(m.data_id, "");
  fill(m, "2", 1, 0);
  EXPECT_EQ(settings.CosmRowCount, 2);

  m.select_row(0);
  EXPECT_EQ(m.data_id, "1");
  EXPECT_EQ(m.meter_index, 0);
  EXPECT_EQ(m.value_index, 4);
  m.effacer_datastream();  // the following row moves up
  EXPECT_EQ(m.row_count(), 1);
  EXPECT_EQ(settings.CosmRowCount, 1);
  EXPECT_EQ(m.data_id, "2");
  m.effacer_datastream();  // the only row: emptied, nothing more to send
  EXPECT_EQ(m.row_count(), 1);
  EXPECT_EQ(settings.CosmRowCount, 0);
  EXPECT_EQ(m.cell(0, 0), "");
  EXPECT_EQ(m.data_id, "");
}

TEST_F(CosmWindow, RowAddedBelowAnEmptyFirstRowIsSentAndSaved) {
  CosmWindowModel m(settings, messages);
  m.show();
  m.nouveau_datastream();
  fill(m, "solar", 1, 4);
  EXPECT_EQ(settings.CosmRowCount, 2);  // the pass reaches row 1 (row 0 is skipped)
  m.feed = "12";
  m.key = "abc";
  ASSERT_TRUE(m.enregistrer());
  EXPECT_EQ(m.row_count(), 1);
  EXPECT_EQ(m.cell(0, 0), "solar");
  const Settings back = reload();
  EXPECT_EQ(back.CosmRowCount, 1);
  EXPECT_EQ(back.cosm_table.at(0)[0], "solar");
  EXPECT_EQ(back.cosm_table.at(0)[4], "4");
}

TEST_F(CosmWindow, SaveRefusesBadFeedOrMissingKeyAndWritesTheRest) {
  CosmWindowModel m(settings, messages);
  m.show();
  fill(m, "1", 0, 4);
  m.actif = true;
  m.interval_index = 1;

  m.feed = "12a";
  m.key = "abc";
  EXPECT_FALSE(m.enregistrer());
  EXPECT_EQ(settings.cosm.COSM_actif, 0);  // nothing taken into memory
  EXPECT_EQ(messages.messages.back().caption, "Config Cosm");

  m.key = "ab\r\nX: 1";
  m.feed = "12";
  EXPECT_FALSE(m.enregistrer());
  EXPECT_EQ(settings.cosm.key, "");

  m.feed = "0";
  m.key = "abc";
  EXPECT_FALSE(m.enregistrer());
  EXPECT_EQ(messages.messages.back().caption, "Config Cosm");
  EXPECT_EQ(messages.messages.back().text, w("Vous devez compléter FEED & KEY!"));
  EXPECT_EQ(settings.cosm.COSM_actif, 1);  // in memory all the same
  EXPECT_EQ(settings.CosmIntervalMinutes, 3);
  EXPECT_FALSE(config_written());

  m.feed = " 4242 ";
  ASSERT_TRUE(m.enregistrer());
  const Settings back = reload();
  EXPECT_EQ(back.cosm.COSM_actif, 1);
  EXPECT_EQ(back.cosm.feed, 4242);
  EXPECT_EQ(back.cosm.key, "abc");
  EXPECT_EQ(back.cosm.Interval_envoi, 1);
  EXPECT_EQ(back.CosmIntervalMinutes, 3);
  EXPECT_EQ(back.cosm_table.at(0)[2], "Puissance apparente");
}

TEST_F(BdpvWindow, ShowAndSaveRoundTrip) {
  settings.prg.NOM_CPT1 = "Maison";
  BdpvWindowModel m(settings, messages);
  m.show();
  EXPECT_EQ(m.heure, "23:59");
  EXPECT_EQ(m.production, 2);
  EXPECT_FALSE(m.actif);
  EXPECT_EQ(m.caption_compteur1(), "Maison");
  EXPECT_EQ(m.caption_compteur2(), "Solaire");

  m.actif = true;
  m.production = 1;
  m.heure = "07:30";
  m.nom_utilisateur = "jean";
  m.mot_de_passe = "";
  EXPECT_FALSE(m.enregistrer());
  EXPECT_EQ(messages.messages.back().caption, w("Réglage BDPV"));
  EXPECT_EQ(messages.messages.back().text, w("Vous devez compléter les deux champs!"));
  EXPECT_EQ(settings.BdpvHour, 7);  // taken into memory all the same
  EXPECT_FALSE(config_written());

  m.mot_de_passe = w("pàss");
  ASSERT_TRUE(m.enregistrer());
  const Settings back = reload();
  EXPECT_EQ(back.bdpv.BDPV_actif, 1);
  EXPECT_EQ(back.bdpv.nom_utilisateur, "jean");
  EXPECT_EQ(back.bdpv.mot_de_passe, w("pàss"));
  EXPECT_EQ(back.bdpv.heure_envoie_BDPV, "0730");
  EXPECT_EQ(back.bdpv.compteur_production, 1);
  EXPECT_EQ(back.BdpvHour, 7);
  EXPECT_EQ(back.BdpvMinute, 30);
}

TEST_F(BdpvWindow, TimeThatIsNotHhMmIsRefusedAndChangesNothing) {
  BdpvWindowModel m(settings, messages);
  m.show();
  m.nom_utilisateur = "jean";
  m.mot_de_passe = "x";
  m.actif = true;
  for (const char* bad : {"7:30", "", "ab:cd", "24:00", "12:60", "123:45", "12345"}) {
    m.heure = bad;
    EXPECT_FALSE(m.enregistrer()) << bad;
  }
  EXPECT_EQ(messages.messages.back().caption, w("Réglage BDPV"));
  EXPECT_EQ(settings.bdpv.BDPV_actif, 0);
  EXPECT_EQ(settings.BdpvHour, 23);
  EXPECT_FALSE(config_written());
}

TEST(BdpvWindowText, PresentationEndsWithTheDailySentence) {
  const Text& t = BdpvWindowModel::presentation_text();
  const Text end =
      w("le logiciel transmettra tout les soirs à 23h59 votre production sur \nvotre compte BDPV.");
  ASSERT_GE(t.size(), end.size());
  EXPECT_EQ(t.substr(t.size() - end.size()), end);
  EXPECT_NE(t.find("\n" + BdpvWindowModel::kSiteAddress + "\n"), std::string::npos);
}
