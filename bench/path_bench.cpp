// The whole reading path on a byte stream: the framer ComDataPacket1 cutting
// the stream as the serial port delivers it (1-, 64- and 4096-byte blocks)
// and the packet handler attached to it exactly as the program attaches it
// (the Program's own framer, decoder and guard), with every presentation
// update. Beside it, measured in the same binary on the same bytes:
//   - the framer alone (its packet handler only counts the packets);
//   - two floors: a memchr pass that counts the LFs of the stream, and a
//     checksum pass that sums the covered bytes of every group and compares
//     the sum with the group's checksum character, storing nothing.
// Each benchmark reports frames/s and ns/frame, and its ratio to each floor
// (x_memchr, x_checksum: our time / floor time). These come from the thread's
// CPU time, the fastest of 25 interleaved batches (about 1 ms each) of each
// side, so that other work on a busy machine disturbs them as little as it
// can; items_per_second is Google Benchmark's own mean over its loop. allocs_per_frame counts the heap
// allocations of the measured loop (global operator new).
//
// The streams: real captures (from their first STX to their last ETX, bytes
// between frames included) and built historic HC and Tempo frames, repeated
// to at least 32 KiB, and two streams of a simulated meter (historic HC
// three-phase, standard Tempo three-phase), whose indexes grow from frame to
// frame as a meter's do. The two captures that lost their CR and ETX bytes
// (continuous_linky_3P_historical_TIC_2024_sample.bin and ..._with_rx_errors)
// hold no frame end and are left out. The program's clock moves on by the
// time a frame takes on its line each time the program reads it (once per
// packet), so that the plausibility filter judges every value as it would
// on a live line.
//
// BM_filter_cost runs the same path twice in interleaved batches, with the
// plausibility filter and without it (x_unfiltered: with ÷ without), and
// counts the values it refused (refused/frame: a repeated capture goes back
// to its first indexes at every repetition).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "acquisition/forwarding_d2xx.h"
#include "acquisition/tic_text.h"
#include "common/sim_scheduler.h"
#include "display/current_layout.h"
#include "program/program.h"
#include "simulator/virtual_meter.h"
#include "support/counting_allocator.h"

