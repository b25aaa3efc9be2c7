#pragma once
// One run of the program, windowed or headless: the real ports, the program
// core and its services, and what happens at the start and at the end of a
// run whichever the shell.
#include <memory>
#include <string>

#include "acquisition/d2xx.h"
#include "acquisition/forwarding_d2xx.h"
#include "acquisition/serial_port_qt.h"
#include "alerts/smtp_curl.h"
#include "app/options.h"
#include "common/clock.h"
#include "common/curl_multi_curl.h"
#include "common/io_loop_qt.h"
#include "common/timer_qt.h"
#include "mqtt/mqtt_client_mosquitto.h"
#include "mqtt/mqtt_service.h"
#include "program/program.h"
#include "program/services.h"
#include "upload/http_curl.h"
#include "web/web_server_qt.h"
#include "web/web_service.h"

namespace vireluz {

// The run on the system clock, Qt timers, the serial port and libcurl. The
// windowed program and the headless runner build one once their Qt
// application exists, call start(), run the event loop, then stop().
class ProgramRun {
 public:
  ProgramRun(UserMessages& messages, const AppOptions& options, const std::string& program_dir);

  // Numbers in the C format (the decoder gets the environment's decimal
  // separator), the interface (the simulated one with --simulate, or with
  // --auto when no real interface is attached; the real FTDI chip otherwise)
  // and the end of the event loop after --run-for. Returns false after a
  // French line on stderr when the simulated interface's options are wrong.
  bool start();
  // The end of the run: reading stopped, the serial port closed, the state
  // written to --dump. Returns the exit code: 1 when the dump could not be
  // written, 0 otherwise.
  int stop();

  // --auto fell back to the simulated interface: the demonstration, which
  // starts reading and shows the graphs by itself.
  bool demo() const { return demo_; }

  SystemClock clock;
  QtTimerFactory timers;
  ComPort1 serial;
  ForwardingD2xx d2xx;
  Program program;
  // Mails and uploads share one libcurl multi handle on the Qt event loop.
  QtIoLoop io_loop;
  CurlMulti net{io_loop};
  CurlMailSender mail;
  CurlHttpClient http;
  Services services;
  MosquittoClientFactory mqtt_clients{io_loop};
  MqttService mqtt;
  QtWebServer web_server;
  WebService web;

 private:
  AppOptions options_;
  bool demo_ = false;
  // Last, so that it goes before the program that drives it.
  std::unique_ptr<D2xx> interface_;
};

}  // namespace vireluz
