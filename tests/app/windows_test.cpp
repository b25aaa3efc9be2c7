#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QTimer>
#include <QValueAxis>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/config_dialog.h"
#include "app/graphs_window.h"
#include "app/gui_shell.h"
#include "app/main_window.h"
#include "app/qt_support.h"
#include "app/small_windows.h"
#include "app/widgets.h"
#include "common/error.h"
#include "config/autostart.h"
#include "support/fake_backend.h"

using namespace vireluz;
using vireluz::testing::FakeBackend;
namespace fs = std::filesystem;

namespace {

struct Gui {
  explicit Gui(bool start = false) : shell(backend, messages, start, "/usr/bin/vireluz") {
    messages.intercept = [this](const UserMessage& m) { shown.push_back(m); };
    set_error_display(&messages);
    shell.show();
  }
  ~Gui() { set_error_display(nullptr); }
  template <typename W>
  W* find(const char* name) {
    for (QWidget* w : shell.windows())
      if (W* c = w->findChild<W*>(name)) return c;
    return nullptr;
  }
  QAction* tray(const char* name) { return shell.main().tray_menu()->findChild<QAction*>(name); }

  FakeBackend backend;
  QtUserMessages messages;
  std::vector<UserMessage> shown;
  GuiShell shell;
};

std::string read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/vireluz_app_XXXXXX";
    path = ::mkdtemp(tmpl);
    path += '/';
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  std::string path;
};

}  // namespace

TEST(Windows, EightWindowsInLaunchOrderWithTheirCaptions) {
  Gui gui;
  const std::vector<std::pair<QString, QString>> expected = {
      {"TForm1", "VIRELUZ 2 compteurs"},
      {"TForm_a_propos", "A propos"},
      {"TForm_cfg", "Configuration Interface VIRELUZ 2 compteurs"},
      {"TForm_graphiques", "VIRELUZ graphiques"},
      {"TForm_alertes_mail", "Configuration Alerte Mail"},
      {"TForm2_BDPV", QString::fromUtf8("Réglage BDPV")},
      {"TForm_pas_vireluz", QString::fromUtf8("Vireluz compteur non activée !")},
      {"TForm_Cosm", "Cosm (pachube)"}};
  ASSERT_EQ(gui.shell.windows().size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(gui.shell.windows()[i]->objectName(), expected[i].first);
    EXPECT_EQ(gui.shell.windows()[i]->windowTitle(), expected[i].second);
    EXPECT_TRUE(gui.shell.windows()[i]->isWindow());
  }
  EXPECT_EQ(QApplication::applicationDisplayName(), QString::fromUtf8("VIRELUZ 2 Compteurs électrique"));
  // The title is the application's name, not a display name of its own, which
  // the platform would append to every caption above.
  const QString name = QCoreApplication::applicationName();
  QCoreApplication::setApplicationName("x");
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), "x");
  QCoreApplication::setApplicationName(name);
  EXPECT_TRUE(gui.shell.main().isVisible());
  for (std::size_t i = 1; i < expected.size(); ++i) EXPECT_FALSE(gui.shell.windows()[i]->isVisible());
  // Every component of the presentation state has its widget.
  for (std::size_t i = 0; i < kFieldCount; ++i) {
    const auto n = field_name(static_cast<FieldId>(i));
    EXPECT_NE(gui.shell.main().findChild<QWidget*>(QString::fromLatin1(n.data(), n.size())), nullptr) << n;
  }
  for (const char* n : {"MainMenu1", "Memo_alerte", "rmLed_Led_bleu", "rmGauge_I3_cpt2", "Graphique1",
                        "Graphique2", "TrackBar_graph1", "Label_cpt2", "Label_pas_tele"})
    EXPECT_NE(gui.find<QWidget>(n), nullptr) << n;
  EXPECT_FALSE(gui.find<QWidget>("Memo_alerte")->isVisibleTo(&gui.shell.main()));
  EXPECT_EQ(gui.find<QLabel>("Label_trame_recue")->text(), QString::fromUtf8("Trame reçue"));
  for (const char* t : {"Quitter", "Configuration", "Alertes Mail", "BDPV", "Cosm (Pachube)",
                        "Scan Interface", "Réduire", "A propos"})
    EXPECT_NE(gui.shell.main().menu_action(QString::fromUtf8(t)), nullptr) << t;
  auto* about = &gui.shell.a_propos();
  for (const char* t : {"VIRELUZ 2 compteurs", "Version 1.43J", "interface  USB 2 compteurs",
                        "interface  XBEE 2 compteurs", "interface  USB 1 compteur"}) {
    bool found = false;
    for (QLabel* l : about->findChildren<QLabel*>()) found |= l->text() == t;
    EXPECT_TRUE(found) << t;
  }
}

