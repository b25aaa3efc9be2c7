#pragma once
// The windowed program.
#include "app/headless.h"

namespace vireluz {

// Runs the windowed program; returns the process exit code.
int run_gui(const AppOptions& options, int argc, char** argv);

}  // namespace vireluz
