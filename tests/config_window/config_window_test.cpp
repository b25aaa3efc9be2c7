#include "config/config_window.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/error.h"
#include "config/autostart.h"

using namespace vireluz;
namespace fs = std::filesystem;

namespace {

// Points XDG_CONFIG_HOME at a fresh folder for the duration of a test.
class TempConfigHome {
 public:
  TempConfigHome() {
    char tmpl[] = "/tmp/vireluz_cfgwin_XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
  }
  ~TempConfigHome() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
};

struct Harness {
  RecordingMessages messages;
  int writes = 0, pins = 0, autostart_writes = 0, removals = 0;
  AutostartRemoval removal = AutostartRemoval::Removed;
  Settings written;
  ConfigWindow window{messages, "/opt/vireluz/vireluz",
                      ConfigWindow::Hooks{[this](const Settings& s) {
                                            ++writes;
                                            written = s;
                                          },
                                          [this] { ++pins; },
                                          [this] {
                                            ++autostart_writes;
                                            return true;
                                          },
                                          [this] {
                                            ++removals;
                                            return removal;
                                          }}};
};

}  // namespace

TEST(ConfigWindow, ShowLoadsEveryControlFromSettings) {
  Harness h;
  Settings s;
  s.prg.PERIODE_ENR = 6;
  s.prg.MODE_INTERFACE = 1;
  s.prg.MODE_MONO_TRI_cpt2 = 1;
  s.prg.MODE_TIC_cpt1 = 1;
  s.prg.NOM_CPT1 = w("Maison été");
  s.prg.REPERTOIR_ENR = "/var/lib/vireluz";
  s.prg.TYPE_NOM_FICHIER = 1;
  s.prg.FORMAT_DATE = 1;
  s.prg.ENTETE_CSV = 7;
  s.prg.CPT_PROD = 1;
  s.prg.REDEMARRAGE_AUTOMATIQUE = 1;
  s.prg.GRAPHE_IouPA = 1;
  s.prg.MODE_ECHELLE_GRAPHE = 2;
  s.prg.PTEC_A_ENREGISTRER = 3;
  s.prg.FICHIER_PROD_CSV = 1;
  h.window.FormShow(s, false);
  const ConfigControls& c = h.window.controls;
  EXPECT_EQ(c.ComboBox_delais, 6);
  EXPECT_EQ(c.ComboBox_mode_interface, 1);
  EXPECT_EQ(c.ComboBox_type_abo, 0);
  EXPECT_EQ(c.ComboBox_type_abo_cpt2, 1);
  EXPECT_EQ(c.ComboBox_mode1, 1);
  EXPECT_EQ(c.Edit_nom_cpt1, w("Maison été"));
  EXPECT_EQ(c.DirectoryListBox1, "/var/lib/vireluz");
  EXPECT_TRUE(c.Radio_enregistrementdate && !c.Radio_enregistrement);
  EXPECT_TRUE(c.new_format_date && c.new_format_date_enabled);
  EXPECT_TRUE(c.RadioButton_sansentete && !c.RadioButton_entete);
  EXPECT_TRUE(c.RadioPROD1 && !c.RadioPROD2);
  EXPECT_TRUE(c.RadioButton_demAUTO && !c.RadioButton_sansdemauto);
  EXPECT_TRUE(c.RadioButton_PA && !c.GroupBox_echellegraphe_enabled);
  EXPECT_TRUE(c.RadioButton_Imax && !c.RadioButton_Isous);
  EXPECT_TRUE(c.CheckBox_PTEC && c.production_csv);
  EXPECT_TRUE(c.ComboBox_mode_interface_enabled && c.Edit_nom_cpt2_enabled);
  EXPECT_FALSE(h.window.SansRedemarrageChoisi);
}

TEST(ConfigWindow, OneMeterInterfaceLocksTheTwoMeterSettingsAndSavesOneMeter) {
  Harness h;
  Settings s;
  s.prg.MODE_INTERFACE = 0;  // the scan sets it when it finds the one-meter interface
  h.window.FormShow(s, true);
  EXPECT_EQ(h.window.controls.ComboBox_mode_interface, 0);
  EXPECT_FALSE(h.window.controls.ComboBox_mode_interface_enabled);
  EXPECT_FALSE(h.window.controls.ComboBox_type_abo_cpt2_enabled);
  EXPECT_FALSE(h.window.controls.Edit_nom_cpt2_enabled);
  h.window.Button2Click(s);
  EXPECT_EQ(h.written.prg.MODE_INTERFACE, 0);
}

