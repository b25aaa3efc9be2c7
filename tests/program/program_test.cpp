#include "program/program.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "acquisition/interface/support/fakes.h"
#include "common/sim_scheduler.h"

namespace vireluz {
namespace {

using testing::FakeD2xx;
using testing::FakeSerial;

std::string group(const std::string& label, const std::string& value) {
  const std::string covered = label + " " + value;
  int sum = 0;
  for (unsigned char c : covered) sum += c;
  return "\n" + covered + " " + static_cast<char>((sum & 0x3F) + 0x20) + "\r";
}

// A historic frame of a base-option meter.
std::string frame() {
  std::string f = "\x02" + group("ADCO", "021528603314") + group("OPTARIF", "BASE") + group("ISOUSC", "30") +
                  group("BASE", "001234567") + group("PTEC", "TH..") + group("IINST", "002") +
                  group("IMAX", "030") + group("PAPP", "00420");
  return f + "\x03";
}

class ProgramTest : public ::testing::Test {
 protected:
  ProgramTest() {
    dir = std::filesystem::temp_directory_path() /
          ("vireluz_program_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    program.ProgramDir = dir.string() + "/";
    program.ConfigDirOverride = dir.string() + "/";
    program.minimise = [this] { ++minimised; };
  }
  ~ProgramTest() override { std::filesystem::remove_all(dir); }

  std::filesystem::path dir;
  SimScheduler sched;
  RecordingMessages messages;
  FakeD2xx d2xx;
  FakeSerial serial;
  Program program{sched, sched, messages, d2xx, serial};
  int minimised = 0;
};

TEST_F(ProgramTest, AutomaticStartReadsAndDecodes) {
  d2xx.devices = {{"Interface USB -> Compteur", true, 3}};
  program.start_sequence(true);
  EXPECT_TRUE(program.interface().InterfaceFound);
  EXPECT_FALSE(program.d2xx_unit().ShowFtdiErrors);
  sched.advance(499);
  EXPECT_FALSE(program.interface().ReadingActive);
  sched.advance(1);
  EXPECT_TRUE(program.interface().ReadingActive);
  EXPECT_EQ(minimised, 1);
  EXPECT_FALSE(program.Timer_minimise().enabled());
  EXPECT_FALSE(program.window()[FieldId::Panel_demauto].visible);
  EXPECT_EQ(serial.port_name(), "/dev/ttyUSB3");
  for (int i = 0; i < 3; ++i) serial.receive(frame());
  EXPECT_EQ(program.packets(), 3);
  EXPECT_EQ(program.meters()[0].ADCO, "021528603314");
  EXPECT_TRUE(program.interface().DataSeenCpt1);
  EXPECT_TRUE(program.window()[LedId::rmLed_Led_bleu].on);
  program.stop_reading();
  EXPECT_FALSE(program.interface().ReadingActive);
  EXPECT_TRUE(messages.messages.empty());
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
  program.start_sequence(true);
  sched.advance(500 + 120 * 1000);
  EXPECT_EQ(program.AutoStartAttempts, 121);
  EXPECT_TRUE(program.Timer_minimise().enabled());
  sched.advance(1000);
  EXPECT_FALSE(program.Timer_minimise().enabled());
  EXPECT_EQ(program.window()[FieldId::Label_demauto3].text, "ERREUR");
  EXPECT_TRUE(program.window()[FieldId::Panel_demauto].visible);
  EXPECT_EQ(std::count(d2xx.calls.begin(), d2xx.calls.end(), "count"), 1 + 121 + 0);
  EXPECT_EQ(minimised, 0);
}

TEST_F(ProgramTest, WithoutStartNothingStartsByItself) {
  d2xx.devices = {{"Interface USB -> Compteur"}};
  program.start_sequence(false);
  sched.advance(10000);
  EXPECT_FALSE(program.interface().ReadingActive);
  EXPECT_FALSE(program.Timer_minimise().enabled());
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
  program.decoder().mail_alerte = [&] {
    ++calls;
    throw std::runtime_error("serveur SMTP injoignable");
  };
  program.settings().mail.ACTIF = 1;
  program.settings().mail.TABLEAU_VIDE = "NON";
  EXPECT_NO_THROW(serial.receive(frame() + frame() + frame()));
  EXPECT_EQ(program.packets(), 3);
  EXPECT_EQ(calls, 2);  // the first packet after the start is skipped
  EXPECT_EQ(messages.messages.back().text, "serveur SMTP injoignable");

  // A throwing timer tick (the switch cannot reopen the port).
  program.decoder().mail_alerte = nullptr;
  for (int i = 0; i < 5; ++i) serial.receive(frame());
  serial.fail_connect = true;
  EXPECT_NO_THROW(sched.advance(5000));
  EXPECT_FALSE(program.interface().ReadingActive);
}

}  // namespace
}  // namespace vireluz
