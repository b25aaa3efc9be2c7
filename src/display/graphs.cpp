#include "display/graphs.h"

#include <algorithm>

#include "common/text.h"

namespace vireluz {
namespace {

const Text kShow = "Afficher graphiques";
const Text kHide = "Masquer graphiques";

}  // namespace

GraphsWindowState design_graphs_window() { return GraphsWindowState{}; }

void set_slider_position(GraphState& g, int position) {
  g.slider_position = std::clamp(position, g.slider_min, g.slider_max);
  TrackBar_graphChange(g);
}

void set_slider_max(GraphState& g, int max) {
  g.slider_max = max;
  if (g.slider_min > max) g.slider_min = max;
  if (g.slider_position > max) set_slider_position(g, max);
  ++g.serial;
}

void TrackBar_graphChange(GraphState& g) {
  g.top = g.slider_position;
  ++g.serial;
}

void echelle_graphe(const Settings& settings, const MeterSlot& slot, GraphState& g) {
  if (settings.prg.MODE_ECHELLE_GRAPHE != 1 && settings.prg.GRAPHE_IouPA != 1) return;
  const int m = slot.graph_max;
  g.top = m;
  g.upper_limit = m;
  if (g.slider_max < m) g.slider_max = m;
  set_slider_position(g, m);
}

void graphe_pa(const Settings& settings, MeterSlot& slot, GraphState& g) {
  if (g.unit != "VA") g.unit.assign("VA");
  const int p = parse_int(slot.PAPP).value_or(0);
  if (p > slot.graph_max) {
    slot.graph_max = p;
    echelle_graphe(settings, slot, g);
  }
  // The sample text is the power followed by ';' (kept in a reused buffer).
  static Text sample;
  sample.assign(slot.PAPP);
  sample.push_back(';');
  g.add_sample(sample);
}

void afficher_graphiques(GraphsWindowState& graphs, MainWindowState& window) {
  graphs.GraphsShown = true;
  graphs.toggle_caption = kHide;
  window[FieldId::Button_graphes].text = kHide;
  ++window.serial;
}

void masquer_graphiques(GraphsWindowState& graphs, MainWindowState& window) {
  graphs.GraphsShown = false;
  graphs.toggle_caption = kShow;
  window[FieldId::Button_graphes].text = kShow;
  ++window.serial;
}

void affiche_masque_graphes(GraphsWindowState& graphs, MainWindowState& window) {
  if (graphs.GraphsShown)
    masquer_graphiques(graphs, window);
  else
    afficher_graphiques(graphs, window);
}

void graphiques_FormShow(const Settings& settings, GraphsWindowState& graphs) {
  const bool two_meters = settings.prg.MODE_INTERFACE == 1;
  graphs.width = two_meters ? 872 : 460;
  graphs.graph[1].visible = two_meters;
  ++graphs.graph[1].serial;
}

void graphiques_FormClose(GraphsWindowState& graphs, MainWindowState& window) {
  affiche_masque_graphes(graphs, window);
}

}  // namespace vireluz
