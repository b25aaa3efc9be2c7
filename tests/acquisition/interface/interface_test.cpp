#include <gtest/gtest.h>

#include "acquisition/d2xx_unit.h"
#include "acquisition/framer.h"
#include "acquisition/interface_controller.h"
#include "common/error.h"
#include "common/sim_scheduler.h"
#include "support/fakes.h"

namespace vireluz {
namespace {

using testing::FakeD2xx;
using testing::FakeSerial;

const std::string kFrame = "\x02\nADCO 012345678901 E\r\nISOUSC 30 9\r\x03";

// ---------------------------------------------------------------- wrapper

class UnitTest : public ::testing::Test {
 protected:
  FakeD2xx d2xx;
  RecordingMessages messages;
  D2XXUnit unit{d2xx, messages};
};

TEST_F(UnitTest, ReportTextsAndOperationNames) {
  unit.Report_FT_Error("FT_SetLatencyTimer ", FT_DEVICE_NOT_OPENED);
  unit.Report_FT_Error("FT_GetBitMode ", FT_DEVICE_NOT_OPENED_FOR_ERASE);
  unit.Report_FT_Error("FT_Close", FT_OTHER_ERROR);
  unit.Report_FT_Error("FT_Close", 18);
  unit.Report_FT_Error("FT_Close", FT_OK);
  ASSERT_EQ(messages.messages.size(), 4u);
  EXPECT_EQ(messages.messages[0].text, "FT_SetLatencyTimer  - Device not opened...");
  EXPECT_EQ(messages.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(messages.messages[1].text, "FT_GetBitMode  Device not opened for erase...");
  EXPECT_EQ(messages.messages[2].text, "FT_Close - Other error ...");
  EXPECT_EQ(messages.messages[3].text, "FT_Close");
  unit.ShowFtdiErrors = false;
  unit.Report_FT_Error("FT_Close", FT_IO_ERROR);
  EXPECT_EQ(messages.messages.size(), 4u);
}

TEST_F(UnitTest, FailingCallsReportUnderTheirOwnNames) {
  d2xx.latency_status = FT_IO_ERROR;
  d2xx.devices = {{"Interface USB -> Compteur"}};
  EXPECT_FALSE(unit.Set_Interface_Pins(7, 1, "Interface USB -> Compteur"));
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].text, "FT_SetLatencyTimer  - General IO error...");
  EXPECT_EQ(d2xx.open_handles, 0);  // closed although the latency failed
  EXPECT_TRUE(d2xx.masks.empty());
  d2xx.count_status = FT_IO_ERROR;
  DeviceList list;
  unit.List_FT_Devices(list);
  EXPECT_EQ(messages.messages.back().text, "GetFTDeviceCount - General IO error...");
}

TEST_F(UnitTest, ListKeepsTwentyReadableDescriptionsWithoutGaps) {
  for (int i = 0; i < 25; ++i) d2xx.devices.push_back({"dev" + std::to_string(i), i != 1});
  unit.ShowFtdiErrors = false;
  DeviceList list;
  unit.List_FT_Devices(list);
  EXPECT_EQ(list[0], "dev0");
  EXPECT_EQ(list[1], "dev2");
  EXPECT_EQ(list[19], "dev20");
}

TEST_F(UnitTest, PinsMaskAndCbusModeThenClosed) {
  d2xx.devices = {{"other"}, {"Interface USB -> Compteur"}};
  EXPECT_TRUE(unit.Set_Interface_Pins(7, 2, "Interface USB -> Compteur"));
  EXPECT_EQ(d2xx.calls.back(), "close");
  EXPECT_NE(std::find(d2xx.calls.begin(), d2xx.calls.end(), "latency:16"), d2xx.calls.end());
  EXPECT_NE(std::find(d2xx.calls.begin(), d2xx.calls.end(), "bitmode:114/32"), d2xx.calls.end());
  EXPECT_EQ(d2xx.open_handles, 0);
  EXPECT_FALSE(unit.opened());
}

TEST_F(UnitTest, DescriptionLeftFromAnEarlierListingDoesNotOpen) {
  d2xx.devices = {{"Interface USB -> Compteur"}};
  DeviceList list;
  unit.List_FT_Devices(list);
  d2xx.devices.clear();  // unplugged
  EXPECT_FALSE(unit.Find_And_Open_Device("Interface USB -> Compteur"));
  EXPECT_EQ(std::count_if(d2xx.calls.begin(), d2xx.calls.end(),
                          [](const std::string& c) { return c.rfind("open:", 0) == 0; }),
            0);
}

TEST_F(UnitTest, OpenPassesAtMost49Characters) {
  const std::string longname(60, 'a');
  unit.ShowFtdiErrors = false;
  unit.Open_USB_Device_By_Device_Description(longname);
  EXPECT_EQ(d2xx.calls.back(), "open:" + std::string(49, 'a'));
}

// ---------------------------------------------------------------- controller

class ControllerTest : public ::testing::Test {
 protected:
  ControllerTest() {
    window[FieldId::Label_com].text = "sur COM 9";
    serial.on_data = [this](std::string_view b) {
      ctl.ComPort1RxBuf();
      framer.handle_data(b);
    };
    serial.on_lost = [this](const std::string& r) { ctl.link_lost(r); };
    // What the decoder does to the counters for every packet.
    framer.on_packet = [this](std::string_view) { ++counters.PacketCount; };
    ctl.reset_frame_counts = [this] { ++frame_resets; };
    subs.push_back(ctl.on_reading_started.subscribe([this] { ++started_hooks; }));
    subs.push_back(ctl.on_reading_stopped.subscribe([this] { ++stopped_hooks; }));
    subs.push_back(ctl.on_mail_armed.subscribe([this] { ++mail_hooks; }));
    unit.ShowFtdiErrors = false;
  }

