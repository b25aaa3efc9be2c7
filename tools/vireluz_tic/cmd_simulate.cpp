// vireluz-tic simulate: the raw byte stream of one simulated meter on
// standard output, as fast as possible or at the line's pace.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "commands.h"
#include "common/clock.h"
#include "simulator/virtual_meter.h"

namespace vireluz::tic {

namespace {

void simulate_usage() {
  std::fputs(
      "usage: vireluz-tic simulate [--mode historique|standard] [--option hc|base|ejp|tempo|prod]\n"
      "                            [--tri] [--frames N] [--realtime] [--seed N] [--corruption P]\n"
      "                            [--start \"YYYY-MM-DD HH:MM:SS\"]\n"
      "  Writes the TIC stream of one simulated meter (raw bytes) to standard output:\n"
      "  N frames (default 10) as fast as possible, or at the baud rate with --realtime\n"
      "  (then until N frames, or until killed when --frames is not given).\n"
      "  --option prod is a solar production meter (historic: BASE, standard: PRODUCTEUR).\n"
      "  The simulated time starts at --start (default: now) and advances by each\n"
      "  frame's transmission time.\n",
      stderr);
}

int fail(const std::string& msg) {
  std::fprintf(stderr, "vireluz-tic simulate : %s\n", msg.c_str());
  return 2;
}

std::optional<DateTime> parse_start(const char* s) {
  DateTime t;
  char sep = 0, end = 0;
  if (std::sscanf(s, "%4d-%2d-%2d%c%2d:%2d:%2d%c", &t.year, &t.month, &t.day, &sep, &t.hour, &t.minute,
                  &t.second, &end) != 7)
    return std::nullopt;
  if (sep != ' ' && sep != 'T') return std::nullopt;
  if (t.year < 1971 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 || t.hour > 23 ||
      t.minute > 59 || t.second > 59 || t.hour < 0 || t.minute < 0 || t.second < 0)
    return std::nullopt;
  // Reject 31 April and the like: the civil round trip must give the same day.
  const DateTime back = civil_from_ms(ms_from_civil(t));
  if (back.day != t.day || back.month != t.month) return std::nullopt;
  return t;
}

std::optional<long long> parse_count(const char* s) {
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(s, &end, 10);
  if (*s == '\0' || *end != '\0' || errno != 0 || v < 0) return std::nullopt;
  return v;
}

}  // namespace

int cmd_simulate(int argc, char** argv) {
  VirtualMeterConfig cfg;
  cfg.option = SimTariff::HC;
  std::optional<long long> frames;
  bool realtime = false;
  std::optional<DateTime> start;

  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    const auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (a == "-h" || a == "--help") {
      simulate_usage();
      return 0;
    } else if (a == "--tri") {
      cfg.three_phase = true;
    } else if (a == "--realtime") {
      realtime = true;
    } else if (a == "--mode") {
      const char* v = value();
      if (!v) return fail("--mode attend une valeur (historique ou standard)");
      const std::string_view m = v;
      if (m == "historique" || m == "historic")
        cfg.mode = SimTicMode::HISTORIC;
      else if (m == "standard")
        cfg.mode = SimTicMode::STANDARD;
      else
        return fail("mode inconnu « " + std::string(m) + " » (historique ou standard)");
    } else if (a == "--option") {
      const char* v = value();
      if (!v) return fail("--option attend une valeur (hc, base, ejp, tempo ou prod)");
      const std::string_view o = v;
      if (o == "hc") {
        cfg.option = SimTariff::HC;
      } else if (o == "base") {
        cfg.option = SimTariff::BASE;
      } else if (o == "ejp") {
        cfg.option = SimTariff::EJP;
      } else if (o == "tempo") {
        cfg.option = SimTariff::TEMPO;
      } else if (o == "prod") {
        cfg.option = SimTariff::PRODUCTEUR;
        cfg.solar = true;
      } else {
        return fail("option inconnue « " + std::string(o) + " » (hc, base, ejp, tempo ou prod)");
      }
    } else if (a == "--frames") {
      const char* v = value();
      const auto n = v ? parse_count(v) : std::nullopt;
      if (!n) return fail("--frames attend un nombre entier");
      frames = *n;
    } else if (a == "--seed") {
      const char* v = value();
      const auto n = v ? parse_count(v) : std::nullopt;
      if (!n) return fail("--seed attend un nombre entier");
      cfg.seed = static_cast<std::uint64_t>(*n);
    } else if (a == "--corruption") {
      const char* v = value();
      char* end = nullptr;
      const double p = v ? std::strtod(v, &end) : -1;
      if (!v || *v == '\0' || *end != '\0' || !(p >= 0 && p <= 1))
        return fail("--corruption attend une probabilité entre 0 et 1");
      cfg.corruption = p;
    } else if (a == "--start") {
      const char* v = value();
      start = v ? parse_start(v) : std::nullopt;
      if (!start) return fail("--start attend une date et une heure \"AAAA-MM-JJ HH:MM:SS\"");
    } else {
      simulate_usage();
      return fail("argument inconnu « " + std::string(a) + " »");
    }
  }

  SystemClock system;
  const DateTime t0 = start ? *start : system.local_now();
  const long long limit = frames ? *frames : (realtime ? -1 : 10);
  VirtualMeter meter(cfg, 1);
  const int baud = meter.baud();
  const int gap_slots = (30 * baud + 9999) / 10000;  // 30 ms of silence between frames
  const std::int64_t start_ms = ms_from_civil(t0);
  std::int64_t slots = 0;  // byte times since the start
  const auto wall_start = std::chrono::steady_clock::now();

  for (long long n = 0; limit < 0 || n < limit; ++n) {
    const std::string frame = meter.next_frame(civil_from_ms(start_ms + slots * 10000 / baud));
    if (!realtime) {
      if (std::fwrite(frame.data(), 1, frame.size(), stdout) != frame.size()) return 1;
    } else {
      // Bytes in blocks of about 50 ms, each written when its last byte is due.
      const std::size_t block = static_cast<std::size_t>(baud / 200 > 0 ? baud / 200 : 1);
      for (std::size_t pos = 0; pos < frame.size(); pos += block) {
        const std::size_t len = std::min(block, frame.size() - pos);
        const std::int64_t due_ms = (slots + static_cast<std::int64_t>(pos + len)) * 10000 / baud;
        std::this_thread::sleep_until(wall_start + std::chrono::milliseconds(due_ms));
        if (std::fwrite(frame.data() + pos, 1, len, stdout) != len) return 1;
        if (std::fflush(stdout) != 0) return 1;
      }
    }
    slots += static_cast<std::int64_t>(frame.size()) + gap_slots;
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace vireluz::tic