TEST(Windows, MenuEntriesAreRefusedWhileReading) {
  Gui gui;
  QApplication::processEvents();
  gui.backend.calls.clear();
  gui.backend.reading = true;
  gui.shell.main().menu_action("Quitter")->trigger();
  gui.shell.main().menu_action("Configuration")->trigger();
  gui.shell.main().menu_action("Scan Interface")->trigger();
  gui.shell.main().menu_action("MQTT (Home Assistant)")->trigger();
  // "Scan Interface" goes to the core, which refuses it by the same rule.
  EXPECT_EQ(gui.backend.calls,
            (std::vector<std::string>{"refused", "refused", "Diagnostique1Click", "refused"}));
  EXPECT_FALSE(gui.shell.main().quitting());
  EXPECT_TRUE(gui.shell.main().isVisible());
  // The title-bar close box does not end the program.
  gui.shell.main().close();
  EXPECT_TRUE(gui.shell.main().isVisible());
  // Stopped: "Configuration" shows the window, then the layouts are redone.
  gui.backend.reading = false;
  gui.backend.calls.clear();
  QTimer::singleShot(50, [&] { gui.shell.cfg().leave(); });
  gui.shell.main().menu_action("Configuration")->trigger();
  ASSERT_GE(gui.backend.calls.size(), 2u);
  EXPECT_EQ(std::vector<std::string>(gui.backend.calls.end() - 2, gui.backend.calls.end()),
            (std::vector<std::string>{"release_pins", "after_configuration"}));
}

TEST(Windows, PasswordsEchoStarsAndDialogsOpenCentredWhollyOnScreen) {
  Gui gui;
  int secrets = 0;
  for (QWidget* w : gui.shell.windows())
    for (QLineEdit* e : w->findChildren<QLineEdit*>())
      if (e->echoMode() == QLineEdit::Password) {
        e->setText(QString::fromUtf8("clé"));
        EXPECT_EQ(e->displayText(), "***") << e->objectName().toStdString();
        ++secrets;
      }
  EXPECT_GE(secrets, 2);

  TForm1& main = gui.shell.main();
  const QRect area = main.screen()->availableGeometry();
  QRect seen;
  auto open = [&](const char* entry, QDialog& d) {
    seen = QRect();
    QTimer::singleShot(0, [&] {
      seen = d.geometry();
      d.reject();
    });
    main.menu_action(QString::fromUtf8(entry))->trigger();
  };
  // The About window, centred on the main window at every showing.
  main.setGeometry(area.left() + 40, area.top() + 60, 420, 300);
  for (QPoint shift : {QPoint(0, 0), QPoint(90, 70)}) {
    main.move(main.pos() + shift);
    open("A propos", gui.shell.a_propos());
    ASSERT_TRUE(seen.isValid());
    EXPECT_LE((seen.center() - main.geometry().center()).manhattanLength(), 2);
  }
  // A tall dialog over a window at the top of the screen: title bar included,
  // it stays on the screen.
  main.move(area.topLeft());
  open("Configuration", gui.shell.cfg());
  ASSERT_TRUE(seen.isValid());
  EXPECT_TRUE(area.contains(seen)) << seen.y() << " " << seen.height();
  EXPECT_GE(seen.top(), area.top() + 20);
}

