#include "display/graphs.h"

#include <gtest/gtest.h>

#include "display/current_layout.h"
#include "display/state_json.h"

namespace vireluz {
namespace {

TEST(GraphState, KeepsTheLast350Samples) {
  GraphState g;
  for (int i = 0; i < 400; ++i) g.add_sample(std::to_string(i) + ";");
  EXPECT_EQ(g.count, GraphState::kMaxSamples);
  EXPECT_EQ(g.sample(0)[0], 50);
  EXPECT_EQ(g.sample(349)[0], 399);
  g.add_sample("1;x;;");
  EXPECT_EQ(g.sample(349), (std::array<std::int32_t, 3>{1, 0, 0}));
  EXPECT_EQ(g.last_sample, "1;x;;");
  g.clear();
  EXPECT_EQ(g.count, 0);
  g.add_sample("7;8;9;10;");
  EXPECT_EQ(g.sample(0), (std::array<std::int32_t, 3>{7, 8, 9}));
}

TEST(EchelleGraphe, OnlyWithAutomaticScaleOrPowerGraphs) {
  Settings s;
  MeterSlot slot;
  slot.graph_max = 80;
  GraphState g;
  echelle_graphe(s, slot, g);
  EXPECT_EQ(g.top, 15);
  s.prg.MODE_ECHELLE_GRAPHE = 1;
  echelle_graphe(s, slot, g);
  EXPECT_EQ(g.top, 80);
  EXPECT_EQ(g.upper_limit, 80);
  EXPECT_EQ(g.slider_max, 80);
  EXPECT_EQ(g.slider_position, 80);
  slot.graph_max = 20;  // the slider's range is never shrunk here
  echelle_graphe(s, slot, g);
  EXPECT_EQ(g.slider_max, 80);
  EXPECT_EQ(g.slider_position, 20);
  EXPECT_EQ(g.top, 20);
}

TEST(GraphePa, PowerSamplesInVa) {
  Settings s;
  s.prg.GRAPHE_IouPA = 1;
  MeterSlot meter;
  GraphState g;
  meter.PAPP = "01234";
  graphe_pa(s, meter, g);
  EXPECT_EQ(g.unit, "VA");
  EXPECT_EQ(g.last_sample, "01234;");
  EXPECT_EQ(meter.graph_max, 1234);
  EXPECT_EQ(g.top, 1234);
  meter.PAPP = "00100";
  graphe_pa(s, meter, g);
  EXPECT_EQ(g.top, 1234);
  EXPECT_EQ(g.count, 2);
}

TEST(Slider, PositionSetsTheTopAndStaysInRange) {
  GraphState g;
  g.slider_position = 30;
  TrackBar_graphChange(g);
  EXPECT_EQ(g.top, 30);
  set_slider_max(g, 20);
  EXPECT_EQ(g.slider_position, 20);
  EXPECT_EQ(g.top, 20);
  set_slider_max(g, 10);  // below the design minimum 15
  EXPECT_EQ(g.slider_min, 10);
  EXPECT_EQ(g.slider_position, 10);
}

TEST(GraphsWindow, ShowHideAndCaptions) {
  Settings s;
  GraphsWindowState graphs = design_graphs_window();
  MainWindowState window = design_main_window();
  affiche_masque_graphes(graphs, window);
  EXPECT_TRUE(graphs.GraphsShown);
  EXPECT_EQ(graphs.toggle_caption, "Masquer graphiques");
  EXPECT_EQ(window[FieldId::Button_graphes].text, "Masquer graphiques");
  graphiques_FormClose(graphs, window);  // the close box
  EXPECT_FALSE(graphs.GraphsShown);
  EXPECT_EQ(window[FieldId::Button_graphes].text, "Afficher graphiques");
  masquer_graphiques(graphs, window);
  EXPECT_FALSE(graphs.GraphsShown);

  graphiques_FormShow(s, graphs);
  EXPECT_EQ(graphs.width, 872);
  EXPECT_TRUE(graphs.graph[1].visible);
  s.prg.MODE_INTERFACE = 0;
  graphiques_FormShow(s, graphs);
  EXPECT_EQ(graphs.width, 460);
  EXPECT_FALSE(graphs.graph[1].visible);
}

TEST(AfficheI, SingleAndThreePhaseLayouts) {
  std::array<MeterSlot, 2> meters;
  MainWindowState win = design_main_window();
  GraphsWindowState graphs;
  win[FieldId::Edit_i_inst1].text = "12 A";
  win[FieldId::Edit_IMAX3_cpt2].text = "3 A";
  meters[1].phase_mode = PhaseMode::TRI;
  affiche_I(meters, win, graphs);
  // Meter 1 single-phase.
  EXPECT_EQ(win[FieldId::Label_i_inst1].text, w("I instantanée"));
  EXPECT_EQ(win[FieldId::Label_imax1].text, "I Max");
  EXPECT_FALSE(win[FieldId::Label_i_inst2].enabled);
  EXPECT_FALSE(win[FieldId::Label_imax3].enabled);
  EXPECT_EQ(win[FieldId::Edit_i_inst1].text, "");
  EXPECT_EQ(win[FieldId::Edit_i_inst2].background, Colour::Gray);
  EXPECT_EQ(win[FieldId::Edit_IMAX3].background, Colour::Gray);
  EXPECT_EQ(win[FieldId::Edit_i_inst1].background, Colour::Red);
  EXPECT_FALSE(win[GaugeId::rmGauge_I2_cpt1].visible);
  EXPECT_FALSE(win[GaugeId::rmGauge_I3_cpt1].visible);
  EXPECT_EQ(graphs.graph[0].traces, 1);
  // Meter 2 three-phase.
  EXPECT_EQ(win[FieldId::Label_i_inst1_cpt2].text, "I INST phase 1");
  EXPECT_EQ(win[FieldId::Label_imax1_cpt2].text, "I Max 1");
  EXPECT_TRUE(win[FieldId::Label_imax2_cpt2].enabled);
  EXPECT_EQ(win[FieldId::Edit_i_inst2_cpt2].background, Colour::Blue);
  EXPECT_EQ(win[FieldId::Edit_i_inst3_cpt2].background, Colour::Lime);
  EXPECT_EQ(win[FieldId::Edit_IMAX3_cpt2].background, Colour::Black);
  EXPECT_EQ(win[FieldId::Edit_IMAX3_cpt2].text, "3 A");
  EXPECT_TRUE(win[GaugeId::rmGauge_I3_cpt2].visible);
  EXPECT_EQ(win[GaugeId::rmGauge_I3_cpt2].position, 0);
  EXPECT_EQ(graphs.graph[1].traces, 3);
  // Back to single-phase after a configuration change.
  meters[1].phase_mode = PhaseMode::MONO;
  affiche_I(meters, win, graphs);
  EXPECT_EQ(win[FieldId::Edit_IMAX3_cpt2].text, "");
  EXPECT_EQ(win[FieldId::Edit_IMAX3_cpt2].background, Colour::Gray);
  EXPECT_EQ(graphs.graph[1].traces, 1);
}

TEST(StateJson, KeysAndUtf8Texts) {
  std::array<MeterSlot, 2> meters;
  meters[0].ADCO = "012345678910";
  MeasureTable measures;
  measures.v[19] = 7;
  ReadingCounters counters;
  counters.PacketCount = 4;
  const MainWindowState win = design_main_window();
  GraphsWindowState graphs;
  const nlohmann::json j = decoded_state_json(meters, measures, counters, win, graphs, 5);
  EXPECT_EQ(j["packets"], 5);
  EXPECT_EQ(j["PacketCount"], 4);
  EXPECT_EQ(j["meters"][0]["ADCO"], "012345678910");
  EXPECT_EQ(j["meters"][1]["tariff_kind"], 0);
  EXPECT_EQ(j["meters"][0].size(), 51u);
  EXPECT_EQ(j["meters"][0]["rejected_values"], 0);
  EXPECT_TRUE(j["meters"][0]["status"].is_null());
  EXPECT_EQ(j["meters"][0]["ENERG"].size(), 4u);
  EXPECT_EQ(j["MeasureTable"][19], 7);
  EXPECT_EQ(j["fields"]["Label_trame_recue"]["text"], "Trame reçue");
  EXPECT_EQ(j["fields"]["Edit_i_inst1"]["background"], "red");
  EXPECT_EQ(j["fields"]["rmLed2"]["off_colour"], "gray");
  EXPECT_EQ(j["fields"]["rmGauge_I1_cpt1"]["zone1"], 60);
  EXPECT_EQ(j["graphs"][1]["unit"], "A");
  EXPECT_EQ(j["graphs"].size(), 2u);
}

}  // namespace
}  // namespace vireluz
