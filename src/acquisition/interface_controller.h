#pragma once
// Interface discovery and meter switching: the scan for the known FTDI
// interfaces, the selection of meter 1, meter 2 or none through the CBUS pins,
// starting and stopping reading, the alternation between two meters, the
// presence watchdog and the module reset. Writes the main window's interface
// fields and LEDs into MainWindowState; the window only renders them.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "acquisition/d2xx_unit.h"
#include "acquisition/framer.h"
#include "acquisition/serial_link.h"
#include "common/clock.h"
#include "common/event.h"
#include "common/text.h"
#include "common/timer.h"
#include "common/user_messages.h"
#include "config/settings.h"
#include "display/graph_state.h"
#include "display/main_window_state.h"
#include "meter/meter_slot.h"

namespace vireluz {

enum class InterfaceType { None, Usb2, Xbee2, Usb1 };

// Descriptions of the three known interfaces (compared exactly).
inline const Text kUsb2Description = "Interface USB -> Compteur";
inline const Text kXbeeDescription = "Interface XBEE -> Compteur";
inline const Text kUsb1Description = "Interface USB 1 TIC";

// Milliseconds from `now` to the next full hour.
int delai_prochaine_heure(const DateTime& now);

class InterfaceController {
 public:
  static constexpr int kAlternationMs = 5000;
  static constexpr int kWatchdogBeforeScanMs = 3000;

  InterfaceController(Settings& settings, ReadingCounters& counters, MainWindowState& window,
                      GraphsWindowState& graphs, D2XXUnit& unit, SerialLink& serial, ComDataPacket1& framer,
                      TimerFactory& timers, UserMessages& messages);

  // Operations of the main window.
  void scan_interface();
  int compteur_selectionne();  // 0 none/both, 1, 2, 3 pins unreadable
  void activ_cpt1();
  void activ_cpt2();
  void arret_cpt();
  void bascule_compteur();
  void connecter_deconnecter();
  void arret_lecture();
  void reset_module();
  void affiche_nb_compteurs();
  void message_lecture_en_cours();
  // What cannot be done while the serial port is connected ("Quitter",
  // "Configuration", "Scan Interface"...) is refused: message_lecture_en_cours,
  // and true.
  bool refused_while_reading();

  // Event handlers.
  void Cpts_Timer();
  void Timer_presence_signalTimer();
  void ComPort1RxBuf();
  void Button_lectureClick() { connecter_deconnecter(); }
  void Button_scanClick() { scan_interface(); }
  void Diagnostique1Click();
  // The serial device went away while reading.
  void link_lost(const std::string& reason);

  // Hooks for the subsystems that take part in a start or stop of reading.
  // Step 1 of a start: the decoder's per-meter frame counters to 0.
  std::function<void()> reset_frame_counts;
  // Step 2 of a start: the record (Timer_sauv armed, LastRecordData emptied).
  Event<> on_reading_started;
  // Step 3 of a start, only with CONFIG_MAIL.ACTIF 1: the alerts (Timer_mail
  // enabled, every rule re-armed).
  Event<> on_mail_armed;
  // At every arret_lecture: the record's Timer_sauv disabled, MQTT offline.
  Event<> on_reading_stopped;

  // State of reading and of the interface (read by the decoder, the windows
  // and the other subsystems).
  DeviceList device_list;
  Text InterfaceDescription;
  bool InterfaceFound = false;
  InterfaceType interface_type = InterfaceType::None;
  bool OneTicInterface = false;
  bool ResetAfterDailyFile = false;
  bool ReadingActive = false;
  bool DataSeenCpt1 = false;
  bool DataSeenCpt2 = false;
  std::int32_t ComPortNumber = 0;
  static inline const std::array<int, 2> BaudRateByMode = {1200, 9600};
  std::uint64_t MeterSwitches = 0;

  Timer& Timer_cpts() { return *timer_cpts_; }
  Timer& Timer_presence_signal() { return *timer_presence_; }

 private:
  static int baud_for_mode(int mode) { return BaudRateByMode[mode == 1 ? 1 : 0]; }
  void set_led(LedId led, bool on);
  void set_text(FieldId id, const Text& text);
  void set_enabled(FieldId id, bool enabled);
  void start_reading();
  void stop_reading_ui();
  void connect_port();

  Settings& settings_;
  ReadingCounters& counters_;
  MainWindowState& window_;
  GraphsWindowState& graphs_;
  D2XXUnit& unit_;
  SerialLink& serial_;
  ComDataPacket1& framer_;
  UserMessages& messages_;
  std::unique_ptr<Timer> timer_cpts_;
  std::unique_ptr<Timer> timer_presence_;
};

}  // namespace vireluz
