#include "display/components.h"

namespace vireluz {
namespace {

#define VIRELUZ_NAME_ITEM(n) #n,
constexpr std::array<std::string_view, kFieldCount> kFieldNames = {VIRELUZ_FIELDS(VIRELUZ_NAME_ITEM)};
constexpr std::array<std::string_view, kLedCount> kLedNames = {VIRELUZ_LEDS(VIRELUZ_NAME_ITEM)};
constexpr std::array<std::string_view, kGaugeCount> kGaugeNames = {VIRELUZ_GAUGES(VIRELUZ_NAME_ITEM)};
#undef VIRELUZ_NAME_ITEM

}  // namespace

std::string_view field_name(FieldId id) { return kFieldNames[static_cast<std::size_t>(id)]; }
std::string_view led_name(LedId id) { return kLedNames[static_cast<std::size_t>(id)]; }
std::string_view gauge_name(GaugeId id) { return kGaugeNames[static_cast<std::size_t>(id)]; }

using F = FieldId;
const std::array<MeterComponents, 2> kMeter = {{
    {F::GroupBox_cpt1, F::Edit_ADCO1, F::Label_ADCO, F::Edit_ISOUSC, F::Label_isousc, F::Edit_optarif,
     F::Label_type_abonnement, F::Edit_ptec, F::Label_ptec,
     {F::Edit_index1, F::Edit_index2, F::Edit_index3, F::Edit_index4, F::Edit_index5, F::Edit_index6},
     {F::Label_index1, F::Label_index2, F::Label_index3, F::Label_index4, F::Label_index5, F::Label_index6},
     {F::Edit_i_inst1, F::Edit_i_inst2, F::Edit_i_inst3},
     {F::Label_i_inst1, F::Label_i_inst2, F::Label_i_inst3},
     {F::Edit_IMAX1, F::Edit_IMAX2, F::Edit_IMAX3},
     {F::Label_imax1, F::Label_imax2, F::Label_imax3},
     F::Edit_papp1, F::Label_PA1, F::Label_sortie_pilote, F::Label_couleur_demain,
     F::Edit_injection1, F::Label_injection1, F::Label_cpt1_jaune, F::Edit_saison1,
     F::Labelsaison_encours, LedId::rmLed_pilote, LedId::rmLed2,
     {GaugeId::rmGauge_I1_cpt1, GaugeId::rmGauge_I2_cpt1, GaugeId::rmGauge_I3_cpt1}},
    {F::GroupBox_cpt2, F::Edit_ADCO2, F::Label_adco_cpt2, F::Edit_ISOUSC2, F::Label_isousc2,
     F::Edit_optarif_cpt2, F::Label15, F::Edit_ptec_cpt2, F::Label14,
     {F::Edit_index11, F::Edit_index12, F::Edit_index13, F::Edit_index14, F::Edit_index15, F::Edit_index16},
     {F::Label_index11, F::Label_index12, F::Label_index13, F::Label_index14, F::Label_index15,
      F::Label_index16},
     {F::Edit_i_inst1_cpt2, F::Edit_i_inst2_cpt2, F::Edit_i_inst3_cpt2},
     {F::Label_i_inst1_cpt2, F::Label_i_inst2_cpt2, F::Label_i_inst3_cpt2},
     {F::Edit_IMAX1_cpt2, F::Edit_IMAX2_cpt2, F::Edit_IMAX3_cpt2},
     {F::Label_imax1_cpt2, F::Label_imax2_cpt2, F::Label_imax3_cpt2},
     F::Edit_papp2, F::Label_PA2, F::Label_sortie_pilote_cpt2, F::Label_couleur_demain_cpt2,
     F::Edit_injection2, F::Label_injection2, F::Label_cpt2_jaune, F::Edit_saison1_cpt2,
     F::Labelsaison_encours_cpt2, LedId::rmLed_pilote_cpt2, LedId::rmLed3,
     {GaugeId::rmGauge_I1_cpt2, GaugeId::rmGauge_I2_cpt2, GaugeId::rmGauge_I3_cpt2}},
}};

}  // namespace vireluz
