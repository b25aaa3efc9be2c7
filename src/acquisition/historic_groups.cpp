// Historic-mode frames (they carry ADCO): identification and value groups.
#include "acquisition/decoder.h"
#include "acquisition/decoder_texts.h"
#include "acquisition/tic_text.h"

namespace vireluz {
namespace {

constexpr std::string_view kOptions[] = {"HC.", "BAS", "EJP", "BBR"};
constexpr std::string_view kPtec[] = {"TH..", "HC..", "HP..", "HN..", "PM..", "HCJB",
                                      "HCJW", "HCJR", "HPJB", "HPJW", "HPJR"};
// PeriodCode and period text (index into dtext::kPeriods) of each kPtec entry.
constexpr PeriodCode kPtecCode[] = {PeriodCode::TH,   PeriodCode::HC,   PeriodCode::HP,   PeriodCode::HN,
                                    PeriodCode::PM,   PeriodCode::HCJB, PeriodCode::HCJW, PeriodCode::HCJR,
                                    PeriodCode::HPJB, PeriodCode::HPJW, PeriodCode::HPJR};
constexpr std::string_view kDemain[] = {"BLEU", "BLAN", "ROUG"};

}  // namespace

void Decoder::historic_identification(const Routed& r) {
  const MeterComponents& c = r.c;
  const GroupIndex::Fixed adco = groups_.fixed(Label::ADCO, 12, true);
  PlausibilityFilter& filter = r.watch.filter;
  if (adco.valid) {
    filter.set_address(adco.value);
    r.slot.ADCO.assign(adco.value);
    set_text(c.adco, adco.value);
    // Historic meters have no injection index.
    window_[c.injection].visible = false;
    window_[c.label_injection].visible = false;
  }
  const GroupIndex::Fixed isousc = groups_.fixed(Label::ISOUSC, 2, true);
  if (isousc.valid) {
    if (const auto s = parse_digits(isousc.value)) {
      // The subscribed current is per phase.
      const int phases = r.slot.phase_mode == PhaseMode::TRI ? 3 : 1;
      filter.set_subscription(std::int64_t{*s} * 230 * phases, phases);
      r.slot.ISOUSC.assign(isousc.value);
      set_text2(c.isousc, isousc.value, dtext::kUnitA);
      scaling(r, *s, false);
    }
  }
  const GroupIndex::Fixed optarif = groups_.fixed(Label::OPTARIF, 4, true);
  if (optarif.valid) {
    const std::string_view prefix = optarif.value.substr(0, 3);
    r.slot.OPTARIF.assign(prefix);
    const int k = index_de_liste(prefix, kOptions);
    if (k >= 0) {
      r.slot.tariff_kind = static_cast<TariffKind>(k);
      apply_option_display(r, r.slot.tariff_kind);
    }
    r.slot.identified = true;
  } else {
    not_activated_test(r, Label::OPTARIF, adco.readable ? adco.value : std::string_view(), false);
  }
}

void Decoder::historic_index(const Routed& r, Label label, Text& field, int box) {
  const GroupIndex::Fixed g = groups_.fixed(label, 9, true);
  if (!g.valid || !plausible(r, label, Quantity::Index, g.value)) return;
  put_text(field, g.value);
  // 9 digits of Wh shown as kWh: the first six without leading zeros, a comma,
  // the last three, the unit.
  char buf[20];
  std::size_t n = 0;
  std::size_t i = 0;
  while (i < 5 && g.value[i] == '0') ++i;
  for (; i < 6; ++i) buf[n++] = g.value[i];
  buf[n++] = ',';
  for (i = 6; i < 9; ++i) buf[n++] = g.value[i];
  for (const char c : std::string_view(" kWh")) buf[n++] = c;
  put_text(window_[r.c.index[static_cast<std::size_t>(box)]].text, std::string_view(buf, n));
}

void Decoder::historic_values(const Routed& r) {
  MeterSlot& s = r.slot;
  const MeterComponents& c = r.c;
  const int m = r.meter;

  // 1. Indexes of the tariff option; the power drawn follows from them.
  switch (index_de_liste(s.OPTARIF, kOptions)) {
    case 0:
      historic_index(r, Label::HCHP, s.HCHP, 0);
      historic_index(r, Label::HCHC, s.HCHC, 1);
      index_power(r, {Label::HCHP, Label::HCHC}, {});
      break;
    case 1:
      historic_index(r, Label::BASE, s.BASE, 0);
      index_power(r, {Label::BASE}, {});
      break;
    case 2: {
      historic_index(r, Label::EJPHN, s.EJPHN, 0);
      historic_index(r, Label::EJPHPM, s.EJPHPM, 1);
      index_power(r, {Label::EJPHN, Label::EJPHPM}, {});
      const GroupIndex::Fixed pejp = groups_.fixed(Label::PEJP, 2, false);
      const bool notice = pejp.readable && pejp.value == "30";
      window_[c.led_couleur].on = notice;
      measures_.at(MeasureKind::PEJP, m) = notice ? 1 : 0;
      break;
    }
    case 3: {
      historic_index(r, Label::BBRHCJB, s.BBRHCJB, 0);
      historic_index(r, Label::BBRHPJB, s.BBRHPJB, 1);
      historic_index(r, Label::BBRHCJW, s.BBRHCJW, 2);
      historic_index(r, Label::BBRHPJW, s.BBRHPJW, 3);
      historic_index(r, Label::BBRHCJR, s.BBRHCJR, 4);
      historic_index(r, Label::BBRHPJR, s.BBRHPJR, 5);
      index_power(
          r, {Label::BBRHCJB, Label::BBRHPJB, Label::BBRHCJW, Label::BBRHPJW, Label::BBRHCJR, Label::BBRHPJR},
          {});
      const GroupIndex::Fixed demain = groups_.fixed(Label::DEMAIN, 4, false);
      tomorrow_colour(r, demain.readable ? index_de_liste(demain.value, kDemain) : -1);
      break;
    }
    default:
      break;
  }

  // 2. Current period (no checksum). An absent or cut PTEC group leaves the
  // stored text, the period box and the PeriodCode as they were.
  const GroupIndex::Fixed ptec = groups_.fixed(Label::PTEC, 4, false);
  if (ptec.readable) {
    put_text(s.PTEC, ptec.value);
    const int k = index_de_liste(ptec.value, kPtec);
    if (k >= 0) {
      const PeriodCode code = kPtecCode[k];
      set_text(c.ptec, dtext::kPeriods[k]);
      measures_.at(MeasureKind::PTEC, m) = static_cast<int>(code);
      if (code == PeriodCode::HC) window_[c.led_pilote].on = true;
      if (code == PeriodCode::HP) window_[c.led_pilote].on = false;
    }
  }

  // 3-4. Currents.
  if (s.phase_mode == PhaseMode::MONO) {
    const GroupIndex::Fixed iinst = groups_.fixed(Label::IINST, 3, true);
    if (iinst.valid && plausible(r, Label::IINST, Quantity::Current, iinst.value)) {
      supprime_zero_into(iinst.value, s.IINST);
      set_text2(c.i_inst[0], s.IINST, dtext::kUnitA);
      const GroupIndex::Fixed imax = groups_.fixed(Label::IMAX, 3, false);
      if (imax.readable) {
        supprime_zero_into(imax.value, scratch_);
        set_text2(c.imax[0], scratch_, dtext::kUnitA);
      }
      single_phase_step(r);
    }
  } else if (s.phase_mode == PhaseMode::TRI) {
    constexpr Label kI[3] = {Label::IINST1, Label::IINST2, Label::IINST3};
    constexpr Label kMax[3] = {Label::IMAX1, Label::IMAX2, Label::IMAX3};
    Text* const phase[3] = {&s.IINST1, &s.IINST2, &s.IINST3};
    for (std::size_t i = 0; i < 3; ++i) {
      const GroupIndex::Fixed g = groups_.fixed(kI[i], 3, true);
      if (!g.valid || !plausible(r, kI[i], Quantity::Current, g.value)) continue;
      supprime_zero_into(g.value, *phase[i]);
      set_text2(c.i_inst[i], *phase[i], dtext::kUnitA);
    }
    for (std::size_t i = 0; i < 3; ++i) {
      const GroupIndex::Fixed g = groups_.fixed(kMax[i], 3, false);
      if (!g.readable) continue;
      supprime_zero_into(g.value, scratch_);
      set_text2(c.imax[i], scratch_, dtext::kUnitA);
    }
    three_phase_step(r);
  }

  // 5. Apparent power, or computed from the currents when the frame has none.
  if (groups_.has(Label::PAPP)) {
    const GroupIndex::Fixed papp = groups_.fixed(Label::PAPP, 5, true);
    if (papp.valid) {
      if (const auto p = parse_digits(papp.value);
          p && plausible(r, track(Label::PAPP), Quantity::Power, *p)) {
        put_text(s.PAPP, papp.value);
        supprime_zero_into(papp.value, scratch_);
        set_text2(c.papp, scratch_, dtext::kUnitVA);
        measures_.at(MeasureKind::PAPP, m) = *p;
        power_graph_step(r);
      }
    }
  } else {
    computed_power(r);
  }

  // 6. A production meter that never sent its power shows 0 VA.
  if (m == 2 && s.PAPP.empty()) {
    s.PAPP.assign(1, '0');
    set_text(c.papp, "0 VA");
  }
}

}  // namespace vireluz