TEST(ConfigWindow, SelectionHandlersDriveTheDependentControls) {
  Harness h;
  Settings s;
  s.prg.TYPE_NOM_FICHIER = 1;
  s.prg.FORMAT_DATE = 1;
  h.window.FormShow(s, false);
  h.window.Radio_enregistrementClick();  // the date format cannot stay checked
  EXPECT_FALSE(h.window.controls.new_format_date_enabled);
  h.window.set_date_format(true);  // a disabled box does not take a click
  h.window.RadioButton_PAClick();
  EXPECT_FALSE(h.window.controls.GroupBox_echellegraphe_enabled);
  h.window.Button2Click(s);
  EXPECT_EQ(h.written.prg.FORMAT_DATE, 0);
  EXPECT_EQ(h.written.prg.TYPE_NOM_FICHIER, 0);
  EXPECT_EQ(h.written.prg.GRAPHE_IouPA, 1);
  EXPECT_EQ(h.written.prg.MODE_ECHELLE_GRAPHE, 0);  // greyed but still saved
  h.window.RadioButton_intensiteClick();
  EXPECT_TRUE(h.window.controls.GroupBox_echellegraphe_enabled);
}

TEST(ConfigWindow, SaveCopiesControlsWritesReleasesPinsAndCloses) {
  Harness h;
  Settings s;
  h.window.FormShow(s, false);
  auto& c = h.window.controls;
  c.ComboBox_delais = 7;
  c.ComboBox_type_abo = 1;
  c.ComboBox_mode2 = 1;
  c.Edit_nom_cpt2 = "PV";
  c.DirectoryListBox1 = "/data";
  c.CheckBox_PTEC = true;
  h.window.select_prod(1);
  h.window.select_entete(true);
  h.window.select_isous(true);
  h.window.Button2Click(s);
  EXPECT_EQ(h.writes, 1);
  EXPECT_EQ(h.pins, 1);
  EXPECT_TRUE(h.window.close_requested);
  EXPECT_EQ(s.prg.PERIODE_ENR, 7);
  EXPECT_EQ(s.prg.MODE_MONO_TRI, 1);
  EXPECT_EQ(s.prg.MODE_TIC_cpt2, 1);
  EXPECT_EQ(s.prg.NOM_CPT2, "PV");
  EXPECT_EQ(s.prg.REPERTOIR_ENR, "/data");
  EXPECT_EQ(s.prg.PTEC_A_ENREGISTRER, 1);
  EXPECT_EQ(s.prg.CPT_PROD, 1);
  EXPECT_EQ(s.prg.ENTETE_CSV, 1);
  EXPECT_EQ(s.prg.MODE_ECHELLE_GRAPHE, 1);
  EXPECT_EQ(h.written.prg.PERIODE_ENR, 7);
}

TEST(ConfigWindow, LeaveChangesNothingButReleasesThePins) {
  Harness h;
  Settings s;
  h.window.FormShow(s, false);
  h.window.controls.ComboBox_delais = 5;
  h.window.Button1Click();
  EXPECT_EQ(h.writes, 0);
  EXPECT_EQ(h.pins, 1);
  EXPECT_TRUE(h.window.close_requested);
  EXPECT_EQ(s.prg.PERIODE_ENR, 0);
}

TEST(ConfigWindow, AFailedWriteStillReleasesThePinsAndReachesTheCaller) {
  RecordingMessages messages;
  int pins = 0;
  ConfigWindow window(messages, "/x",
                      {[](const Settings&) { throw VireluzError("Impossible"); }, [&] { ++pins; },
                       [] { return true; }, [] { return AutostartRemoval::NoFolder; }});
  Settings s;
  window.FormShow(s, false);
  EXPECT_THROW(window.Button2Click(s), VireluzError);
  EXPECT_EQ(pins, 1);
  EXPECT_TRUE(window.close_requested);
}

