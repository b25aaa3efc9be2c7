#pragma once
// Choices made before the windowed program starts.
#include <string>

namespace vireluz {

// A display server (or an explicitly chosen display-less Qt platform) exists.
bool display_available();
// libftdi lists one of the three known interfaces.
bool real_interface_attached();

// "--auto": removes it from argv; returns whether it was there.
bool take_auto_option(int& argc, char** argv);

}  // namespace vireluz
