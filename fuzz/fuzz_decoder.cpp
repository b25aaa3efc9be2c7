// Fuzz target: the TIC framer and the packet decoder.
//
// Input layout (the seeds in corpus/fuzz_decoder follow it):
//   byte 0  bits 0-1 ActiveMeter (value % 3), bit 2 PacketsToSkip 2 (else 1),
//           bit 3 MODE_MONO_TRI, bit 4 MODE_MONO_TRI_cpt2, bit 5 GRAPHE IouPA,
//           bit 6 MODE_ECHELLE_GRAPHE, bit 7 CONFIG_MAIL.ACTIF (with a table)
//   byte 1  bits 0-1 alert hook: 0 none, 1 does nothing, 2 throws every third
//           call, 3 always throws; bit 2 '.' as decimal separator (else ',');
//           bit 3 switch meter 1 <-> 2 after every packet (when ActiveMeter is
//           set); bit 4 start a new reading halfway (frame counts 0);
//           bit 5 PacketCount starts past the skip
//   byte 2  largest block handed to the framer, minus one
//   byte 3  seed of the block sizes
//   rest    the serial stream
// The stream goes through the framer in blocks; then every span of it that
// ends at an ETX (at most 4096 bytes, STX and the CR before the ETX removed
// when present) is handed to the decoder directly, so that packets longer
// than the framer's buffer, or without a proper start, reach it too.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "acquisition/decoder.h"
#include "acquisition/framer.h"
#include "acquisition/meter_slot.h"
#include "common/error.h"
#include "common/user_messages.h"
#include "config/settings.h"
#include "display/graph_state.h"
#include "display/main_window_state.h"

namespace {

using namespace vireluz;

constexpr std::size_t kHeader = 4;
constexpr std::size_t kMaxDirectPacket = 4096;

struct World {
  Settings settings;
  std::array<MeterSlot, 2> meters;
  MeasureTable measures;
  ReadingCounters counters;
  MainWindowState window = design_main_window();
  GraphsWindowState graphs;
  RecordingMessages messages;
  Decoder decoder{settings, meters, measures, counters, window, graphs, messages};
  int hook_calls = 0;
  int hook_mode = 0;
  bool switching = false;
  std::size_t packets = 0;

  // What the program does around a packet: the decoder may throw from the
  // alert hook; the error ends this packet only.
  void packet(std::string_view p) {
    try {
      decoder.ComDataPacket1Packet(p);
    } catch (const VireluzError&) {
    }
    ++packets;
    if (messages.messages.size() > 64) messages.messages.clear();
    if (messages.no_tic.size() > 64) messages.no_tic.clear();
    if (switching && counters.ActiveMeter != 0) {
      counters.ActiveMeter = 3 - counters.ActiveMeter;
      counters.PacketCount = 0;
    }
  }
};

// A small deterministic generator for the block sizes.
struct Lcg {
  std::uint32_t state;
  std::uint32_t next() {
    state = state * 1664525u + 1013904223u;
    return state >> 16;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::array<std::uint8_t, kHeader> h{};
  for (std::size_t i = 0; i < kHeader && i < size; ++i) h[i] = data[i];
  const std::string_view stream =
      size > kHeader ? std::string_view(reinterpret_cast<const char*>(data) + kHeader, size - kHeader)
                     : std::string_view();

  World w;
  Settings& s = w.settings;
  s.prg.MODE_MONO_TRI = (h[0] >> 3) & 1;
  s.prg.MODE_MONO_TRI_cpt2 = (h[0] >> 4) & 1;
  s.prg.GRAPHE_IouPA = (h[0] >> 5) & 1;
  s.prg.MODE_ECHELLE_GRAPHE = (h[0] >> 6) & 1;
  if (h[0] & 0x80) {
    s.mail.ACTIF = 1;
    s.mail.TABLEAU_VIDE = "NON";
    s.alert_table[0][0] = "EDF";
  }
  w.counters.ActiveMeter = (h[0] & 3) % 3;
  w.counters.PacketsToSkip = (h[0] & 4) ? 2 : 1;
  w.counters.PacketCount = (h[1] & 0x20) ? 2 : 0;
  w.hook_mode = h[1] & 3;
  w.switching = (h[1] & 8) != 0;
  if (w.hook_mode != 0) {
    w.decoder.mail_alerte = [&w] {
      ++w.hook_calls;
      if (w.hook_mode == 3 || (w.hook_mode == 2 && w.hook_calls % 3 == 0))
        throw VireluzError("Erreur d'envoi du mail");
    };
  }
  w.decoder.set_decimal_separator((h[1] & 4) ? '.' : ',');
  w.decoder.apply_phase_settings();
  w.decoder.reset_frame_counts();

  ComDataPacket1 framer;
  framer.set_start_string("\x02");
  framer.set_stop_string("\r\x03");
  framer.on_packet = [&w](std::string_view p) { w.packet(p); };

  const std::size_t max_block = std::size_t{h[2]} + 1;
  Lcg rng{h[3]};
  const bool restart_halfway = (h[1] & 0x10) != 0;
  for (std::size_t pos = 0; pos < stream.size();) {
    const std::size_t n = std::min<std::size_t>(1 + rng.next() % max_block, stream.size() - pos);
    if (restart_halfway && pos <= stream.size() / 2 && pos + n > stream.size() / 2) {
      w.decoder.reset_frame_counts();
      w.counters.PacketCount = 0;
    }
    framer.handle_data(stream.substr(pos, n));
    pos += n;
  }

  // The same bytes cut at every ETX, straight to the decoder.
  std::size_t from = 0;
  while (from < stream.size()) {
    std::size_t end = stream.find('\x03', from);
    if (end == std::string_view::npos) end = stream.size();
    std::string_view p = stream.substr(from, end - from);
    if (!p.empty() && p.front() == '\x02') p.remove_prefix(1);
    if (!p.empty() && p.back() == '\r') p.remove_suffix(1);
    if (p.size() > kMaxDirectPacket) p = p.substr(0, kMaxDirectPacket);
    w.packet(p);
    from = end + 1;
  }
  // One more pass over the whole stream as a single packet: labels anywhere.
  // The packet is a view into real storage, as the framer's always are (an
  // empty default view has no storage at all).
  const std::string whole(stream.substr(0, std::min(stream.size(), kMaxDirectPacket)));
  w.packet(whole);

  // The state must stay printable by the window: read everything once.
  std::size_t total = 0;
  for (const auto& f : w.window.fields) total += f.text.size();
  for (const auto& g : w.graphs.graph)
    for (int i = 0; i < g.count; ++i) total += static_cast<std::size_t>(g.sample(i)[0] & 1);
  volatile std::size_t sink = total;
  (void)sink;
  return 0;
}
