// Frames of yellow-tariff meters (they carry JAUNE): power, season, time slot,
// exceedance notice and the four energy indexes.
#include "acquisition/decoder.h"
#include "acquisition/decoder_texts.h"
#include "acquisition/tic_text.h"
#include "display/graphs.h"

namespace vireluz {

void Decoder::jaune_groups(const Routed& r) {
  MeterSlot& s = r.slot;
  const MeterComponents& c = r.c;
  const int m = r.meter;

  r.watch.filter.set_yellow();
  const GroupIndex::Fixed jaune = groups_.fixed(Label::JAUNE, 26, true);
  if (jaune.valid) {
    const FieldSplit f = split_fields(jaune.value);
    const auto power = f.count >= 7 ? parse_digits(f[6]) : std::nullopt;
    if (power && plausible(r, kJaunePowerTrack, Quantity::Power, *power)) {
      s.phase_mode = PhaseMode::PAPP_ONLY;
      s.tariff_kind = TariffKind::JAUNE;

      set_text(c.optarif, dtext::kTarifJaune);
      window_[c.label_jaune].visible = true;
      for (const FieldId id : {c.adco, c.label_adco, c.isousc, c.label_isousc}) window_[id].visible = false;

      s.PAPP.assign(f[6]);
      supprime_zero_into(f[6], scratch_);
      set_text2(c.papp, scratch_, dtext::kUnitVA);
      measures_.at(MeasureKind::PAPP, m) = *power;
      feed_power_graph(r);  // plotted whatever the graph setting

      for (std::size_t i = 0; i < 3; ++i) {
        window_[c.imax[i]].visible = false;
        window_[c.label_imax[i]].visible = false;
        window_[c.i_inst[i]].visible = false;
        window_[c.label_i_inst[i]].visible = false;
      }
      window_[c.gauge[0]].visible = false;

      window_[c.label_saison].visible = true;
      window_[c.saison].visible = true;
      set_text(c.label_ptec, dtext::kPosteHoraire);

      const std::string_view code = f[4];
      if (!code.empty()) {
        switch (code[0]) {
          case '1':
            set_text(c.saison, dtext::kEte);
            break;
          case '2':
            set_text(c.saison, dtext::kHiver);
            break;
          case '4':
            set_text(c.saison, dtext::kPointeMobile);
            break;
          default:
            break;
        }
      }
      if (code.size() >= 2 && code[1] >= '1' && code[1] <= '4')
        set_text(c.ptec, dtext::kSlots[code[1] - '1']);

      window_[c.label_couleur].enabled = true;
      set_text(c.label_couleur, dtext::kPreavisDepassement);
      window_[c.led_couleur].on = !f[5].empty();
    }
  }

  const GroupIndex::Fixed energ = groups_.fixed(Label::ENERG, 27, true);
  if (energ.valid) {
    const FieldSplit f = split_fields(energ.value);
    std::optional<std::int32_t> v[4];
    bool ok = f.count >= 4;
    for (std::size_t i = 0; ok && i < 4; ++i) {
      v[i] = parse_digits(f[i]);
      ok = v[i].has_value();
    }
    // Each of the four indexes is judged; one implausible index refuses the group.
    if (ok) {
      bool all = true;
      for (std::size_t i = 0; i < 4; ++i)
        all = plausible(r, kEnergTrack + i, Quantity::KwhIndex, *v[i]) && all;
      ok = all;
    }
    if (ok) {
      for (std::size_t i = 0; i < 4; ++i) {
        measures_.v[16 + i] = *v[i];
        set_text(c.label_index[i], dtext::kEnerg[i]);
        supprime_zero_into(f[i], s.ENERG[i]);
        set_text2(c.index[i], s.ENERG[i], dtext::kUnitKwh);
      }
      window_[c.label_index[4]].enabled = false;
      window_[c.label_index[5]].enabled = false;
    }
  }
}

}  // namespace vireluz
