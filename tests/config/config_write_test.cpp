#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/error.h"
#include "config/config_files.h"
#include "config/setting_keys.h"
#include "config_test_util.h"

namespace vireluz {
namespace {

using ::testing::HasSubstr;
using testing_config::read_bytes;
using testing_config::settings_in;
using testing_config::TempDir;
using testing_config::write_bytes;

Settings reload(const Settings& saved) {
  Settings s;
  s.ConfigDir = saved.ConfigDir;
  lire_configuration(s);
  return s;
}

AlertRule rule(const char* message, const char* manual) {
  AlertRule r;
  const Text cells[17] = {
      "Compteur 2", "Couleur lendemain", "=",    "BLANC", message, "1", "6",       "2", "1", "Manuel",
      "Actif",      "12:00:00",          manual, "1",     "0",     "",  "22:00:00"};
  for (int c = 0; c < 17; ++c) r[c] = cells[c];
  return r;
}

TEST(ConfigWrite, RoundTripOfEverySection) {
  TempDir dir;
  Settings s = settings_in(dir);
  s.prg.PERIODE_ENR = 6;
  s.prg.MODE_INTERFACE = 0;
  s.prg.MODE_MONO_TRI = 1;
  s.prg.MODE_MONO_TRI_cpt2 = 1;
  s.prg.MODE_TIC_cpt1 = 1;
  s.prg.MODE_TIC_cpt2 = 1;
  s.prg.NOM_CPT1 = "Maison \xE9t\xE9";
  s.prg.NOM_CPT2 = "Toit";
  s.prg.REPERTOIR_ENR = "/home/jean/relev\xE9s";
  s.prg.TYPE_NOM_FICHIER = 1;
  s.prg.ENTETE_CSV = 1;
  s.prg.REDEMARRAGE_AUTOMATIQUE = 1;
  s.prg.FORMAT_DATE = 1;
  s.prg.PTEC_A_ENREGISTRER = 1;
  s.prg.MODE_ECHELLE_GRAPHE = 1;
  s.prg.GRAPHE_IouPA = 1;
  s.prg.FICHIER_PROD_CSV = 1;
  s.prg.CPT_PROD = 1;
  s.bdpv = {1, "jean", "p@ss w0rd?", "0730", 1, ""};
  s.cosm.COSM_actif = 1;
  s.cosm.feed = 12345;
  s.cosm.key = " cl\xE9 API ";
  s.cosm.Interval_envoi = 3;
  s.cosm_table.resize(2);
  const Text ds[2][5] = {{"1", "Compteur 1", "Puissance apparente", "0", "4"},
                         {"2", "Compteur 2", "Intensit\xE9 Mono", "1", "0"}};
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 5; ++c) s.cosm_table[static_cast<std::size_t>(r)][c] = ds[r][c];
  s.mail = {1,
            "moi@example.org",
            "a@example.org,b@example.org",
            "127.0.0.1",
            "2525",
            "Alerte \xE0 la maison",
            "mot;de=passe",
            "?",
            -1,
            ""};
  s.alerte = {"15", 1};
  s.alert_table = {rule("Premier", "1"), rule("Second %V", "0")};

  write_config_prg(s);
  write_config_bdpv(s);
  write_config_cosm(s);
  write_alert_file(s);
  EXPECT_EQ(s.cosm.TABLEAU_VIDE, "NON");
  EXPECT_EQ(s.mail.TABLEAU_VIDE, "NON");

