#include "acquisition/decoder.h"

#include <cstring>

#include "acquisition/decoder_texts.h"
#include "acquisition/tic_text.h"

namespace vireluz {
namespace {

constexpr std::int32_t kWrap = 1000000;

bool contains(std::string_view hay, std::string_view needle) {
  if (hay.size() < needle.size() || hay.empty()) return false;  // memmem wants real storage
  return memmem(hay.data(), hay.size(), needle.data(), needle.size()) != nullptr;
}

}  // namespace

int line_baud(std::string_view packet) { return contains(packet, "ADSC") ? 9600 : 1200; }

Decoder::Decoder(const Settings& settings, std::array<MeterSlot, 2>& meters, MeasureTable& measures,
                 ReadingCounters& counters, MainWindowState& window, GraphsWindowState& graphs,
                 UserMessages& messages)
    : settings_(settings),
      meters_(meters),
      measures_(measures),
      counters_(counters),
      window_(window),
      graphs_(graphs),
      messages_(messages) {
  scratch_.reserve(64);
}

void Decoder::apply_phase_settings() {
  const int modes[2] = {settings_.prg.MODE_MONO_TRI, settings_.prg.MODE_MONO_TRI_cpt2};
  for (std::size_t i = 0; i < 2; ++i) {
    if (meters_[i].phase_mode == PhaseMode::PAPP_ONLY) continue;
    meters_[i].phase_mode = modes[i] == 1 ? PhaseMode::TRI : PhaseMode::MONO;
  }
}

void Decoder::reset_frame_counts() {
  meters_[0].frame_count = 0;
  meters_[1].frame_count = 0;
}

FrameKind Decoder::frame_kind() const {
  const std::string_view p = groups_.packet();
  // The kind is decided by the first of these texts that occurs anywhere.
  if (groups_.has(Label::ADCO) || groups_.contains_adco()) return FrameKind::HISTORIC;
  if (groups_.has(Label::ADSC) || contains(p, "ADSC")) return FrameKind::STANDARD;
  if (groups_.has(Label::JAUNE) || contains(p, "JAUNE")) return FrameKind::JAUNE;
  if (contains(p, "CONTRAT")) return FrameKind::CONTRAT;
  return FrameKind::NONE;
}

void Decoder::ComDataPacket1Packet(std::string_view packet, std::int64_t now_ms) {
  if (counters_.PacketCount < counters_.PacketsToSkip) {
    ++counters_.PacketCount;
    return;
  }
  now_ms_ = now_ms;
  groups_.scan(packet);
  const FrameKind kind = frame_kind();
  const int active = counters_.ActiveMeter;
  const bool routed = active == 1 || active == 2;

  if (routed) {
    const Routed r = route(active);
    const bool identification = r.slot.frame_count < 2;
    if (kind == FrameKind::HISTORIC && identification) historic_identification(r);
    if (kind == FrameKind::STANDARD && identification) standard_identification(r);
  }
  if (kind == FrameKind::JAUNE) jaune_groups(route(active == 1 ? 1 : 2));
  if (routed) {
    const Routed r = route(active);
    if (kind == FrameKind::HISTORIC && r.slot.identified)
      historic_values(r);
    else if (kind == FrameKind::STANDARD && r.slot.identified)
      standard_values(r);
  }
  ++window_.serial;
  end_of_packet();
}

void Decoder::end_of_packet() {
  if (settings_.mail.ACTIF == 1 && settings_.mail.TABLEAU_VIDE != "OUI" && mail_alerte) mail_alerte();
  if (counters_.ActiveMeter == 1 || counters_.ActiveMeter == 2) {
    std::int32_t& n = meters_[static_cast<std::size_t>(counters_.ActiveMeter - 1)].frame_count;
    n = n >= kWrap ? 2 : n + 1;
  }
  ++counters_.PacketCount;
  if (counters_.PacketCount >= kWrap) counters_.PacketCount = 2;
}

void Decoder::set_text(FieldId id, std::string_view text) { put_text(window_[id].text, text); }

void Decoder::set_text2(FieldId id, std::string_view text, std::string_view suffix) {
  put_text(window_[id].text, text, suffix);
}

void Decoder::apply_option_display(const Routed& r, TariffKind kind) {
  const MeterComponents& c = r.c;
  auto disable_captions = [&](std::size_t from) {
    for (std::size_t i = from; i < 6; ++i) window_[c.label_index[i]].enabled = false;
  };
  auto grey_boxes = [&](std::size_t from) {
    for (std::size_t i = from; i < 6; ++i) grey(c.index[i]);
  };
  switch (kind) {
    case TariffKind::HC:
      set_text(c.optarif, dtext::kOptionHC);
      set_text(c.label_index[0], dtext::kIndexHP);
      set_text(c.label_index[1], dtext::kIndexHC);
      disable_captions(2);
      activate(c.index[1]);
      grey_boxes(2);
      window_[c.label_pilote].enabled = true;
      break;
    case TariffKind::BASE:
      set_text(c.optarif, dtext::kOptionBase);
      set_text(c.label_index[0], dtext::kIndexBase);
      disable_captions(1);
      grey_boxes(1);
      break;
    case TariffKind::EJP:
      set_text(c.optarif, dtext::kOptionEJP);
      set_text(c.label_index[0], dtext::kEjpHN);
      set_text(c.label_index[1], dtext::kEjpPM);
      disable_captions(2);
      activate(c.index[1]);
      grey_boxes(2);
      window_[c.label_couleur].enabled = true;
      set_text(c.label_couleur, dtext::kPreavisEjp);
      break;
    case TariffKind::TEMPO:
      set_text(c.optarif, dtext::kOptionTempo);
      for (std::size_t i = 0; i < 6; ++i) set_text(c.label_index[i], dtext::kTempo[i]);
      for (std::size_t i = 1; i < 6; ++i) {
        window_[c.label_index[i]].enabled = true;
        activate(c.index[i]);
      }
      window_[c.label_couleur].enabled = true;
      break;
    case TariffKind::PROD:
      set_text(c.label_index[0], dtext::kIndexProd);
      disable_captions(1);
      grey_boxes(1);
      set_text(c.label_pa, dtext::kPowerInjected);
      break;
    case TariffKind::NONE:
      for (std::size_t i = 0; i < 6; ++i) window_[c.label_index[i]].text.clear();
      for (std::size_t i = 1; i < 6; ++i) activate(c.index[i]);
      window_[c.label_pilote].enabled = true;
      break;
    case TariffKind::JAUNE:
      break;
  }
}

std::optional<std::int64_t> Decoder::index_sum(const Routed& r, std::initializer_list<Label> labels) const {
  const PlausibilityFilter& f = r.watch.filter;
  std::int64_t sum = 0;
  for (const Label l : labels) {
    const auto v = f.value(track(l));
    if (!v) return std::nullopt;
    sum += *v;
  }
  return sum;
}

void Decoder::index_power(const Routed& r, std::initializer_list<Label> drawn,
                          std::initializer_list<Label> injected) {
  MeterWatch& w = r.watch;
  if (drawn.size() > 0 && w.drawn.due(now_ms_)) {
    if (const auto wh = index_sum(r, drawn)) r.slot.drawn_w = w.drawn.update(*wh, now_ms_);
  }
  if (injected.size() > 0 && w.injected.due(now_ms_)) {
    if (const auto wh = index_sum(r, injected)) r.slot.injected_w = w.injected.update(*wh, now_ms_);
  }
}

void Decoder::tomorrow_colour(const Routed& r, int colour) {
  static constexpr Colour kLed[3] = {Colour::Blue, Colour::White, Colour::Red};
  static const Text* const kName[3] = {&dtext::kBleu, &dtext::kBlanc, &dtext::kRouge};
  Led& led = window_[r.c.led_couleur];
  if (colour >= 0 && colour < 3) {
    led.off_colour = kLed[colour];
    r.slot.DEMAIN.assign(*kName[colour]);
  } else {
    led.off_colour = Colour::Gray;
    r.slot.DEMAIN.clear();
  }
  measures_.at(MeasureKind::DEMAIN, r.meter) =
      colour >= 0 && colour < 3 ? colour : static_cast<int>(ColourCode::None);
}

void Decoder::not_activated_test(const Routed& r, Label option_label, std::string_view address,
                                 bool standard) {
  // A meter whose TIC output is not activated repeats its address where the
  // option should be: compare the 6 bytes 8 places after the option label with
  // characters 2 to 7 of the address read in the same frame.
  const std::int32_t p = groups_.position(option_label);
  const std::string_view packet = groups_.packet();
  if (p == GroupIndex::kAbsent || address.size() < 7) return;
  const std::size_t at = static_cast<std::size_t>(p) + 8;
  if (at + 6 > packet.size()) return;
  if (packet.substr(at, 6) != address.substr(1, 6)) return;
  r.slot.identified = false;
  messages_.show_no_tic(dtext::kNotActivated[standard ? 1 : 0][r.meter - 1]);
}

}  // namespace vireluz
