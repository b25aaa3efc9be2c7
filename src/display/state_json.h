#pragma once
// The decoded state as one JSON document (texts converted to UTF-8): the two
// MeterSlots, the MeasureTable, every main-window component and both graphs.
// Shared by `vireluz-tic decode` and the dump of the headless runner.
#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>

#include "display/graph_state.h"
#include "display/main_window_state.h"
#include "meter/meter_slot.h"

namespace vireluz {

nlohmann::json meter_slot_json(const MeterSlot& slot);
nlohmann::json main_window_json(const MainWindowState& window);  // "fields" object
nlohmann::json graph_json(const GraphState& graph);

nlohmann::json decoded_state_json(const std::array<MeterSlot, 2>& meters, const MeasureTable& measures,
                                  const ReadingCounters& counters, const MainWindowState& window,
                                  const GraphsWindowState& graphs, std::int64_t packets);

}  // namespace vireluz
