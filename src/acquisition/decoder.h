#pragma once
// The TIC packet handler: drops the packets that follow a switch, recognises
// the frame kind, identifies the selected meter during its first two decoded
// frames, decodes the value groups of historic, standard and JAUNE frames into
// the meter's MeterSlot, the MeasureTable and the main window's presentation
// state, feeds the graphs, and ends every packet with the alert hook and the
// counters.
//
// Every byte sequence is safe: a group that cannot be read (missing, cut by
// the end of the packet, not a number where one is needed) is ignored like a
// group with a bad checksum, and the rest of the packet is still decoded.
#include <array>
#include <functional>
#include <string_view>

#include "acquisition/decoder_groups.h"
#include "common/user_messages.h"
#include "config/settings.h"
#include "display/graph_state.h"
#include "display/main_window_state.h"
#include "meter/meter_slot.h"

namespace vireluz {

class Decoder {
 public:
  Decoder(const Settings& settings, std::array<MeterSlot, 2>& meters, MeasureTable& measures,
          ReadingCounters& counters, MainWindowState& window, GraphsWindowState& graphs,
          UserMessages& messages);

  // One packet: the bytes between STX and the final CR ETX.
  void ComDataPacket1Packet(std::string_view packet);

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

 private:
  // The selected meter: its slot, its main-window components and its graph.
  struct Routed {
    int meter;  // 1 or 2
    MeterSlot& slot;
    const MeterComponents& c;
    GraphState& graph;
  };
  Routed route(int meter) {
    const auto i = static_cast<std::size_t>(meter - 1);
    return Routed{meter, meters_[i], kMeter[i], graphs_.graph[i]};
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

  GroupIndex groups_;
  Text scratch_;  // a number text being formatted; its capacity is kept between frames
};

}  // namespace vireluz
