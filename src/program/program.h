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

class Program {
 public:
  static constexpr int kAutoStartFirstMs = 500;
  static constexpr int kAutoStartRetryMs = 1000;
  static constexpr int kAutoStartMaxAttempts = 120;

  // The executable's folder (with a trailing '/'), and the folder given for
  // the INI files (--config-dir; empty when none).
  struct Folders {
    std::string program;
    std::string config;
  };

  Program(Clock& clock, TimerFactory& timers, UserMessages& messages, D2xx& d2xx, SerialLink& serial,
          Folders folders = {});
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Panel1Enter: configuration, scan, layout and, with `start`, the automatic
  // start (repeated scans, then reading).
  void start_sequence(bool start_param);

  // Handlers of the main window.
  void Button_lectureClick();
  void Button_scanClick();
  void Diagnostique1Click();  // refused while reading
  // "Quitter", "Configuration" and the MQTT window are refused while the
  // serial port is connected: shows "Lecture en cours" and returns true then.
  bool refused_while_reading();
  void after_configuration();  // affiche_nb_compteurs, calcul_periode_enr, affiche_I
  void release_pins();         // Set_Interface_Pins(7, 0) on the interface found
  // Stops reading when it runs (the end of a run).
  void stop_reading();

  // Runs fn; an exception is shown as an error box (caption kAppTitle).
  void guard(const std::function<void()>& fn);

  // The start sequence ran with "start": the automatic start begins (the
  // restart mail follows it).
  Event<> on_automatic_start;
  // The automatic start found the interface and started reading (the shell
  // minimises).
  Event<> on_automatic_start_done;
  // Start sequence, after the configuration is loaded and the interface
  // scanned: the alert memo header and anything else that follows the
  // settings (alerts, uploads, MQTT).
  Event<> on_configuration_loaded;
  // End of a decoded packet, when mail alerts are on and the alert table is
  // not empty, before the packet counters advance: the alert evaluation. A
  // subscriber that throws ends the packet's handling there.
  Event<> on_alert_check;
  // After every decoded packet, with the meter it came from (ActiveMeter).
  Event<int> on_packet_decoded;

  // State of the run.
  Settings& settings() { return settings_; }
  const std::string& program_dir() const { return folders_.program; }
  const std::array<MeterSlot, 2>& meters() const { return meters_; }
  const MeasureTable& measures() const { return measures_; }
  MainWindowState& window() { return window_; }
  GraphsWindowState& graphs() { return graphs_; }
  InterfaceController& interface() { return *interface_; }
  bool simulated() const { return d2xx_.simulated(); }
  std::int64_t packets() const { return packets_; }
  int auto_start_attempts() const { return AutoStartAttempts; }
  // Decimal separator of the standard-mode kWh texts (the environment's).
  void set_decimal_separator(char c) { decoder_->set_decimal_separator(c); }
  // The reading path, which the path benchmark drives without an interface.
  ReadingCounters& counters() { return counters_; }
  Decoder& decoder() { return *decoder_; }
  ComDataPacket1& framer() { return framer_; }
  // The ports the services share; their timers run inside the guard.
  Clock& clock() { return clock_; }
  UserMessages& messages() { return messages_; }
  TimerFactory& timers() { return timers_; }

 private:
  void Timer_minimiseTimer();

  Clock& clock_;
  UserMessages& messages_;
  D2xx& d2xx_;
  SerialLink& serial_;
  GuardedTimerFactory timers_;
  const Folders folders_;

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
  int AutoStartAttempts = 0;
  std::int64_t packets_ = 0;
};

}  // namespace vireluz