  const Settings back = reload(s);
  for (const auto& k : setting_keys()) {
    SCOPED_TRACE(k.key);
    if (k.kind == KeyKind::kInt)
      EXPECT_EQ(setting_int(back, k), setting_int(s, k));
    else
      EXPECT_EQ(setting_text(back, k), setting_text(s, k));
  }
  EXPECT_EQ(back.RecordPeriodMs, 1);
  EXPECT_EQ(back.CosmIntervalMinutes, 10);
  EXPECT_EQ(back.BdpvHour, 7);
  EXPECT_EQ(back.BdpvMinute, 30);
  EXPECT_EQ(back.CosmRowCount, 2);
  ASSERT_EQ(back.cosm_table.size(), 2u);
  for (int r = 0; r < 2; ++r)
    EXPECT_EQ(back.cosm_table[static_cast<std::size_t>(r)].cells,
              s.cosm_table[static_cast<std::size_t>(r)].cells);
  EXPECT_EQ(back.AlertRowCount, 2);
  ASSERT_EQ(back.alert_table.size(), 2u);
  for (int r = 0; r < 2; ++r) {
    EXPECT_EQ(back.alert_table[static_cast<std::size_t>(r)].cells,
              s.alert_table[static_cast<std::size_t>(r)].cells);
    EXPECT_EQ(back.alert_table[static_cast<std::size_t>(r)][11], "0");  // re-armed by the save
  }
  // The secrets are not in the file in clear; the optional servers are not written.
  const std::string cfg = read_bytes(dir.file(kConfigFileName));
  EXPECT_EQ(cfg.find("p@ss"), std::string::npos);
  EXPECT_EQ(cfg.find("serveur"), std::string::npos);
  EXPECT_EQ(read_bytes(dir.file(kAlertFileName)).find("mot;de"), std::string::npos);
}

TEST(ConfigWrite, EachWriterWritesItsKeysInOrder) {
  TempDir dir;
  Settings s = settings_in(dir);
  s.bdpv.nom_utilisateur = "jean";
  s.bdpv.serveur = "localhost:8080";  // read only
  write_config_bdpv(s);
  EXPECT_EQ(read_bytes(dir.file(kConfigFileName)),
            "[CONFIG_BDPV]\r\nBDPV actif=0\r\nnom utilisateur=jean\r\nmot de passe=\r\n"
            "heure envoie BDPV=2359\r\ncompteur production=2\r\n");

  TempDir dir2;
  s = settings_in(dir2);
  s.cosm.feed = 7;
  s.cosm.key = "k";
  s.cosm_table[0][0] = "5";
  write_config_cosm(s);
  EXPECT_EQ(
      read_bytes(dir2.file(kConfigFileName)),
      "[CONFIG_COSM]\r\nCOSM actif=0\r\nfeed=7\r\nkey=t\r\nInterval envoi=0\r\nTABLEAU VIDE=NON\r\n\r\n\r\n"
      "[GENERAL]\r\nCOLCOUNT=5\r\nROWCOUNT=1\r\n\r\n\r\n[0]\r\n0=5\r\n");
}

TEST(ConfigWrite, EmptyAlertTable) {
  TempDir dir;
  Settings s = settings_in(dir);
  write_alert_file(s);
  EXPECT_EQ(s.mail.TABLEAU_VIDE, "OUI");
  EXPECT_EQ(read_bytes(dir.file(kAlertFileName)),
            "[CONFIG_MAIL]\r\nACTIF=0\r\nEMETTEUR=test\r\nDESTINATAIRE=test\r\nSMTP=test\r\nPORT SMTP=25\r\n"
            "ENTETE=ent\xEAte Mail\r\nPASSWORD=\r\nTABLEAU VIDE=OUI\r\n\r\n\r\n"
            "[CONFIG_ALERTE]\r\nREACTIVATION=60\r\nREDEMARRAGE PC=0\r\n\r\n\r\n"
            "[GENERAL]\r\nCOLCOUNT=17\r\nROWCOUNT=1\r\n\r\n\r\n[11]\r\n0=0\r\n");
}

TEST(ConfigWrite, KeepsWhatItDoesNotOwn) {
  TempDir dir;
  const std::string before =
      "; Configuration VIRELUZ\r\n"
      "\r\n"
      "[Perso]\r\n"
      "cle=valeur \xE9\r\n"
      "[config_prg]\r\n"
      "; nom du compteur\r\n"
      "nom_cpt1=Ancien\r\n"
      "Foreign=1\r\n"
      "NOM_CPT1=Doublon\r\n"
      "[CONFIG_BDPV]\r\n"
      "serveur=127.0.0.1:8080\r\n"
      "BDPV actif=1\r\n"
      "; fin du fichier\r\n";
  write_bytes(dir.file(kConfigFileName), before);
  Settings s = settings_in(dir);
  lire_configuration(s);
  EXPECT_EQ(s.prg.NOM_CPT1, "Ancien");
  s.prg.NOM_CPT1 = "Nouveau";
  write_config_prg(s);
  const std::string after = read_bytes(dir.file(kConfigFileName));
  // Every line ends with CR LF.
  for (std::size_t i = 0; i < after.size(); ++i)
    if (after[i] == '\n') {
      ASSERT_TRUE(i > 0 && after[i - 1] == '\r') << i;
    }
  // Foreign sections, keys, comments and their order stay; the key is
  // changed in place (its duplicate gone) and new keys follow the section's.
  auto at = [&](const std::string& text) {
    const auto p = after.find(text);
    EXPECT_NE(p, std::string::npos) << text;
    return p;
  };
  EXPECT_EQ(after.rfind("; Configuration VIRELUZ\r\n", 0), 0u);
  EXPECT_LT(at("[Perso]\r\ncle=valeur \xE9\r\n"), at("[config_prg]"));
  EXPECT_LT(at("; nom du compteur\r\nNOM_CPT1=Nouveau\r\nForeign=1\r\nPERIODE_ENR=0\r\n"),
            at("CPT_PROD=2\r\n"));
  EXPECT_LT(at("CPT_PROD=2\r\n"), at("[CONFIG_BDPV]\r\nserveur=127.0.0.1:8080\r\nBDPV actif=1\r\n"));
  EXPECT_EQ(after.find("Doublon"), std::string::npos);
  EXPECT_EQ(after.substr(after.size() - 18), "; fin du fichier\r\n");
  // A value cannot break its line.
  s.prg.NOM_CPT2 = "a\r\nPERIODE_ENR=7";
  write_config_prg(s);
  EXPECT_EQ(reload(s).prg.PERIODE_ENR, 0);
  EXPECT_EQ(reload(s).prg.NOM_CPT2, "a  PERIODE_ENR=7");
}

// A file without any key or section (comments, and a line that is neither)
// keeps every comment through the first save and the next ones.
TEST(ConfigWrite, KeepsTheCommentsOfAFileWithoutEntries) {
  TempDir dir;
  for (const std::string before : {"; notes\r\n\r\n; suite\r\n", "; notes\r\nligne\r\n; suite\r\n"}) {
    write_bytes(dir.file(kConfigFileName), before);
    Settings s = settings_in(dir);
    lire_configuration(s);
    write_config_prg(s);
    const std::string once = read_bytes(dir.file(kConfigFileName));
    EXPECT_EQ(once.rfind("; notes\r\n", 0), 0u) << once;
    EXPECT_NE(once.find("; suite\r\n"), std::string::npos) << once;
    write_config_prg(reload(s));
    EXPECT_EQ(read_bytes(dir.file(kConfigFileName)), once);
  }
}

TEST(ConfigWrite, GridsDropCellsNoLongerInTheTable) {
  TempDir dir;
  Settings s = settings_in(dir);
  s.alert_table = {rule("Un", "1"), rule("Deux", "0"), rule("Trois", "1")};
  write_alert_file(s);
  // The first rule deleted; the new first rule lacks column 16.
  s.alert_table.erase(s.alert_table.begin());
  s.alert_table[0][16] = "";
  write_alert_file(s);
  s.alert_table.push_back(AlertRule{});  // "Nouvelle Alerte": an empty third row
  s.alert_table[2][4] = "Nouvelle";
  write_alert_file(s);
  const Settings back = reload(s);
  ASSERT_EQ(back.alert_table.size(), 3u);
  EXPECT_EQ(back.alert_table[0][4], "Deux");
  EXPECT_EQ(back.alert_table[0][16], "");
  EXPECT_EQ(back.alert_table[2][0], "");  // nothing left over from "Trois"
  EXPECT_EQ(back.alert_table[2][4], "Nouvelle");
}

// Runs `fn` in a child process that cannot write where root could.
template <class Fn>
std::string run_unprivileged(Fn fn) {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    const std::string out = fn();
    if (write(fds[1], out.data(), out.size()) < 0) _exit(4);
    _exit(0);
  }
  close(fds[1]);
  std::string out;
  char buf[4096];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return out;
}

