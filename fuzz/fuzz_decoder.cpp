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
//           bit 5 PacketCount starts past the skip; bits 6-7 PacketsToSkip
//           other than byte 0 says: 1 gives 0, 2 gives 3, 3 gives
//           3 + (byte 3 % 64)
//   byte 2  largest block handed to the framer, minus one
//   byte 3  seed of the block sizes
//   rest    the serial stream
// In the stream, ESC followed by one byte S changes the framer's start and
// stop strings at that point (ESC and S are not part of the stream): start
// string kStarts[S & 7], stop string kStops[(S >> 3) & 7]; with bit 6 of S
// the change is made from inside the handler of the next packet, after it
// is decoded, as a handler that switches meters would. ESC as the last byte
// is data.
// The stream goes through the framer in blocks; then every span of it that
// ends at an ETX (at most 4096 bytes, STX and the CR before the ETX removed
// when present) is handed to the decoder directly, so that packets longer
// than the framer's buffer, or without a proper start, reach it too.
// After every packet the lines that the record, production and daily files
// would get from the decoded values are built: none may hold a control
// character (a line feed in a value would split its line).
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/decoder.h"
#include "acquisition/framer.h"
#include "common/error.h"
#include "common/user_messages.h"
#include "config/settings.h"
#include "display/graph_state.h"
#include "display/main_window_state.h"
#include "meter/meter_slot.h"
#include "recording/daily_file.h"
#include "recording/record_file.h"

namespace {

using namespace vireluz;

constexpr std::size_t kHeader = 4;
constexpr std::size_t kMaxDirectPacket = 4096;
constexpr char kChange = '\x1B';
constexpr std::string_view kStarts[8] = {"\x02", "", "\x02\x0A", "ADCO", "\x0A", "\x02\x02", "\x03", "a"};
constexpr std::string_view kStops[8] = {"\r\x03", "\x03", "", "\r", "\x03\x03", "\r\n", "\x02", "A"};
const DateTime kNow{2026, 12, 31, 23, 59, 30, 0};

[[noreturn]] void fail(const char* what, const Text& line) {
  std::fprintf(stderr, "fuzz_decoder: control character in the %s line: ", what);
  for (unsigned char c : line) std::fprintf(stderr, c < 0x20 || c >= 0x7F ? "\\x%02X" : "%c", c);
  std::fprintf(stderr, "\n");
  std::abort();
}

void check_line(const char* what, const Text& line) {
  for (unsigned char c : line)
    if (c < 0x20 || c == 0x7F) fail(what, line);
}

// The file lines built from the decoded values, with two meters, PTEC and
// the production file on, for either production meter.
void check_file_lines(Settings& s, const std::array<MeterSlot, 2>& meters, const MainWindowState& window) {
  const PrgSettings kept = s.prg;
  s.prg.MODE_INTERFACE = 1;
  s.prg.PTEC_A_ENREGISTRER = 1;
  s.prg.FICHIER_PROD_CSV = 1;
  check_line("record title", record_title2(s, meters, window));
  check_line("record header", record_column_header(s, meters));
  check_line("record row", ligne_donnees(s, meters));
  check_line("daily header", daily_header(s, meters));
  check_line("daily", daily_line(s, meters, kNow));
  for (int prod : {1, 2}) {
    s.prg.CPT_PROD = prod;
    check_line("production", production_line(s, meters, kNow).line);
  }
  s.prg = kept;
}

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
  std::function<void()> after_next_packet;

  // What the program does around a packet: the decoder may throw from the
  // alert hook; the error ends this packet only.
  void packet(std::string_view p) {
    try {
      decoder.ComDataPacket1Packet(p, static_cast<std::int64_t>(packets) * 1000);  // a frame a second
    } catch (const VireluzError&) {
    }
    check_file_lines(settings, meters, window);
    if (after_next_packet) {
      // Still inside the framer's handler; the packet's view is not used
      // after this.
      auto change = std::move(after_next_packet);
      after_next_packet = nullptr;
      change();
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
  const std::string_view raw =
      size > kHeader ? std::string_view(reinterpret_cast<const char*>(data) + kHeader, size - kHeader)
                     : std::string_view();
  // The stream without its string changes, and where each change falls.
  std::string stream_bytes;
  std::vector<std::pair<std::size_t, std::uint8_t>> changes;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == kChange && i + 1 < raw.size()) {
      changes.emplace_back(stream_bytes.size(), static_cast<std::uint8_t>(raw[++i]));
      continue;
    }
    stream_bytes.push_back(raw[i]);
  }
  const std::string_view stream = stream_bytes;

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
  switch (h[1] >> 6) {
    case 0:
      w.counters.PacketsToSkip = (h[0] & 4) ? 2 : 1;
      break;
    case 1:
      w.counters.PacketsToSkip = 0;
      break;
    case 2:
      w.counters.PacketsToSkip = 3;
      break;
    default:
      w.counters.PacketsToSkip = 3 + h[3] % 64;
      break;
  }
  w.counters.PacketCount = (h[1] & 0x20) ? std::max(2, w.counters.PacketsToSkip) : 0;
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
  std::size_t next_change = 0;
  auto change_strings = [&framer](std::uint8_t sel) {
    framer.set_start_string(kStarts[sel & 7]);
    framer.set_stop_string(kStops[(sel >> 3) & 7]);
  };
  for (std::size_t pos = 0; pos <= stream.size();) {
    while (next_change < changes.size() && changes[next_change].first == pos) {
      const std::uint8_t sel = changes[next_change++].second;
      if (sel & 0x40)
        w.after_next_packet = [change_strings, sel] { change_strings(sel); };
      else
        change_strings(sel);
    }
    if (pos == stream.size()) break;
    std::size_t n = std::min<std::size_t>(1 + rng.next() % max_block, stream.size() - pos);
    if (next_change < changes.size()) n = std::min(n, changes[next_change].first - pos);
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