TEST(Windows, MinimiseAndRestoreSetTheTrayEntries) {
  Gui gui;
  TForm1& m = gui.shell.main();
  EXPECT_FALSE(gui.tray("Show1")->isEnabled());
  EXPECT_TRUE(gui.tray("Minimize")->isEnabled());
  EXPECT_EQ(gui.tray("Show1")->text(), QString::fromUtf8("Afficher contrôle"));
  EXPECT_EQ(gui.tray("show_graphes")->text(), "Afficher Graphes");
  EXPECT_EQ(gui.tray("show_all")->text(), "Afficher Tout");
  gui.find<QPushButton>("Button_graphes")->click();
  ASSERT_TRUE(gui.shell.graphs().isVisible());
  gui.find<QPushButton>("Button1")->click();  // "Réduire"
  EXPECT_FALSE(gui.tray("Minimize")->isEnabled());
  EXPECT_TRUE(gui.tray("Show1")->isEnabled());
  EXPECT_TRUE(gui.tray("show_all")->isEnabled());
  EXPECT_FALSE(gui.shell.graphs().isVisible());
  EXPECT_FALSE(gui.backend.graphs_state().GraphsShown);
  // Without a notification area the window stays reachable, minimised.
  if (m.tray_available())
    EXPECT_FALSE(m.isVisible());
  else
    EXPECT_TRUE(m.isMinimized());
  gui.tray("Show1")->trigger();
  EXPECT_TRUE(m.isVisible());
  EXPECT_FALSE(m.isMinimized());
  EXPECT_FALSE(gui.tray("Show1")->isEnabled());
  EXPECT_FALSE(gui.tray("show_all")->isEnabled());
  EXPECT_TRUE(gui.tray("Minimize")->isEnabled());
  EXPECT_FALSE(gui.shell.graphs().isVisible());  // restoring does not bring the graphs back
}

TEST(Windows, ShowAllRestoresAndShowsTheGraphsOnlyWhenHidden) {
  Gui gui;
  gui.shell.main().minimise();
  gui.tray("show_all")->trigger();
  EXPECT_TRUE(gui.shell.main().isVisible());
  EXPECT_TRUE(gui.shell.graphs().isVisible());
  EXPECT_EQ(gui.tray("show_graphes")->text(), "Masquer graphiques");
  // Already shown: "Afficher Tout" leaves them shown.
  gui.shell.main().minimise();
  afficher_graphiques(gui.backend.graphs_state(), gui.backend.main_state());
  gui.tray("show_all")->trigger();
  EXPECT_TRUE(gui.shell.graphs().isVisible());
  EXPECT_TRUE(gui.backend.graphs_state().GraphsShown);
}

TEST(Windows, GraphsToggleAndItsCaptions) {
  Gui gui;
  auto* button = gui.find<QPushButton>("Button_graphes");
  EXPECT_EQ(button->text(), "Afficher graphiques");
  button->click();
  EXPECT_TRUE(gui.shell.graphs().isVisible());
  EXPECT_EQ(button->text(), "Masquer graphiques");
  EXPECT_EQ(gui.tray("show_graphes")->text(), "Masquer graphiques");
  EXPECT_EQ(gui.shell.graphs().width(), 872);  // two meters
  gui.tray("show_graphes")->trigger();
  EXPECT_FALSE(gui.shell.graphs().isVisible());
  EXPECT_EQ(button->text(), "Afficher graphiques");
  // The close box of the graphs window goes through the same toggle.
  button->click();
  gui.shell.graphs().close();
  EXPECT_FALSE(gui.shell.graphs().isVisible());
  EXPECT_EQ(button->text(), "Afficher graphiques");
  EXPECT_EQ(gui.tray("show_graphes")->text(), "Afficher graphiques");
  // One meter: graph 2 and its slider are hidden, the window narrower.
  gui.backend.settings().prg.MODE_INTERFACE = 0;
  button->click();
  EXPECT_EQ(gui.shell.graphs().width(), 460);
  EXPECT_FALSE(gui.find<QWidget>("Graphique2")->isVisible());
  EXPECT_FALSE(gui.find<QWidget>("TrackBar_graph2")->isVisible());
  EXPECT_TRUE(gui.find<QWidget>("Graphique1")->isVisible());
}

