// vireluz: the windowed program, or with --headless the same program without
// windows (messages on stderr).
#include "app/gui_main.h"
#include "app/headless.h"
#include "app/options.h"

int main(int argc, char** argv) {
  const auto options = vireluz::parse_app_options(argc, argv);
  if (!options) return 2;
  if (options->help) {
    vireluz::print_usage(stdout);
    return 0;
  }
  if (options->headless) return vireluz::run_headless(*options, argc, argv);
  return vireluz::run_gui(*options, argc, argv);
}
