// Standard-mode frames written by hand.
#include <gtest/gtest.h>

#include "support/tic_builder.h"

namespace vireluz::testing {
namespace {

using F = FieldId;

std::vector<std::string> standard_groups(std::string_view ngtf, std::string_view vtic = "02") {
  return {sgroup("ADSC", "064468368739"),
          sgroup("VTIC", vtic),
          sgroup_dated("DATE", "H230301091834", ""),
          sgroup("NGTF", ngtf),
          sgroup("LTARF", "      BASE      "),
          sgroup("EASF01", "000012345"),
          sgroup("EASF02", "012345678"),
          sgroup("IRMS1", "007"),
          sgroup("URMS1", "231"),
          sgroup("PREF", "09"),
          sgroup("SINSTS", "01610"),
          sgroup("SINSTS1", "09999"),
          sgroup_dated("SMAXSN", "H230301065253", "01024"),
          sgroup("STGE", "003A0001"),
          sgroup("PJOURF+1", "00008001 NONUTILE NONUTILE")};
}

TEST(StandardBase, IdentificationAndValues) {
  Bench b;
  b.feed(packet(standard_groups("      BASE      ")));
  const MeterSlot& m = b.meters[0];
  EXPECT_EQ(m.ADCO, "064468368739");
  EXPECT_EQ(m.VTIC, 2);
  EXPECT_EQ(m.tariff_kind, TariffKind::BASE);
  EXPECT_EQ(m.OPTARIF, "BASE");
  EXPECT_TRUE(m.identified);
  EXPECT_EQ(b.text(F::Edit_optarif), "BASE");
  EXPECT_EQ(b.text(F::Label_index1), "Index Base");
  EXPECT_EQ(b.text(F::Label_isousc), "kVA souscrit");
  EXPECT_EQ(b.text(F::Edit_ISOUSC), "9");
  EXPECT_EQ(m.ISOUSC, "9");
  EXPECT_EQ(b.text(F::Label_imax1), "U RMS");
  EXPECT_FALSE(b.field(F::Label_imax2).enabled);
  EXPECT_EQ(b.field(F::Edit_IMAX3).background, Colour::Gray);

  EXPECT_EQ(b.text(F::Edit_index1), "12,345 kWh");
  EXPECT_EQ(m.BASE, "12,345");
  EXPECT_EQ(m.HCHP, "12,345");
  EXPECT_EQ(m.BBRHCJB, "12,345");
  EXPECT_EQ(m.HCHC, "12345,678");
  EXPECT_EQ(m.EJPHPM, "12345,678");
  EXPECT_EQ(b.text(F::Edit_ptec), "BASE");
  // SINSTS, not the SINSTS1 that follows it nor anything inside a dated group.
  EXPECT_EQ(m.PAPP, "01610");
  EXPECT_EQ(b.text(F::Edit_papp1), "1610 VA");
  EXPECT_EQ(b.measure(MeasureKind::PAPP, 1), 1610);
  EXPECT_EQ(m.URMS1, "231");
  EXPECT_EQ(b.text(F::Edit_IMAX1), "231 V");
  EXPECT_EQ(m.IINST, "7");
  EXPECT_EQ(b.text(F::Edit_i_inst1), "7 A");
  EXPECT_EQ(b.measure(MeasureKind::IINST, 1), 7);
  // A consumer meter has no EAIT: the injection box is greyed.
  EXPECT_FALSE(b.field(F::Label_injection1).enabled);
  EXPECT_EQ(b.field(F::Edit_injection1).background, Colour::Gray);
}

TEST(StandardBase, DecimalSeparatorAndGaugeInAmperes) {
  Bench b;
  b.decoder.set_decimal_separator('.');
  b.feed(packet(standard_groups("BASE")));
  EXPECT_EQ(b.text(F::Edit_index2), "12345.678 kWh");
  // 9 kVA at 230 V: 39.1 A, rounded up; limits at 70 % and 85 %.
  const Gauge& g = b.window[GaugeId::rmGauge_I1_cpt1];
  EXPECT_EQ(g.max, 40);
  EXPECT_EQ(g.zone1, 28);
  EXPECT_EQ(g.zone2, 34);
  EXPECT_EQ(g.position, 7);
  EXPECT_EQ(b.graphs.graph[0].top, 40);
  EXPECT_EQ(b.graphs.graph[0].slider_max, 40);
  EXPECT_EQ(b.graphs.graph[0].unit, "A");
}

TEST(StandardBase, ThreePhaseScaleIsPerPhase) {
  Bench b;
  b.settings.prg.MODE_MONO_TRI = 1;
  b.start_reading(1);
  auto g = standard_groups("BASE");
  g.push_back(sgroup("IRMS2", "012"));
  g.push_back(sgroup("IRMS3", "003"));
  b.feed(packet(g));
  EXPECT_EQ(b.window[GaugeId::rmGauge_I2_cpt1].max, 14);  // 9000 VA / 690 V, rounded up
  EXPECT_EQ(b.meters[0].IINST2, "12");
  EXPECT_EQ(b.graphs.graph[0].last_sample, "7;12;3;");
  EXPECT_EQ(b.measure(MeasureKind::IINST3, 1), 3);
}

TEST(StandardUnlisted, LtarfNamesTheCaptionOfTheCurrentPeriod) {
  Bench b;
  auto g = standard_groups("CALENDRIER X");
  g[4] = sgroup("LTARF", " HEURE  PLEINE  ");
  g[13] = sgroup("STGE", "003AC701");  // bits 10-13: period 1
  b.feed(packet(g));
  b.feed(packet(g));  // after the identification frames, NGTF no longer empties the captions
  EXPECT_EQ(b.meters[0].tariff_kind, TariffKind::NONE);
  EXPECT_EQ(b.text(F::Edit_optarif), "CALENDRIER X");
  EXPECT_EQ(b.text(F::Label_index1), "");
  EXPECT_EQ(b.text(F::Label_index2), "HEURE  PLEINE");
  EXPECT_EQ(b.text(F::Edit_ptec), "HEURE  PLEINE");
  EXPECT_EQ(b.field(F::Edit_index6).background, Colour::Black);
  // Period 7 names no caption; a bad STGE counts as period 0.
  g[13] = sgroup("STGE", "00001C00");
  g[4] = sgroup("LTARF", "P7");
  b.feed(packet(g));
  EXPECT_EQ(b.text(F::Label_index2), "HEURE  PLEINE");
  g[13] = sgroup("STGE", "ZZZZZZZZ");
  g[4] = sgroup("LTARF", "P0");
  b.feed(packet(g));
  EXPECT_EQ(b.text(F::Label_index1), "P0");
}

TEST(StandardProducer, InjectedPowerAndEnergy) {
  Bench b(2);
  auto g = standard_groups("PRODUCTEUR");
  g.push_back(sgroup("EAIT", "003626872"));
  g.push_back(sgroup("SINSTI", "01675"));
  b.feed(packet(g));
  const MeterSlot& m = b.meters[1];
  EXPECT_EQ(m.tariff_kind, TariffKind::PROD);
  EXPECT_EQ(b.text(F::Label_PA2), w("Puissance App Injectée"));
  EXPECT_EQ(b.text(F::Label_index11), "Index de NON consommation");
  EXPECT_EQ(b.field(F::Edit_index12).background, Colour::Gray);
  EXPECT_EQ(m.PAPP, "1675");
  EXPECT_EQ(b.text(F::Edit_papp2), "1675 VA");
  EXPECT_EQ(b.measure(MeasureKind::PAPP, 2), 1675);
  EXPECT_EQ(m.EAIT, "003626872");
  EXPECT_EQ(b.text(F::Edit_injection2), "3626,872 kWh");
  EXPECT_TRUE(b.field(F::Label_injection2).enabled);
  // A corrupted EAIT greys the box and keeps the last value.
  auto bad = g;
  bad[bad.size() - 2] = sgroup("EAIT", "0036X6872");
  b.feed(packet(bad));
  EXPECT_EQ(b.field(F::Edit_injection2).background, Colour::Gray);
  EXPECT_FALSE(b.field(F::Label_injection2).enabled);
  EXPECT_EQ(m.EAIT, "003626872");
  // The next good one brings the box back.
  b.feed(packet(g));
  EXPECT_EQ(b.field(F::Edit_injection2).background, Colour::Black);
}

TEST(StandardVersion, VticSelectsListAndPowerLabel) {
  Bench b;
  auto g = standard_groups("HC.", "01");
  g.push_back(sgroup("SINST1", "00321"));
  b.feed(packet(g));
  EXPECT_EQ(b.meters[0].tariff_kind, TariffKind::HC);
  EXPECT_EQ(b.text(F::Edit_optarif), "HC.");
  EXPECT_EQ(b.meters[0].PAPP, "00321");
  // VTIC 5: no list, no power label.
  Bench c;
  c.meters[0].tariff_kind = TariffKind::TEMPO;
  c.feed(packet(standard_groups("BASE", "05")));
  EXPECT_EQ(c.meters[0].tariff_kind, TariffKind::TEMPO);
  EXPECT_TRUE(c.meters[0].identified);
  EXPECT_EQ(c.meters[0].PAPP, "");
  EXPECT_EQ(c.text(F::Label_index1), "Heures creuses jours bleus");
}

TEST(StandardRobustness, NonNumbersWithValidChecksumsAreIgnored) {
  Bench b;
  b.feed(packet(standard_groups("BASE")));
  auto g = standard_groups("BASE");
  g[5] = sgroup("EASF01", "00001234A");
  g[7] = sgroup("IRMS1", "0x7");
  g[10] = sgroup("SINSTS", "-1610");
  g.push_back(sgroup("EASF03", ""));
  b.feed(packet(g));
  EXPECT_EQ(b.meters[0].BASE, "12,345");
  EXPECT_EQ(b.meters[0].IINST, "7");
  EXPECT_EQ(b.meters[0].PAPP, "01610");
  EXPECT_EQ(b.text(F::Edit_index3), "");
  // PREF with letters: the subscription is not taken.
  Bench c;
  auto h = standard_groups("BASE");
  h[9] = sgroup("PREF", "0A");
  c.feed(packet(h));
  EXPECT_EQ(c.meters[0].ISOUSC, "");
  EXPECT_TRUE(c.meters[0].identified);
  EXPECT_EQ(c.text(F::Edit_index1), "12,345 kWh");
}

TEST(StandardRobustness, LastGroupWithoutItsCr) {
  Bench b;
  auto g = standard_groups("BASE");
  g.push_back(sgroup("IRMS1", "009"));  // duplicate: the first one counts
  g.push_back(sgroup("EASF06", "000000042"));
  b.feed(packet(g));  // packet() drops the final CR, as the framer does
  EXPECT_EQ(b.text(F::Edit_index6), "0,042 kWh");
  EXPECT_EQ(b.meters[0].IINST, "7");
}

}  // namespace
}  // namespace vireluz::testing
