#pragma once
// Builds TIC packets for the decoder tests and cuts real captures into packets.
#include <array>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "acquisition/decoder.h"
#include "common/user_messages.h"
#include "config/settings.h"
#include "display/graph_state.h"
#include "display/main_window_state.h"

namespace vireluz::testing {

// One historic group: LF label SP value SP checksum CR.
std::string hgroup(std::string_view label, std::string_view value);
// One standard group: LF label HT value HT checksum CR; with a time stamp:
// LF label HT date HT value HT checksum CR.
std::string sgroup(std::string_view label, std::string_view value);
std::string sgroup_dated(std::string_view label, std::string_view date, std::string_view value);
// The packet of a frame made of these groups: their concatenation without the
// last CR (the framer takes it with the ETX).
std::string packet(std::initializer_list<std::string> groups);
std::string packet(const std::vector<std::string>& groups);

// Packets of a raw capture: the bytes after each STX up to the next ETX, with
// the CR just before the ETX removed when present.
std::vector<std::string> split_frames(std::string_view bytes);
std::string read_capture(std::string_view name);

// A decoder with its whole world, as the program wires it.
struct Bench {
  Settings settings;
  std::array<MeterSlot, 2> meters;
  MeasureTable measures;
  ReadingCounters counters;
  MainWindowState window;
  GraphsWindowState graphs;
  RecordingMessages messages;
  Decoder decoder;

  explicit Bench(int active_meter = 1, int skip = 0);
  // Sets PacketCount past the skip and starts a reading (frame counts 0).
  void start_reading(int active_meter, int skip = 0);
  // Decodes a packet at the time the line took to carry it since the last one.
  void feed(std::string_view p) {
    now_ms += static_cast<std::int64_t>(p.size() + 3) * 10000 / line_baud(p);
    decoder.ComDataPacket1Packet(p, now_ms);
  }
  std::int64_t now_ms = 0;
  const Field& field(FieldId id) const { return window[id]; }
  const std::string& text(FieldId id) const { return window[id].text; }
  int measure(MeasureKind k, int meter) const { return measures.at(k, meter); }
};

}  // namespace vireluz::testing
