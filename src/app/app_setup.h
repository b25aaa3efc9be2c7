#pragma once
// What the windowed program and the headless runner set up alike.
#include <memory>

#include "acquisition/d2xx.h"
#include "app/headless.h"
#include "common/clock.h"

namespace vireluz {

class Program;

// The decimal separator of the environment's locale (LC_NUMERIC), ',' when it
// has none; the locale itself is left as it was.
char environment_decimal_separator();

// The interface the options ask for: the simulated one (--simulate, with its
// meter options) or the real FTDI chip. Throws with a French message when the
// simulated interface's options are wrong.
std::unique_ptr<D2xx> make_interface(const AppOptions& options, Program& program, Clock& clock);

}  // namespace vireluz
