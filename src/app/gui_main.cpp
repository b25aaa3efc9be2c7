// The windowed program: the Qt application, the program core on the real or
// simulated interface, and the eight windows.
#include "app/gui_main.h"

// Before any Qt header: Qt defines "slots" as a macro.
#include <QApplication>
#include <QProxyStyle>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "acquisition/d2xx_libftdi.h"
#include "acquisition/interface_controller.h"
#include "app/app_setup.h"
#include "app/gui_auto.h"
#include "app/gui_shell.h"
#include "app/program_backend.h"
#include "app/qt_support.h"
#include "app/small_windows.h"
#include "config/config_files.h"
#include "program/program.h"
#include "simulator/simulated_interface.h"

namespace vireluz {
namespace {

// No exception may cross the event loop: whatever a handler lets through is
// shown as the general error display shows errors, and the program goes on.
class VireluzApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      show_general_error(e.what());
    } catch (...) {
      show_general_error(w("Erreur inattendue"));
    }
    return false;
  }
};

// The platform's style, with '*' as the echo character of password fields.
class VireluzStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* ret) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return '*';
    return QProxyStyle::styleHint(hint, option, widget, ret);
  }
};

bool has_env(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

}  // namespace

bool display_available() {
  if (has_env("DISPLAY") || has_env("WAYLAND_DISPLAY")) return true;
  // A platform chosen explicitly that needs no display server.
  const char* qpa = std::getenv("QT_QPA_PLATFORM");
  return qpa && (std::strcmp(qpa, "offscreen") == 0 || std::strcmp(qpa, "minimal") == 0 ||
                 std::strncmp(qpa, "vnc", 3) == 0 || std::strcmp(qpa, "eglfs") == 0 ||
                 std::strcmp(qpa, "linuxfb") == 0);
}

bool real_interface_attached() {
  try {
    auto ftdi = make_libftdi_d2xx();
    std::uint32_t count = 0;
    if (ftdi->ListDevicesCount(count) != FT_OK) return false;
    for (std::uint32_t i = 0; i < count && i < 20; ++i) {
      char buf[64] = {};
      if (ftdi->ListDeviceDescription(i, buf) != FT_OK) continue;
      buf[63] = '\0';
      const Text d = buf;
      if (d == kUsb2Description || d == kXbeeDescription || d == kUsb1Description) return true;
    }
  } catch (const std::exception&) {
  }
  return false;
}

void setup_application() {
  // The application title. Set as the name, not the display name: Qt appends
  // a display name to every window caption ("A propos — VIRELUZ ...").
  QApplication::setApplicationName(QString::fromUtf8("VIRELUZ 2 Compteurs électrique"));
  // The menu entry gives the task bar its name and icon.
  QGuiApplication::setDesktopFileName("vireluz");
  QApplication::setWindowIcon(program_icon());
  QApplication::setStyle(new VireluzStyle);
}

int run_gui(const AppOptions& options, int argc, char** argv) {
  if (!display_available()) {
    std::fprintf(stderr,
                 "vireluz: aucun affichage graphique (ni DISPLAY ni WAYLAND_DISPLAY) : "
                 "fonctionnement sans fenêtre\n");
    return run_headless(options, argc, argv);
  }
  VireluzApplication app(argc, argv);
  setup_application();
  // Hidden in the notification area the program goes on: only "Quitter" ends it.
  app.setQuitOnLastWindowClosed(false);
  QtUserMessages messages;
  set_error_display(&messages);
  ProgramRun run(messages, options, QCoreApplication::applicationDirPath().toStdString() + "/");
  std::setlocale(LC_NUMERIC, "C");
  try {
    run.choose_interface(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vireluz: %s\n", cp1252_to_utf8(e.what()).c_str());
    return 2;
  }
  Program& program = run.program;
  Services& services = run.services;

  ProgramBackend gui_backend(program, services);
  gui_backend.demo = options.demo;
  gui_backend.set_mqtt(&run.mqtt);
  gui_backend.set_web(&run.web);
  int rc = 0;
  {
    GuiShell shell(gui_backend, messages, options.start,
                   QCoreApplication::applicationFilePath().toStdString(), options.config_dir);
    shell.show();
    if (options.run_for_s > 0)
      QTimer::singleShot(static_cast<int>(options.run_for_s * 1000), &app, [] { QCoreApplication::exit(0); });
    rc = app.exec();
    program.minimise = nullptr;
    program.stop_reading();
    run.serial.disconnect();
  }
  set_error_display(nullptr);
  return rc;
}

}  // namespace vireluz

namespace vireluz {

bool take_auto_option(int& argc, char** argv) {
  bool found = false;
  int out = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--auto") == 0)
      found = true;
    else
      argv[out++] = argv[i];
  }
  argc = out;
  argv[argc] = nullptr;
  return found;
}

}  // namespace vireluz
