#pragma once
// The TIC packet handler: drops the packets that follow a switch, recognises
// the frame kind, identifies the selected meter during its first two decoded
// frames, decodes the value groups of historic, standard and JAUNE frames into
// the meter's MeterSlot, the MeasureTable and the main window's presentation
// state, feeds the graphs, and ends every packet with the alert hook and the
// counters.
//
// A group whose checksum holds but whose value cannot be true (see
// plausibility.h) is ignored like a group whose checksum fails, and counted in
// the meter's MeterSlot.rejected_values.
//
// Every byte sequence is safe: a group that cannot be read (missing, cut by
// the end of the packet, not a number where one is needed) is ignored like a
// group with a bad checksum, and the rest of the packet is still decoded.
#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string_view>

#include "acquisition/decoder_groups.h"
#include "acquisition/index_power.h"
#include "acquisition/plausibility.h"
#include "acquisition/tic_text.h"
#include "common/user_messages.h"
#include "config/settings.h"
#include "display/graph_state.h"
#include "display/main_window_state.h"
#include "meter/meter_slot.h"

namespace vireluz {

// The speed of the line a packet came on: 9600 baud for a standard frame,
// 1200 for the others.
int line_baud(std::string_view packet);

class Decoder {
 public:
  Decoder(const Settings& settings, std::array<MeterSlot, 2>& meters, MeasureTable& measures,
          ReadingCounters& counters, MainWindowState& window, GraphsWindowState& graphs,
          UserMessages& messages);

  // One packet: the bytes between STX and the final CR ETX, received at
  // `now_ms` (milliseconds on the run's clock, any origin).
  void ComDataPacket1Packet(std::string_view packet, std::int64_t now_ms);

  // Alert evaluation, run at the end of every decoded packet when mail alerts
  // are on and the alert table is not empty. May throw: the counters are then
  // not advanced for that packet and the exception reaches the caller.
  std::function<void()> mail_alerte;

  // Decimal separator of the standard-mode kWh texts (',' on a French system).
  void set_decimal_separator(char c) { decimal_separator_ = c; }

  // MeterSlot.phase_mode from MODE_MONO_TRI / MODE_MONO_TRI_cpt2; a meter that
  // a JAUNE frame made PAPP_ONLY stays so.
  void apply_phase_settings();

  // Start of reading: both meters get a new identification phase.
  void reset_frame_counts();

  // Whether decoded values go through the plausibility filter (on unless
  // turned off, which only a measurement of the filter's cost does: values
  // are then taken as their group's own reading takes them).
  void set_plausibility_filter(bool on) { filter_on_ = on; }

 private:
  // The filter's values: one per label, then the yellow-tariff fields.
  static constexpr std::size_t kEnergTrack = kLabelCount;  // ENERG fields 1 to 4
  static constexpr std::size_t kJaunePowerTrack = kLabelCount + 4;
  static constexpr std::size_t kTracks = kLabelCount + 5;
  static constexpr std::size_t track(Label l) { return static_cast<std::size_t>(l); }
  static_assert(kTracks <= PlausibilityFilter::kMaxTracks);

  // What the decoder follows of each meter between frames.
  struct MeterWatch {
    PlausibilityFilter filter;
    IndexPower drawn, injected;
  };

  // The selected meter: its slot, its main-window components, its graph and
  // what the decoder follows of it.
  struct Routed {
    int meter;  // 1 or 2
    MeterSlot& slot;
    const MeterComponents& c;
    GraphState& graph;
    MeterWatch& watch;
  };
  Routed route(int meter) {
    const auto i = static_cast<std::size_t>(meter - 1);
    return Routed{meter, meters_[i], kMeter[i], graphs_.graph[i], watch_[i]};
  }

  FrameKind frame_kind() const;
  void end_of_packet();

  // Historic frames.
  void historic_identification(const Routed& r);
  void historic_values(const Routed& r);
  void historic_index(const Routed& r, Label label, Text& field, int box);
  // Standard frames.
  void standard_identification(const Routed& r);
  void standard_values(const Routed& r);
  // Yellow-tariff frames.
  void jaune_groups(const Routed& r);
  // Shared by both modes.
  void apply_option_display(const Routed& r, TariffKind kind);
  void not_activated_test(const Routed& r, Label option_label, std::string_view address, bool standard);
  // Derived values.
  void scaling(const Routed& r, int subscribed, bool in_kva);
  void single_phase_step(const Routed& r);
  void three_phase_step(const Routed& r);
  void power_graph_step(const Routed& r);
  void computed_power(const Routed& r);
  void feed_power_graph(const Routed& r);

  // Plausibility of a value whose checksum holds; an implausible value is
  // counted in the meter's record. A text that is not a number is refused
  // without being counted, as before the filter.
  bool plausible(const Routed& r, std::size_t track, Quantity q, std::int64_t value) {
    if (!filter_on_ || r.watch.filter.accept(track, q, value, now_ms_)) return true;
    ++r.slot.rejected_values;
    return false;
  }
  bool plausible(const Routed& r, Label l, Quantity q, std::string_view digits) {
    if (!filter_on_) return all_digits(digits);
    const auto v = digits_value(digits);
    return v && plausible(r, track(l), q, *v);
  }
  // Tomorrow's Tempo colour: -1 none announced, 0 blue, 1 white, 2 red.
  void tomorrow_colour(const Routed& r, int colour);
  void status_word(const Routed& r, std::uint32_t word, std::string_view text);
  // The active power from the accepted indexes: the sum of the consumption
  // indexes, and the injection index (none: no such index), once a minute.
  void index_power(const Routed& r, std::initializer_list<Label> drawn,
                   std::initializer_list<Label> injected);
  std::optional<std::int64_t> index_sum(const Routed& r, std::initializer_list<Label> labels) const;

  void set_text(FieldId id, std::string_view text);
  void set_text2(FieldId id, std::string_view text, std::string_view suffix);
  void grey(FieldId id) { window_[id].background = Colour::Gray; }
  void activate(FieldId id) { window_[id].background = Colour::Black; }

  const Settings& settings_;
  std::array<MeterSlot, 2>& meters_;
  MeasureTable& measures_;
  ReadingCounters& counters_;
  MainWindowState& window_;
  GraphsWindowState& graphs_;
  UserMessages& messages_;
  char decimal_separator_ = ',';

  std::array<MeterWatch, 2> watch_;
  bool filter_on_ = true;
  std::int64_t now_ms_ = 0;
  GroupIndex groups_;
  Text scratch_;  // a number text being formatted; its capacity is kept between frames
};

}  // namespace vireluz