  void plug(std::vector<FakeD2xx::Device> devs) { d2xx.devices = std::move(devs); }
  // n frames from the line, 200 ms apart.
  void frames(int n) {
    for (int i = 0; i < n; ++i) {
      serial.receive(kFrame);
      sched.advance(200);
    }
  }

  SimScheduler sched;
  Settings settings;
  ReadingCounters counters;
  MainWindowState window;
  GraphsWindowState graphs;
  FakeD2xx d2xx;
  RecordingMessages messages;
  D2XXUnit unit{d2xx, messages};
  FakeSerial serial;
  ComDataPacket1 framer;
  InterfaceController ctl{settings, counters, window, graphs, unit, serial, framer, sched, messages};
  int frame_resets = 0, started_hooks = 0, stopped_hooks = 0, mail_hooks = 0;
  std::vector<Subscription> subs;
};

TEST_F(ControllerTest, XbeeListedAfterAnotherDeviceIsChosen) {
  EXPECT_EQ(ctl.Timer_presence_signal().interval(), 3000);
  plug({{"FT232R USB UART"}, {"Interface XBEE -> Compteur", true, 7}});
  ctl.scan_interface();
  EXPECT_TRUE(ctl.InterfaceFound);
  EXPECT_EQ(ctl.InterfaceDescription, "Interface XBEE -> Compteur");
  EXPECT_EQ(window[FieldId::Label_type_interface].text, " XBEE 2 compteurs");
  EXPECT_EQ(ctl.Timer_presence_signal().interval(), 10000);
  EXPECT_EQ(counters.PacketsToSkip, 2);
  EXPECT_TRUE(ctl.ResetAfterDailyFile);
  EXPECT_FALSE(ctl.OneTicInterface);
  EXPECT_EQ(window[FieldId::Label_com].text, "sur COM 7");
  EXPECT_EQ(serial.port_name(), "/dev/ttyUSB7");
  EXPECT_TRUE(window[FieldId::Button_lecture].enabled);
  EXPECT_EQ(d2xx.open_handles, 0);
}

TEST_F(ControllerTest, SimulatedInterfaceSaysSoInItsLabel) {
  d2xx.is_simulated = true;
  plug({{"Interface USB -> Compteur"}});
  ctl.scan_interface();
  EXPECT_EQ(window[FieldId::Label_type_interface].text, w("USB 2 compteurs (simulée)"));
}

TEST_F(ControllerTest, FirstListedKnownInterfaceWins) {
  plug({{"Interface USB 1 TIC"}, {"Interface USB -> Compteur"}});
  ctl.scan_interface();
  EXPECT_EQ(ctl.InterfaceDescription, "Interface USB 1 TIC");
  EXPECT_EQ(window[FieldId::Label_type_interface].text, "USB 1 compteur");
  plug({{"Interface USB -> Compteur"}, {"Interface USB 1 TIC"}});
  ctl.scan_interface();
  EXPECT_EQ(ctl.InterfaceDescription, "Interface USB -> Compteur");
  EXPECT_EQ(window[FieldId::Label_type_interface].text, "USB 2 compteurs");
  EXPECT_EQ(ctl.Timer_presence_signal().interval(), 5000);
  EXPECT_EQ(counters.PacketsToSkip, 1);
}

TEST_F(ControllerTest, NoDeviceGivesNoInterfaceAndKeepsTheLastDescription) {
  plug({{"Interface USB -> Compteur"}});
  ctl.scan_interface();
  plug({{"something else"}});
  ctl.scan_interface();
  EXPECT_FALSE(ctl.InterfaceFound);
  EXPECT_EQ(window[FieldId::Label_type_interface].text, "pas d'Interface");
  EXPECT_EQ(window[FieldId::Label_com].text, "");
  EXPECT_FALSE(window[FieldId::Button_lecture].enabled);
  EXPECT_EQ(ctl.InterfaceDescription, "Interface USB -> Compteur");
  plug({});
  ctl.scan_interface();
  EXPECT_FALSE(ctl.InterfaceFound);
}

TEST_F(ControllerTest, ComPortNumberFailureDisablesReadingAndKeepsTheLabel) {
  plug({{"Interface USB -> Compteur", true, 4, true}});
  ctl.scan_interface();
  EXPECT_TRUE(ctl.InterfaceFound);
  EXPECT_FALSE(window[FieldId::Button_lecture].enabled);
  EXPECT_EQ(window[FieldId::Label_com].text, "sur COM 9");
  EXPECT_EQ(serial.port_name(), "COM1");
}

TEST_F(ControllerTest, ScanLightsTheLedOfThePinsRead) {
  plug({{"Interface USB -> Compteur"}});
  d2xx.pins = 0x03;
  ctl.scan_interface();
  EXPECT_FALSE(window[LedId::rmLed_Led_verte].on);
  EXPECT_FALSE(window[LedId::rmLed_Led_jaune].on);
  d2xx.pins = 0x02;
  ctl.scan_interface();
  EXPECT_TRUE(window[LedId::rmLed_Led_jaune].on);
  EXPECT_FALSE(window[LedId::rmLed_Led_verte].on);
  d2xx.pins = 0x01;
  ctl.scan_interface();
  EXPECT_TRUE(window[LedId::rmLed_Led_verte].on);
  EXPECT_TRUE(window[LedId::rmLed_Led_jaune].on);  // the scan switches nothing off
}

TEST_F(ControllerTest, MeterCountLayout) {
  settings.prg.NOM_CPT1 = "Maison";
  ctl.affiche_nb_compteurs();
  EXPECT_TRUE(window[FieldId::GroupBox_cpt2].visible);
  EXPECT_EQ(window[FieldId::Panel1].width, 900);
  EXPECT_EQ(graphs.width, 825);
  EXPECT_EQ(window[FieldId::GroupBox_cpt1].text, "Compteur 1: Maison");
  EXPECT_EQ(graphs.Label_cpt2, "Compteur 2: Solaire");
  settings.prg.MODE_INTERFACE = 0;
  ctl.affiche_nb_compteurs();
  EXPECT_FALSE(window[FieldId::GroupBox_cpt2].visible);
  EXPECT_EQ(window[FieldId::Panel1].width, 510);
  EXPECT_EQ(graphs.width, 417);
}

TEST_F(ControllerTest, StartOfReadingSelectsMeterOneAndArmsEverything) {
  plug({{"Interface USB -> Compteur"}});
  settings.mail.ACTIF = 1;
  ctl.scan_interface();
  counters.PacketCount = 7;
  ctl.Button_lectureClick();
  EXPECT_TRUE(ctl.ReadingActive);
  EXPECT_TRUE(serial.connected());
  EXPECT_EQ(counters.ActiveMeter, 1);
  EXPECT_EQ(counters.PacketCount, 0);
  EXPECT_EQ(d2xx.masks.back(), 0x71);
  EXPECT_EQ(framer.start_string(), "\x02");
  EXPECT_EQ(framer.stop_string(), "\r\x03");
  EXPECT_EQ(window[FieldId::Button_lecture].text, "Arret Lecture");
  EXPECT_FALSE(window[FieldId::Button_scan].enabled);
  EXPECT_TRUE(ctl.Timer_cpts().enabled());
  EXPECT_TRUE(ctl.Timer_presence_signal().enabled());
  EXPECT_EQ(frame_resets, 1);
  EXPECT_EQ(started_hooks, 1);
  EXPECT_EQ(mail_hooks, 1);
  ctl.Button_lectureClick();
  EXPECT_FALSE(ctl.ReadingActive);
  EXPECT_FALSE(serial.connected());
  EXPECT_EQ(counters.ActiveMeter, 0);
  EXPECT_EQ(d2xx.masks.back(), 0x70);
  EXPECT_EQ(window[FieldId::Button_lecture].text, "Lecture");
  EXPECT_TRUE(window[FieldId::Button_scan].enabled);
  EXPECT_FALSE(ctl.Timer_cpts().enabled());
  EXPECT_FALSE(ctl.Timer_presence_signal().enabled());
  EXPECT_EQ(stopped_hooks, 1);
}

TEST_F(ControllerTest, AlternationEveryFiveSecondsOnceFivePacketsArrivedWithEachMetersBaud) {
  plug({{"Interface USB -> Compteur"}});
  settings.prg.MODE_TIC_cpt2 = 1;
  ctl.scan_interface();
  ctl.connecter_deconnecter();
  EXPECT_EQ(serial.baud_rate(), 1200);
  frames(4);  // four packets: the tick at 5 s does not switch
  sched.advance(5000 - 800 - 1);
  sched.advance(2);
  EXPECT_EQ(counters.ActiveMeter, 1);
  frames(1);
  sched.advance(5000);
  EXPECT_EQ(counters.ActiveMeter, 2);
  EXPECT_EQ(counters.PacketCount, 0);
  EXPECT_EQ(serial.baud_rate(), 9600);
  EXPECT_EQ(d2xx.masks.back(), 0x72);
  EXPECT_TRUE(serial.connected());
  for (int i = 0; i < 3; ++i) {
    frames(5);
    sched.advance(5000 - 1000);
  }
  EXPECT_EQ(ctl.MeterSwitches, 4u);
  EXPECT_EQ(counters.ActiveMeter, 1);
  EXPECT_EQ(serial.bauds, (std::vector<int>{1200, 9600, 1200, 9600, 1200}));
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(ControllerTest, OneMeterInterfaceForcesOneMeterAndNeverSwitches) {
  plug({{"Interface USB 1 TIC"}});
  ASSERT_EQ(settings.prg.MODE_INTERFACE, 1);
  ctl.scan_interface();
  EXPECT_EQ(settings.prg.MODE_INTERFACE, 0);
  EXPECT_TRUE(ctl.OneTicInterface);
  EXPECT_FALSE(window[FieldId::GroupBox_cpt2].visible);
  ctl.connecter_deconnecter();
  for (int i = 0; i < 10; ++i) {
    frames(10);
    sched.advance(3000);
  }
  EXPECT_EQ(counters.ActiveMeter, 1);
  EXPECT_EQ(ctl.MeterSwitches, 0u);
  EXPECT_EQ(d2xx.masks.back(), 0x71);
}

TEST_F(ControllerTest, XbeeWatchdogIsTenSecondsAndMeterTwoNeverSendingTrips) {
  plug({{"Interface XBEE -> Compteur"}});
  ctl.scan_interface();
  ctl.connecter_deconnecter();
  frames(5);
  sched.advance(4000);  // tick at 5 s: switch to meter 2
  ASSERT_EQ(counters.ActiveMeter, 2);
  sched.advance(9990);  // meter 2 silent, but the watchdog restarted at the switch
  EXPECT_TRUE(ctl.ReadingActive);
  sched.advance(20);
  EXPECT_FALSE(ctl.ReadingActive);
  EXPECT_FALSE(serial.connected());
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].text, w("Vérifier branchement Compteur 2"));
  EXPECT_EQ(messages.messages[0].icon, MessageIcon::None);
  EXPECT_EQ(messages.messages[0].caption, kAppTitle);
}