TEST(ConfigWrite, FolderThatCannotBeWritten) {
  TempDir dir;
  const std::string old_file = "[CONFIG_PRG]\r\nNOM_CPT1=Ancien\r\n";
  write_bytes(dir.file(kConfigFileName), old_file);
  chmod(dir.file(kConfigFileName).c_str(), 0644);
  chmod(dir.path().c_str(), 0555);
  const std::string message = run_unprivileged([&]() -> std::string {
    Settings s = settings_in(dir);
    s.prg.NOM_CPT1 = "Nouveau";
    try {
      write_config_prg(s);
    } catch (const VireluzError& e) {
      return e.what();
    }
    return "no error";
  });
  EXPECT_THAT(message, HasSubstr(w("Impossible d'enregistrer le fichier de configuration « ") + dir.path() +
                                 "vireluz_cfg.ini" + w(" » : accès refusé")));
  EXPECT_THAT(message, HasSubstr(w("L'ancien fichier est resté inchangé.")));
  EXPECT_EQ(read_bytes(dir.file(kConfigFileName)), old_file);
  chmod(dir.path().c_str(), 0755);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // no temporary left

  Settings missing;
  missing.ConfigDir = dir.path() + "absent/";
  try {
    write_alert_file(missing);
    ADD_FAILURE() << "no error";
  } catch (const VireluzError& e) {
    EXPECT_THAT(e.what(), HasSubstr(w("alertes_mails.ini » : le dossier n'existe pas")));
  }
}

