// Historic-mode frames written by hand, one per tariff option.
#include <gtest/gtest.h>

#include "support/tic_builder.h"

namespace vireluz::testing {
namespace {

using F = FieldId;

std::string hc_frame(std::string_view ptec, std::string_view iinst = "012") {
  return packet({hgroup("ADCO", "012345678910"), hgroup("OPTARIF", "HC.."), hgroup("ISOUSC", "45"),
                 hgroup("HCHC", "001234567"), hgroup("HCHP", "012345678"), hgroup("PTEC", ptec),
                 hgroup("IINST", iinst), hgroup("IMAX", "045"), hgroup("PAPP", "02760"), hgroup("HHPHC", "A"),
                 hgroup("MOTDETAT", "000000")});
}

TEST(HistoricHC, SinglePhaseFrame) {
  Bench b;
  b.feed(hc_frame("HP.."));
  const MeterSlot& m = b.meters[0];
  EXPECT_EQ(m.tariff_kind, TariffKind::HC);
  EXPECT_EQ(m.OPTARIF, "HC.");
  EXPECT_EQ(b.text(F::Edit_optarif), "Option Heures Creuses");
  EXPECT_EQ(b.text(F::Label_index1), "Index Heures pleines");
  EXPECT_EQ(b.text(F::Label_index2), "Index Heures creuses");
  EXPECT_TRUE(b.field(F::Label_index2).enabled);
  for (F id : {F::Label_index3, F::Label_index4, F::Label_index5, F::Label_index6})
    EXPECT_FALSE(b.field(id).enabled);
  EXPECT_EQ(b.field(F::Edit_index2).background, Colour::Black);
  for (F id : {F::Edit_index3, F::Edit_index4, F::Edit_index5, F::Edit_index6})
    EXPECT_EQ(b.field(id).background, Colour::Gray);
  EXPECT_TRUE(b.field(F::Label_sortie_pilote).enabled);
  EXPECT_FALSE(b.field(F::Edit_injection1).visible);
  EXPECT_FALSE(b.field(F::Label_injection1).visible);

  EXPECT_EQ(m.HCHP, "012345678");
  EXPECT_EQ(b.text(F::Edit_index1), "12345,678 kWh");
  EXPECT_EQ(b.text(F::Edit_index2), "1234,567 kWh");
  EXPECT_EQ(b.text(F::Edit_ptec), "Heures Pleines");
  EXPECT_EQ(b.measure(MeasureKind::PTEC, 1), 1);
  EXPECT_FALSE(b.window[LedId::rmLed_pilote].on);

  EXPECT_EQ(m.IINST, "12");
  EXPECT_EQ(b.text(F::Edit_i_inst1), "12 A");
  EXPECT_EQ(b.field(F::Edit_i_inst1).background, Colour::Red);
  EXPECT_EQ(b.text(F::Edit_IMAX1), "45 A");
  const Gauge& g = b.window[GaugeId::rmGauge_I1_cpt1];
  EXPECT_EQ(g.max, 45);
  EXPECT_EQ(g.zone1, 32);
  EXPECT_EQ(g.zone2, 39);
  EXPECT_EQ(g.position, 12);
  EXPECT_EQ(b.measure(MeasureKind::IINST, 1), 12);
  EXPECT_EQ(m.PAPP, "02760");
  EXPECT_EQ(b.text(F::Edit_papp1), "2760 VA");
  EXPECT_EQ(b.measure(MeasureKind::PAPP, 1), 2760);
}

TEST(HistoricHC, PeriodTableAndPilotLed) {
  Bench b;
  b.feed(hc_frame("HC.."));
  EXPECT_TRUE(b.window[LedId::rmLed_pilote].on);
  EXPECT_EQ(b.measure(MeasureKind::PTEC, 1), 0);
  EXPECT_EQ(b.text(F::Edit_ptec), "Heures Creuses");
  b.feed(hc_frame("HN.."));  // not an HC period: the LED stays as it was
  EXPECT_TRUE(b.window[LedId::rmLed_pilote].on);
  EXPECT_EQ(b.measure(MeasureKind::PTEC, 1), 2);
  b.feed(hc_frame("HP.."));
  EXPECT_FALSE(b.window[LedId::rmLed_pilote].on);
  b.feed(hc_frame("XX.."));  // unknown: stored, nothing else changes
  EXPECT_EQ(b.meters[0].PTEC, "XX..");
  EXPECT_EQ(b.text(F::Edit_ptec), "Heures Pleines");
  EXPECT_EQ(b.measure(MeasureKind::PTEC, 1), 1);
  // Without a PTEC group (or with one cut by the end of the packet) everything stays.
  b.feed(packet({hgroup("ADCO", "012345678910"), hgroup("IINST", "003")}));
  b.feed(packet({hgroup("ADCO", "012345678910"), "\nPTEC HC"}));
  EXPECT_EQ(b.meters[0].PTEC, "XX..");
  EXPECT_EQ(b.measure(MeasureKind::PTEC, 1), 1);
}

TEST(HistoricHC, InvalidGroupsChangeNothing) {
  Bench b;
  b.feed(hc_frame("HP.."));
  std::string bad = hc_frame("HP..", "020");
  bad[bad.find("IINST 020 ") + 10] = 'z';                         // bad IINST checksum
  bad.replace(bad.find("HCHP 012345678"), 14, "HCHP 01234X678");  // letter, checksum not updated
  b.feed(bad);
  EXPECT_EQ(b.text(F::Edit_i_inst1), "12 A");
  EXPECT_EQ(b.meters[0].HCHP, "012345678");
  // A letter in an index with a checksum that holds is still refused.
  b.feed(packet({hgroup("ADCO", "012345678910"), hgroup("HCHP", "01234X678")}));
  EXPECT_EQ(b.meters[0].HCHP, "012345678");
  EXPECT_EQ(b.text(F::Edit_index1), "12345,678 kWh");
}

TEST(HistoricBase, IndexAndOptionDisplay) {
  Bench b;
  b.feed(packet({hgroup("ADCO", "012345678910"), hgroup("OPTARIF", "BASE"), hgroup("ISOUSC", "30"),
                 hgroup("BASE", "000000005"), hgroup("PTEC", "TH.."), hgroup("IINST", "005"),
                 hgroup("IMAX", "090"), hgroup("PAPP", "01150")}));
  EXPECT_EQ(b.meters[0].tariff_kind, TariffKind::BASE);
  EXPECT_EQ(b.text(F::Edit_optarif), "Option Base");
  EXPECT_EQ(b.text(F::Label_index1), "Index Base");
  EXPECT_FALSE(b.field(F::Label_index2).enabled);
  EXPECT_EQ(b.field(F::Edit_index2).background, Colour::Gray);
  EXPECT_EQ(b.text(F::Edit_index1), "0,005 kWh");
  EXPECT_EQ(b.text(F::Edit_ptec), "Toutes les Heures");
  EXPECT_EQ(b.measure(MeasureKind::PTEC, 1), 10);
  EXPECT_EQ(b.text(F::Edit_i_inst1), "5 A");
  EXPECT_EQ(b.text(F::Edit_IMAX1), "90 A");
  // ISOUSC 30: limits 21 and 26; the single-phase gauges 2 and 3 keep their scale.
  EXPECT_EQ(b.window[GaugeId::rmGauge_I1_cpt1].zone1, 21);
  EXPECT_EQ(b.window[GaugeId::rmGauge_I1_cpt1].zone2, 26);
  EXPECT_EQ(b.window[GaugeId::rmGauge_I2_cpt1].max, 100);
}

TEST(HistoricEjp, NoticeFollowsPejp) {
  Bench b(2);
  auto frame = [](bool notice) {
    std::vector<std::string> g = {hgroup("ADCO", "012345678910"), hgroup("OPTARIF", "EJP."),
                                  hgroup("ISOUSC", "30"),         hgroup("EJPHN", "000111222"),
                                  hgroup("EJPHPM", "000003333"),  hgroup("PTEC", "PM..")};
    if (notice) g.push_back(hgroup("PEJP", "30"));
    g.push_back(hgroup("IINST", "001"));
    g.push_back(hgroup("PAPP", "00230"));
    return packet(g);
  };
  b.feed(frame(true));
  EXPECT_EQ(b.meters[1].tariff_kind, TariffKind::EJP);
  EXPECT_EQ(b.text(F::Edit_optarif_cpt2), "Option EJP");
  EXPECT_EQ(b.text(F::Label_index11), "EJP Heures normales");
  EXPECT_EQ(b.text(F::Label_index12), "EJP Heures pointe mobile");
  EXPECT_EQ(b.text(F::Label_couleur_demain_cpt2), w("Préavis EJP 30mn"));
  EXPECT_TRUE(b.field(F::Label_couleur_demain_cpt2).enabled);
  EXPECT_EQ(b.text(F::Edit_index11), "111,222 kWh");
  EXPECT_EQ(b.text(F::Edit_index12), "3,333 kWh");
  EXPECT_EQ(b.text(F::Edit_ptec_cpt2), "Heures de Pointe Mobile");
  EXPECT_TRUE(b.window[LedId::rmLed3].on);
  EXPECT_EQ(b.measure(MeasureKind::PEJP, 2), 1);
  EXPECT_EQ(b.measure(MeasureKind::PEJP, 1), 0);
  b.feed(frame(false));
  EXPECT_FALSE(b.window[LedId::rmLed3].on);
  EXPECT_EQ(b.measure(MeasureKind::PEJP, 2), 0);
  // Meter 1's fields were never touched.
  EXPECT_EQ(b.text(F::Edit_optarif), "");
}

TEST(HistoricTempo, IndexesAndTomorrowColour) {
  Bench b;
  auto frame = [](std::string_view demain) {
    return packet({hgroup("ADCO", "012345678910"), hgroup("OPTARIF", "BBR("), hgroup("ISOUSC", "45"),
                   hgroup("BBRHCJB", "000000001"), hgroup("BBRHPJB", "000000002"),
                   hgroup("BBRHCJW", "000000003"), hgroup("BBRHPJW", "000000004"),
                   hgroup("BBRHCJR", "000000005"), hgroup("BBRHPJR", "000001006"), hgroup("PTEC", "HPJR"),
                   hgroup("DEMAIN", demain), hgroup("IINST", "002"), hgroup("IMAX", "060"),
                   hgroup("PAPP", "00500")});
  };
  b.feed(frame("ROUG"));
  EXPECT_EQ(b.meters[0].tariff_kind, TariffKind::TEMPO);
  EXPECT_EQ(b.text(F::Edit_optarif), "Option Tempo");
  EXPECT_EQ(b.text(F::Label_index6), "Heures pleines jours rouges");
  EXPECT_TRUE(b.field(F::Label_index6).enabled);
  EXPECT_EQ(b.field(F::Edit_index6).background, Colour::Black);
  EXPECT_TRUE(b.field(F::Label_couleur_demain).enabled);
  EXPECT_EQ(b.text(F::Edit_index1), "0,001 kWh");
  EXPECT_EQ(b.text(F::Edit_index6), "1,006 kWh");
  EXPECT_EQ(b.meters[0].BBRHPJR, "000001006");
  EXPECT_EQ(b.text(F::Edit_ptec), "Heures Pleines Jours Rouges");
  EXPECT_EQ(b.measure(MeasureKind::PTEC, 1), 9);
  EXPECT_EQ(b.window[LedId::rmLed2].off_colour, Colour::Red);
  EXPECT_FALSE(b.window[LedId::rmLed2].on);
  EXPECT_EQ(b.meters[0].DEMAIN, "Rouge");
  EXPECT_EQ(b.measure(MeasureKind::DEMAIN, 1), 2);
  b.feed(frame("BLEU"));
  EXPECT_EQ(b.window[LedId::rmLed2].off_colour, Colour::Blue);
  EXPECT_EQ(b.measure(MeasureKind::DEMAIN, 1), 0);
  b.feed(frame("BLAN"));
  EXPECT_EQ(b.meters[0].DEMAIN, "Blanc");
  b.feed(frame("----"));
  EXPECT_EQ(b.window[LedId::rmLed2].off_colour, Colour::Gray);
  EXPECT_EQ(b.meters[0].DEMAIN, "");
  EXPECT_EQ(b.measure(MeasureKind::DEMAIN, 1), 3);
}

TEST(HistoricOption, UnknownPrefixIdentifiesWithoutIndexes) {
  Bench b;
  b.feed(packet({hgroup("ADCO", "012345678910"), hgroup("OPTARIF", "ZZZZ"), hgroup("BASE", "000000009"),
                 hgroup("PTEC", "TH.."), hgroup("IINST", "004"), hgroup("PAPP", "00920")}));
  EXPECT_TRUE(b.meters[0].identified);
  EXPECT_EQ(b.meters[0].tariff_kind, TariffKind::HC);  // unchanged from the start
  EXPECT_EQ(b.text(F::Edit_optarif), "");
  EXPECT_EQ(b.meters[0].BASE, "");
  EXPECT_EQ(b.text(F::Edit_ptec), "Toutes les Heures");
  EXPECT_EQ(b.text(F::Edit_papp1), "920 VA");
}

TEST(HistoricThreePhase, PhasesMaximaAndComputedPower) {
  Bench b;
  b.settings.prg.MODE_MONO_TRI = 1;
  b.start_reading(1);
  EXPECT_EQ(b.meters[0].phase_mode, PhaseMode::TRI);
  b.feed(packet({hgroup("ADCO", "012345678910"), hgroup("OPTARIF", "BASE"), hgroup("ISOUSC", "20"),
                 hgroup("BASE", "010151175"), hgroup("PTEC", "TH.."), hgroup("IINST1", "004"),
                 hgroup("IINST2", "000"), hgroup("IINST3", "002"), hgroup("IMAX1", "060"),
                 hgroup("IMAX2", "061"), hgroup("IMAX3", "062"), hgroup("PMAX", "02680")}));
  const MeterSlot& m = b.meters[0];
  EXPECT_EQ(m.IINST1, "4");
  EXPECT_EQ(m.IINST2, "0");
  EXPECT_EQ(b.text(F::Edit_i_inst3), "2 A");
  EXPECT_EQ(b.text(F::Edit_IMAX2), "61 A");
  EXPECT_EQ(b.window[GaugeId::rmGauge_I3_cpt1].max, 20);
  EXPECT_EQ(b.window[GaugeId::rmGauge_I3_cpt1].position, 2);
  EXPECT_EQ(b.measure(MeasureKind::IINST1, 1), 4);
  EXPECT_EQ(b.measure(MeasureKind::IINST3, 1), 2);
  EXPECT_EQ(m.PAPP, "1380");
  EXPECT_EQ(b.text(F::Edit_papp1), w("1380 (valeur calculée)"));
  EXPECT_EQ(b.measure(MeasureKind::PAPP, 1), 1380);
  EXPECT_EQ(b.graphs.graph[0].last_sample, "4;0;2;");
  EXPECT_EQ(b.graphs.graph[0].traces, 3);
}

TEST(HistoricThreePhase, PhaseNeverReceivedCountsAsZero) {
  Bench b;
  b.settings.prg.MODE_MONO_TRI = 1;
  b.start_reading(1);
  b.window[GaugeId::rmGauge_I2_cpt1].position = 7;
  b.feed(packet({hgroup("ADCO", "012345678910"), hgroup("OPTARIF", "BASE"), hgroup("IINST1", "010"),
                 hgroup("IINST3", "005"), hgroup("PAPP", "03450")}));
  EXPECT_EQ(b.meters[0].IINST2, "");
  EXPECT_EQ(b.measure(MeasureKind::IINST2, 1), 0);
  EXPECT_EQ(b.window[GaugeId::rmGauge_I2_cpt1].position, 7);  // untouched
  EXPECT_EQ(b.window[GaugeId::rmGauge_I1_cpt1].position, 10);
  EXPECT_EQ(b.graphs.graph[0].last_sample, "10;;5;");
  EXPECT_EQ(b.text(F::Edit_papp1), "3450 VA");  // the rest of the frame is decoded
}

TEST(HistoricMeter2, PowerZeroWhenNeverSent) {
  Bench b(2);
  b.feed(packet({hgroup("ADCO", "012345678910"), hgroup("OPTARIF", "BASE"), hgroup("BASE", "000000100")}));
  // No PAPP: computed from the (absent) current, so 0.
  EXPECT_EQ(b.meters[1].PAPP, "0");
  std::string bad = packet({hgroup("ADCO", "012345678910"), hgroup("PAPP", "00500")});
  bad.back() = 'z';
  Bench c(2);
  c.feed(packet({hgroup("ADCO", "012345678910"), hgroup("OPTARIF", "BASE")}));
  c.meters[1].PAPP.clear();
  c.feed(bad);
  EXPECT_EQ(c.meters[1].PAPP, "0");
  EXPECT_EQ(c.text(F::Edit_papp2), "0 VA");
}

}  // namespace
}  // namespace vireluz::testing