TEST_F(ControllerTest, MeterOneSilentFromTheStartTrips) {
  plug({{"Interface USB -> Compteur"}});
  ctl.scan_interface();
  ctl.connecter_deconnecter();
  sched.advance(5000);
  EXPECT_FALSE(ctl.ReadingActive);
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].text, w("Vérifier branchement Compteur 1"));
}

TEST_F(ControllerTest, MeterThatOnceSentDataDoesNotTripWhenUnplugged) {
  plug({{"Interface USB -> Compteur"}});
  ctl.scan_interface();
  ctl.connecter_deconnecter();
  frames(5);
  sched.advance(4000);  // switch to meter 2
  frames(5);
  sched.advance(4000);  // back to meter 1
  ASSERT_EQ(counters.ActiveMeter, 1);
  // Both meters now silent: packets stop, no more switching, no trip.
  sched.advance(60000);
  EXPECT_TRUE(ctl.ReadingActive);
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(ControllerTest, SelectionFailureLeavesNoMeterAndTheNextSwitchTriesMeterOne) {
  plug({{"Interface USB -> Compteur"}});
  ctl.scan_interface();
  ctl.connecter_deconnecter();
  frames(5);
  d2xx.setbit_status = FT_IO_ERROR;
  sched.advance(4000);
  EXPECT_EQ(counters.ActiveMeter, 0);
  EXPECT_EQ(serial.baud_rate(), 1200);
  frames(5);  // data ignored for the watchdog flags
  EXPECT_FALSE(ctl.DataSeenCpt2);
  d2xx.setbit_status = FT_OK;
  sched.advance(4000);
  EXPECT_EQ(counters.ActiveMeter, 1);
  EXPECT_TRUE(ctl.ReadingActive);
}

TEST_F(ControllerTest, ResetModuleRestartsOnMeterOne) {
  plug({{"Interface USB -> Compteur"}});
  ctl.scan_interface();
  ctl.connecter_deconnecter();
  frames(5);
  sched.advance(4000);
  ASSERT_EQ(counters.ActiveMeter, 2);
  ctl.reset_module();
  EXPECT_EQ(d2xx.resets, 1);
  EXPECT_EQ(counters.ActiveMeter, 1);
  EXPECT_TRUE(ctl.ReadingActive);
  EXPECT_TRUE(serial.connected());
  EXPECT_EQ(serial.connects, 3);
  EXPECT_EQ(d2xx.open_handles, 0);
  EXPECT_EQ(started_hooks, 2);
  // Also when reading was off.
  ctl.connecter_deconnecter();
  ctl.reset_module();
  EXPECT_TRUE(ctl.ReadingActive);
}

TEST_F(ControllerTest, LostDeviceStopsReadingWithAMessage) {
  plug({{"Interface USB -> Compteur"}});
  ctl.scan_interface();
  ctl.connecter_deconnecter();
  frames(2);
  serial.lose();
  EXPECT_FALSE(ctl.ReadingActive);
  EXPECT_FALSE(ctl.Timer_cpts().enabled());
  EXPECT_FALSE(ctl.Timer_presence_signal().enabled());
  EXPECT_EQ(window[FieldId::Button_lecture].text, "Lecture");
  EXPECT_TRUE(window[FieldId::Button_scan].enabled);
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].text,
            w("Liaison avec l'interface perdue (câble USB débranché ?) : lecture arrêtée."));
  sched.advance(30000);
  EXPECT_EQ(messages.messages.size(), 1u);
}

