// Error boxes never hold up the work behind them: a record file that cannot
// be written, an unreachable Cosm server and a mail server that refuses the
// connection each leave their box open (one box each, however often the
// error comes back) while the record rows, the daily line and the decoding go
// on. The program runs in simulated time, driven by a Qt timer, so a box that
// held its handler would stop the whole run.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "acquisition/forwarding_d2xx.h"
#include "alerts/smtp_curl.h"
#include "common/curl_multi_curl.h"
#include "common/io_loop_qt.h"
#include "common/sim_scheduler.h"
#include "config/config_files.h"
#include "program/program.h"
#include "program/services.h"
#include "simulator/simulated_interface.h"  // before Qt: Qt defines "slots"
#include "support/sim_serial_link.h"
#include "upload/http_curl.h"
// The Qt layer.
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>

#include "app/small_windows.h"

namespace vireluz {
namespace {

namespace fs = std::filesystem;

// Two loopback ports on which nothing listens.
std::pair<int, int> closed_ports() {
  int fds[2];
  int ports[2];
  for (int i = 0; i < 2; ++i) {
    fds[i] = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    if (::bind(fds[i], reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fds[i], reinterpret_cast<sockaddr*>(&a), &n) != 0)
      ADD_FAILURE() << "no loopback port";
    ports[i] = ntohs(a.sin_port);
  }
  ::close(fds[0]);
  ::close(fds[1]);
  return {ports[0], ports[1]};
}

std::vector<QMessageBox*> open_boxes() {
  std::vector<QMessageBox*> out;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) out.push_back(b);
  return out;
}

int boxes_saying(const std::string& part) {
  int n = 0;
  for (QMessageBox* b : open_boxes()) n += b->text().toStdString().find(part) != std::string::npos;
  return n;
}

std::vector<std::string> lines_of(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::vector<std::string> out;
  for (std::string l; std::getline(f, l);) out.push_back(l);
  return out;
}

void write_configuration(const fs::path& dir, const fs::path& records, int cosm_port, int smtp_port) {
  std::ofstream cfg(dir / kConfigFileName, std::ios::binary);
  cfg << "[CONFIG_PRG]\r\nPERIODE_ENR=7\r\nMODE_INTERFACE=1\r\nREPERTOIR_ENR=" << records.string()
      << "\r\nTYPE_NOM_FICHIER=0\r\nENTETE_CSV=1\r\n"
      << "[CONFIG_COSM]\r\nCOSM actif=1\r\nfeed=42\r\nkey=" << scramble_secret("cle")
      << "\r\nInterval envoi=0\r\nTABLEAU VIDE=NON\r\nserveur=127.0.0.1:" << cosm_port << "\r\n"
      << "[GENERAL]\r\nCOLCOUNT=5\r\nROWCOUNT=1\r\n[0]\r\n0=1\r\n[1]\r\n0=Compteur 1\r\n"
      << "[2]\r\n0=Puissance apparente\r\n[3]\r\n0=0\r\n[4]\r\n0=4\r\n";
  // Meter 1's power above 0 VA, re-armed every minute: a mail each minute.
  const std::vector<std::string> rule = {"Compteur 1",
                                         "Puissance apparente",
                                         ">",
                                         "0",
                                         "Puissance %V VA",
                                         "0",
                                         "4",
                                         "3",
                                         "0",
                                         "1 mn",
                                         " ",
                                         "0",
                                         "0",
                                         "0",
                                         "0"};
  std::ofstream al(dir / kAlertFileName, std::ios::binary);
  al << "[CONFIG_MAIL]\r\nACTIF=1\r\nEMETTEUR=vireluz@essai.test\r\nDESTINATAIRE=releve@essai.test\r\n"
        "SMTP=127.0.0.1\r\nPORT SMTP="
     << smtp_port << "\r\nENTETE=Alerte\r\nTABLEAU VIDE=NON\r\n"
     << "[CONFIG_ALERTE]\r\nREACTIVATION=1\r\nREDEMARRAGE PC=0\r\n"
     << "[GENERAL]\r\nCOLCOUNT=17\r\nROWCOUNT=1\r\n";
  for (std::size_t c = 0; c < rule.size(); ++c) al << "[" << c << "]\r\n0=" << rule[c] << "\r\n";
}

TEST(ErrorBoxes, RecordCosmAndMailErrorsLeaveTheirBoxOpenWhileTheWorkGoesOn) {
  const fs::path dir = fs::temp_directory_path() / ("vireluz_boxes_" + std::to_string(::getpid()));
  const fs::path records = dir / "enr";  // missing until the user makes it
  fs::create_directories(dir);
  const auto [cosm_port, smtp_port] = closed_ports();
  write_configuration(dir, records, cosm_port, smtp_port);
  {
    SimScheduler sched{DateTime{2026, 12, 7, 23, 56, 30, 0}};
    QtUserMessages messages;
    ForwardingD2xx d2xx;
    testing::SimSerialLink serial;
    Program program{sched, sched, messages, d2xx, serial, {dir.string() + "/", dir.string() + "/"}};
    QtIoLoop io;
    CurlMulti net{io};
    CurlMailSender mail{sched, net};
    CurlHttpClient http{net};
    Services services(program, mail, http);
    SimulatedInterface sim(kSimUsbTwoMeters, program.settings(), program.timers(), sched);
    d2xx.target = &sim;
    serial.attach(sim);

    // The whole program runs inside this Qt timer's handler.
    QTimer driver;
    driver.setInterval(1);
    QObject::connect(&driver, &QTimer::timeout, [&] { sched.advance(200); });
    // A box that held its handler would stop the run for good: after this
    // long its boxes are closed so that the test ends, and fails.
    bool held = false;
    QTimer unblock;
    unblock.setInterval(30000);
    QObject::connect(&unblock, &QTimer::timeout, [&] {
      held = true;
      for (QMessageBox* b : open_boxes()) b->done(QMessageBox::Ok);
    });
    auto run_until = [&](const DateTime& t) {
      const std::int64_t until = ms_from_civil(t);
      while (sched.now_local_ms() < until && !held) QApplication::processEvents(QEventLoop::AllEvents, 10);
    };

    program.start_sequence(true);  // reading starts at 23:56:30.5, a row every 10 s
    driver.start();
    unblock.start();
    run_until({2026, 12, 7, 23, 57, 5, 0});
    // Three ticks without the folder: one box.
    EXPECT_EQ(boxes_saying("Invalid filename"), 1);
    fs::create_directories(records);
    std::int64_t packets_at_boxes = -1;
    while (!held && sched.now_local_ms() < ms_from_civil({2026, 12, 8, 0, 0, 45, 0})) {
      QApplication::processEvents(QEventLoop::AllEvents, 10);
      if (packets_at_boxes < 0 && boxes_saying(":" + std::to_string(cosm_port)) == 1 &&
          boxes_saying(":" + std::to_string(smtp_port)) == 1)
        packets_at_boxes = program.packets();
    }
    driver.stop();
    EXPECT_FALSE(held) << "an error box held the program up";

    // Each box is still open, once.
    EXPECT_EQ(boxes_saying("Invalid filename"), 1);
    EXPECT_EQ(boxes_saying(":" + std::to_string(cosm_port)), 1);
    EXPECT_EQ(boxes_saying(":" + std::to_string(smtp_port)), 1);
    EXPECT_EQ(open_boxes().size(), 3u);
    // Decoding went on after every box was open.
    ASSERT_GE(packets_at_boxes, 0);
    EXPECT_GT(program.packets(), packets_at_boxes + 20);
    // A row every 10 s from the first tick after the folder appeared
    // (23:57:10.5) to the last one (00:00:40.5), and the meter's values moved.
    const auto rows = lines_of(records / "enregistrements.csv");
    ASSERT_EQ(rows.size(), 1u + 22u);
    EXPECT_EQ(rows[1].substr(0, 19), "07/12/2026,23:57:10");
    EXPECT_EQ(rows[22].substr(0, 19), "08/12/2026,00:00:40");
    EXPECT_NE(rows[1].substr(20), rows[22].substr(20));
    // The daily line of 23:59.
    const auto daily = lines_of(records / "2026vireluz.csv");
    ASSERT_EQ(daily.size(), 2u);
    EXPECT_EQ(daily[1].substr(0, 6), "12,07,");

    program.stop_reading();
    serial.detach();
    for (QMessageBox* b : open_boxes()) b->done(QMessageBox::Ok);
    QApplication::processEvents();
  }
  std::error_code ec;
  if (!::testing::Test::HasFailure()) fs::remove_all(dir, ec);
}

// A box opens once the code that asked for it has returned; the same message
// (or one that differs only in its numbers) while it is open updates it rather
// than opening another; once closed, the message can come again.
TEST(ErrorBoxes, OneBoxPerMessageOpenedAfterTheCaller) {
  QtUserMessages messages;
  const UserMessage late{MessageIcon::Error, kAppTitle, "Serveur injoignable apr\xE8s 12 ms"};
  messages.show_message(late);
  EXPECT_TRUE(open_boxes().empty());
  QApplication::processEvents();
  ASSERT_EQ(open_boxes().size(), 1u);
  messages.show_message(late);
  messages.show_message({MessageIcon::Error, kAppTitle, "Serveur injoignable apr\xE8s 345 ms"});
  messages.show_message({MessageIcon::Warning, kAppTitle, "Autre chose"});
  QApplication::processEvents();
  ASSERT_EQ(open_boxes().size(), 2u);
  EXPECT_EQ(boxes_saying("345 ms"), 1);
  EXPECT_EQ(messages.open_boxes(), 2);
  // OK clicked, and the same message comes again before the closed box is
  // deleted: a new box, which stays when the old one goes.
  for (QMessageBox* b : open_boxes()) b->done(QMessageBox::Ok);
  EXPECT_EQ(messages.open_boxes(), 0);
  messages.show_message(late);
  QApplication::processEvents();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(boxes_saying("12 ms"), 1);
  EXPECT_EQ(messages.open_boxes(), 1);
  EXPECT_EQ(QApplication::topLevelWidgets().size(), 1);  // the closed boxes are gone
}

}  // namespace
}  // namespace vireluz
