#pragma once
// The headless runner: the program without windows, on the Qt event loop,
// every message one line on stderr.
#include "app/options.h"

namespace vireluz {

// Runs the program without windows; returns the process exit code.
int run_headless(const AppOptions& options, int argc, char** argv);

}  // namespace vireluz
