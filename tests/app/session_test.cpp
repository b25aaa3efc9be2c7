// A whole session on the simulated interface: the program core, the windows,
// real timers and the pseudo-terminal of the simulated interface.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QLineSeries>
#include <QPixmap>
#include <filesystem>

#include "acquisition/forwarding_d2xx.h"
#include "acquisition/serial_port_qt.h"
#include "alerts/smtp_curl.h"
#include "app/graphs_window.h"
#include "app/gui_shell.h"
#include "app/main_window.h"
#include "app/program_backend.h"
#include "app/qt_support.h"
#include "app/small_windows.h"
#include "common/clock.h"
#include "common/curl_multi_curl.h"
#include "common/io_loop_qt.h"
#include "common/timer_qt.h"
#include "program/program.h"
#include "simulator/simulated_interface.h"  // before Qt: Qt defines "slots"
#include "upload/http_curl.h"

using namespace vireluz;
namespace fs = std::filesystem;

namespace {

void run_events_for(int ms, const std::function<bool()>& done = {}) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    if (done && done()) return;
  }
}

QString edit_text(GuiShell& shell, const char* name) {
  auto* e = shell.main().findChild<QLineEdit*>(name);
  return e ? e->text() : QString();
}

}  // namespace

TEST(Session, SimulatedInterfaceShowsDecodedValuesInTheWidgets) {
  char tmpl[] = "/tmp/vireluz_session_XXXXXX";
  const std::string dir = std::string(::mkdtemp(tmpl)) + "/";
  const bool screenshots =
      std::getenv("VIRELUZ_SCREENSHOTS") && std::string(std::getenv("VIRELUZ_SCREENSHOTS")) == "1";
  {
    SystemClock clock;
    QtTimerFactory timers;
    QtUserMessages messages;
    std::vector<UserMessage> shown;
    messages.intercept = [&](const UserMessage& m) { shown.push_back(m); };
    ComPort1 serial;
    ForwardingD2xx d2xx;
    std::unique_ptr<SimulatedInterface> sim;
    Program program(clock, timers, messages, d2xx, serial, {dir, dir});
    sim = std::make_unique<SimulatedInterface>(kSimUsbTwoMeters, program.settings(), program.timers(), clock);
    d2xx.target = sim.get();
    QtIoLoop io_loop;
    CurlMulti net(io_loop);
    CurlMailSender mail(clock, net);
    CurlHttpClient http(net);
    Services services(program, mail, http);
    ProgramBackend backend(program, services);
    backend.demo = true;  // reading starts by itself, the graphs are shown
    GuiShell shell(backend, messages, false, "/usr/bin/vireluz");
    shell.show();
    shell.main().Panel1Enter();
    EXPECT_TRUE(program.interface().InterfaceFound);
    EXPECT_TRUE(program.interface().ReadingActive);
    EXPECT_EQ(shell.main().windowTitle(), QString::fromUtf8("VIRELUZ 2 compteurs (interface simulée)"));

    run_events_for(4000, [&] {
      return !edit_text(shell, "Edit_ADCO1").isEmpty() && !edit_text(shell, "Edit_papp1").isEmpty();
    });
    EXPECT_EQ(edit_text(shell, "Edit_ADCO1").size(), 12);
    EXPECT_TRUE(edit_text(shell, "Edit_papp1").endsWith(" VA"))
        << edit_text(shell, "Edit_papp1").toStdString();
    EXPECT_TRUE(shell.graphs().isVisible());
    // Meter 2 comes after the first switch (five packets of meter 1, then 5 s).
    run_events_for(screenshots ? 40000 : 25000, [&] {
      return !screenshots && !edit_text(shell, "Edit_ADCO2").isEmpty() &&
             !edit_text(shell, "Edit_papp2").isEmpty();
    });
    EXPECT_FALSE(edit_text(shell, "Edit_ADCO2").isEmpty());
    EXPECT_GT(shell.graphs().series(0, 0)->count(), 0);
    for (const auto& m : shown) ADD_FAILURE() << cp1252_to_utf8(m.text);

    if (screenshots) {
      const fs::path docs = fs::path(VIRELUZ_SOURCE_DIR) / "docs";
      fs::create_directories(docs);
      shell.render();
      QApplication::processEvents();
      EXPECT_TRUE(shell.main().grab().save(QString::fromStdString((docs / "main_window.png").string())));
      EXPECT_TRUE(shell.graphs().grab().save(QString::fromStdString((docs / "graphs_window.png").string())));
    }
    program.stop_reading();
    serial.disconnect();
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
}
