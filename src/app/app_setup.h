#pragma once
// What the windowed program and the headless runner set up alike.
#include <memory>

#include "acquisition/d2xx.h"
#include "acquisition/forwarding_d2xx.h"
#include "acquisition/serial_port_qt.h"
#include "alerts/smtp_curl.h"
#include "app/headless.h"
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

// The decimal separator of the environment's locale (LC_NUMERIC), ',' when it
// has none; the locale itself is left as it was.
char environment_decimal_separator();

// The interface the options ask for: the simulated one (--simulate, with its
// meter options) or the real FTDI chip. Throws with a French message when the
// simulated interface's options are wrong.
std::unique_ptr<D2xx> make_interface(const AppOptions& options, Program& program, Clock& clock);

// One run of the program on the real ports: the system clock, Qt timers, the
// serial port, the program core and its services (recording, alerts,
// uploads). The windowed program and the headless runner differ only in how
// they show messages. Construction leaves the interface unchosen; call
// choose_interface() next (it throws as make_interface does).
struct ProgramRun {
  ProgramRun(UserMessages& messages, const AppOptions& options, const std::string& program_dir);
  void choose_interface(const AppOptions& options);

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
  MosquittoClientFactory mqtt_clients;
  MqttService mqtt;
  QtWebServer web_server;
  WebService web;
  // Last, so that it goes before the program that drives it.
  std::unique_ptr<D2xx> backend;
};

}  // namespace vireluz
