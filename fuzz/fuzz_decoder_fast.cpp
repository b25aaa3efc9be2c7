// Fuzz target: the TIC framer and the packet decoder alone, kept fast so that
// it runs millions of inputs (fuzz_decoder adds the file lines, the start and
// stop string changes, the skip counts and the alert hook, for depth).
//
// Input layout (the seeds in corpus/fuzz_decoder_fast follow it):
//   byte 0  bits 0-1 ActiveMeter (value % 3), bit 2 MODE_MONO_TRI,
//           bit 3 MODE_MONO_TRI_cpt2, bit 4 GRAPHE IouPA,
//           bit 5 MODE_ECHELLE_GRAPHE, bit 6 '.' as decimal separator (else
//           ','), bit 7 the stream goes straight to the decoder, cut at every
//           ETX (STX and the CR before the ETX removed when present), instead
//           of through the framer
//   byte 1  seed of the block sizes handed to the framer (1 to 64 bytes)
//   rest    the serial stream
// The objects live across inputs and are set back to their state at start
// before each one, so that an input gives the same result whatever ran
// before it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "acquisition/decoder.h"
#include "acquisition/framer.h"
#include "common/user_messages.h"
#include "config/settings.h"
#include "display/graph_state.h"
#include "display/main_window_state.h"
#include "meter/meter_slot.h"

namespace {

using namespace vireluz;

struct World {
  Settings settings;
  std::array<MeterSlot, 2> meters;
  MeasureTable measures;
  ReadingCounters counters;
  MainWindowState window = design_main_window();
  GraphsWindowState graphs;
  RecordingMessages messages;
  // Rebuilt for every input: its plausibility filter remembers the values
  // it accepted, and an input must not depend on the ones before it.
  std::optional<Decoder> decoder;
  ComDataPacket1 framer;
  std::int64_t now_ms = 0;  // a packet a second

  World() {
    framer.set_start_string("\x02");
    framer.set_stop_string("\r\x03");
    framer.on_packet = [this](std::string_view p) { packet(p); };
  }
  void packet(std::string_view p) {
    now_ms += 1000;
    decoder->ComDataPacket1Packet(p, now_ms);
  }
};

// One world for every input, set back to its state at start before each:
// copy assignment keeps the strings' storage, and the decoder and the framer
// keep their buffers, as they do between the packets of a real run. That
// costs far less than building a new world.
World& fresh_world() {
  static const World initial;
  static World w;
  w.meters = initial.meters;
  w.measures = initial.measures;
  w.window = initial.window;
  w.graphs = initial.graphs;
  w.messages.messages.clear();
  w.messages.no_tic.clear();
  w.framer.clear();
  w.now_ms = 0;
  w.decoder.emplace(w.settings, w.meters, w.measures, w.counters, w.window, w.graphs, w.messages);
  return w;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t mode = data[0];
  const std::string_view stream(reinterpret_cast<const char*>(data) + 2, size - 2);

  World& w = fresh_world();
  Settings& s = w.settings;
  s.prg.MODE_MONO_TRI = (mode >> 2) & 1;
  s.prg.MODE_MONO_TRI_cpt2 = (mode >> 3) & 1;
  s.prg.GRAPHE_IouPA = (mode >> 4) & 1;
  s.prg.MODE_ECHELLE_GRAPHE = (mode >> 5) & 1;
  // Past the skip of the first packet: every packet is decoded.
  w.counters = ReadingCounters{(mode & 3) % 3, 1, 1};
  Decoder& decoder = *w.decoder;
  decoder.set_decimal_separator((mode & 0x40) ? '.' : ',');
  decoder.apply_phase_settings();
  decoder.reset_frame_counts();

  if (mode & 0x80) {
    for (std::size_t from = 0; from < stream.size();) {
      std::size_t end = stream.find('\x03', from);
      if (end == std::string_view::npos) end = stream.size();
      std::string_view p = stream.substr(from, end - from);
      if (!p.empty() && p.front() == '\x02') p.remove_prefix(1);
      if (!p.empty() && p.back() == '\r') p.remove_suffix(1);
      w.packet(p);
      from = end + 1;
    }
    return 0;
  }

  ComDataPacket1& framer = w.framer;
  std::uint32_t rng = data[1];
  for (std::size_t pos = 0; pos < stream.size();) {
    rng = rng * 1664525u + 1013904223u;
    const std::size_t n = std::min<std::size_t>(1 + (rng >> 16) % 64, stream.size() - pos);
    framer.handle_data(stream.substr(pos, n));
    // The framer never keeps a full buffer between blocks.
    if (framer.buffered() >= ComDataPacket1::kMaxBuffer) std::abort();
    pos += n;
  }
  return 0;
}
