#include "acquisition/interface_controller.h"

#include <string>

namespace vireluz {

namespace {

// Added to the interface label when the interface is the simulated one.
const Text kSimulatedSuffix = w(" (simulée)");

struct KnownInterface {
  const Text* description;
  InterfaceType type;
  const char* label;
  bool one_tic;
  int watchdog_ms;
  int packets_to_skip;
  bool reset_after_daily_file;
};

const std::array<KnownInterface, 3> kKnownInterfaces = {{
    {&kUsb2Description, InterfaceType::Usb2, "USB 2 compteurs", false, 5000, 1, false},
    {&kXbeeDescription, InterfaceType::Xbee2, " XBEE 2 compteurs", false, 10000, 2, true},
    {&kUsb1Description, InterfaceType::Usb1, "USB 1 compteur", true, 5000, 1, true},
}};

const Text& link_lost_text() {
  static const Text t = w("Liaison avec l'interface perdue (câble USB débranché ?) : lecture arrêtée.");
  return t;
}

}  // namespace

int delai_prochaine_heure(const DateTime& now) { return 3600000 - 60000 * now.minute - 1000 * now.second; }

InterfaceController::InterfaceController(Settings& settings, ReadingCounters& counters,
                                         MainWindowState& window, GraphsWindowState& graphs, D2XXUnit& unit,
                                         SerialLink& serial, ComDataPacket1& framer, TimerFactory& timers,
                                         UserMessages& messages)
    : settings_(settings),
      counters_(counters),
      window_(window),
      graphs_(graphs),
      unit_(unit),
      serial_(serial),
      framer_(framer),
      messages_(messages),
      timer_cpts_(timers.create_timer("Timer_cpts", kAlternationMs)),
      timer_presence_(timers.create_timer("Timer_presence_signal", kWatchdogBeforeScanMs)) {
  timer_cpts_->set_handler([this] { Cpts_Timer(); });
  timer_presence_->set_handler([this] { Timer_presence_signalTimer(); });
}

void InterfaceController::set_led(LedId led, bool on) {
  window_[led].on = on;
  ++window_.serial;
}

void InterfaceController::set_text(FieldId id, const Text& text) {
  window_[id].text = text;
  ++window_.serial;
}

void InterfaceController::set_enabled(FieldId id, bool enabled) {
  window_[id].enabled = enabled;
  ++window_.serial;
}

void InterfaceController::scan_interface() {
  device_list.fill(Text{});
  unit_.List_FT_Devices(device_list);

  for (const Text& slot : device_list) {
    InterfaceFound = false;
    for (const KnownInterface& k : kKnownInterfaces) {
      if (slot != *k.description) continue;
      InterfaceDescription = slot;
      InterfaceFound = true;
      interface_type = k.type;
      // A simulated interface never passes for a real one.
      set_text(FieldId::Label_type_interface,
               unit_.d2xx().simulated() ? Text(k.label) + kSimulatedSuffix : Text(k.label));
      OneTicInterface = k.one_tic;
      timer_presence_->set_interval(k.watchdog_ms);
      counters_.PacketsToSkip = k.packets_to_skip;
      ResetAfterDailyFile = k.reset_after_daily_file;
      if (k.one_tic) {
        settings_.prg.MODE_INTERFACE = 0;
        affiche_nb_compteurs();
      }
      break;
    }
    if (InterfaceFound) break;
  }

  if (!InterfaceFound) {
    set_text(FieldId::Label_type_interface, "pas d'Interface");
    set_text(FieldId::Label_com, "");
    set_enabled(FieldId::Button_lecture, false);
    return;
  }

  switch (compteur_selectionne()) {
    case 1:
      set_led(LedId::rmLed_Led_verte, true);
      break;
    case 2:
      set_led(LedId::rmLed_Led_jaune, true);
      break;
    default:
      break;
  }

  D2xx& d2xx = unit_.d2xx();
  FT_HANDLE h = 0;
  if (d2xx.OpenEx(InterfaceDescription.c_str(), h) == FT_OK) {
    std::int32_t number = 0;
    if (d2xx.GetComPortNumber(h, number) == FT_OK) {
      ComPortNumber = number;
      set_text(FieldId::Label_com, "sur COM " + std::to_string(number));
      serial_.set_port_name(d2xx.serial_device_name(number));
      set_enabled(FieldId::Button_lecture, true);
    } else {
      set_enabled(FieldId::Button_lecture, false);
    }
    d2xx.Close(h);
  }
}

int InterfaceController::compteur_selectionne() {
  std::uint8_t pins = 0;
  if (!unit_.Read_Interface_Pins(InterfaceDescription, pins)) return 3;
  const bool b0 = pins & 0x01, b1 = pins & 0x02;
  if (b0 && b1) return 0;
  if (b1) return 2;
  if (b0) return 1;
  return 0;
}

void InterfaceController::activ_cpt1() {
  if (unit_.Set_Interface_Pins(7, 1, InterfaceDescription)) {
    counters_.ActiveMeter = 1;
    serial_.set_baud_rate(baud_for_mode(settings_.prg.MODE_TIC_cpt1));
    set_led(LedId::rmLed_Led_verte, true);
    set_led(LedId::rmLed_Led_jaune, false);
  } else {
    counters_.ActiveMeter = 0;
  }
}

void InterfaceController::activ_cpt2() {
  if (unit_.Set_Interface_Pins(7, 2, InterfaceDescription)) {
    counters_.ActiveMeter = 2;
    serial_.set_baud_rate(baud_for_mode(settings_.prg.MODE_TIC_cpt2));
    set_led(LedId::rmLed_Led_verte, false);
    set_led(LedId::rmLed_Led_jaune, true);
  } else {
    counters_.ActiveMeter = 0;
  }
}

void InterfaceController::arret_cpt() {
  unit_.Set_Interface_Pins(7, 0, InterfaceDescription);
  counters_.ActiveMeter = 0;
}

void InterfaceController::connect_port() {
  serial_.connect();
  framer_.set_start_string("\x02");
  framer_.set_stop_string("\r\x03");
}

void InterfaceController::bascule_compteur() {
  serial_.disconnect();
  timer_presence_->set_enabled(false);
  if (counters_.ActiveMeter == 1)
    activ_cpt2();
  else
    activ_cpt1();
  counters_.PacketCount = 0;
  ++MeterSwitches;
  try {
    serial_.connect();
  } catch (...) {
    // Reading cannot go on without the port: stop it cleanly, then report.
    arret_lecture();
    ReadingActive = false;
    stop_reading_ui();
    throw;
  }
  timer_presence_->set_enabled(true);
}

void InterfaceController::stop_reading_ui() {
  set_text(FieldId::Button_lecture, "Lecture");
  set_enabled(FieldId::Button_scan, true);
  window_[GaugeId::rmGauge_I1_cpt1].position = 0;
  if (settings_.prg.MODE_MONO_TRI == 1) {
    window_[GaugeId::rmGauge_I2_cpt1].position = 0;
    window_[GaugeId::rmGauge_I3_cpt1].position = 0;
  }
  ++window_.serial;
}

void InterfaceController::connecter_deconnecter() {
  if (ReadingActive) {
    // Also when the port is no longer connected (it went away or could not be
    // reopened at a switch): reading is then stopped rather than left stuck.
    arret_lecture();
    ReadingActive = false;
    stop_reading_ui();
    return;
  }
  start_reading();
}

void InterfaceController::start_reading() {
  counters_.PacketCount = 0;
  if (reset_frame_counts) reset_frame_counts();
  on_reading_started();
  timer_cpts_->set_enabled(true);
  if (settings_.mail.ACTIF == 1) on_mail_armed();
  timer_presence_->set_enabled(true);
  activ_cpt1();
  set_led(LedId::rmLed_Led_verte, true);
  set_led(LedId::rmLed_Led_jaune, false);
  try {
    connect_port();
  } catch (...) {
    // Undo the start (timers, pins) so that nothing keeps running without the port.
    arret_lecture();
    throw;
  }
  set_text(FieldId::Button_lecture, "Arret Lecture");
  set_enabled(FieldId::Button_scan, false);
  ReadingActive = true;
  // An empty REPERTOIR_ENR stays empty: the recorders then write into the
  // run's data folder, and the configuration window shows that folder.
}

void InterfaceController::arret_lecture() {
  serial_.disconnect();
  arret_cpt();
  set_led(LedId::rmLed_Led_verte, false);
  set_led(LedId::rmLed_Led_jaune, false);
  set_led(LedId::rmLed_Led_bleu, false);
  on_reading_stopped();
  timer_cpts_->set_enabled(false);
  timer_presence_->set_enabled(false);
  set_text(FieldId::Button_lecture, "Lecture");
}

void InterfaceController::reset_module() {
  arret_lecture();
  D2xx& d2xx = unit_.d2xx();
  FT_HANDLE h = 0;
  if (d2xx.OpenEx(InterfaceDescription.c_str(), h) == FT_OK) {
    d2xx.ResetPort(h);
    d2xx.Close(h);
  }
  ReadingActive = false;
  connecter_deconnecter();
}

void InterfaceController::affiche_nb_compteurs() {
  const bool two = settings_.prg.MODE_INTERFACE == 1;
  window_[FieldId::GroupBox_cpt2].visible = two;
  window_[FieldId::Panel1].width = two ? 900 : 510;
  graphs_.width = two ? 825 : 417;
  // Graph 2 follows at once, not only at the next showing of the graphs window.
  if (graphs_.graph[1].visible != two) {
    graphs_.graph[1].visible = two;
    ++graphs_.graph[1].serial;
  }
  const Text c1 = "Compteur 1: " + settings_.prg.NOM_CPT1;
  const Text c2 = "Compteur 2: " + settings_.prg.NOM_CPT2;
  window_[FieldId::GroupBox_cpt1].text = c1;
  window_[FieldId::GroupBox_cpt2].text = c2;
  graphs_.Label_cpt1 = c1;
  graphs_.Label_cpt2 = c2;
  ++window_.serial;
}

void InterfaceController::message_lecture_en_cours() {
  messages_.show_message(
      UserMessage{MessageIcon::Warning, "Lecture en cours", "Option indisponible ! Lecture en cours"});
}

bool InterfaceController::refused_while_reading() {
  if (!serial_.connected()) return false;
  message_lecture_en_cours();
  return true;
}

void InterfaceController::Diagnostique1Click() {
  if (!refused_while_reading()) scan_interface();
}

void InterfaceController::Cpts_Timer() {
  if (counters_.PacketCount > 4 && settings_.prg.MODE_INTERFACE == 1) {
    bascule_compteur();
    counters_.PacketCount = 0;
  }
}

void InterfaceController::Timer_presence_signalTimer() {
  static const Text kCheck1 = w("Vérifier branchement Compteur 1");
  static const Text kCheck2 = w("Vérifier branchement Compteur 2");
  if (counters_.ActiveMeter == 1 && !DataSeenCpt1) {
    connecter_deconnecter();
    messages_.show_message(UserMessage{MessageIcon::None, kAppTitle, kCheck1});
  }
  if (counters_.ActiveMeter == 2 && !DataSeenCpt2) {
    connecter_deconnecter();
    messages_.show_message(UserMessage{MessageIcon::None, kAppTitle, kCheck2});
  }
}

void InterfaceController::ComPort1RxBuf() {
  if (!window_[LedId::rmLed_Led_bleu].on) set_led(LedId::rmLed_Led_bleu, true);
  if (counters_.ActiveMeter == 1) DataSeenCpt1 = true;
  if (counters_.ActiveMeter == 2) DataSeenCpt2 = true;
}

void InterfaceController::link_lost(const std::string& /*reason*/) {
  if (!ReadingActive) return;
  arret_lecture();
  ReadingActive = false;
  stop_reading_ui();
  messages_.show_message(UserMessage{MessageIcon::Warning, kAppTitle, link_lost_text()});
}

}  // namespace vireluz
