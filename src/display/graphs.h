#pragma once
// The rules of the graphs window, as operations on its presentation state: the
// scale from the running maximum, the power samples, the slider, showing and
// hiding.

#include "config/settings.h"
#include "display/graph_state.h"
#include "display/main_window_state.h"
#include "meter/meter_slot.h"

namespace vireluz {

// The graphs window before any rule ran.
GraphsWindowState design_graphs_window();

// Applies the meter's running maximum to its graph and slider; does nothing
// unless the automatic scale or the power graphs are configured.
void echelle_graphe(const Settings& settings, const MeterSlot& slot, GraphState& graph);

// Adds the meter's apparent power (MeterSlot.PAPP) as a sample, switches the
// unit to VA and raises the running maximum (rescaling when it grows).
void graphe_pa(const Settings& settings, MeterSlot& slot, GraphState& graph);

// The slider: its maximum (the position is kept inside the range) and its
// position; every change of position sets the graph's top to it, as when the
// user moves it.
void set_slider_max(GraphState& graph, int max);
void set_slider_position(GraphState& graph, int position);
void TrackBar_graphChange(GraphState& graph);  // the user moved the slider to slider_position

// Show, hide, toggle the graphs window; the main window's button and the tray
// entry follow ("Masquer graphiques" / "Afficher graphiques").
void afficher_graphiques(GraphsWindowState& graphs, MainWindowState& window);
void masquer_graphiques(GraphsWindowState& graphs, MainWindowState& window);
void affiche_masque_graphes(GraphsWindowState& graphs, MainWindowState& window);

// The graphs window is being shown: its width and graph 2 follow the number of
// meters (MODE_INTERFACE 1: two meters).
void graphiques_FormShow(const Settings& settings, GraphsWindowState& graphs);
// The user closed the graphs window.
void graphiques_FormClose(GraphsWindowState& graphs, MainWindowState& window);

}  // namespace vireluz