TEST_F(ControllerTest, PortThatCannotOpenLeavesReadingStoppedAndRaises) {
  plug({{"Interface USB -> Compteur"}});
  ctl.scan_interface();
  serial.fail_connect = true;
  EXPECT_THROW(ctl.connecter_deconnecter(), VireluzError);
  EXPECT_FALSE(ctl.ReadingActive);
  EXPECT_FALSE(ctl.Timer_cpts().enabled());
  EXPECT_FALSE(ctl.Timer_presence_signal().enabled());
  EXPECT_EQ(counters.ActiveMeter, 0);
  // A port that cannot be reopened at a switch also stops reading.
  serial.fail_connect = false;
  ctl.connecter_deconnecter();
  frames(5);
  serial.fail_connect = true;
  EXPECT_THROW(sched.advance(4000), VireluzError);
  EXPECT_FALSE(ctl.ReadingActive);
  EXPECT_FALSE(ctl.Timer_cpts().enabled());
  EXPECT_EQ(window[FieldId::Button_lecture].text, "Lecture");
}

TEST_F(ControllerTest, MenuScanRefusedWhileReading) {
  plug({{"Interface USB -> Compteur"}});
  ctl.scan_interface();
  ctl.connecter_deconnecter();
  plug({});
  ctl.Diagnostique1Click();
  EXPECT_TRUE(ctl.InterfaceFound);
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].caption, "Lecture en cours");
  EXPECT_EQ(messages.messages[0].text, "Option indisponible ! Lecture en cours");
  EXPECT_EQ(messages.messages[0].icon, MessageIcon::Warning);
}

TEST(DelaiProchaineHeure, FromMinutesAndSeconds) {
  EXPECT_EQ(delai_prochaine_heure(DateTime{2026, 1, 1, 10, 0, 0, 0}), 3600000);
  EXPECT_EQ(delai_prochaine_heure(DateTime{2026, 1, 1, 10, 59, 59, 500}), 1000);
  EXPECT_EQ(delai_prochaine_heure(DateTime{2026, 1, 1, 23, 30, 15, 0}), 1785000);
}

}  // namespace
}  // namespace vireluz
