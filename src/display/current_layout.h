#pragma once
// The layout of the current fields of both meters for their PhaseMode: one
// current (single-phase, yellow meter) or three phases.
#include <array>

#include "display/graph_state.h"
#include "display/main_window_state.h"
#include "meter/meter_slot.h"

namespace vireluz {

void affiche_I(const std::array<MeterSlot, 2>& meters, MainWindowState& window, GraphsWindowState& graphs);

}  // namespace vireluz