TEST(Windows, RenderCopiesTheStateIntoTheWidgets) {
  Gui gui;
  MainWindowState& st = gui.backend.main_state();
  st[FieldId::Edit_ADCO1].text = "021728123456";
  st[FieldId::Edit_i_inst1] = Field{"12 A", true, true, Colour::Red, Colour::Black, true};
  st[FieldId::Label_i_inst2].enabled = false;
  st[FieldId::GroupBox_cpt1].text = w("Compteur 1: Maison été");
  st[FieldId::GroupBox_cpt2].visible = false;
  st[GaugeId::rmGauge_I1_cpt1] = Gauge{45, 32, 39, 12, true};
  st[GaugeId::rmGauge_I2_cpt1].visible = false;
  st[LedId::rmLed_Led_verte].on = true;
  st[LedId::rmLed2] = vireluz::Led{false, Colour::Red, Colour::White, true};
  ++st.serial;
  gui.shell.main().render();
  EXPECT_EQ(gui.find<QLineEdit>("Edit_ADCO1")->text(), "021728123456");
  auto* i1 = gui.find<QLineEdit>("Edit_i_inst1");
  EXPECT_EQ(i1->text(), "12 A");
  EXPECT_TRUE(i1->isReadOnly());
  EXPECT_TRUE(i1->styleSheet().contains("background-color: #ff0000"));
  EXPECT_TRUE(i1->styleSheet().contains("color: #000000"));
  EXPECT_TRUE(i1->styleSheet().contains("font-weight: bold"));
  EXPECT_FALSE(gui.find<QLabel>("Label_i_inst2")->isEnabled());
  EXPECT_EQ(gui.find<QGroupBox>("GroupBox_cpt1")->title(), QString::fromUtf8("Compteur 1: Maison été"));
  EXPECT_FALSE(gui.find<QWidget>("GroupBox_cpt2")->isVisible());
  auto* g1 = gui.find<ui::BarGauge>("rmGauge_I1_cpt1");
  EXPECT_EQ(std::tuple(g1->max(), g1->zone1(), g1->zone2(), g1->position()), std::tuple(45, 32, 39, 12));
  EXPECT_FALSE(gui.find<QWidget>("rmGauge_I2_cpt1")->isVisible());
  EXPECT_EQ(gui.find<ui::Led>("rmLed_Led_verte")->current_colour(), QColor(0, 255, 0));
  EXPECT_EQ(gui.find<ui::Led>("rmLed2")->current_colour(), QColor(255, 255, 255));
  // Only what changed is touched: a widget whose state did not change keeps
  // what was put in it by hand.
  gui.find<QLineEdit>("Edit_ADCO1")->setText("untouched");
  st[FieldId::Edit_papp1].text = "2300 VA";
  ++st.serial;
  gui.shell.main().render();
  EXPECT_EQ(gui.find<QLineEdit>("Edit_papp1")->text(), "2300 VA");
  EXPECT_EQ(gui.find<QLineEdit>("Edit_ADCO1")->text(), "untouched");
}

TEST(Windows, SimulatedInterfaceIsSaidPlainly) {
  Gui gui;
  gui.backend.main_state()[FieldId::Label_type_interface].text =
      w("USB 2 compteurs (simulée)");  // from the core
  gui.backend.sim = true;
  gui.shell.main().render();
  EXPECT_EQ(gui.shell.main().windowTitle(), QString::fromUtf8("VIRELUZ 2 compteurs (interface simulée)"));
  EXPECT_EQ(gui.find<QLabel>("Label_type_interface")->text(), QString::fromUtf8("USB 2 compteurs (simulée)"));
}

TEST(Windows, StartSequenceRunsOnceAtFirstActivationAndAutomaticStartHides) {
  {
    Gui gui;
    gui.shell.main().activateWindow();
    QApplication::setActiveWindow(&gui.shell.main());
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_EQ(gui.shell.main().start_sequence_runs(), 1);
    EXPECT_EQ(gui.backend.calls, (std::vector<std::string>{"start_sequence"}));
  }
  {
    Gui gui(true);  // launched with "start": the window starts minimised
    QApplication::processEvents();
    EXPECT_EQ(gui.backend.calls, (std::vector<std::string>{"start_sequence(start)"}));
    EXPECT_TRUE(gui.tray("Show1")->isEnabled() || !gui.shell.main().tray_available());
    EXPECT_FALSE(gui.tray("Minimize")->isEnabled());
    EXPECT_TRUE(!gui.shell.main().isVisible() || gui.shell.main().isMinimized());
    // The core's automatic start minimises through its event.
    gui.tray("Show1")->trigger();
    gui.backend.automatic_start_done();
    EXPECT_FALSE(gui.tray("Minimize")->isEnabled());
  }
}

