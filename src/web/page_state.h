#pragma once
// What the page shows, as JSON messages built from the program's presentation
// state (texts in UTF-8): the main window's components in the window's order,
// with their captions, colours, visibility, LEDs and gauges, and the two
// graphs. The page only draws what it is sent; the rules stay in the core.
#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>

#include "display/graph_state.h"
#include "display/main_window_state.h"

namespace vireluz {

// The main window: title, interface label and reading state, the common LEDs,
// the automatic-start panel, and for each meter its group box and its rows
// (caption, value box, gauge or LED) in the window's order: all of them (an
// array), or with `before`, the state last sent, only those that differ from
// it (an object keyed by row number).
nlohmann::json page_window_json(const MainWindowState& window, bool simulated, bool reading,
                                const MainWindowState* before = nullptr);

// The graphs for the pages: all samples for a page that opens, then only the
// samples added since the last message, so that every message stays small.
class GraphFeed {
 public:
  // The graph with all its samples; the following deltas start from here.
  nlohmann::json full(int graph, const GraphState& state, const Text& caption);
  // The graph with the samples added since the last call ("reset": true and
  // all samples when it was cleared or its traces changed); *changed tells
  // whether anything differs.
  nlohmann::json next(int graph, const GraphState& state, const Text& caption, bool* changed);

 private:
  struct Seen {
    int head = 0, count = 0, traces = 0;
    std::uint64_t serial = ~0ull;
  };
  std::array<Seen, 2> seen_;
};

}  // namespace vireluz
