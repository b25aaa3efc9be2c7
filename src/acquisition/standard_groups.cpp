// Standard-mode frames (they carry ADSC): identification and value groups.
#include "acquisition/decoder.h"
#include "acquisition/decoder_texts.h"
#include "acquisition/tic_text.h"

namespace vireluz {
namespace {

constexpr std::string_view NGTF_LIST_V1[] = {"HC.", "HC", "EJP", "TEMPO", "PRODUCTEUR"};
constexpr std::string_view NGTF_LIST_V2[] = {"H PLEINE/CREUSE", "BASE", "EJP", "TEMPO", "PRODUCTEUR"};

constexpr Label kEasf[6] = {Label::EASF01, Label::EASF02, Label::EASF03,
                            Label::EASF04, Label::EASF05, Label::EASF06};

}  // namespace

void Decoder::standard_identification(const Routed& r) {
  MeterSlot& s = r.slot;
  const MeterComponents& c = r.c;

  // The first maximum box shows the voltage; the other two are unused.
  set_text(c.label_imax[0], dtext::kURms);
  window_[c.label_imax[1]].enabled = false;
  window_[c.label_imax[2]].enabled = false;
  grey(c.imax[1]);
  grey(c.imax[2]);

  const GroupIndex::Delimited adsc = groups_.delimited(Label::ADSC);
  if (adsc.valid) {
    s.ADCO.assign(adsc.value);
    set_text(c.adco, adsc.value);
  }
  const GroupIndex::Delimited vtic = groups_.delimited(Label::VTIC);
  if (vtic.valid) {
    if (const auto v = parse_digits(vtic.value)) s.VTIC = *v;
  }
  const GroupIndex::Delimited pref = groups_.delimited(Label::PREF);
  if (pref.valid) {
    if (const auto kva = parse_digits(pref.value)) {
      std::string_view shown = pref.value;
      if (shown.front() == '0') shown.remove_prefix(1);  // 06 gives 6, 12 stays 12
      s.ISOUSC.assign(shown);
      set_text(c.label_isousc, dtext::kKvaSouscrit);
      set_text(c.isousc, shown);
      scaling(r, *kva, true);
    }
  }
  const GroupIndex::Delimited ngtf = groups_.delimited(Label::NGTF);
  if (ngtf.valid) {
    const std::string_view name = trim(ngtf.value);
    int k = -2;  // no list for this TIC version
    if (s.VTIC == 1) k = index_de_liste(name, NGTF_LIST_V1);
    if (s.VTIC == 2) k = index_de_liste(name, NGTF_LIST_V2);
    if (k != -2) {
      s.tariff_kind = static_cast<TariffKind>(k);  // -1 is TariffKind::NONE
      apply_option_display(r, s.tariff_kind);
    }
    set_text(c.optarif, name);  // the calendar's own name, not the option caption
    s.OPTARIF.assign(name);
    s.identified = true;
  } else {
    not_activated_test(r, Label::NGTF, adsc.readable ? adsc.value : std::string_view(), true);
  }
}

void Decoder::standard_values(const Routed& r) {
  MeterSlot& s = r.slot;
  const MeterComponents& c = r.c;
  const int m = r.meter;

  // 1. Status word: bits 10 to 13 give the current supplier period.
  unsigned period = 0;
  const GroupIndex::Delimited stge = groups_.delimited(Label::STGE);
  if (stge.valid) {
    if (const auto v = parse_hex32(stge.value)) period = (*v & 0x3C00u) >> 10;
  }

  // 2. Name of the current period.
  const GroupIndex::Delimited ltarf = groups_.delimited(Label::LTARF);
  if (ltarf.valid) {
    const std::string_view name = trim(ltarf.value);
    set_text(c.ptec, name);
    if (s.tariff_kind == TariffKind::NONE && period <= 5) set_text(c.label_index[period], name);
  }

  // 3. Supplier indexes, Wh shown as kWh; stored under every option's fields.
  Text* const targets[6][4] = {
      {&s.HCHP, &s.BASE, &s.EJPHN, &s.BBRHCJB}, {&s.EJPHPM, &s.HCHC, &s.BBRHPJB, nullptr},
      {&s.BBRHCJW, nullptr, nullptr, nullptr},  {&s.BBRHPJW, nullptr, nullptr, nullptr},
      {&s.BBRHCJR, nullptr, nullptr, nullptr},  {&s.BBRHPJR, nullptr, nullptr, nullptr}};
  for (std::size_t n = 0; n < 6; ++n) {
    const GroupIndex::Delimited g = groups_.delimited(kEasf[n]);
    if (!g.valid || !kwh_text_into(g.value, decimal_separator_, scratch_)) continue;
    set_text2(c.index[n], scratch_, dtext::kUnitKwh);
    for (Text* t : targets[n])
      if (t) t->assign(scratch_);
  }

  // 4. Injected energy; a meter without it (or a corrupted group) greys the box.
  const GroupIndex::Delimited eait = groups_.delimited(Label::EAIT);
  if (eait.valid && kwh_text_into(eait.value, decimal_separator_, scratch_)) {
    set_text2(c.injection, scratch_, dtext::kUnitKwh);
    s.EAIT.assign(eait.value);
    window_[c.label_injection].enabled = true;
    activate(c.injection);
  } else {
    window_[c.label_injection].enabled = false;
    grey(c.injection);
  }

  // 5. Apparent power: injected for a producer, drawn otherwise.
  if (s.tariff_kind == TariffKind::PROD) {
    const GroupIndex::Delimited g = groups_.delimited(Label::SINSTI);
    if (g.valid) {
      if (const auto p = parse_digits(g.value)) {
        supprime_zero_into(g.value, s.PAPP);  // the integer written back in decimal
        set_text2(c.papp, s.PAPP, dtext::kUnitVA);
        measures_.at(MeasureKind::PAPP, m) = *p;
        power_graph_step(r);
      }
    }
  } else if (s.VTIC == 1 || s.VTIC == 2) {
    const GroupIndex::Delimited g = groups_.delimited(s.VTIC == 1 ? Label::SINST1 : Label::SINSTS);
    if (g.valid) {
      if (const auto p = parse_digits(g.value)) {
        s.PAPP.assign(g.value);
        supprime_zero_into(g.value, scratch_);
        set_text2(c.papp, scratch_, dtext::kUnitVA);
        measures_.at(MeasureKind::PAPP, m) = *p;
        power_graph_step(r);
      }
    }
  }

  // 6. Voltage, in the first maximum box.
  const GroupIndex::Delimited urms = groups_.delimited(Label::URMS1);
  if (urms.valid) {
    s.URMS1.assign(urms.value);
    supprime_zero_into(urms.value, scratch_);
    set_text2(c.imax[0], scratch_, dtext::kUnitV);
  }

  // 7-8. Currents.
  if (s.phase_mode == PhaseMode::MONO) {
    const GroupIndex::Delimited g = groups_.delimited(Label::IRMS1);
    if (g.valid && parse_digits(g.value)) {
      supprime_zero_into(g.value, s.IINST);
      set_text2(c.i_inst[0], s.IINST, dtext::kUnitA);
      single_phase_step(r);
    }
  } else if (s.phase_mode == PhaseMode::TRI) {
    constexpr Label kI[3] = {Label::IRMS1, Label::IRMS2, Label::IRMS3};
    Text* const phase[3] = {&s.IINST1, &s.IINST2, &s.IINST3};
    for (std::size_t i = 0; i < 3; ++i) {
      const GroupIndex::Delimited g = groups_.delimited(kI[i]);
      if (!g.valid || !parse_digits(g.value)) continue;
      supprime_zero_into(g.value, *phase[i]);
      set_text2(c.i_inst[i], *phase[i], dtext::kUnitA);
    }
    three_phase_step(r);
  }
}

}  // namespace vireluz