namespace vireluz {
namespace {

constexpr std::size_t kMinStream = 32 * 1024;

// ---- Streams ---------------------------------------------------------------

std::string hgroup(std::string_view label, std::string_view value) {
  std::string covered = std::string(label) + " " + std::string(value);
  return "\n" + covered + " " + tic_checksum(covered) + "\r";
}

std::string frame(std::initializer_list<std::string> groups) {
  std::string f = "\x02";
  for (const auto& g : groups) f += g;
  return f + "\x03";
}

std::string hc_frame() {
  return frame({hgroup("ADCO", "012345678910"), hgroup("OPTARIF", "HC.."), hgroup("ISOUSC", "45"),
                hgroup("HCHC", "001234567"), hgroup("HCHP", "012345678"), hgroup("PTEC", "HP.."),
                hgroup("IINST", "012"), hgroup("IMAX", "045"), hgroup("PAPP", "02760"), hgroup("HHPHC", "A"),
                hgroup("MOTDETAT", "000000")});
}

std::string tempo_frame() {
  return frame({hgroup("ADCO", "012345678910"), hgroup("OPTARIF", "BBR("), hgroup("ISOUSC", "45"),
                hgroup("BBRHCJB", "000000001"), hgroup("BBRHPJB", "000000002"),
                hgroup("BBRHCJW", "000000003"), hgroup("BBRHPJW", "000000004"),
                hgroup("BBRHCJR", "000000005"), hgroup("BBRHPJR", "000001006"), hgroup("PTEC", "HPJR"),
                hgroup("DEMAIN", "ROUG"), hgroup("IINST", "002"), hgroup("IMAX", "060"),
                hgroup("PAPP", "00500"), hgroup("HHPHC", "Y"), hgroup("MOTDETAT", "000000")});
}

void replace_all(std::string& s, std::string_view from, std::string_view to) {
  for (std::size_t i = s.find(from); i != std::string::npos; i = s.find(from, i + to.size()))
    s.replace(i, from.size(), to);
}

// A capture from its first STX to its last ETX. Two captures were recorded as
// text lines (STX CR LF ... CR LF ETX); they get back the framing a meter
// sends (STX LF ... CR ETX) so that the framer finds their frame ends.
std::string capture(const char* name) {
  std::ifstream in(std::string(VIRELUZ_CAPTURES_DIR) + "/" + name, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t first = bytes.find('\x02');
  const std::size_t last = bytes.rfind('\x03');
  if (first == std::string::npos || last == std::string::npos || last < first) std::abort();
  bytes = bytes.substr(first, last + 1 - first);
  replace_all(bytes, "\x02\r\n", "\x02\n");
  replace_all(bytes, "\r\n\x03", "\r\x03");
  return bytes;
}

std::string repeated(const std::string& unit) {
  std::string s;
  while (s.size() < kMinStream) s += unit;
  return s;
}

// Frames of a simulated meter, as its line carries them, back to back.
std::string simulated(SimTicMode mode, SimTariff option, int frames) {
  VirtualMeterConfig c;
  c.mode = mode;
  c.option = option;
  c.three_phase = true;
  VirtualMeter meter(c);
  std::string s;
  std::int64_t t = ms_from_civil(DateTime{2026, 1, 14, 18, 0, 0, 0});
  for (int i = 0; i < frames; ++i) {
    const std::string f = meter.next_frame(civil_from_ms(t));
    s += f;
    t += static_cast<std::int64_t>(f.size()) * 10000 / c.baud();
  }
  return s;
}

struct Stream {
  const char* name;
  std::string bytes;
  int phase_mode;  // MODE_MONO_TRI
  int frame_ms;    // the time a frame takes on its line
};

const std::vector<Stream>& streams() {
  static const std::vector<Stream> all = {
      {"historic_3P_capture", repeated(capture("continuous_linky_3P_historical_TIC_sample.bin")), 1, 2000},
      {"historic_base_capture", repeated(capture("linkytic-historic.bin")), 0, 1000},
      {"historic_hc", repeated(hc_frame()), 0, 1400},
      {"historic_tempo", repeated(tempo_frame()), 0, 2300},
      {"historic_3P_simulated", simulated(SimTicMode::HISTORIC, SimTariff::HC, 200), 1, 2000},
      {"standard_1P_capture", repeated(capture("continuous_linky_1P_standard_TIC_sample.bin")), 0, 900},
      {"standard_1P_midnight", repeated(capture("linky_1P_midnight.bin")), 0, 900},
      {"standard_linkytic", repeated(capture("linkytic-standard.bin")), 0, 900},
      {"standard_producer_log", repeated(capture("teleinfo2mqtt-standard.frames.log")), 0, 1100},
      {"standard_3P_simulated", simulated(SimTicMode::STANDARD, SimTariff::TEMPO, 100), 1, 1500},
  };
  return all;
}

// ---- Floors ----------------------------------------------------------------

std::size_t memchr_pass(std::string_view s) {
  const char* p = s.data();
  const char* const end = p + s.size();
  std::size_t n = 0;
  while (const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p))) {
    ++n;
    p = static_cast<const char*>(lf) + 1;
  }
  return n;
}

// Every group from its LF to its CR: a tab before the checksum character is
// covered (standard mode), a space is not (historic mode).
std::size_t checksum_pass(std::string_view s) {
  const char* p = s.data();
  const char* const end = p + s.size();
  std::size_t valid = 0;
  while (const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p))) {
    p = static_cast<const char*>(lf) + 1;
    const void* cr = std::memchr(p, '\r', static_cast<std::size_t>(end - p));
    if (!cr) break;
    const char* const c = static_cast<const char*>(cr);
    if (c - p >= 3) {
      const char* const covered_end = c[-2] == '\t' ? c - 1 : c - 2;
      unsigned sum = 0;
      for (const char* q = p; q < covered_end; ++q) sum += static_cast<unsigned char>(*q);
      valid += static_cast<char>((sum & 0x3Fu) + 0x20u) == c[-1];
    }
    p = c + 1;
  }
  return valid;
}

void feed(ComDataPacket1& framer, std::string_view s, std::size_t block) {
  for (std::size_t i = 0; i < s.size(); i += block) framer.handle_data(s.substr(i, block));
}

// CPU time of this thread: a machine shared with other work preempts us, and
// preempted time is not ours.
double cpu_ns() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

// Runs `pass` `n` times; the CPU time of one pass.
template <class Pass>
double batch_ns(Pass&& pass, int n) {
  const double t0 = cpu_ns();
  for (int i = 0; i < n; ++i) pass();
  return (cpu_ns() - t0) / n;
}

