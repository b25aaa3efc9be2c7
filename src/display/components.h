#pragma once
// The components of the main window that the program's rules change, named as
// the widgets are (each Qt widget carries the same objectName). A static table:
// nothing is looked up by name while frames are decoded.
#include <array>
#include <cstdint>
#include <string_view>

namespace vireluz {

// Text components: value boxes, captions, group boxes, buttons, panels.
#define VIRELUZ_FIELDS(X)                                                                        \
  /* meter 1 */                                                                                  \
  X(GroupBox_cpt1) X(Edit_ADCO1) X(Label_ADCO) X(Edit_ISOUSC) X(Label_isousc) X(Edit_optarif)    \
  X(Label_type_abonnement) X(Edit_ptec) X(Label_ptec)                                            \
  X(Edit_index1) X(Edit_index2) X(Edit_index3) X(Edit_index4) X(Edit_index5) X(Edit_index6)      \
  X(Label_index1) X(Label_index2) X(Label_index3) X(Label_index4) X(Label_index5) X(Label_index6)\
  X(Edit_i_inst1) X(Edit_i_inst2) X(Edit_i_inst3) X(Label_i_inst1) X(Label_i_inst2) X(Label_i_inst3) \
  X(Edit_IMAX1) X(Edit_IMAX2) X(Edit_IMAX3) X(Label_imax1) X(Label_imax2) X(Label_imax3)         \
  X(Edit_papp1) X(Label_PA1) X(Label_sortie_pilote) X(Label_couleur_demain)                      \
  X(Edit_injection1) X(Label_injection1) X(Label_cpt1_jaune) X(Edit_saison1) X(Labelsaison_encours) \
  /* meter 2 */                                                                                  \
  X(GroupBox_cpt2) X(Edit_ADCO2) X(Label_adco_cpt2) X(Edit_ISOUSC2) X(Label_isousc2)             \
  X(Edit_optarif_cpt2) X(Label15) X(Edit_ptec_cpt2) X(Label14)                                   \
  X(Edit_index11) X(Edit_index12) X(Edit_index13) X(Edit_index14) X(Edit_index15) X(Edit_index16) \
  X(Label_index11) X(Label_index12) X(Label_index13) X(Label_index14) X(Label_index15) X(Label_index16) \
  X(Edit_i_inst1_cpt2) X(Edit_i_inst2_cpt2) X(Edit_i_inst3_cpt2)                                 \
  X(Label_i_inst1_cpt2) X(Label_i_inst2_cpt2) X(Label_i_inst3_cpt2)                              \
  X(Edit_IMAX1_cpt2) X(Edit_IMAX2_cpt2) X(Edit_IMAX3_cpt2)                                       \
  X(Label_imax1_cpt2) X(Label_imax2_cpt2) X(Label_imax3_cpt2)                                    \
  X(Edit_papp2) X(Label_PA2) X(Label_sortie_pilote_cpt2) X(Label_couleur_demain_cpt2)            \
  X(Edit_injection2) X(Label_injection2) X(Label_cpt2_jaune) X(Edit_saison1_cpt2)                \
  X(Labelsaison_encours_cpt2)                                                                    \
  /* common to both meters and the shell */                                                      \
  X(Panel1) X(Label_type_interface) X(Label_com) X(Button_lecture) X(Button_scan)                \
  X(Label_trame_recue) X(Button1) X(Button_graphes)                                              \
  X(Panel_demauto) X(Label_demauto1) X(Label_demauto2) X(Label_demauto3)

#define VIRELUZ_LEDS(X) \
  X(rmLed_pilote) X(rmLed2) X(rmLed_pilote_cpt2) X(rmLed3) X(rmLed_Led_verte) X(rmLed_Led_jaune) X(rmLed_Led_bleu)

#define VIRELUZ_GAUGES(X) \
  X(rmGauge_I1_cpt1) X(rmGauge_I2_cpt1) X(rmGauge_I3_cpt1) X(rmGauge_I1_cpt2) X(rmGauge_I2_cpt2) X(rmGauge_I3_cpt2)

#define VIRELUZ_ENUM_ITEM(n) n,
enum class FieldId : std::uint16_t { VIRELUZ_FIELDS(VIRELUZ_ENUM_ITEM) Count };
enum class LedId : std::uint8_t { VIRELUZ_LEDS(VIRELUZ_ENUM_ITEM) Count };
enum class GaugeId : std::uint8_t { VIRELUZ_GAUGES(VIRELUZ_ENUM_ITEM) Count };
#undef VIRELUZ_ENUM_ITEM

inline constexpr std::size_t kFieldCount = static_cast<std::size_t>(FieldId::Count);
inline constexpr std::size_t kLedCount = static_cast<std::size_t>(LedId::Count);
inline constexpr std::size_t kGaugeCount = static_cast<std::size_t>(GaugeId::Count);

std::string_view field_name(FieldId id);
std::string_view led_name(LedId id);
std::string_view gauge_name(GaugeId id);

// The components of one meter's group box, so that the decoder addresses
// "index box n of the selected meter" without branching on the meter.
struct MeterComponents {
  FieldId group_box;
  FieldId adco, label_adco;
  FieldId isousc, label_isousc;
  FieldId optarif, label_optarif;
  FieldId ptec, label_ptec;
  std::array<FieldId, 6> index, label_index;
  std::array<FieldId, 3> i_inst, label_i_inst;
  std::array<FieldId, 3> imax, label_imax;
  FieldId papp, label_pa;
  FieldId label_pilote, label_couleur;
  FieldId injection, label_injection;
  FieldId label_jaune;
  FieldId saison, label_saison;
  LedId led_pilote, led_couleur;
  std::array<GaugeId, 3> gauge;
};

// kMeter[0] is meter 1, kMeter[1] meter 2.
extern const std::array<MeterComponents, 2> kMeter;

}  // namespace vireluz
