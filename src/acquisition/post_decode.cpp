// What follows from the decoded texts within the same packet: gauge and graph
// scaling from the subscription, gauge positions and MeasureTable entries of
// the currents, graph samples, and the power computed from the currents.
#include <algorithm>
#include <charconv>

#include "acquisition/decoder.h"
#include "acquisition/decoder_texts.h"
#include "acquisition/tic_text.h"
#include "display/graphs.h"

namespace vireluz {
namespace {

// A stored current text (digits without leading zeros); a phase never received
// (empty text) counts as 0.
std::int32_t current_of(const Text& t) { return parse_digits(t).value_or(0); }

void set_gauge_scale(Gauge& g, int max) {
  g.max = max;
  g.zone1 = max - 30 * max / 100;
  g.zone2 = max - 15 * max / 100;
}

}  // namespace

void Decoder::scaling(const Routed& r, int subscribed, bool in_kva) {
  // The gauges and the current graphs are drawn in A. A subscribed power (kVA)
  // becomes the current that carries it at 230 V, per phase for a three-phase
  // meter, rounded up.
  std::int64_t max = subscribed;
  if (in_kva) {
    const std::int64_t va = static_cast<std::int64_t>(subscribed) * 1000;
    const std::int64_t volts = r.slot.phase_mode == PhaseMode::TRI ? 3 * 230 : 230;
    max = (va + volts - 1) / volts;
  }
  const int m = static_cast<int>(std::min<std::int64_t>(max, 1000000));
  const bool current_graphs = settings_.prg.GRAPHE_IouPA == 0;

  if (current_graphs) echelle_graphe(settings_, r.slot, r.graph);
  set_gauge_scale(window_[r.c.gauge[0]], m);
  if (r.slot.phase_mode == PhaseMode::TRI) {
    set_gauge_scale(window_[r.c.gauge[1]], m);
    set_gauge_scale(window_[r.c.gauge[2]], m);
  }
  if (current_graphs) {
    set_slider_max(r.graph, m);
    if (settings_.prg.MODE_ECHELLE_GRAPHE == 0) {
      r.graph.top = m;
      ++r.graph.serial;
    }
  }
}

void Decoder::single_phase_step(const Routed& r) {
  const std::int32_t i = current_of(r.slot.IINST);
  window_[r.c.gauge[0]].position = i;
  measures_.at(MeasureKind::IINST, r.meter) = i;
  if (settings_.prg.GRAPHE_IouPA == 0) {
    put_text(scratch_, r.slot.IINST, ";");
    r.graph.add_sample(scratch_);
    if (i > r.slot.graph_max) {
      r.slot.graph_max = i;
      echelle_graphe(settings_, r.slot, r.graph);
    }
  }
}

void Decoder::three_phase_step(const Routed& r) {
  const Text* const text[3] = {&r.slot.IINST1, &r.slot.IINST2, &r.slot.IINST3};
  std::int32_t i[3];
  for (std::size_t k = 0; k < 3; ++k) {
    i[k] = current_of(*text[k]);
    if (!text[k]->empty()) window_[r.c.gauge[k]].position = i[k];
  }
  if (settings_.prg.GRAPHE_IouPA == 0) {
    r.slot.graph_max = std::max({r.slot.graph_max, i[0], i[1], i[2]});
    if (r.slot.graph_max > r.graph.top) echelle_graphe(settings_, r.slot, r.graph);
    scratch_.clear();
    for (const Text* t : text) {
      scratch_.append(*t);
      scratch_.push_back(';');
    }
    r.graph.add_sample(scratch_);
  }
  measures_.at(MeasureKind::IINST1, r.meter) = i[0];
  measures_.at(MeasureKind::IINST2, r.meter) = i[1];
  measures_.at(MeasureKind::IINST3, r.meter) = i[2];
}

void Decoder::feed_power_graph(const Routed& r) { graphe_pa(settings_, r.slot, r.graph); }

void Decoder::power_graph_step(const Routed& r) {
  if (settings_.prg.GRAPHE_IouPA == 1) feed_power_graph(r);
}

void Decoder::computed_power(const Routed& r) {
  std::int64_t amps = measures_.at(MeasureKind::IINST, r.meter);
  if (r.slot.phase_mode == PhaseMode::TRI)
    amps = static_cast<std::int64_t>(measures_.at(MeasureKind::IINST1, r.meter)) +
           measures_.at(MeasureKind::IINST2, r.meter) + measures_.at(MeasureKind::IINST3, r.meter);
  const auto p = static_cast<std::int32_t>(std::clamp<std::int64_t>(230 * amps, INT32_MIN, INT32_MAX));
  char buf[16];
  const auto res = std::to_chars(buf, buf + sizeof buf, p);
  r.slot.PAPP.assign(buf, res.ptr);
  set_text2(r.c.papp, r.slot.PAPP, dtext::kComputed);
  measures_.at(MeasureKind::PAPP, r.meter) = p;
  power_graph_step(r);
}

}  // namespace vireluz
