// The windowed program: the Qt application, the program core on the real or
// simulated interface, and the eight windows.
#include "app/gui_main.h"

#include <QApplication>
#include <QProxyStyle>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/app_setup.h"
#include "app/gui_shell.h"
#include "app/headless.h"
#include "app/program_backend.h"
#include "app/qt_support.h"
#include "app/small_windows.h"

namespace vireluz {
namespace {

// No exception may cross the event loop: whatever a handler lets through is
// shown as the general error display shows errors, and the program goes on.
class VireluzApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    bool handled = false;
    guarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
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

// A display server, or a display-less Qt platform chosen explicitly.
bool display_available() {
  if (has_env("DISPLAY") || has_env("WAYLAND_DISPLAY")) return true;
  const char* qpa = std::getenv("QT_QPA_PLATFORM");
  return qpa && (std::strcmp(qpa, "offscreen") == 0 || std::strcmp(qpa, "minimal") == 0 ||
                 std::strncmp(qpa, "vnc", 3) == 0 || std::strcmp(qpa, "eglfs") == 0 ||
                 std::strcmp(qpa, "linuxfb") == 0);
}

}  // namespace

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
  int rc = 2;
  {
    ProgramRun run(messages, options, QCoreApplication::applicationDirPath().toStdString() + "/");
    if (run.start()) {
      ProgramBackend backend(run.program, run.services, &run.mqtt, &run.web);
      backend.demo = run.demo();
      GuiShell shell(backend, messages, options.start, QCoreApplication::applicationFilePath().toStdString(),
                     options.config_dir);
      shell.show();
      const int exec_rc = app.exec();
      const int stop_rc = run.stop();
      rc = exec_rc != 0 ? exec_rc : stop_rc;
    }
  }
  set_error_display(nullptr);
  return rc;
}

}  // namespace vireluz
