#include "app/app_setup.h"

#include <clocale>
#include <string>

#include "acquisition/d2xx_libftdi.h"
#include "simulator/simulated_interface.h"

namespace vireluz {

char environment_decimal_separator() {
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old ? old : "C";
  std::setlocale(LC_NUMERIC, "");
  const lconv* lc = std::localeconv();
  const char sep = (lc && lc->decimal_point && lc->decimal_point[0]) ? lc->decimal_point[0] : ',';
  std::setlocale(LC_NUMERIC, saved.c_str());
  return sep;
}

std::unique_ptr<D2xx> make_interface(const AppOptions& options, Program& program, Clock& clock) {
  if (options.simulate.empty()) return make_libftdi_d2xx();
  auto sim =
      std::make_unique<SimulatedInterface>(options.simulate, program.settings(), program.timers(), clock);
  for (const auto& f : options.sim_option_files) sim->apply_options_file(f);
  for (const auto& s : options.sim_options) sim->apply_options(s);
  return sim;
}

namespace {

// The program's folders, set before the services are built: the record files
// default to the program folder.
Program& with_folders(Program& p, const std::string& program_dir, const std::string& config_dir) {
  p.ProgramDir = program_dir;
  p.ConfigDirOverride = config_dir;
  return p;
}

}  // namespace

ProgramRun::ProgramRun(UserMessages& messages, const AppOptions& options, const std::string& program_dir)
    : program(clock, timers, messages, d2xx, serial),
      mail(clock, net),
      http(net),
      services(with_folders(program, program_dir, options.config_dir), mail, http),
      mqtt(program, mqtt_clients),
      web(program, web_server) {
  program.decoder().set_decimal_separator(environment_decimal_separator());
}

void ProgramRun::choose_interface(const AppOptions& options) {
  backend = make_interface(options, program, clock);
  d2xx.target = backend.get();
}

}  // namespace vireluz