// Root setting up another user's folder (a service's, from the command line)
// leaves the files that user's: a replaced file keeps its owner and mode, a
// new one takes the folder's owner.
TEST(ConfigWrite, RootKeepsOwners) {
  if (geteuid() != 0) GTEST_SKIP() << "root only";
  TempDir dir;
  ASSERT_EQ(chown(dir.path().c_str(), 65534, 65534), 0);
  write_bytes(dir.file(kAlertFileName), "[CONFIG_MAIL]\r\nACTIF=1\r\n");
  ASSERT_EQ(chown(dir.file(kAlertFileName).c_str(), 1, 1), 0);
  ASSERT_EQ(chmod(dir.file(kAlertFileName).c_str(), 0640), 0);
  Settings s = settings_in(dir);
  write_config_prg(s);
  write_alert_file(s);
  struct stat cfg {};
  struct stat alert {};
  ASSERT_EQ(stat(dir.file(kConfigFileName).c_str(), &cfg), 0);
  ASSERT_EQ(stat(dir.file(kAlertFileName).c_str(), &alert), 0);
  EXPECT_EQ(cfg.st_uid, 65534u);
  EXPECT_EQ(cfg.st_gid, 65534u);
  EXPECT_EQ(alert.st_uid, 1u);
  EXPECT_EQ(alert.st_gid, 1u);
  EXPECT_EQ(alert.st_mode & 07777, 0640u);
}

TEST(ConfigDir, Choice) {
  TempDir dir;
  EXPECT_EQ(choose_config_dir("/usr/bin", dir.path() + "over"), dir.path() + "over/");
  EXPECT_EQ(choose_config_dir(dir.path().substr(0, dir.path().size() - 1), ""), dir.path());
  const std::string xdg = dir.path() + "xdg";
  setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
  chmod(dir.path().c_str(), 0777);
  // A program folder that cannot be written: the user's configuration folder, created.
  const std::string chosen = run_unprivileged([&] { return choose_config_dir("/proc", ""); });
  EXPECT_EQ(chosen, xdg + "/vireluz/");
  struct stat st {};
  EXPECT_EQ(stat((xdg + "/vireluz").c_str(), &st), 0);
  // An installed program's folder (a prefix's bin/), even writable: the same.
  ASSERT_EQ(mkdir((dir.path() + "bin").c_str(), 0755), 0);
  EXPECT_EQ(choose_config_dir(dir.path() + "bin/", ""), xdg + "/vireluz/");
  unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace vireluz
