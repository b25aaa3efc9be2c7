// The real captures of public TIC projects.
#include <gtest/gtest.h>

#include "support/tic_builder.h"

namespace vireluz::testing {
namespace {

using F = FieldId;

TEST(Captures, StandardSinglePhaseConsumer) {
  for (const char* name : {"continuous_linky_1P_standard_TIC_sample.bin", "linky_1P_midnight.bin"}) {
    SCOPED_TRACE(name);
    Bench b(1, 1);
    const auto frames = split_frames(read_capture(name));
    ASSERT_EQ(frames.size(), 12u);
    for (const auto& p : frames) b.feed(p);
    const MeterSlot& m = b.meters[0];
    EXPECT_EQ(b.counters.PacketCount, 12);
    EXPECT_EQ(m.frame_count, 11);
    EXPECT_EQ(m.ADCO, "064468368739");
    EXPECT_EQ(m.VTIC, 2);
    EXPECT_EQ(m.tariff_kind, TariffKind::BASE);
    EXPECT_EQ(m.ISOUSC, "4");
    EXPECT_EQ(b.text(F::Edit_optarif), "BASE");
    EXPECT_EQ(b.text(F::Edit_ptec), "BASE");
    EXPECT_EQ(m.BASE.substr(0, 6), "11887,");
    EXPECT_EQ(b.text(F::Edit_index1).substr(0, 6), "11887,");
    EXPECT_EQ(b.text(F::Edit_index2), "0,000 kWh");
    EXPECT_FALSE(m.PAPP.empty());
    EXPECT_EQ(b.measure(MeasureKind::PAPP, 1), std::stoi(m.PAPP));
    EXPECT_EQ(m.IINST, "1");
    EXPECT_FALSE(m.URMS1.empty());
    EXPECT_EQ(b.field(F::Edit_injection1).background, Colour::Gray);  // no EAIT
    EXPECT_EQ(b.graphs.graph[0].count, 11);
    EXPECT_TRUE(b.messages.no_tic.empty());
  }
}

TEST(Captures, StandardProducerLineLog) {
  // A line log: STX CR LF, every group followed by CR LF, ETX. Each span
  // between STX and ETX is one packet; the groups start after their LF as in a
  // real frame, so nothing needs rewriting.
  Bench b(2, 0);
  const auto frames = split_frames(read_capture("teleinfo2mqtt-standard.frames.log"));
  ASSERT_EQ(frames.size(), 9u);
  for (const auto& p : frames) b.feed(p);
  const MeterSlot& m = b.meters[1];
  EXPECT_EQ(b.counters.PacketCount, 9);
  EXPECT_EQ(m.ADCO, "031764953443");
  EXPECT_EQ(m.tariff_kind, TariffKind::HC);
  EXPECT_EQ(b.text(F::Edit_optarif_cpt2), "H PLEINE/CREUSE");
  EXPECT_EQ(m.ISOUSC, "12");
  EXPECT_EQ(m.EAIT, "003626876");
  EXPECT_EQ(b.text(F::Edit_injection2), "3626,876 kWh");
  EXPECT_EQ(b.field(F::Edit_injection2).background, Colour::Black);
  EXPECT_EQ(b.text(F::Edit_index11), "41733,418 kWh");
  EXPECT_EQ(b.text(F::Edit_index12), "38756,832 kWh");
  EXPECT_EQ(m.HCHC, "38756,832");
  EXPECT_EQ(m.PAPP, "00000");
  EXPECT_EQ(b.text(F::Edit_papp2), "0 VA");
  EXPECT_EQ(b.text(F::Edit_ptec_cpt2), "HEURE  PLEINE");
  EXPECT_EQ(m.URMS1.size(), 3u);
  // One frame has lost its ADSC group (so it is no standard frame) and one
  // carries a garbled IRMS1: 7 current samples out of 9 frames.
  EXPECT_EQ(b.graphs.graph[1].count, 7);

  // The same meter declared a producer: the injected power comes from SINSTI.
  Bench p(2, 0);
  for (const auto& f : frames) {
    std::string g = f;
    const std::string from = sgroup("NGTF", "H PLEINE/CREUSE ");
    const auto at = g.find(from);
    if (at != std::string::npos) g.replace(at, from.size(), sgroup("NGTF", "PRODUCTEUR"));
    p.feed(g);
  }
  EXPECT_EQ(p.meters[1].tariff_kind, TariffKind::PROD);
  EXPECT_EQ(p.meters[1].PAPP, "1486");  // last SINSTI 01486, written back without its zero
  EXPECT_EQ(p.measure(MeasureKind::PAPP, 2), 1486);
}

TEST(Captures, HistoricThreePhaseWithCrLfFraming) {
  Bench b(1, 1);
  b.settings.prg.MODE_MONO_TRI = 1;
  b.start_reading(1, 1);
  const auto frames = split_frames(read_capture("continuous_linky_3P_historical_TIC_sample.bin"));
  ASSERT_GE(frames.size(), 6u);
  for (const auto& p : frames) b.feed(p);
  const MeterSlot& m = b.meters[0];
  EXPECT_EQ(m.ADCO, "056234673197");
  EXPECT_EQ(m.tariff_kind, TariffKind::BASE);
  EXPECT_EQ(m.ISOUSC, "20");
  EXPECT_EQ(m.BASE, "010151184");  // its checksum is a space, and valid
  EXPECT_EQ(b.text(F::Edit_index1), "10151,184 kWh");
  EXPECT_EQ(m.IINST2, "2");
  EXPECT_EQ(b.text(F::Edit_IMAX1), "60 A");
  EXPECT_EQ(m.PAPP, "00750");
  EXPECT_EQ(b.text(F::Edit_ptec), "Toutes les Heures");
  EXPECT_EQ(b.graphs.graph[0].last_sample, "0;2;0;");
}

TEST(Captures, HistoricSinglePhaseBase) {
  Bench b(1, 0);
  const auto frames = split_frames(read_capture("linkytic-historic.bin"));
  ASSERT_EQ(frames.size(), 1u);
  b.feed(frames[0]);
  EXPECT_EQ(b.meters[0].ADCO, "012345678910");
  EXPECT_EQ(b.text(F::Edit_index1), "123456,789 kWh");
  EXPECT_EQ(b.text(F::Edit_i_inst1), "11 A");
  EXPECT_EQ(b.text(F::Edit_IMAX1), "90 A");
  EXPECT_EQ(b.text(F::Edit_papp1), "2390 VA");
  EXPECT_EQ(b.text(F::Edit_ISOUSC), "30 A");
}

TEST(Captures, StandardLowerCaseCalendarIsUnlisted) {
  Bench b(1, 0);
  for (const auto& p : split_frames(read_capture("linkytic-standard.bin"))) b.feed(p);
  EXPECT_EQ(b.meters[0].tariff_kind, TariffKind::NONE);
  EXPECT_EQ(b.text(F::Edit_optarif), "base");
  EXPECT_EQ(b.text(F::Label_index1), "BASE");  // LTARF names the caption of period 0
  EXPECT_EQ(b.text(F::Edit_index1), "3519,702 kWh");
}

TEST(Captures, StreamsWithoutFrameEndsFedAsPackets) {
  // Captures whose CR and ETX were lost: no framer cuts them, but even fed as
  // raw 2048-byte packets they must decode what they can and nothing more.
  for (const char* name : {"continuous_linky_3P_historical_TIC_2024_sample.bin",
                           "continuous_linky_3P_historical_TIC_with_rx_errors.bin"}) {
    Bench b(1, 0);
    const std::string bytes = read_capture(name);
    std::size_t n = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 2048, ++n) b.feed(std::string_view(bytes).substr(i, 2048));
    EXPECT_EQ(b.counters.PacketCount, static_cast<int>(n));
  }
}

}  // namespace
}  // namespace vireluz::testing
