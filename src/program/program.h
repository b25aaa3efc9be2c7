#pragma once
// The program core: owns the state of the whole run (settings, meter records,
// presentation states, decoder, framer, FTDI wrapper, interface controller)
// and wires them together over the ports it is given. No toolkit here: the
// windowed program and the headless runner both drive this class.
//
// Every entry from outside (timer ticks, serial data, button and menu
// handlers) runs through guard(): an exception ends that event only and is
// shown by the general error display; none leaves the Program.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "acquisition/d2xx.h"
#include "acquisition/d2xx_unit.h"
#include "acquisition/decoder.h"
#include "acquisition/framer.h"
#include "acquisition/interface_controller.h"
#include "acquisition/serial_link.h"
#include "common/clock.h"
#include "common/event.h"
#include "common/timer.h"
#include "common/user_messages.h"
#include "config/settings.h"
#include "display/graph_state.h"
#include "display/main_window_state.h"
#include "meter/meter_slot.h"

namespace vireluz {

// A timer factory whose timers run their handler inside the Program's guard.
class GuardedTimerFactory : public TimerFactory {
 public:
  GuardedTimerFactory(TimerFactory& inner, std::function<void(const std::function<void()>&)> guard)
      : inner_(inner), guard_(std::move(guard)) {}
  std::unique_ptr<Timer> create_timer(const std::string& name, int interval_ms) override;

 private:
  TimerFactory& inner_;
  std::function<void(const std::function<void()>&)> guard_;
};

class Program {
 public:
  static constexpr int kAutoStartFirstMs = 500;
  static constexpr int kAutoStartRetryMs = 1000;
  static constexpr int kAutoStartMaxAttempts = 120;

  Program(Clock& clock, TimerFactory& timers, UserMessages& messages, D2xx& d2xx, SerialLink& serial);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Set by the shell before start_sequence: the executable's folder (with a
  // trailing '/') and an optional folder for the INI files.
  std::string ProgramDir;
  std::string ConfigDirOverride;

  // Panel1Enter: configuration, scan, layout and, with `start`, the automatic
  // start (repeated scans, then reading).
  void start_sequence(bool start_param);

  // Handlers of the main window.
  void Button_lectureClick();
  void Button_scanClick();
  void Diagnostique1Click();
  void message_lecture_en_cours();
  void after_configuration();  // affiche_nb_compteurs, calcul_periode_enr, affiche_I
  void release_pins();         // Set_Interface_Pins(7, 0) on the interface found
  // Stops reading when it runs (quitting the headless runner).
  void stop_reading();

  // Runs fn; an exception is shown as an error box (caption kAppTitle).
  void guard(const std::function<void()>& fn);

  // The shell's minimise (automatic start success).
  std::function<void()> minimise;
  // Start sequence, with "start" only: the restart mail (alerts decide on
  // REDEMARRAGE PC, CONFIG_MAIL.ACTIF and RestartMailSent).
  std::function<void()> restart_mail;
  // Start sequence, after the configuration is loaded and the interface
  // scanned: the alert memo header and anything else that follows the
  // settings (alerts, uploads, MQTT).
  Event<> on_configuration_loaded;
  // After every decoded packet, with the meter it came from (ActiveMeter).
  Event<int> on_packet_decoded;

  // State of the run.
  Settings& settings() { return settings_; }
  std::array<MeterSlot, 2>& meters() { return meters_; }
  MeasureTable& measures() { return measures_; }
  ReadingCounters& counters() { return counters_; }
  MainWindowState& window() { return window_; }
  GraphsWindowState& graphs() { return graphs_; }
  Decoder& decoder() { return *decoder_; }
  ComDataPacket1& framer() { return framer_; }
  D2XXUnit& d2xx_unit() { return unit_; }
  InterfaceController& interface() { return *interface_; }
  SerialLink& serial() { return serial_; }
  D2xx& d2xx() { return d2xx_; }
  Clock& clock() { return clock_; }
  UserMessages& messages() { return messages_; }
  // The guarded timer factory: other subsystems create their timers here.
  TimerFactory& timers() { return timers_; }

  Timer& Timer_minimise() { return *timer_minimise_; }
  int AutoStartAttempts = 0;
  std::int64_t packets() const { return packets_; }

 private:
  void Timer_minimiseTimer();

  Clock& clock_;
  UserMessages& messages_;
  D2xx& d2xx_;
  SerialLink& serial_;
  GuardedTimerFactory timers_;

  Settings settings_;
  std::array<MeterSlot, 2> meters_{};
  MeasureTable measures_;
  ReadingCounters counters_;
  MainWindowState window_;
  GraphsWindowState graphs_;
  ComDataPacket1 framer_;
  D2XXUnit unit_;
  std::unique_ptr<Decoder> decoder_;
  std::unique_ptr<InterfaceController> interface_;
  std::unique_ptr<Timer> timer_minimise_;
  std::int64_t packets_ = 0;
};

}  // namespace vireluz
