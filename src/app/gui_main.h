#pragma once
// The windowed program.
#include "app/options.h"

namespace vireluz {

// What the application shows of itself, set once the QApplication exists: its
// name, icon and desktop entry, and the style (passwords and keys echo '*').
// No display name is set: Qt would append it to every window caption.
void setup_application();

// Runs the windowed program; returns the process exit code.
int run_gui(const AppOptions& options, int argc, char** argv);

}  // namespace vireluz
