#include "tic_builder.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "acquisition/tic_text.h"
#include "display/current_layout.h"
#include "display/graphs.h"

namespace vireluz::testing {

std::string hgroup(std::string_view label, std::string_view value) {
  std::string covered = std::string(label) + " " + std::string(value);
  return "\n" + covered + " " + tic_checksum(covered) + "\r";
}

std::string sgroup(std::string_view label, std::string_view value) {
  std::string covered = std::string(label) + "\t" + std::string(value) + "\t";
  return "\n" + covered + tic_checksum(covered) + "\r";
}

std::string sgroup_dated(std::string_view label, std::string_view date, std::string_view value) {
  return sgroup(label, std::string(date) + "\t" + std::string(value));
}

std::string packet(const std::vector<std::string>& groups) {
  std::string p;
  for (const auto& g : groups) p += g;
  if (!p.empty() && p.back() == '\r') p.pop_back();
  return p;
}

std::string packet(std::initializer_list<std::string> groups) {
  return packet(std::vector<std::string>(groups));
}

std::vector<std::string> split_frames(std::string_view bytes) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while ((i = bytes.find('\x02', i)) != std::string_view::npos) {
    const std::size_t end = bytes.find('\x03', i + 1);
    if (end == std::string_view::npos) break;
    std::string_view p = bytes.substr(i + 1, end - i - 1);
    if (!p.empty() && p.back() == '\r') p.remove_suffix(1);
    out.emplace_back(p);
    i = end + 1;
  }
  return out;
}

std::string read_capture(std::string_view name) {
  const std::string path = std::string(VIRELUZ_CAPTURES_DIR) + "/" + std::string(name);
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bench::Bench(int active_meter, int skip)
    : window(design_main_window()),
      graphs(design_graphs_window()),
      decoder(settings, meters, measures, counters, window, graphs, messages) {
  start_reading(active_meter, skip);
}

void Bench::start_reading(int active_meter, int skip) {
  decoder.apply_phase_settings();
  affiche_I(meters, window, graphs);
  decoder.reset_frame_counts();
  counters.ActiveMeter = active_meter;
  counters.PacketsToSkip = skip;
  counters.PacketCount = 0;
}

}  // namespace vireluz::testing
