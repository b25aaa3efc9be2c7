#include "app/app_setup.h"

#include <QCoreApplication>
#include <QTimer>
#include <clocale>
#include <exception>
#include <fstream>
#include <string>

#include "acquisition/d2xx_libftdi.h"
#include "acquisition/interface_controller.h"
#include "program/program_json.h"
#include "simulator/simulated_interface.h"

namespace vireluz {

namespace {

// The decimal separator of the environment's locale (LC_NUMERIC), ',' when it
// has none; the locale itself is left as it was.
char environment_decimal_separator() {
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old ? old : "C";
  std::setlocale(LC_NUMERIC, "");
  const lconv* lc = std::localeconv();
  const char sep = (lc && lc->decimal_point && lc->decimal_point[0]) ? lc->decimal_point[0] : ',';
  std::setlocale(LC_NUMERIC, saved.c_str());
  return sep;
}

// libftdi lists one of the three known interfaces.
bool real_interface_attached() {
  try {
    auto ftdi = make_libftdi_d2xx();
    std::uint32_t count = 0;
    if (ftdi->ListDevicesCount(count) != FT_OK) return false;
    for (std::uint32_t i = 0; i < count && i < 20; ++i) {
      char buf[64] = {};
      if (ftdi->ListDeviceDescription(i, buf) != FT_OK) continue;
      buf[63] = '\0';
      const Text d = buf;
      if (d == kUsb2Description || d == kXbeeDescription || d == kUsb1Description) return true;
    }
  } catch (const std::exception&) {
  }
  return false;
}

}  // namespace

ProgramRun::ProgramRun(UserMessages& messages, const AppOptions& options, const std::string& program_dir)
    : program(clock, timers, messages, d2xx, serial, {program_dir, options.config_dir}),
      mail(clock, net),
      http(net),
      services(program, mail, http),
      mqtt(program, mqtt_clients),
      web(program, web_server),
      options_(options) {}

bool ProgramRun::start() {
  // Qt took the environment's locale for everything: numbers written by the
  // core stay in the C format, the decoder gets the separator explicitly.
  program.set_decimal_separator(environment_decimal_separator());
  std::setlocale(LC_NUMERIC, "C");
  if (options_.auto_simulate && options_.simulate.empty() && !real_interface_attached()) {
    options_.simulate = kSimUsbTwoMeters;
    demo_ = true;
  }
  try {
    if (options_.simulate.empty()) {
      interface_ = make_libftdi_d2xx();
    } else {
      auto sim = std::make_unique<SimulatedInterface>(options_.simulate, program.settings(), program.timers(),
                                                      clock);
      for (const auto& f : options_.sim_option_files) sim->apply_options_file(f);
      for (const auto& s : options_.sim_options) sim->apply_options(s);
      interface_ = std::move(sim);
    }
  } catch (const std::exception& e) {
    error_line(cp1252_to_utf8(e.what()));
    return false;
  }
  d2xx.target = interface_.get();
  if (options_.run_for_s > 0)
    QTimer::singleShot(static_cast<int>(options_.run_for_s * 1000), QCoreApplication::instance(),
                       [] { QCoreApplication::exit(0); });
  return true;
}

int ProgramRun::stop() {
  // The dump shows the reading as it was when the run ended, before the clean stop.
  const int active_meter = program.counters().ActiveMeter;
  const bool reading = program.interface().ReadingActive;
  program.stop_reading();
  serial.disconnect();
  if (options_.dump_file.empty()) return 0;
  nlohmann::json j = program_state_json(program);
  j["ActiveMeter"] = active_meter;
  j["ReadingActive"] = reading;
  std::ofstream out(options_.dump_file, std::ios::binary | std::ios::trunc);
  out << j.dump(2) << '\n';
  out.close();
  if (out) return 0;
  error_line("impossible d'écrire le fichier " + options_.dump_file);
  return 1;
}

}  // namespace vireluz
