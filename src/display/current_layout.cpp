#include "display/current_layout.h"

namespace vireluz {

void affiche_I(const std::array<MeterSlot, 2>& meters, MainWindowState& window, GraphsWindowState& graphs) {
  static const Text kInstPhase1 = "I INST phase 1";
  static const Text kMax1 = "I Max 1";
  static const Text kInst = w("I instantanée");
  static const Text kMax = "I Max";
  for (std::size_t m = 0; m < 2; ++m) {
    const MeterComponents& c = kMeter[m];
    GraphState& graph = graphs.graph[m];
    if (meters[m].phase_mode == PhaseMode::TRI) {
      window[c.label_i_inst[0]].text = kInstPhase1;
      window[c.label_imax[0]].text = kMax1;
      for (std::size_t i = 1; i < 3; ++i) {
        window[c.label_i_inst[i]].enabled = true;
        window[c.label_imax[i]].enabled = true;
        window[c.imax[i]].background = Colour::Black;
        Gauge& g = window[c.gauge[i]];
        g.visible = true;
        g.position = 0;
      }
      window[c.i_inst[1]].background = Colour::Blue;
      window[c.i_inst[2]].background = Colour::Lime;
      graph.traces = 3;
    } else {
      window[c.label_i_inst[0]].text = kInst;
      window[c.label_imax[0]].text = kMax;
      for (std::size_t i = 0; i < 3; ++i) {
        window[c.i_inst[i]].text.clear();
        window[c.imax[i]].text.clear();
      }
      for (std::size_t i = 1; i < 3; ++i) {
        window[c.label_i_inst[i]].enabled = false;
        window[c.label_imax[i]].enabled = false;
        window[c.i_inst[i]].background = Colour::Gray;
        window[c.imax[i]].background = Colour::Gray;
        window[c.gauge[i]].visible = false;
      }
      graph.traces = 1;
    }
    ++graph.serial;
  }
  ++window.serial;
}

}  // namespace vireluz
