// The start of a windowed run on the simulated interface, as a user meets it:
// the data folder, the window widths of one and two meters (applied as soon
// as the configuration changes), and the autostart entry of a run given
// --config-dir.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>
#include <fstream>

#include "app/app_setup.h"
#include "app/config_dialog.h"
#include "app/graphs_window.h"
#include "app/gui_shell.h"
#include "app/main_window.h"
#include "app/program_backend.h"
#include "app/small_windows.h"
#include "config/autostart.h"
#include "simulator/simulated_interface.h"  // before Qt: Qt defines "slots"

using namespace vireluz;
namespace fs = std::filesystem;

namespace {

std::string make_temp_dir(const char* name) {
  std::string tmpl = std::string("/tmp/vireluz_") + name + "_XXXXXX";
  return std::string(::mkdtemp(tmpl.data())) + "/";
}

AppOptions simulated_run(const std::string& config_dir) {
  AppOptions o;
  o.simulate = kSimUsbTwoMeters;
  o.config_dir = config_dir;
  return o;
}

// A run as the windowed program makes it, its windows on the program core.
struct WindowedRun {
  WindowedRun(const std::string& program_dir, const std::string& config_dir)
      : core(messages, simulated_run(config_dir), program_dir),
        started(core.start()),
        backend(core.program, core.services, &core.mqtt),
        shell(backend, messages, false, "/usr/bin/vireluz", config_dir) {
    messages.intercept = [this](const UserMessage& m) { shown.push_back(m); };
  }
  ~WindowedRun() { core.stop(); }
  void configure(int mode_interface) {
    core.program.settings().prg.MODE_INTERFACE = mode_interface;
    backend.after_configuration();
    shell.render();
  }
  QWidget& graph2() { return *shell.graphs().findChild<QWidget*>("Graphique2"); }

  QtUserMessages messages;
  std::vector<UserMessage> shown;
  ProgramRun core;
  bool started;
  ProgramBackend backend;
  GuiShell shell;
};

}  // namespace

TEST(Startup, DataFolderWidthsAndAutostartOfARunGivenItsConfigurationFolder) {
  const std::string program_dir = make_temp_dir("prog"), config_dir = make_temp_dir("cfg");
  const std::string xdg = make_temp_dir("xdg");
  ::setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
  std::ofstream(config_dir + "vireluz_cfg.ini", std::ios::binary) << "[CONFIG_PRG]\r\nMODE_INTERFACE=0\r\n";
  {
    WindowedRun run(program_dir, config_dir);
    ASSERT_TRUE(run.started);
    run.shell.show();
    run.shell.main().Panel1Enter();
    TForm1& main = run.shell.main();
    // The data folder is the configuration folder given; the configuration
    // window shows it as the record folder while REPERTOIR_ENR is empty.
    EXPECT_EQ(run.core.program.settings().ConfigDir, config_dir);
    TForm_cfg& cfg = run.shell.cfg();
    cfg.load();
    EXPECT_EQ(cfg.findChild<QLineEdit*>("DirectoryListBox1")->text().toStdString(), config_dir);

    // One meter: panel 510 wide, the window with it.
    EXPECT_EQ(main.centralWidget()->width(), 510);
    EXPECT_EQ(main.width(), 510);
    main.toggle_graphs();
    ASSERT_TRUE(run.shell.graphs().isVisible());
    EXPECT_FALSE(run.graph2().isVisible());
    // Two meters chosen in the configuration: both windows follow at once.
    run.configure(1);
    EXPECT_EQ(main.width(), 900);
    EXPECT_EQ(run.shell.graphs().width(), 825);
    EXPECT_TRUE(run.graph2().isVisible());
    run.configure(0);
    EXPECT_EQ(main.width(), 510);
    EXPECT_EQ(run.shell.graphs().width(), 417);
    EXPECT_FALSE(run.graph2().isVisible());

    // Saved with "Redémarrage AUTO": the record folder stays empty (the data
    // folder), and the automatic start reads the same configuration folder.
    cfg.load();
    cfg.findChild<QRadioButton*>("RadioButton_demAUTO")->click();
    cfg.findChild<QPushButton*>("Button2")->click();
    EXPECT_EQ(run.core.program.settings().prg.REPERTOIR_ENR, "");
    EXPECT_EQ(read_autostart_command(), "/usr/bin/vireluz start --config-dir " + config_dir);
    EXPECT_FALSE(fs::exists(program_dir + "vireluz_cfg.ini"));
    for (const auto& m : run.shown) ADD_FAILURE() << cp1252_to_utf8(m.text);
  }
  ::unsetenv("XDG_CONFIG_HOME");
  for (const auto& d : {program_dir, config_dir, xdg}) fs::remove_all(d);
}
