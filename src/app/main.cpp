// vireluz: the windowed program, or with --headless the same program without
// windows (messages on stderr).
#include "app/gui_auto.h"
#include "app/gui_main.h"
#include "app/headless.h"
#include "simulator/simulated_interface.h"

int main(int argc, char** argv) {
  // --auto: the simulated interface when no real one is attached.
  const bool auto_simulate = vireluz::take_auto_option(argc, argv);
  auto options = vireluz::parse_app_options(argc, argv);
  if (!options) return 2;
  if (options->help) {
    vireluz::print_usage(stdout);
    return 0;
  }
  if (auto_simulate && options->simulate.empty() && !vireluz::real_interface_attached()) {
    options->simulate = vireluz::kSimUsbTwoMeters;
    options->demo = true;
  }
  if (options->headless) return vireluz::run_headless(*options, argc, argv);
  return vireluz::run_gui(*options, argc, argv);
}