// Passes in a batch of about 1 ms.
template <class Pass>
int batch_size(Pass&& pass) {
  return static_cast<int>(std::clamp(1e6 / std::max(1.0, batch_ns(pass, 1)), 1.0, 100000.0));
}

// Runs the measured loop (one pass over the stream per iteration), then the
// ratios: batches of the measured pass and of both floors, interleaved, the
// fastest batch of each kind kept (the least disturbed by other work).
template <class Body>
void measure(benchmark::State& state, const Stream& stream, std::int64_t frames_per_pass, Body body) {
  const long allocations_before = bench::allocations();
  for (auto _ : state) body();
  const long allocations = bench::allocations() - allocations_before;

  const std::string_view s = stream.bytes;
  auto memchr_floor = [s] { benchmark::DoNotOptimize(memchr_pass(s)); };
  auto checksum_floor = [s] { benchmark::DoNotOptimize(checksum_pass(s)); };
  const int n_body = batch_size(body);
  const int n_memchr = batch_size(memchr_floor);
  const int n_checksum = batch_size(checksum_floor);
  double ours = 1e300, memchr_ns = 1e300, checksum_ns = 1e300;
  for (int b = 0; b < 25; ++b) {
    ours = std::min(ours, batch_ns(body, n_body));
    memchr_ns = std::min(memchr_ns, batch_ns(memchr_floor, n_memchr));
    checksum_ns = std::min(checksum_ns, batch_ns(checksum_floor, n_checksum));
  }

  const auto iterations = static_cast<std::int64_t>(state.iterations());
  state.SetItemsProcessed(frames_per_pass * iterations);
  state.SetBytesProcessed(static_cast<std::int64_t>(stream.bytes.size()) * iterations);
  state.counters["ns/frame"] = ours / static_cast<double>(frames_per_pass);
  state.counters["frames/s"] = 1e9 * static_cast<double>(frames_per_pass) / ours;
  state.counters["x_memchr"] = ours / memchr_ns;
  state.counters["x_checksum"] = ours / checksum_ns;
  state.counters["allocs_per_frame"] =
      static_cast<double>(allocations) / static_cast<double>(frames_per_pass * iterations);
}

// ---- The whole path --------------------------------------------------------

class NullLink : public SerialLink {
 public:
  void set_port_name(const std::string& d) override { port_ = d; }
  std::string port_name() const override { return port_; }
  void set_baud_rate(int b) override { baud_ = b; }
  int baud_rate() const override { return baud_; }
  void connect() override { open_ = true; }
  void disconnect() override { open_ = false; }
  bool connected() const override { return open_; }

 private:
  std::string port_;
  int baud_ = 1200;
  bool open_ = false;
};

// A clock that moves on by the time of a frame each time it is read.
class SteppingClock : public Clock {
 public:
  explicit SteppingClock(int step_ms) : step_ms_(step_ms) {}
  std::int64_t now_utc_ms() const override { return now_ += step_ms_; }
  int utc_offset_minutes(std::int64_t) const override { return 60; }

 private:
  std::int64_t step_ms_;
  mutable std::int64_t now_ = 1768410000000;
};

// The program core reading meter 1 (USB interface: one packet skipped).
struct Path {
  Path(const Stream& stream, bool filter) : clock(stream.frame_ms) {
    Settings& s = program.settings();
    s.prg.MODE_MONO_TRI = stream.phase_mode;
    program.decoder().set_plausibility_filter(filter);
    s.prg.GRAPHE_IouPA = 0;
    program.decoder().apply_phase_settings();
    affiche_I(program.meters(), program.window(), program.graphs());
    program.framer().set_start_string("\x02");
    program.framer().set_stop_string("\r\x03");
    ReadingCounters& c = program.counters();
    c.ActiveMeter = 1;
    c.PacketsToSkip = 1;
    c.PacketCount = 0;
  }
  SteppingClock clock;
  SimScheduler sched;
  RecordingMessages messages;
  ForwardingD2xx d2xx;
  NullLink link;
  Program program{clock, sched, messages, d2xx, link};

  // Warms up (the skipped packet, the identification frames, a full graph
  // ring); returns the frames of one pass.
  std::int64_t warm_up(benchmark::State& state, const Stream& stream, std::size_t block) {
    const std::int64_t before = program.packets();
    feed(program.framer(), stream.bytes, block);
    const std::int64_t frames = program.packets() - before;
    while (program.packets() < 1000) feed(program.framer(), stream.bytes, block);
    if (!program.meters()[0].identified) state.SkipWithError("meter not identified");
    if (!messages.messages.empty()) state.SkipWithError("error shown while decoding");
    return frames;
  }
};

