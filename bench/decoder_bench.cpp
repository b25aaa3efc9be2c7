// Throughput of the packet handler on real and hand-written frames, including
// every presentation-state update, and the heap allocations it makes per frame
// once warm (counted by a global operator new).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "acquisition/decoder.h"
#include "acquisition/tic_text.h"
#include "support/counting_allocator.h"
#include "display/current_layout.h"
#include "display/graphs.h"

namespace vireluz {
namespace {

std::string hgroup(std::string_view label, std::string_view value) {
  std::string covered = std::string(label) + " " + std::string(value);
  return "\n" + covered + " " + tic_checksum(covered) + "\r";
}

std::string packet(std::initializer_list<std::string> groups) {
  std::string p;
  for (const auto& g : groups) p += g;
  p.pop_back();
  return p;
}

// The n-th frame of a capture (bytes after STX up to ETX, without the CR before ETX).
std::string capture_frame(const char* name, int n) {
  std::ifstream in(std::string(VIRELUZ_CAPTURES_DIR) + "/" + name, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t i = 0;
  for (int k = 0;; ++k) {
    i = bytes.find('\x02', i);
    const std::size_t end = bytes.find('\x03', i + 1);
    if (i == std::string::npos || end == std::string::npos) std::abort();
    if (k == n) {
      std::string p = bytes.substr(i + 1, end - i - 1);
      if (!p.empty() && p.back() == '\r') p.pop_back();
      return p;
    }
    i = end + 1;
  }
}

std::string hc_frame() {
  return packet({hgroup("ADCO", "012345678910"), hgroup("OPTARIF", "HC.."), hgroup("ISOUSC", "45"),
                 hgroup("HCHC", "001234567"), hgroup("HCHP", "012345678"), hgroup("PTEC", "HP.."),
                 hgroup("IINST", "012"), hgroup("IMAX", "045"), hgroup("PAPP", "02760"), hgroup("HHPHC", "A"),
                 hgroup("MOTDETAT", "000000")});
}

std::string tempo_frame() {
  return packet({hgroup("ADCO", "012345678910"), hgroup("OPTARIF", "BBR("), hgroup("ISOUSC", "45"),
                 hgroup("BBRHCJB", "000000001"), hgroup("BBRHPJB", "000000002"),
                 hgroup("BBRHCJW", "000000003"), hgroup("BBRHPJW", "000000004"),
                 hgroup("BBRHCJR", "000000005"), hgroup("BBRHPJR", "000001006"), hgroup("PTEC", "HPJR"),
                 hgroup("DEMAIN", "ROUG"), hgroup("IINST", "002"), hgroup("IMAX", "060"),
                 hgroup("PAPP", "00500"), hgroup("HHPHC", "Y"), hgroup("MOTDETAT", "000000")});
}

std::string jaune_frame() {
  return packet({hgroup("JAUNE", "12:30:45:0100:21::00000550"),
                 hgroup("ENERG", "000123:000045:000006:000000"), hgroup("PERCC", "00")});
}

void run(benchmark::State& state, const std::string& frame, int phase_mode, int power_graph) {
  Settings settings;
  settings.prg.MODE_MONO_TRI = phase_mode;
  settings.prg.GRAPHE_IouPA = power_graph;
  std::array<MeterSlot, 2> meters;
  MeasureTable measures;
  ReadingCounters counters;
  MainWindowState window = design_main_window();
  GraphsWindowState graphs = design_graphs_window();
  RecordingMessages messages;
  Decoder decoder(settings, meters, measures, counters, window, graphs, messages);
  decoder.apply_phase_settings();
  affiche_I(meters, window, graphs);
  counters.ActiveMeter = 1;
  counters.PacketsToSkip = 1;
  // Warm up: the skipped packet, the identification frames, and enough frames
  // to fill the graph ring.
  std::int64_t now_ms = 0;  // a frame a second
  for (int i = 0; i < 400; ++i) decoder.ComDataPacket1Packet(frame, now_ms += 1000);
  if (!meters[0].identified && meters[0].tariff_kind != TariffKind::JAUNE)
    state.SkipWithError("not identified");

  const long before = bench::allocations();
  for (auto _ : state) {
    decoder.ComDataPacket1Packet(frame, now_ms += 1000);
    benchmark::ClobberMemory();
  }
  const long allocations = bench::allocations() - before;
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(frame.size()));
  state.counters["allocs_per_frame"] =
      benchmark::Counter(static_cast<double>(allocations) / static_cast<double>(state.iterations()));
  state.counters["frame_bytes"] = static_cast<double>(frame.size());
}

void BM_historic_3P_capture(benchmark::State& s) {
  run(s, capture_frame("continuous_linky_3P_historical_TIC_sample.bin", 0), 1, 0);
}
void BM_historic_base_capture(benchmark::State& s) {
  run(s, capture_frame("linkytic-historic.bin", 0), 0, 0);
}
void BM_historic_hc(benchmark::State& s) { run(s, hc_frame(), 0, 0); }
void BM_historic_hc_power_graph(benchmark::State& s) { run(s, hc_frame(), 0, 1); }
void BM_historic_tempo(benchmark::State& s) { run(s, tempo_frame(), 0, 0); }
void BM_standard_1P_capture(benchmark::State& s) {
  run(s, capture_frame("continuous_linky_1P_standard_TIC_sample.bin", 0), 0, 0);
}
void BM_standard_producer_log(benchmark::State& s) {
  run(s, capture_frame("teleinfo2mqtt-standard.frames.log", 0), 0, 0);
}
void BM_jaune(benchmark::State& s) { run(s, jaune_frame(), 0, 0); }

BENCHMARK(BM_historic_3P_capture);
BENCHMARK(BM_historic_base_capture);
BENCHMARK(BM_historic_hc);
BENCHMARK(BM_historic_hc_power_graph);
BENCHMARK(BM_historic_tempo);
BENCHMARK(BM_standard_1P_capture);
BENCHMARK(BM_standard_producer_log);
BENCHMARK(BM_jaune);

}  // namespace
}  // namespace vireluz

BENCHMARK_MAIN();
