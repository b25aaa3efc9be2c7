#pragma once
// One live graph of the graphs window, as data: the samples kept (the last
// 350), the trace count, the vertical scale and the slider beside it. The Qt
// graphs window draws it; the decoder feeds it.
#include <array>
#include <cstdint>
#include <string_view>

#include "common/text.h"

namespace vireluz {

struct GraphState {
  static constexpr int kMaxSamples = 350;

  int traces = 3;   // 1 or 3 (three at design time)
  Text unit = "A";  // "A" or "VA"
  // Top of the vertical axis: 15 from the program's creation on (the
  // running maxima's starting value; the design value 50 is never seen).
  int top = 15;
  int upper_limit = 0;  // limit value set with the top (not drawn)
  int slider_min = 15;
  int slider_max = 50;
  int slider_position = 50;
  bool visible = true;  // graph 2 is hidden with one meter

  // Ring of samples: up to three values each (one per trace).
  std::array<std::array<std::int32_t, 3>, kMaxSamples> ring{};
  int head = 0;              // index of the oldest sample
  int count = 0;             // samples kept, at most kMaxSamples
  Text last_sample;          // the text last fed, e.g. "10;25;5;"
  std::uint64_t serial = 0;  // bumped at every change, for repainting

  // Adds one sample given as its text: each value followed by ';'. Values that
  // are not integers count as 0 (the graph only draws them).
  void add_sample(std::string_view text);
  void clear();
  // Sample i, 0 = oldest.
  const std::array<std::int32_t, 3>& sample(int i) const {
    return ring[static_cast<std::size_t>((head + i) % kMaxSamples)];
  }
};

struct GraphsWindowState {
  std::array<GraphState, 2> graph;  // Graphique1, Graphique2
  Text Label_cpt1, Label_cpt2;
  int width = 872;
  bool GraphsShown = false;
  // Caption of the main window's button and of the tray menu entry.
  Text toggle_caption = "Afficher graphiques";
};

}  // namespace vireluz
