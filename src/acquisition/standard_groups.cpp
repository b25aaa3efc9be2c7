// Standard-mode frames (they carry ADSC): identification and value groups.
#include <algorithm>

#include "acquisition/decoder.h"
#include "acquisition/decoder_texts.h"
#include "acquisition/tic_text.h"

namespace vireluz {
namespace {

constexpr std::string_view NGTF_LIST_V1[] = {"HC.", "HC", "EJP", "TEMPO", "PRODUCTEUR"};
constexpr std::string_view NGTF_LIST_V2[] = {"H PLEINE/CREUSE", "BASE", "EJP", "TEMPO", "PRODUCTEUR"};

constexpr Label kEasf[6] = {Label::EASF01, Label::EASF02, Label::EASF03,
                            Label::EASF04, Label::EASF05, Label::EASF06};
constexpr Label kEasd[4] = {Label::EASD01, Label::EASD02, Label::EASD03, Label::EASD04};

// The value of a time-stamped group (date, tab, value); the whole text when it
// carries no date.
std::string_view dated_value(std::string_view v) {
  const std::size_t tab = v.rfind('\t');
  return tab == std::string_view::npos ? v : v.substr(tab + 1);
}

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

  PlausibilityFilter& filter = r.watch.filter;
  const GroupIndex::Delimited adsc = groups_.delimited(Label::ADSC);
  if (adsc.valid) {
    filter.set_address(adsc.value);
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
      // The meter cuts off above the larger of the reference and cut-off powers.
      const GroupIndex::Delimited pcoup = groups_.delimited(Label::PCOUP);
      const auto cut = pcoup.valid ? parse_digits(pcoup.value) : std::nullopt;
      filter.set_subscription(std::int64_t{std::max(*kva, cut.value_or(0))} * 1000,
                              s.phase_mode == PhaseMode::TRI ? 3 : 1);
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

  // 1. Status word: bits 10 to 13 give the current supplier period; the
  // contacts, the Tempo colours and the rest of the status follow.
  unsigned period = 0;
  const GroupIndex::Delimited stge = groups_.delimited(Label::STGE);
  if (stge.valid) {
    if (const auto v = parse_hex32(stge.value)) {
      period = (*v & 0x3C00u) >> 10;
      status_word(r, *v, stge.value);
    }
  }
  const GroupIndex::Delimited relais = groups_.delimited(Label::RELAIS);
  if (relais.valid) {
    if (const auto v = parse_digits(relais.value); v && *v <= 255) s.RELAIS = *v;
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
    if (!g.valid || !plausible(r, kEasf[n], Quantity::Index, g.value) ||
        !kwh_text_into(g.value, decimal_separator_, scratch_))
      continue;
    set_text2(c.index[n], scratch_, dtext::kUnitKwh);
    for (Text* t : targets[n])
      if (t) t->assign(scratch_);
  }

  // The total drawn and the distributor's indexes.
  const GroupIndex::Delimited east = groups_.delimited(Label::EAST);
  if (east.valid && plausible(r, Label::EAST, Quantity::Index, east.value)) put_text(s.EAST, east.value);
  for (std::size_t n = 0; n < 4; ++n) {
    const GroupIndex::Delimited g = groups_.delimited(kEasd[n]);
    if (g.valid && plausible(r, kEasd[n], Quantity::Index, g.value)) put_text(s.EASD[n], g.value);
  }

  // 4. Injected energy; a meter without it (or a corrupted group) greys the box.
  const GroupIndex::Delimited eait = groups_.delimited(Label::EAIT);
  if (eait.valid && plausible(r, Label::EAIT, Quantity::Index, eait.value) &&
      kwh_text_into(eait.value, decimal_separator_, scratch_)) {
    set_text2(c.injection, scratch_, dtext::kUnitKwh);
    s.EAIT.assign(eait.value);
    window_[c.label_injection].enabled = true;
    activate(c.injection);
  } else {
    window_[c.label_injection].enabled = false;
    grey(c.injection);
  }
  index_power(r, {Label::EAST}, {Label::EAIT});

  // 5. Apparent power: injected for a producer, drawn otherwise.
  const GroupIndex::Delimited sinsti = groups_.delimited(Label::SINSTI);
  if (s.tariff_kind == TariffKind::PROD) {
    if (sinsti.valid) {
      if (const auto p = parse_digits(sinsti.value);
          p && plausible(r, track(Label::SINSTI), Quantity::Power, *p)) {
        s.SINSTI.assign(sinsti.value);
        supprime_zero_into(sinsti.value, s.PAPP);  // the integer written back in decimal
        set_text2(c.papp, s.PAPP, dtext::kUnitVA);
        measures_.at(MeasureKind::PAPP, m) = *p;
        power_graph_step(r);
      }
    }
  } else if (s.VTIC == 1 || s.VTIC == 2) {
    const Label label = s.VTIC == 1 ? Label::SINST1 : Label::SINSTS;
    const GroupIndex::Delimited g = groups_.delimited(label);
    if (g.valid) {
      if (const auto p = parse_digits(g.value); p && plausible(r, track(label), Quantity::Power, *p)) {
        s.PAPP.assign(g.value);
        supprime_zero_into(g.value, scratch_);
        set_text2(c.papp, scratch_, dtext::kUnitVA);
        measures_.at(MeasureKind::PAPP, m) = *p;
        power_graph_step(r);
      }
    }
  }

  if (s.tariff_kind != TariffKind::PROD && sinsti.valid &&
      plausible(r, Label::SINSTI, Quantity::OtherPower, sinsti.value))
    s.SINSTI.assign(sinsti.value);

  // Per phase: apparent power drawn and today's highest.
  constexpr Label kSinsts[3] = {Label::SINSTS1, Label::SINSTS2, Label::SINSTS3};
  constexpr Label kSmaxsn[3] = {Label::SMAXSN1, Label::SMAXSN2, Label::SMAXSN3};
  Text* const sinsts[3] = {&s.SINSTS1, &s.SINSTS2, &s.SINSTS3};
  Text* const smaxsn[3] = {&s.SMAXSN1, &s.SMAXSN2, &s.SMAXSN3};
  for (std::size_t i = 0; i < 3; ++i) {
    const GroupIndex::Delimited g = groups_.delimited(kSinsts[i]);
    if (g.valid && plausible(r, kSinsts[i], Quantity::OtherPower, g.value)) put_text(*sinsts[i], g.value);
    const GroupIndex::Delimited h = groups_.delimited(kSmaxsn[i]);
    const std::string_view max = dated_value(h.value);
    if (h.valid && plausible(r, kSmaxsn[i], Quantity::OtherPower, max)) put_text(*smaxsn[i], max);
  }

  // 6. Voltages, phase 1 in the first maximum box.
  const GroupIndex::Delimited urms = groups_.delimited(Label::URMS1);
  if (urms.valid && plausible(r, Label::URMS1, Quantity::Voltage, urms.value)) {
    s.URMS1.assign(urms.value);
    supprime_zero_into(urms.value, scratch_);
    set_text2(c.imax[0], scratch_, dtext::kUnitV);
  }
  const GroupIndex::Delimited urms2 = groups_.delimited(Label::URMS2);
  if (urms2.valid && plausible(r, Label::URMS2, Quantity::Voltage, urms2.value))
    put_text(s.URMS2, urms2.value);
  const GroupIndex::Delimited urms3 = groups_.delimited(Label::URMS3);
  if (urms3.valid && plausible(r, Label::URMS3, Quantity::Voltage, urms3.value))
    put_text(s.URMS3, urms3.value);

  // 7-8. Currents.
  if (s.phase_mode == PhaseMode::MONO) {
    const GroupIndex::Delimited g = groups_.delimited(Label::IRMS1);
    if (g.valid && plausible(r, Label::IRMS1, Quantity::Current, g.value)) {
      supprime_zero_into(g.value, s.IINST);
      set_text2(c.i_inst[0], s.IINST, dtext::kUnitA);
      single_phase_step(r);
    }
  } else if (s.phase_mode == PhaseMode::TRI) {
    constexpr Label kI[3] = {Label::IRMS1, Label::IRMS2, Label::IRMS3};
    Text* const phase[3] = {&s.IINST1, &s.IINST2, &s.IINST3};
    for (std::size_t i = 0; i < 3; ++i) {
      const GroupIndex::Delimited g = groups_.delimited(kI[i]);
      if (!g.valid || !plausible(r, kI[i], Quantity::Current, g.value)) continue;
      supprime_zero_into(g.value, *phase[i]);
      set_text2(c.i_inst[i], *phase[i], dtext::kUnitA);
    }
    three_phase_step(r);
  }
}

void Decoder::status_word(const Routed& r, std::uint32_t v, std::string_view text) {
  MeterSlot& s = r.slot;
  put_text(s.STGE, text);
  s.status.known = true;
  s.status.dry_contact_open = (v & 1u) != 0;
  s.status.cut_off = static_cast<int>((v >> 1) & 7u);
  s.status.over_voltage = (v >> 6 & 1u) != 0;
  s.status.over_power = (v >> 7 & 1u) != 0;
  s.status.injecting = (v >> 9 & 1u) != 0;
  if (s.tariff_kind != TariffKind::TEMPO) return;
  // Bits 24-25 today's colour, 26-27 tomorrow's: 0 none announced, 1 blue,
  // 2 white, 3 red.
  static const Text* const kName[3] = {&dtext::kBleu, &dtext::kBlanc, &dtext::kRouge};
  const unsigned today = v >> 24 & 3u;
  if (today == 0)
    s.today_colour.clear();
  else
    s.today_colour.assign(*kName[today - 1]);
  tomorrow_colour(r, static_cast<int>(v >> 26 & 3u) - 1);
}

}  // namespace vireluz