TEST(Windows, GraphsDrawTheSamplesAndScroll) {
  Gui gui;
  GraphsWindowState& gs = gui.backend.graphs_state();
  afficher_graphiques(gs, gui.backend.main_state());
  gui.shell.render();
  TForm_graphiques& w = gui.shell.graphs();
  GraphState& g = gs.graph[0];
  g.traces = 3;
  for (int i = 0; i < 10; ++i) g.add_sample(std::to_string(i) + ";5;7;");
  gui.shell.render();
  EXPECT_EQ(w.series(0, 0)->count(), 10);
  EXPECT_EQ(w.series(0, 2)->at(9).y(), 7);
  // One trace: the two others disappear.
  g.traces = 1;
  ++g.serial;
  g.add_sample("20;");
  gui.shell.render();
  EXPECT_FALSE(w.series(0, 1)->isVisible());
  EXPECT_TRUE(w.series(0, 0)->isVisible());
  EXPECT_EQ(w.series(0, 0)->count(), 11);
  // Past 350 samples the oldest leave, a few at a time and in bursts.
  for (int i = 0; i < 345; ++i) {
    g.add_sample(std::to_string(i % 40) + ";");
    if (i % 5 == 0) gui.shell.render();
  }
  gui.shell.render();
  EXPECT_EQ(w.series(0, 0)->count(), 350);
  EXPECT_EQ(w.series(0, 0)->at(349).y(), 344 % 40);
  EXPECT_EQ(w.series(0, 0)->at(0).y(), g.sample(0)[0]);
  for (int i = 0; i < 100; ++i) g.add_sample("3;");
  gui.shell.render();
  EXPECT_EQ(w.series(0, 0)->count(), 350);
  EXPECT_EQ(w.series(0, 0)->at(349).y(), 3);
  EXPECT_EQ(w.series(0, 0)->at(0).y(), g.sample(0)[0]);
  // Units and scale.
  g.unit = "VA";
  g.top = 3000;
  ++g.serial;
  gui.shell.render();
  EXPECT_EQ(w.y_axis(0)->titleText(), "VA");
  EXPECT_EQ(w.y_axis(0)->max(), 3000);
  // Moving the slider sets the top through the core's handler.
  auto* slider = gui.find<QSlider>("TrackBar_graph2");
  slider->setValue(30);
  EXPECT_EQ(gs.graph[1].top, 30);
  EXPECT_EQ(w.y_axis(1)->max(), 30);
}

TEST(Windows, NoTicWindowIsNotModalAndMessagesKeepTheirText) {
  Gui gui;
  QtUserMessages plain;
  plain.set_no_tic_window(&gui.shell.pas_vireluz());
  plain.show_no_tic(w("TIC du compteur 2 non activée"));
  EXPECT_TRUE(gui.shell.pas_vireluz().isVisible());
  EXPECT_FALSE(gui.shell.pas_vireluz().isModal());
  EXPECT_EQ(gui.find<QLabel>("Label_pas_tele")->text(), QString::fromUtf8("TIC du compteur 2 non activée"));
  // An exception in a handler is shown and the program goes on.
  guarded([] { throw VireluzError(w("Fichier inaccessible : enregistrements.csv")); });
  ASSERT_EQ(gui.shown.size(), 1u);
  EXPECT_EQ(gui.shown[0].text, w("Fichier inaccessible : enregistrements.csv"));
}