void BM_path(benchmark::State& state, const Stream* stream) {
  const auto block = static_cast<std::size_t>(state.range(0));
  Path path(*stream, true);
  const std::int64_t frames = path.warm_up(state, *stream, block);
  measure(state, *stream, frames, [&] { feed(path.program.framer(), stream->bytes, block); });
}

// The path with and without the plausibility filter, in interleaved batches.
void BM_filter_cost(benchmark::State& state, const Stream* stream) {
  const auto block = static_cast<std::size_t>(state.range(0));
  Path with(*stream, true), without(*stream, false);
  const std::int64_t frames = with.warm_up(state, *stream, block);
  without.warm_up(state, *stream, block);
  auto pass_with = [&] { feed(with.program.framer(), stream->bytes, block); };
  auto pass_without = [&] { feed(without.program.framer(), stream->bytes, block); };
  const std::int64_t refused_before = with.program.meters()[0].rejected_values;
  const std::int64_t packets_before = with.program.packets();
  for (auto _ : state) pass_with();
  const int n_with = batch_size(pass_with);
  const int n_without = batch_size(pass_without);
  double ns_with = 1e300, ns_without = 1e300;
  for (int b = 0; b < 25; ++b) {
    ns_with = std::min(ns_with, batch_ns(pass_with, n_with));
    ns_without = std::min(ns_without, batch_ns(pass_without, n_without));
  }
  state.SetItemsProcessed(frames * static_cast<std::int64_t>(state.iterations()));
  state.counters["ns/frame"] = ns_with / static_cast<double>(frames);
  state.counters["ns/frame_unfiltered"] = ns_without / static_cast<double>(frames);
  state.counters["x_unfiltered"] = ns_with / ns_without;
  state.counters["refused/frame"] =
      static_cast<double>(with.program.meters()[0].rejected_values - refused_before) /
      static_cast<double>(std::max<std::int64_t>(1, with.program.packets() - packets_before));
}

void BM_framer(benchmark::State& state, const Stream* stream) {
  const auto block = static_cast<std::size_t>(state.range(0));
  ComDataPacket1 framer;
  framer.set_start_string("\x02");
  framer.set_stop_string("\r\x03");
  std::int64_t packets = 0;
  std::size_t bytes = 0;
  framer.on_packet = [&](std::string_view p) {
    ++packets;
    bytes += p.size();
  };
  feed(framer, stream->bytes, block);
  const std::int64_t frames = packets;
  measure(state, *stream, frames, [&] { feed(framer, stream->bytes, block); });
  benchmark::DoNotOptimize(bytes);
}

// The floors on their own, for reference (block size does not apply).
void BM_floor_memchr(benchmark::State& state, const Stream* stream) {
  const std::int64_t frames =
      static_cast<std::int64_t>(std::count(stream->bytes.begin(), stream->bytes.end(), '\x03'));
  for (auto _ : state) benchmark::DoNotOptimize(memchr_pass(stream->bytes));
  state.SetItemsProcessed(frames * static_cast<std::int64_t>(state.iterations()));
}
void BM_floor_checksum(benchmark::State& state, const Stream* stream) {
  const std::int64_t frames =
      static_cast<std::int64_t>(std::count(stream->bytes.begin(), stream->bytes.end(), '\x03'));
  for (auto _ : state) benchmark::DoNotOptimize(checksum_pass(stream->bytes));
  state.SetItemsProcessed(frames * static_cast<std::int64_t>(state.iterations()));
}

void register_all() {
  for (const Stream& s : streams()) {
    const std::string n = s.name;
    benchmark::RegisterBenchmark(("BM_path/" + n).c_str(), BM_path, &s)->Arg(1)->Arg(64)->Arg(4096);
    benchmark::RegisterBenchmark(("BM_framer/" + n).c_str(), BM_framer, &s)->Arg(1)->Arg(64)->Arg(4096);
    benchmark::RegisterBenchmark(("BM_filter_cost/" + n).c_str(), BM_filter_cost, &s)->Arg(64)->Arg(4096);
    benchmark::RegisterBenchmark(("BM_floor_memchr/" + n).c_str(), BM_floor_memchr, &s);
    benchmark::RegisterBenchmark(("BM_floor_checksum/" + n).c_str(), BM_floor_checksum, &s);
  }
}

}  // namespace
}  // namespace vireluz

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  vireluz::register_all();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
