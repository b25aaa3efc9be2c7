// Stand-in until the windowed program exists: says so and runs headless.
#include <cstdio>

#include "app/gui_main.h"

namespace vireluz {

int run_gui(const AppOptions& options, int argc, char** argv) {
  std::fprintf(stderr, "vireluz: interface graphique pas encore disponible, fonctionnement sans fenêtre\n");
  return run_headless(options, argc, argv);
}

}  // namespace vireluz