TEST(ConfigDialog, LoadHandlersAndSaveToTheFile) {
  TempDir dir;
  ::setenv("XDG_CONFIG_HOME", (dir.path + "xdg").c_str(), 1);
  Gui gui;
  Settings& s = gui.backend.settings();
  s.ConfigDir = dir.path;
  s.prg.PERIODE_ENR = 2;
  s.prg.NOM_CPT1 = w("Maison");
  s.prg.TYPE_NOM_FICHIER = 1;
  s.prg.FORMAT_DATE = 1;
  s.prg.REDEMARRAGE_AUTOMATIQUE = 0;
  TForm_cfg& cfg = gui.shell.cfg();
  cfg.load();
  EXPECT_EQ(gui.find<QComboBox>("ComboBox_delais")->currentText(), "Toutes les 10 minutes");
  EXPECT_EQ(gui.find<QComboBox>("ComboBox_delais")->count(), 8);
  EXPECT_EQ(gui.find<QComboBox>("ComboBox_type_abo")->itemText(1), QString::fromUtf8("Triphasé"));
  EXPECT_EQ(gui.find<QLineEdit>("Edit_nom_cpt1")->text(), "Maison");
  EXPECT_TRUE(gui.find<QCheckBox>("new_format_date")->isChecked());
  EXPECT_TRUE(gui.find<QRadioButton>("RadioButton_sansdemauto")->isChecked());
  // Handlers through the widgets.
  gui.find<QRadioButton>("Radio_enregistrement")->click();
  EXPECT_FALSE(gui.find<QCheckBox>("new_format_date")->isEnabled());
  EXPECT_FALSE(gui.find<QCheckBox>("new_format_date")->isChecked());
  EXPECT_FALSE(gui.find<QRadioButton>("Radio_enregistrementdate")->isChecked());
  gui.find<QRadioButton>("RadioButton_PA")->click();
  EXPECT_FALSE(gui.find<QGroupBox>("GroupBox_echellegraphe")->isEnabled());
  gui.find<QRadioButton>("RadioButton_demAUTO")->click();
  gui.find<QComboBox>("ComboBox_mode2")->setCurrentIndex(1);
  gui.find<QLineEdit>("Edit_nom_cpt2")->setText(QString::fromUtf8("Panneaux été"));
  gui.find<QPushButton>("Button2")->click();
  EXPECT_EQ(s.prg.GRAPHE_IouPA, 1);
  EXPECT_EQ(s.prg.NOM_CPT2, w("Panneaux été"));
  const std::string ini = cp1252_to_utf8(read_file(dir.path + "vireluz_cfg.ini"));
  EXPECT_NE(ini.find("PERIODE_ENR=2"), std::string::npos) << ini;
  EXPECT_NE(ini.find("MODE_TIC_cpt2=1"), std::string::npos) << ini;
  EXPECT_NE(ini.find("FORMAT_DATE=0"), std::string::npos) << ini;
  EXPECT_NE(ini.find("NOM_CPT2=Panneaux été"), std::string::npos) << ini;
  EXPECT_NE(ini.find("REDEMARRAGE_AUTOMATIQUE=1"), std::string::npos) << ini;
  EXPECT_EQ(read_autostart_command(), "/usr/bin/vireluz start");
  EXPECT_EQ(gui.backend.calls.back(), "release_pins");
  // "SANS redémarrage" clicked and saved: the entry goes, with its message.
  cfg.load();
  gui.find<QRadioButton>("RadioButton_sansdemauto")->click();
  gui.find<QPushButton>("Button2")->click();
  EXPECT_FALSE(fs::exists(autostart_entry_path()));
  ASSERT_FALSE(gui.shown.empty());
  EXPECT_EQ(gui.shown.back().text, w("suppression réussie"));
  // The one-meter interface locks the two-meter settings.
  gui.backend.one_tic = true;
  cfg.load();
  EXPECT_FALSE(gui.find<QComboBox>("ComboBox_mode_interface")->isEnabled());
  EXPECT_EQ(gui.find<QComboBox>("ComboBox_mode_interface")->currentText(), "1 compteur CPT1");
  EXPECT_FALSE(gui.find<QLineEdit>("Edit_nom_cpt2")->isEnabled());
  ::unsetenv("XDG_CONFIG_HOME");
}
