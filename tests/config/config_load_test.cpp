#include <gtest/gtest.h>

#include "alerts/mail_sender.h"
#include "config/config_files.h"
#include "config/ini_file.h"
#include "config/setting_keys.h"
#include "config_test_util.h"

namespace vireluz {
namespace {

using testing_config::read_bytes;
using testing_config::settings_in;
using testing_config::TempDir;
using testing_config::write_bytes;

Settings load(const TempDir& dir) {
  Settings s = settings_in(dir);
  lire_configuration(s);
  return s;
}

TEST(ConfigLoad, NoFilesGiveEveryDefault) {
  TempDir dir;
  const Settings s = load(dir);
  EXPECT_EQ(s.prg.MODE_INTERFACE, 1);
  EXPECT_EQ(s.prg.MODE_TIC_cpt1, 0);
  EXPECT_EQ(s.prg.MODE_TIC_cpt2, 0);
  EXPECT_EQ(s.prg.NOM_CPT1, "EDF");
  EXPECT_EQ(s.prg.NOM_CPT2, "Solaire");
  EXPECT_EQ(s.prg.REPERTOIR_ENR, "");
  EXPECT_EQ(s.prg.CPT_PROD, 2);
  EXPECT_EQ(s.RecordPeriodMs, 60000);
  EXPECT_EQ(s.bdpv.BDPV_actif, 0);
  EXPECT_EQ(s.bdpv.heure_envoie_BDPV, "2359");
  EXPECT_EQ(s.BdpvHour, 23);
  EXPECT_EQ(s.BdpvMinute, 59);
  EXPECT_EQ(s.bdpv.compteur_production, 2);
  EXPECT_EQ(s.cosm.COSM_actif, 0);
  EXPECT_EQ(s.CosmIntervalMinutes, 1);
  EXPECT_EQ(s.cosm.TABLEAU_VIDE, "OUI");
  EXPECT_EQ(s.CosmRowCount, 0);
  EXPECT_EQ(s.mail.ACTIF, 0);
  EXPECT_EQ(s.mail.EMETTEUR, "test");
  EXPECT_EQ(s.mail.DESTINATAIRE, "test");
  EXPECT_EQ(s.mail.SMTP, "test");
  EXPECT_EQ(s.mail.PORT_SMTP, "25");
  EXPECT_EQ(s.mail.ENTETE, "ent\xEAte Mail");
  EXPECT_EQ(s.mail.PASSWORD, "");
  EXPECT_EQ(s.mail.TABLEAU_VIDE, "OUI");
  EXPECT_EQ(s.alerte.REACTIVATION, "60");
  EXPECT_EQ(s.alerte.REDEMARRAGE_PC, 0);
  EXPECT_EQ(s.alert_table.size(), 1u);
  EXPECT_EQ(s.AlertRowCount, 1);
  // The table's defaults are those of a fresh Settings: a missing key and a
  // first start agree.
  const Settings fresh;
  for (const auto& k : setting_keys()) {
    SCOPED_TRACE(k.key);
    if (k.kind == KeyKind::kInt)
      EXPECT_EQ(setting_int(s, k), setting_int(fresh, k));
    else
      EXPECT_EQ(setting_text(s, k), setting_text(fresh, k));
  }
}

TEST(ConfigLoad, MissingKeysReadAsDefaultsOverCurrentValues) {
  TempDir dir;
  write_bytes(dir.file(kConfigFileName), "[CONFIG_PRG]\r\nNOM_CPT1=Maison\r\n");
  Settings s = settings_in(dir);
  s.prg.CPT_PROD = 1;
  lire_configuration(s);
  EXPECT_EQ(s.prg.NOM_CPT1, "Maison");
  EXPECT_EQ(s.prg.CPT_PROD, 2);
}

TEST(ConfigLoad, DerivedValues) {
  const std::pair<int, int> periods[] = {{0, 60000},   {1, 300000}, {2, 600000}, {3, 900000}, {4, 1800000},
                                         {5, 3600000}, {6, 1},      {7, 10000},  {9, 60000},  {-1, 60000}};
  for (auto [index, ms] : periods) {
    Settings s;
    s.prg.PERIODE_ENR = index;
    calcul_periode_enr(s);
    EXPECT_EQ(s.RecordPeriodMs, ms) << index;
  }
  const std::pair<int, int> intervals[] = {{0, 1}, {1, 3}, {2, 5}, {3, 10}, {4, 15}, {5, 60}, {6, 1}};
  for (auto [index, minutes] : intervals) {
    Settings s;
    s.cosm.Interval_envoi = index;
    calcul_intervalle_cosm(s);
    EXPECT_EQ(s.CosmIntervalMinutes, minutes) << index;
  }
  TempDir dir;
  write_bytes(dir.file(kConfigFileName),
              "[CONFIG_PRG]\r\nPERIODE_ENR=9\r\n[CONFIG_COSM]\r\nInterval envoi=4\r\n");
  const Settings s = load(dir);
  EXPECT_EQ(s.RecordPeriodMs, 60000);
  EXPECT_EQ(s.CosmIntervalMinutes, 15);
}

TEST(ConfigLoad, BdpvTime) {
  const struct {
    const char* text;
    int hour, minute;
  } cases[] = {{"0730", 7, 30},
               {"2359", 23, 59},
               {"0000", 0, 0},
               {"07:30", 7, 30},
               // not a time of day: the default time, so the upload still happens daily
               {"2460", 23, 59},
               {"730", 23, 59},
               {"ab12", 23, 59},
               {"", 23, 59},
               {"12345", 23, 59}};
  for (const auto& c : cases) {
    Settings s;
    s.bdpv.heure_envoie_BDPV = c.text;
    calcul_heure_bdpv(s);
    EXPECT_EQ(s.BdpvHour, c.hour) << c.text;
    EXPECT_EQ(s.BdpvMinute, c.minute) << c.text;
  }
  TempDir dir;
  write_bytes(dir.file(kConfigFileName), "[CONFIG_BDPV]\r\nheure envoie BDPV=0615\r\n");
  const Settings s = load(dir);
  EXPECT_EQ(s.BdpvHour, 6);
  EXPECT_EQ(s.BdpvMinute, 15);
}

TEST(ConfigLoad, WindowsIniConventions) {
  TempDir dir;
  write_bytes(dir.file(kConfigFileName),
              "; written on Windows\r\n"
              "[config_prg]\r\n"
              "periode_enr = 3 \r\n"
              "PERIODE_ENR=5\r\n"  // the first of two keys counts
              "graphe ioupa=1\r\n"
              "  NOM_CPT1  =   Cuisine \xE9t\xE9  \r\n"
              "MODE_INTERFACE=deux\r\n"  // not an integer: the default
              "CPT_PROD=1x\r\n"
              "[CONFIG_BDPV]\r\n"
              "BDPV ACTIF=1\r\n"
              "Nom Utilisateur=jean\r\n"
              "serveur=127.0.0.1:8080\r\n"
              "[Empty]\r\n"
              "[CONFIG_COSM]\r\n"
              "serveur=localhost\r\n"
              "FEED=+42\r\n");
  write_bytes(dir.file(kAlertFileName),
              "[Config_Mail]\r\nport smtp=587\r\nEntete=Alerte \xE0 la maison\r\nActif=1\r\n"
              "[CONFIG_ALERTE]\r\nredemarrage pc=1\r\n");
  const Settings s = load(dir);
  EXPECT_EQ(s.prg.PERIODE_ENR, 3);
  EXPECT_EQ(s.RecordPeriodMs, 900000);
  EXPECT_EQ(s.prg.GRAPHE_IouPA, 1);
  EXPECT_EQ(s.prg.NOM_CPT1, "Cuisine \xE9t\xE9");
  EXPECT_EQ(s.prg.MODE_INTERFACE, 1);
  EXPECT_EQ(s.prg.CPT_PROD, 2);
  EXPECT_EQ(s.bdpv.BDPV_actif, 1);
  EXPECT_EQ(s.bdpv.nom_utilisateur, "jean");
  EXPECT_EQ(s.bdpv.serveur, "127.0.0.1:8080");
  EXPECT_EQ(s.cosm.serveur, "localhost");
  EXPECT_EQ(s.cosm.feed, 42);
  EXPECT_EQ(s.mail.PORT_SMTP, "587");
  EXPECT_EQ(s.mail.ENTETE, "Alerte \xE0 la maison");
  EXPECT_EQ(s.mail.ACTIF, 1);
  EXPECT_EQ(s.alerte.REDEMARRAGE_PC, 1);
}

TEST(ConfigLoad, CosmTable) {
  TempDir dir;
  // "NON" without [GENERAL]: the table stays as the window created it.
  write_bytes(dir.file(kConfigFileName), "[CONFIG_COSM]\r\nTABLEAU VIDE=NON\r\n[0]\r\n0=1\r\n");
  Settings s = load(dir);
  EXPECT_EQ(s.cosm_table.size(), 1u);
  EXPECT_EQ(s.cosm_table[0][0], "");
  EXPECT_EQ(s.CosmRowCount, 0);

  write_bytes(dir.file(kConfigFileName),
              "[CONFIG_COSM]\r\nTABLEAU VIDE=NON\r\n[GENERAL]\r\nCOLCOUNT=5\r\nROWCOUNT=2\r\n"
              "[0]\r\n0=1\r\n1=2\r\n[1]\r\n0=Compteur 1\r\n[4]\r\n0=4\r\n1=0\r\n2=stale\r\n");
  s = load(dir);
  ASSERT_EQ(s.cosm_table.size(), 2u);
  EXPECT_EQ(s.CosmRowCount, 2);
  EXPECT_EQ(s.cosm_table[0][0], "1");
  EXPECT_EQ(s.cosm_table[0][1], "Compteur 1");
  EXPECT_EQ(s.cosm_table[0][4], "4");
  EXPECT_EQ(s.cosm_table[1][0], "2");
  EXPECT_EQ(s.cosm_table[1][1], "");
  EXPECT_EQ(s.cosm_table[1][4], "0");

  // "OUI": nothing to send, whatever the grid holds.
  write_bytes(dir.file(kConfigFileName),
              "[CONFIG_COSM]\r\nTABLEAU VIDE=OUI\r\n[GENERAL]\r\nCOLCOUNT=5\r\nROWCOUNT=2\r\n[0]\r\n0=1\r\n");
  s = load(dir);
  EXPECT_EQ(s.CosmRowCount, 0);
  EXPECT_EQ(s.cosm_table[0][0], "");
}

TEST(ConfigLoad, AlertTableCounts) {
  TempDir dir;
  auto file_with = [&](const std::string& counts) {
    write_bytes(dir.file(kAlertFileName), "[CONFIG_MAIL]\r\nTABLEAU VIDE=NON\r\n[GENERAL]\r\n" + counts +
                                              "[4]\r\n0=premier\r\n2=troisi\xE8me\r\n[16]\r\n2=08:00:00\r\n");
  };
  file_with("COLCOUNT=17\r\nROWCOUNT=3\r\n");
  Settings s = load(dir);
  ASSERT_EQ(s.alert_table.size(), 3u);
  EXPECT_EQ(s.AlertRowCount, 3);
  EXPECT_EQ(s.alert_table[0][4], "premier");
  EXPECT_EQ(s.alert_table[2][4], "troisi\xE8me");
  EXPECT_EQ(s.alert_table[2][16], "08:00:00");
  EXPECT_EQ(s.alert_table[1][4], "");

  file_with("COLCOUNT=17\r\nROWCOUNT=0\r\n");  // below 1 becomes 1
  s = load(dir);
  EXPECT_EQ(s.alert_table.size(), 1u);
  EXPECT_EQ(s.AlertRowCount, 1);
  EXPECT_EQ(s.alert_table[0][4], "premier");

  file_with("COLCOUNT=17\r\nROWCOUNT=trois\r\n");  // not an integer: the current size
  s = settings_in(dir);
  s.alert_table.resize(2);
  lire_configuration(s);
  EXPECT_EQ(s.alert_table.size(), 2u);
  EXPECT_EQ(s.AlertRowCount, 2);

  file_with("COLCOUNT=5\r\nROWCOUNT=3\r\n");  // columns past COLCOUNT are empty
  s = load(dir);
  EXPECT_EQ(s.alert_table[2][4], "troisi\xE8me");
  EXPECT_EQ(s.alert_table[2][16], "");

  file_with("COLCOUNT=17\r\nROWCOUNT=2000000000\r\n");  // a damaged count does not exhaust memory
  s = load(dir);
  EXPECT_EQ(s.alert_table.size(), 10000u);
  EXPECT_EQ(s.alert_table[2][4], "troisi\xE8me");
}

TEST(ConfigLoad, FilesThatAreNotIniFiles) {
  using namespace std::string_literals;
  TempDir dir;
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary.push_back(static_cast<char>((i * 7919) & 0xFF));
  const std::string huge_line(10 * 1024 * 1024, 'x');
  const std::string cases[] = {
      binary,
      "no brackets at all\r\njust=text\r\n",
      "[CONFIG_PRG]\r\nNOM_CPT1=" + huge_line + "\r\nNOM_CPT2=Toit\r\n",
      huge_line,
      "[CONFIG_PRG]\r\nNOM_CPT1=ab" + std::string(1, '\0') + "cd\r\nNOM_CPT2=Toit\r\n",
      "\0\0\0[CONFIG_PRG\r\n=5\r\n[CONFIG_PRG]\r\nNOM_CPT2=Toit"s,
      "[[[]]]\r\n[CONFIG_PRG]]\r\n\xFF\xFE=\r\n",
  };
  for (const auto& bytes : cases) {
    write_bytes(dir.file(kConfigFileName), bytes);
    write_bytes(dir.file(kAlertFileName), bytes);
    const Settings s = load(dir);
    EXPECT_EQ(s.prg.PERIODE_ENR, 0);
    EXPECT_EQ(s.mail.EMETTEUR, "test");
    EXPECT_TRUE(s.prg.NOM_CPT2 == "Toit" || s.prg.NOM_CPT2 == "Solaire");
  }
  // What can be read is read: the keys after a long line and after a NUL byte.
  write_bytes(dir.file(kConfigFileName), cases[2]);
  EXPECT_EQ(load(dir).prg.NOM_CPT2, "Toit");
  EXPECT_EQ(load(dir).prg.NOM_CPT1.size(), huge_line.size());
  write_bytes(dir.file(kConfigFileName), cases[4]);
  EXPECT_EQ(load(dir).prg.NOM_CPT1, "ab");
  EXPECT_EQ(load(dir).prg.NOM_CPT2, "Toit");
  write_bytes(dir.file(kConfigFileName), cases[5]);
  EXPECT_EQ(load(dir).prg.NOM_CPT2, "Toit");
}

TEST(ConfigLoad, ASectionLineWithoutItsBracketIsDroppedAndSavesDoNotSpreadIt) {
  TempDir dir;
  write_bytes(dir.file(kConfigFileName),
              "[CONFIG_BDPV\r\nmot de passe=x\r\n[CONFIG_PRG]\r\nNOM_CPT2=Toit\r\n");
  Settings s = load(dir);
  EXPECT_EQ(s.prg.NOM_CPT2, "Toit");
  write_config_prg(s);
  const std::string once = read_bytes(dir.file(kConfigFileName));
  write_config_prg(load(dir));
  EXPECT_EQ(read_bytes(dir.file(kConfigFileName)), once);
  EXPECT_EQ(once.find("mot de passe]"), std::string::npos);

  // The same section line behind the bytes of a byte-order mark, first once
  // the line before it is dropped.
  write_bytes(dir.file(kConfigFileName),
              "[\r\n\xEF\xBB\xBF[CONFIG_BDPV\r\nmot de passe=x\r\n[CONFIG_PRG]\r\nNOM_CPT2=Toit\r\n");
  write_config_prg(load(dir));
  EXPECT_EQ(read_bytes(dir.file(kConfigFileName)).find("mot de passe]"), std::string::npos);
}

// A file saved as UTF-8 by a text editor starts with a byte-order mark: its
// first line is still a line of the file (here a section that is not closed,
// so dropped), the accents become Windows-1252, and the saved file reads the
// same after every save, with CR LF line ends only.
TEST(ConfigLoad, Utf8ByteOrderMarkBeforeAnUnclosedSection) {
  TempDir dir;
  write_bytes(dir.file(kConfigFileName),
              "\xEF\xBB\xBF[CONFIG_BDPV\rNOM_CPT1=x\r[CONFIG_PRG]\nNOM_CPT2=Toit \xC3\xA9t\xC3\xA9\n");
  Settings s = load(dir);
  EXPECT_EQ(s.prg.NOM_CPT1, "EDF");
  EXPECT_EQ(s.prg.NOM_CPT2, "Toit \xE9t\xE9");
  write_config_prg(s);
  const std::string once = read_bytes(dir.file(kConfigFileName));
  write_config_prg(load(dir));
  EXPECT_EQ(read_bytes(dir.file(kConfigFileName)), once);
  for (std::size_t i = 0; i + 1 < once.size(); ++i) EXPECT_FALSE(once[i] == '\r' && once[i + 1] != '\n') << i;
  EXPECT_EQ(once.back(), '\n');
  EXPECT_EQ(once.find("\xEF\xBB\xBF"), std::string::npos);
  EXPECT_EQ(load(dir).prg.NOM_CPT2, "Toit \xE9t\xE9");
}

// A file saved in UTF-8 without a mark (nano, vim) is read as UTF-8 when its
// text is well-formed UTF-8 beyond ASCII. Scrambled passwords are bytes,
// whatever they look like: they are kept as they stand and decide nothing.
TEST(ConfigLoad, Utf8WithoutMarkAroundStoredPasswords) {
  TempDir dir;
  // "\xDC\xB6" is stored as C3 A9, the UTF-8 form of "é": in a Windows file
  // whose only bytes beyond ASCII are that password, nothing is converted.
  const Text looks_utf8 = scramble_secret("\xDC\xB6");
  ASSERT_EQ(looks_utf8, "\xC3\xA9");
  write_bytes(dir.file(kConfigFileName),
              "[CONFIG_MQTT]\r\nMOT DE PASSE=" + looks_utf8 + "\r\nSERVEUR=ha\r\n");
  EXPECT_EQ(load(dir).mqtt.MOT_DE_PASSE, "\xDC\xB6");
  write_config_web(load(dir));  // every writer keeps the stored passwords as bytes
  EXPECT_EQ(load(dir).mqtt.MOT_DE_PASSE, "\xDC\xB6");

  // A name typed in UTF-8 beside a password stored by the program (not UTF-8).
  const Text stored = scramble_secret("\xE9t\xE9");
  write_bytes(
      dir.file(kConfigFileName),
      "[config_prg]\nNOM_CPT1=Maison \xC3\xA9t\xC3\xA9\n[CONFIG_BDPV]\nMot de passe=" + stored + "\n");
  write_bytes(dir.file(kAlertFileName), "[CONFIG_MAIL]\nENTETE=Alerte \xE0 la maison\n");
  Settings s = load(dir);
  EXPECT_EQ(s.prg.NOM_CPT1, "Maison \xE9t\xE9");
  EXPECT_EQ(s.bdpv.mot_de_passe, "\xE9t\xE9");
  EXPECT_EQ(s.mail.ENTETE, "Alerte \xE0 la maison");  // Windows-1252, as it was
  write_config_prg(s);
  const std::string saved = read_bytes(dir.file(kConfigFileName));
  EXPECT_NE(saved.find("NOM_CPT1=Maison \xE9t\xE9\r\n"), std::string::npos) << saved;
  s = load(dir);
  EXPECT_EQ(s.prg.NOM_CPT1, "Maison \xE9t\xE9");
  EXPECT_EQ(s.bdpv.mot_de_passe, "\xE9t\xE9");
}

// A key outside any section whose name begins with the bytes of a byte-order
// mark ("ï»¿" in Windows-1252) is written first: the saved file must not start
// with those bytes, or the next load would take this Windows-1252 file for
// UTF-8 and lose that key.
TEST(ConfigLoad, SavedFileNeverStartsWithAByteOrderMark) {
  TempDir dir;
  write_bytes(dir.file(kConfigFileName),
              "\r\n\xEF\xBB\xBF"
              "CLE=1\r\n[CONFIG_PRG]\r\nNOM_CPT2=Caf\xE9\r\n");
  write_config_prg(load(dir));
  const std::string once = read_bytes(dir.file(kConfigFileName));
  EXPECT_NE(once.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(load(dir).prg.NOM_CPT2, "Caf\xE9");
  write_config_prg(load(dir));
  EXPECT_EQ(read_bytes(dir.file(kConfigFileName)), once);
}

// A Windows-1252 file whose only bytes that are not UTF-8 sit on a line the
// save drops: what is left ("Ã©", here) would be read back as UTF-8 and turn
// into "é". The saved file says it is Windows-1252, and keeps its value.
TEST(ConfigLoad, WindowsTextThatWouldLookLikeUtf8AfterASaveKeepsItsMeaning) {
  std::string saved = "ligne \xE4\xE4\r\n[CONFIG_PRG]\r\nNOM_CPT1=\xC3\xA9\r\n";
  std::string saves[3];
  for (std::string& text : saves) {
    IniFile ini;
    ini.parse(saved);
    EXPECT_EQ(ini.get("CONFIG_PRG", "NOM_CPT1"), "\xC3\xA9");
    text = saved = ini.serialize();
  }
  EXPECT_EQ(saves[1], saves[0]);
  EXPECT_EQ(saves[2], saves[0]);
}

// From the second save on, a file's text no longer changes (the first may
// move blank lines), here with a comment after blank lines and a nameless
// section, which SimpleIni follows with a blank line although it writes
// nothing of it.
TEST(ConfigLoad, SavingAgainChangesNothing) {
  std::string saves[3];
  std::string saved = "\r\n; note\r\n[GENERAL]\r\nCOLCOUNT=9\r\n[]\r\n[CONFIG_BDPV]\r\nx=1\r\n";
  for (std::string& s : saves) {
    IniFile ini;
    ini.parse(saved);
    s = saved = ini.serialize();
  }
  EXPECT_EQ(saves[2], saves[1]);
  EXPECT_EQ(saves[1], "; note\r\n\r\n\r\n[GENERAL]\r\nCOLCOUNT=9\r\n\r\n\r\n[CONFIG_BDPV]\r\nx=1\r\n");
}

// As the Windows profile functions read them: one pair of matching quotes
// around a value is removed (blanks inside it kept); writing adds none.
TEST(ConfigLoad, QuotedValuesLoseOneMatchingPairOfQuotes) {
  TempDir dir;
  write_bytes(dir.file(kConfigFileName),
              "[CONFIG_PRG]\r\nNOM_CPT1=\"Maison\"\r\nNOM_CPT2= ' Toit ' \r\nPERIODE_ENR=\"3\"\r\n"
              "REPERTOIR_ENR=\"/data'\r\n[CONFIG_BDPV]\r\nnom utilisateur=\"\"jean\"\"\r\n"
              "[CONFIG_COSM]\r\nTABLEAU VIDE='NON'\r\nkey=\"\r\n"
              "[GENERAL]\r\nCOLCOUNT=5\r\nROWCOUNT=\"1\"\r\n[1]\r\n0='Compteur 1'\r\n");
  write_bytes(dir.file(kAlertFileName),
              "[CONFIG_MAIL]\r\nSMTP=\"smtp.exemple.fr\"\r\nPORT SMTP=\"587\"\r\nENTETE=''\r\n");
  Settings s = load(dir);
  EXPECT_EQ(s.prg.NOM_CPT1, "Maison");
  EXPECT_EQ(s.prg.NOM_CPT2, " Toit ");
  EXPECT_EQ(s.prg.PERIODE_ENR, 3);
  EXPECT_EQ(s.prg.REPERTOIR_ENR, "\"/data'");     // not a pair
  EXPECT_EQ(s.bdpv.nom_utilisateur, "\"jean\"");  // one pair only
  EXPECT_EQ(s.CosmRowCount, 1);
  EXPECT_EQ(s.cosm_table[0][1], "Compteur 1");
  EXPECT_EQ(s.mail.SMTP, "smtp.exemple.fr");
  EXPECT_EQ(s.mail.PORT_SMTP, "587");
  EXPECT_EQ(s.mail.ENTETE, "");
  write_config_prg(s);
  EXPECT_NE(read_bytes(dir.file(kConfigFileName)).find("\r\nNOM_CPT2= Toit \r\n"), std::string::npos);

  // A secret whose scrambled form would begin and end with a quote ('=' and
  // '8' scramble to '"' and '\'') comes back whole.
  for (const Text password : {"=mot de passe=", "8x8"}) {
    s.bdpv.mot_de_passe = password;
    write_config_bdpv(s);
    EXPECT_EQ(load(dir).bdpv.mot_de_passe, password);
  }
}

TEST(ApplySetting, EveryKeyByItsFileName) {
  Settings s;
  EXPECT_TRUE(apply_setting(s, "config_prg", "GRAPHE IOUPA", "1"));
  EXPECT_EQ(s.prg.GRAPHE_IouPA, 1);
  EXPECT_TRUE(apply_setting(s, "CONFIG_PRG", "PERIODE_ENR", "5"));
  EXPECT_EQ(s.RecordPeriodMs, 3600000);
  EXPECT_TRUE(apply_setting(s, "CONFIG_BDPV", "heure envoie BDPV", "0730"));
  EXPECT_EQ(s.BdpvHour, 7);
  EXPECT_TRUE(apply_setting(s, "CONFIG_COSM", "Interval envoi", "1"));
  EXPECT_EQ(s.CosmIntervalMinutes, 3);
  EXPECT_TRUE(apply_setting(s, "CONFIG_MAIL", "PASSWORD", "secret"));  // taken in clear
  EXPECT_EQ(s.mail.PASSWORD, "secret");
  EXPECT_TRUE(apply_setting(s, "CONFIG_MAIL", "ENTETE", "\xC9t\xE9"));
  EXPECT_EQ(s.mail.ENTETE, "\xC9t\xE9");
  EXPECT_TRUE(apply_setting(s, "CONFIG_COSM", "serveur", "127.0.0.1:9000"));
  EXPECT_EQ(s.cosm.serveur, "127.0.0.1:9000");
  EXPECT_TRUE(apply_setting(s, "CONFIG_PRG", "CPT_PROD", "un"));  // as the loader: the default
  EXPECT_EQ(s.prg.CPT_PROD, 2);
  EXPECT_FALSE(apply_setting(s, "CONFIG_PRG", "INCONNU", "1"));
  EXPECT_FALSE(apply_setting(s, "GENERAL", "ROWCOUNT", "1"));
  for (const auto& k : setting_keys()) EXPECT_TRUE(apply_setting(s, k.section, k.key, "1")) << k.key;
}

}  // namespace
}  // namespace vireluz

namespace vireluz {
namespace {

// Files of the Windows version have no TLS or CA key: the protection then
// follows the password, and the keys stay out of the file until chosen.
TEST(ConfigMailProtection, OldFilesReadTheDefaultsAndChoicesRoundTrip) {
  TempDir dir;
  write_bytes(dir.file(kAlertFileName),
              "[CONFIG_MAIL]\r\nACTIF=1\r\nPASSWORD=" + scramble_secret("mdp") + "\r\nTABLEAU VIDE=OUI\r\n");
  Settings s = load(dir);
  EXPECT_EQ(s.mail.TLS, -1);
  EXPECT_EQ(s.mail.CA, "");
  EXPECT_EQ(effective_tls(s.mail.TLS, s.mail.PASSWORD), MailTls::kRequired);
  EXPECT_EQ(effective_tls(s.mail.TLS, ""), MailTls::kIfOffered);
  write_alert_file(s);
  EXPECT_EQ(read_bytes(dir.file(kAlertFileName)).find("TLS="), std::string::npos);

  s.mail.TLS = 0;
  s.mail.CA = "/etc/vireluz/ca.pem";
  write_alert_file(s);
  Settings back = load(dir);
  EXPECT_EQ(back.mail.TLS, 0);
  EXPECT_EQ(back.mail.CA, "/etc/vireluz/ca.pem");
  EXPECT_EQ(effective_tls(back.mail.TLS, back.mail.PASSWORD), MailTls::kNone);  // chosen explicitly
  back.mail.CA.clear();
  write_alert_file(back);
  EXPECT_EQ(load(dir).mail.CA, "");
  EXPECT_EQ(read_bytes(dir.file(kAlertFileName)).find("CA="), std::string::npos);
}

}  // namespace
}  // namespace vireluz