TEST(ConfigWindow, AutostartEntryFollowsTheRestartChoice) {
  {  // "Redémarrage AUTO": written at every save
    Harness h;
    Settings s;
    s.prg.REDEMARRAGE_AUTOMATIQUE = 1;
    h.window.FormShow(s, false);
    h.window.Button2Click(s);
    h.window.Button2Click(s);
    EXPECT_EQ(h.autostart_writes, 2);
    EXPECT_EQ(h.removals, 0);
    EXPECT_TRUE(h.messages.messages.empty());
  }
  {  // stored "SANS redémarrage", not clicked: untouched
    Harness h;
    Settings s;
    h.window.FormShow(s, false);
    EXPECT_TRUE(h.window.controls.RadioButton_sansdemauto);
    h.window.Button2Click(s);
    EXPECT_EQ(h.autostart_writes + h.removals, 0);
  }
  for (auto [outcome, text] : {std::pair{AutostartRemoval::Removed, w("suppression réussie")},
                               std::pair{AutostartRemoval::Failed, w("Erreur à la suppression")},
                               std::pair{AutostartRemoval::NoFolder, Text()}}) {
    Harness h;
    h.removal = outcome;
    Settings s;
    s.prg.REDEMARRAGE_AUTOMATIQUE = 1;
    h.window.FormShow(s, false);
    h.window.RadioButton_sansdemautoClick();
    h.window.Button2Click(s);
    EXPECT_EQ(h.removals, 1);
    EXPECT_EQ(s.prg.REDEMARRAGE_AUTOMATIQUE, 0);
    if (text.empty()) {
      EXPECT_TRUE(h.messages.messages.empty());
    } else {
      ASSERT_EQ(h.messages.messages.size(), 1u);
      EXPECT_EQ(h.messages.messages[0].text, text);
    }
  }
}

TEST(ConfigWindow, EmptyRecordFolderShowsTheDataFolderAndStaysEmptyUnlessChanged) {
  Harness h;
  Settings s;
  s.ConfigDir = "/home/jean/.config/vireluz/";
  h.window.FormShow(s, false);
  EXPECT_EQ(h.window.controls.DirectoryListBox1, "/home/jean/.config/vireluz/");
  h.window.Button2Click(s);
  EXPECT_EQ(s.prg.REPERTOIR_ENR, "");  // still the data folder, wherever it moves
  h.window.FormShow(s, false);
  h.window.controls.DirectoryListBox1 = w("/srv/relevés/");
  h.window.Button2Click(s);
  EXPECT_EQ(s.prg.REPERTOIR_ENR, w("/srv/relevés/"));
  h.window.FormShow(s, false);
  EXPECT_EQ(h.window.controls.DirectoryListBox1, w("/srv/relevés/"));
}

TEST(Autostart, EntryIsWrittenWithStartAndRemovedOnce) {
  TempConfigHome home;
  EXPECT_EQ(autostart_entry_path(), home.dir() + "/autostart/VIRELUZ_2RER.desktop");
  EXPECT_EQ(remove_autostart_entry(), AutostartRemoval::NoFolder);
  ASSERT_TRUE(write_autostart_entry("/usr/bin/vireluz"));
  EXPECT_EQ(read_autostart_command(), "/usr/bin/vireluz start");
  std::ifstream f(autostart_entry_path());
  std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  EXPECT_NE(all.find("[Desktop Entry]\n"), std::string::npos);
  EXPECT_NE(all.find("Type=Application\n"), std::string::npos);
  EXPECT_EQ(remove_autostart_entry(), AutostartRemoval::Removed);
  EXPECT_FALSE(fs::exists(autostart_entry_path()));
  EXPECT_EQ(remove_autostart_entry(), AutostartRemoval::Failed);
}

TEST(Autostart, PathsWithBlanksOrReservedCharactersAreQuoted) {
  EXPECT_EQ(autostart_command("/home/a b/vireluz"), "\"/home/a b/vireluz\" start");
  EXPECT_EQ(autostart_command("/opt/$x/100%/v"), "\"/opt/\\$x/100%%/v\" start");
  // The --config-dir in use follows, quoted the same way.
  EXPECT_EQ(autostart_command("/usr/bin/vireluz", "/srv/mes relev\xC3\xA9s/"),
            "/usr/bin/vireluz start --config-dir \"/srv/mes relev\xC3\xA9s/\"");
  TempConfigHome home;
  ASSERT_TRUE(write_autostart_entry("/home/a\\b/v\n"));
  // In the file the quoted backslash escape is itself escaped once more, and
  // the line break is written as an escape.
  EXPECT_EQ(read_autostart_command(), "\"/home/a\\\\b/v\n\" start");
}

TEST(Autostart, UnwritableFolderReportsFailureWithoutAFile) {
  TempConfigHome home;
  const std::string blocker = home.dir() + "/autostart";
  std::ofstream(blocker) << "not a folder";
  EXPECT_FALSE(write_autostart_entry("/usr/bin/vireluz"));
}
