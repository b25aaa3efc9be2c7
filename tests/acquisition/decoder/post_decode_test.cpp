// Gauges, graph samples and graph scales fed by the decoder.
#include <gtest/gtest.h>

#include "support/tic_builder.h"

namespace vireluz::testing {
namespace {

std::string mono(std::string_view iinst, std::string_view isousc = "45") {
  return packet({hgroup("ADCO", "012345678910"), hgroup("OPTARIF", "BASE"), hgroup("ISOUSC", isousc),
                 hgroup("PTEC", "TH.."), hgroup("IINST", iinst), hgroup("IMAX", "060"),
                 hgroup("PAPP", "01000")});
}

std::string tri(std::string_view i1, std::string_view i2, std::string_view i3) {
  return packet({hgroup("ADCO", "012345678910"), hgroup("OPTARIF", "BASE"), hgroup("IINST1", i1),
                 hgroup("IINST2", i2), hgroup("IINST3", i3), hgroup("PAPP", "01000")});
}

TEST(CurrentGraph, AutomaticScaleFollowsTheLargestCurrent) {
  Bench b;
  b.settings.prg.MODE_ECHELLE_GRAPHE = 1;
  const GraphState& g = b.graphs.graph[0];
  b.feed(mono("012"));
  // The subscription step applied the maximum 15, then the slider range 45.
  EXPECT_EQ(g.top, 15);
  EXPECT_EQ(g.slider_position, 15);
  EXPECT_EQ(g.slider_max, 45);
  EXPECT_EQ(g.last_sample, "12;");
  b.feed(mono("018"));
  EXPECT_EQ(g.top, 18);
  EXPECT_EQ(b.meters[0].graph_max, 18);
  b.feed(mono("016"));
  EXPECT_EQ(g.top, 18);
  EXPECT_EQ(g.count, 3);
  EXPECT_EQ(g.sample(2)[0], 16);
}

TEST(CurrentGraph, SubscriptionScaleDoesNotFollow) {
  Bench b;
  const GraphState& g = b.graphs.graph[0];
  b.feed(mono("012"));
  EXPECT_EQ(g.top, 45);
  EXPECT_EQ(g.slider_max, 45);
  b.feed(mono("060"));
  EXPECT_EQ(g.top, 45);
  EXPECT_EQ(b.meters[0].graph_max, 60);
  EXPECT_EQ(b.window[GaugeId::rmGauge_I1_cpt1].position, 60);
}

TEST(CurrentGraph, Meter2RaisesItsOwnMaximum) {
  Bench b(2);
  b.settings.prg.MODE_ECHELLE_GRAPHE = 1;
  b.feed(mono("020"));
  EXPECT_EQ(b.graphs.graph[1].last_sample, "20;");
  EXPECT_EQ(b.meters[1].graph_max, 20);
  EXPECT_EQ(b.graphs.graph[1].top, 20);
  EXPECT_EQ(b.meters[0].graph_max, 15);
  EXPECT_EQ(b.graphs.graph[0].count, 0);
  b.feed(mono("018"));
  EXPECT_EQ(b.graphs.graph[1].last_sample, "18;");
  EXPECT_EQ(b.graphs.graph[1].top, 20);
  EXPECT_EQ(b.measure(MeasureKind::IINST, 2), 18);
}

TEST(CurrentGraph, ThreePhaseRescalesOnlyAboveTheTop) {
  Bench b;
  b.settings.prg.MODE_MONO_TRI = 1;
  b.settings.prg.MODE_ECHELLE_GRAPHE = 1;
  b.start_reading(1);
  GraphState& g = b.graphs.graph[0];
  g.top = 15;
  b.feed(tri("003", "009", "004"));
  EXPECT_EQ(g.top, 15);
  EXPECT_EQ(g.last_sample, "3;9;4;");
  b.feed(tri("010", "025", "005"));
  EXPECT_EQ(b.meters[0].graph_max, 25);
  EXPECT_EQ(g.top, 25);
  EXPECT_EQ(g.last_sample, "10;25;5;");
  EXPECT_EQ(g.traces, 3);
}

TEST(PowerGraph, UnitAndScaleFollowThePower) {
  Bench b;
  b.settings.prg.GRAPHE_IouPA = 1;
  const GraphState& g = b.graphs.graph[0];
  b.feed(mono("004"));
  EXPECT_EQ(g.unit, "VA");
  EXPECT_EQ(g.last_sample, "01000;");
  EXPECT_EQ(g.top, 1000);
  EXPECT_EQ(g.slider_max, 1000);
  EXPECT_EQ(b.meters[0].graph_max, 1000);
  EXPECT_EQ(g.count, 1);  // no current sample beside the power
  // The subscription does not touch the power graph's scale.
  EXPECT_EQ(b.window[GaugeId::rmGauge_I1_cpt1].max, 45);
}

TEST(PowerGraph, ComputedPowerIsPlotted) {
  Bench b;
  b.settings.prg.GRAPHE_IouPA = 1;
  b.feed(packet({hgroup("ADCO", "012345678910"), hgroup("OPTARIF", "BASE"), hgroup("IINST", "005")}));
  EXPECT_EQ(b.meters[0].PAPP, "1150");
  EXPECT_EQ(b.text(FieldId::Edit_papp1), w("1150 (valeur calculée)"));
  EXPECT_EQ(b.graphs.graph[0].last_sample, "1150;");
}

}  // namespace
}  // namespace vireluz::testing
