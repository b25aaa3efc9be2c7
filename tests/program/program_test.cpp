#include "program/program.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "acquisition/interface/support/fakes.h"
#include "alerts/recording_sender.h"
#include "common/sim_scheduler.h"
#include "program/services.h"
#include "simulator/frame_builder.h"
#include "upload/support/fake_http.h"

namespace vireluz {
namespace {

using testing::FakeD2xx;
using testing::FakeSerial;

// A historic group with its checksum, as a meter sends it.
constexpr auto group = historic_group;

// A historic frame of a base-option meter.
std::string frame() {
  std::string f = "\x02" + group("ADCO", "021528603314") + group("OPTARIF", "BASE") + group("ISOUSC", "30") +
                  group("BASE", "001234567") + group("PTEC", "TH..") + group("IINST", "002") +
                  group("IMAX", "030") + group("PAPP", "00420");
  return f + "\x03";
}

std::string test_dir() {
  const auto dir =
      std::filesystem::temp_directory_path() /
      ("vireluz_program_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
       ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::create_directories(dir);
  return dir.string() + "/";
}

class ProgramTest : public ::testing::Test {
 protected:
  ~ProgramTest() override { std::filesystem::remove_all(dir); }

  // How many times the devices were counted: each scan counts them.
  long scans() const { return std::count(d2xx.calls.begin(), d2xx.calls.end(), "count"); }

  const std::string dir = test_dir();
  SimScheduler sched;
  RecordingMessages messages;
  FakeD2xx d2xx;
  FakeSerial serial;
  Program program{sched, sched, messages, d2xx, serial, {dir, dir}};
  int minimised = 0;
  Subscription minimise = program.on_automatic_start_done.subscribe([this] { ++minimised; });
};

TEST_F(ProgramTest, AutomaticStartReadsAndDecodes) {
  d2xx.devices = {{"Interface USB -> Compteur", true, 3}};
  program.start_sequence(true);
  EXPECT_TRUE(program.interface().InterfaceFound);
  sched.advance(499);
  EXPECT_FALSE(program.interface().ReadingActive);
  sched.advance(1);
  EXPECT_TRUE(program.interface().ReadingActive);
  EXPECT_EQ(minimised, 1);
  EXPECT_FALSE(program.window()[FieldId::Panel_demauto].visible);
  EXPECT_EQ(serial.port_name(), "/dev/ttyUSB3");
  for (int i = 0; i < 3; ++i) serial.receive(frame());
  EXPECT_EQ(program.packets(), 3);
  EXPECT_EQ(program.meters()[0].ADCO, "021528603314");
  EXPECT_TRUE(program.interface().DataSeenCpt1);
  EXPECT_TRUE(program.window()[LedId::rmLed_Led_bleu].on);
  // The automatic start is over: no more scans.
  const long scans_while_reading = scans();
  sched.advance(10000);
  EXPECT_EQ(scans(), scans_while_reading);
  EXPECT_EQ(minimised, 1);
  EXPECT_TRUE(messages.messages.empty());

  // While reading, what the menus would do is refused, "Scan Interface" too.
  EXPECT_TRUE(program.refused_while_reading());
  program.Diagnostique1Click();
  EXPECT_EQ(scans(), scans_while_reading);
  ASSERT_EQ(messages.messages.size(), 2u);
  for (const UserMessage& m : messages.messages) {
    EXPECT_EQ(m.caption, "Lecture en cours");
    EXPECT_EQ(m.text, "Option indisponible ! Lecture en cours");
  }
  program.stop_reading();
  EXPECT_FALSE(program.interface().ReadingActive);
  EXPECT_FALSE(program.refused_while_reading());
  const long scans_stopped = scans();
  program.Diagnostique1Click();
  EXPECT_GT(scans(), scans_stopped);
  EXPECT_EQ(messages.messages.size(), 2u);
}

TEST_F(ProgramTest, InterfacePluggedLaterIsFoundByTheNextScan) {
  program.start_sequence(true);
  EXPECT_EQ(program.window()[FieldId::Label_type_interface].text, "pas d'Interface");
  sched.advance(500 + 29 * 1000);
  EXPECT_FALSE(program.interface().ReadingActive);
  d2xx.devices = {{"Interface USB -> Compteur"}};
  sched.advance(1000);  // this scan finds it
  EXPECT_FALSE(program.interface().ReadingActive);
  sched.advance(1000);  // reading starts at the next tick
  EXPECT_TRUE(program.interface().ReadingActive);
  EXPECT_EQ(minimised, 1);
}

TEST_F(ProgramTest, AutomaticStartGivesUpAfter121Scans) {
  // The driver fails at every scan: the start sequence keeps its errors quiet.
  d2xx.count_status = FT_IO_ERROR;
  program.start_sequence(true);
  sched.advance(500 + 120 * 1000);
  EXPECT_EQ(program.auto_start_attempts(), 121);
  EXPECT_EQ(scans(), 1 + 121);
  EXPECT_NE(program.window()[FieldId::Label_demauto3].text, "ERREUR");
  sched.advance(1000);
  EXPECT_EQ(program.window()[FieldId::Label_demauto3].text, "ERREUR");
  EXPECT_TRUE(program.window()[FieldId::Panel_demauto].visible);
  sched.advance(60000);
  EXPECT_EQ(scans(), 1 + 121);
  EXPECT_EQ(minimised, 0);
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(ProgramTest, WithoutStartNothingStartsByItself) {
  d2xx.devices = {{"Interface USB -> Compteur"}};
  program.start_sequence(false);
  const long scans_at_start = scans();
  sched.advance(10000);
  EXPECT_FALSE(program.interface().ReadingActive);
  EXPECT_EQ(scans(), scans_at_start);
}

TEST_F(ProgramTest, ErrorsInEventsAreShownAndDoNotEscape) {
  d2xx.devices = {{"Interface USB -> Compteur"}};
  program.start_sequence(false);
  serial.fail_connect = true;
  EXPECT_NO_THROW(program.Button_lectureClick());
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(messages.messages[0].caption, kAppTitle);
  EXPECT_EQ(messages.messages[0].text, "Impossible d'ouvrir le port /dev/ttyUSB4");
  EXPECT_FALSE(program.interface().ReadingActive);

  // A throwing packet handler: every packet of the block is still handled.
  serial.fail_connect = false;
  program.Button_lectureClick();
  int calls = 0;
  Subscription alerts = program.on_alert_check.subscribe([&] {
    ++calls;
    throw std::runtime_error("serveur SMTP injoignable");
  });
  program.settings().mail.ACTIF = 1;
  program.settings().mail.TABLEAU_VIDE = "NON";
  EXPECT_NO_THROW(serial.receive(frame() + frame() + frame()));
  EXPECT_EQ(program.packets(), 3);
  EXPECT_EQ(calls, 2);  // the first packet after the start is skipped
  EXPECT_EQ(messages.messages.back().text, "serveur SMTP injoignable");

  // A throwing timer tick (the switch cannot reopen the port).
  alerts.reset();
  for (int i = 0; i < 5; ++i) serial.receive(frame());
  serial.fail_connect = true;
  EXPECT_NO_THROW(sched.advance(5000));
  EXPECT_FALSE(program.interface().ReadingActive);
}

// Values of the simulated interface never reach the real web services: the
// minute's Cosm and BDPV uploads go out from a real interface, and from the
// simulated one only to a server named in the configuration.
TEST(Services, SimulatedValuesNeverReachTheRealWebServices) {
  struct Case {
    bool simulated;
    const char* cosm_server;
    const char* bdpv_server;
    std::vector<std::string> hosts;  // the requests sent, in order
  };
  const Case cases[] = {{false, "", "", {"www.bdpv.fr", "api.cosm.com"}},
                        {true, "", "", {}},
                        {true, "127.0.0.1:8080", "", {"127.0.0.1"}},
                        {true, "", "127.0.0.1:8081", {"127.0.0.1"}}};
  for (const Case& c : cases) {
    SimScheduler sched;  // 10:00
    RecordingMessages messages;
    FakeD2xx d2xx;
    d2xx.is_simulated = c.simulated;
    FakeSerial serial;
    const std::string dir = test_dir();
    Program program(sched, sched, messages, d2xx, serial, {dir, dir});
    testing::RecordingHttp http;
    http.replies = {{200, "OK"}};
    RecordingSender mail;
    Services services(program, mail, http);
    Settings& s = program.settings();
    s.cosm.COSM_actif = 1;
    s.cosm.feed = 7;
    s.cosm.key = "k";
    s.cosm.serveur = c.cosm_server;
    s.cosm_table[0] = CosmDatastream{{"1", "Compteur 1", "Puissance apparente", "0", "4"}};
    s.CosmRowCount = 1;
    s.bdpv.BDPV_actif = 1;
    s.bdpv.serveur = c.bdpv_server;
    s.BdpvHour = 10;
    s.BdpvMinute = 1;
    sched.advance(60000);  // the first minute tick: both uploads are due
    std::vector<std::string> hosts;
    for (const HttpRequest& r : http.requests) hosts.push_back(r.host);
    EXPECT_EQ(hosts, c.hosts) << c.simulated << " " << c.cosm_server << " " << c.bdpv_server;
    EXPECT_TRUE(messages.messages.empty());
    std::filesystem::remove_all(dir);
  }
}

}  // namespace
}  // namespace vireluz
