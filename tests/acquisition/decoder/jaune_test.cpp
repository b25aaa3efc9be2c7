// Frames of yellow-tariff meters.
#include <gtest/gtest.h>

#include "support/tic_builder.h"

namespace vireluz::testing {
namespace {

using F = FieldId;

std::string jaune_frame(std::string_view code = "21", std::string_view notice = "",
                        std::string_view energ = "000123:45:6:0              ") {
  std::string value = "12:30:45:0100:" + std::string(code) + ":" + std::string(notice) + ":00000550";
  value.resize(26, ' ');
  return packet({hgroup("JAUNE", value), hgroup("ENERG", energ), hgroup("PERCC", "00")});
}

TEST(Jaune, YellowLayoutPowerAndIndexes) {
  Bench b;
  b.feed(jaune_frame());
  const MeterSlot& m = b.meters[0];
  EXPECT_EQ(m.phase_mode, PhaseMode::PAPP_ONLY);
  EXPECT_EQ(m.tariff_kind, TariffKind::JAUNE);
  EXPECT_FALSE(m.identified);
  EXPECT_EQ(b.text(F::Edit_optarif), "Tarification JAUNE");
  EXPECT_TRUE(b.field(F::Label_cpt1_jaune).visible);
  for (F id : {F::Edit_ADCO1, F::Label_ADCO, F::Edit_ISOUSC, F::Label_isousc, F::Edit_IMAX2, F::Label_imax3,
               F::Edit_i_inst1, F::Label_i_inst2})
    EXPECT_FALSE(b.field(id).visible);
  EXPECT_FALSE(b.window[GaugeId::rmGauge_I1_cpt1].visible);
  EXPECT_TRUE(b.field(F::Edit_saison1).visible);
  EXPECT_TRUE(b.field(F::Labelsaison_encours).visible);
  EXPECT_EQ(b.text(F::Label_ptec), "Poste horaire en cours");
  EXPECT_EQ(b.text(F::Edit_saison1), w("« hiver »"));
  EXPECT_EQ(b.text(F::Edit_ptec), w("« Heures Pleines »"));
  EXPECT_EQ(b.text(F::Label_couleur_demain), w("PREAVIS de dépassement"));
  EXPECT_TRUE(b.field(F::Label_couleur_demain).enabled);
  EXPECT_FALSE(b.window[LedId::rmLed2].on);

  EXPECT_EQ(m.PAPP, "00000550");
  EXPECT_EQ(b.text(F::Edit_papp1), "550 VA");
  EXPECT_EQ(b.measure(MeasureKind::PAPP, 1), 550);
  // Plotted as power even though the graphs are set to currents.
  EXPECT_EQ(b.graphs.graph[0].unit, "VA");
  EXPECT_EQ(b.graphs.graph[0].last_sample, "00000550;");
  EXPECT_EQ(m.graph_max, 550);

  EXPECT_EQ((std::array<int, 4>{b.measures.v[16], b.measures.v[17], b.measures.v[18], b.measures.v[19]}),
            (std::array<int, 4>{123, 45, 6, 0}));
  EXPECT_EQ(m.ENERG[0], "123");
  EXPECT_EQ(b.text(F::Edit_index1), "123 kWh");
  EXPECT_EQ(b.text(F::Edit_index4), "0 kWh");
  EXPECT_EQ(b.text(F::Label_index1), "H. Pleine Hiver ou Pointe Mobile(PM)");
  EXPECT_EQ(b.text(F::Label_index3), w("H. Pleines d’Eté (HPE)"));
  EXPECT_FALSE(b.field(F::Label_index5).enabled);
  EXPECT_FALSE(b.field(F::Label_index6).enabled);

  // The exceedance notice lights the LED; other codes.
  b.feed(jaune_frame("14", "DEP"));
  EXPECT_TRUE(b.window[LedId::rmLed2].on);
  EXPECT_EQ(b.text(F::Edit_saison1), w("« été »"));
  EXPECT_EQ(b.text(F::Edit_ptec), w("« Heures de Pointe Mobile »"));
  b.feed(jaune_frame("99"));
  EXPECT_EQ(b.text(F::Edit_saison1), w("« été »"));
  EXPECT_EQ(b.text(F::Edit_ptec), w("« Heures de Pointe Mobile »"));
  EXPECT_FALSE(b.window[LedId::rmLed2].on);
}

TEST(Jaune, ActiveMeterZeroWritesMeter2AndPhaseModeSticks) {
  Bench b(0);
  b.feed(jaune_frame());
  EXPECT_EQ(b.meters[1].tariff_kind, TariffKind::JAUNE);
  EXPECT_EQ(b.text(F::Edit_papp2), "550 VA");
  EXPECT_EQ(b.meters[0].tariff_kind, TariffKind::HC);
  b.decoder.apply_phase_settings();
  EXPECT_EQ(b.meters[1].phase_mode, PhaseMode::PAPP_ONLY);
}

TEST(Jaune, MalformedValuesAreIgnored) {
  Bench b;
  // Six fields only, and a power that is not a number.
  std::string six = "12:30:45:0100:21:00000550";
  six.resize(26, ' ');
  std::string letters = "12:30:45:0100:21::0000055X";
  b.feed(packet({hgroup("JAUNE", six), hgroup("ENERG", "000123:45:6               ")}));
  b.feed(packet({hgroup("JAUNE", letters), hgroup("ENERG", "000123:45:6:A              ")}));
  EXPECT_EQ(b.meters[0].tariff_kind, TariffKind::HC);
  EXPECT_EQ(b.text(F::Edit_optarif), "");
  EXPECT_EQ(b.measures.v[16], 0);
  EXPECT_EQ(b.text(F::Edit_index1), "");
  EXPECT_EQ(b.counters.PacketCount, 2);
  // A JAUNE group cut by the end of the packet.
  b.feed("\nJAUNE 12:30:45");
  EXPECT_EQ(b.counters.PacketCount, 3);
}

}  // namespace
}  // namespace vireluz::testing
