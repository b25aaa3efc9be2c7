#include "web/page_state.h"

#include <optional>
#include <vector>

namespace vireluz {
namespace {

nlohmann::json field_json(const Field& f) {
  nlohmann::json j = {{"text", cp1252_to_utf8(f.text)}};
  if (!f.visible) j["visible"] = false;
  if (!f.enabled) j["enabled"] = false;
  if (f.background != Colour::Default) j["bg"] = colour_name(f.background);
  if (f.font != Colour::Default) j["fg"] = colour_name(f.font);
  if (f.bold) j["bold"] = true;
  return j;
}

nlohmann::json led_json(const Led& l) {
  nlohmann::json j = {
      {"on", l.on}, {"on_colour", colour_name(l.on_colour)}, {"off_colour", colour_name(l.off_colour)}};
  if (!l.visible) j["visible"] = false;
  return j;
}

nlohmann::json gauge_json(const Gauge& g) {
  nlohmann::json j = {{"max", g.max}, {"zone1", g.zone1}, {"zone2", g.zone2}, {"position", g.position}};
  if (!g.visible) j["visible"] = false;
  return j;
}

// One row of a meter's box, as the window lays it out: a caption and a value
// box (with a gauge for the currents), or a caption and a LED, or a caption.
struct Row {
  FieldId label;
  std::optional<FieldId> value;
  std::optional<GaugeId> gauge;
  std::optional<LedId> led;
};

std::vector<Row> rows_of(const MeterComponents& c) {
  std::vector<Row> rows;
  auto pair = [&](FieldId label, FieldId value) { rows.push_back({label, value, {}, {}}); };
  pair(c.label_adco, c.adco);
  pair(c.label_isousc, c.isousc);
  pair(c.label_optarif, c.optarif);
  pair(c.label_ptec, c.ptec);
  for (std::size_t i = 0; i < 6; ++i) pair(c.label_index[i], c.index[i]);
  for (std::size_t i = 0; i < 3; ++i) rows.push_back({c.label_i_inst[i], c.i_inst[i], c.gauge[i], {}});
  for (std::size_t i = 0; i < 3; ++i) pair(c.label_imax[i], c.imax[i]);
  pair(c.label_pa, c.papp);
  pair(c.label_injection, c.injection);
  pair(c.label_saison, c.saison);
  rows.push_back({c.label_pilote, {}, {}, c.led_pilote});
  rows.push_back({c.label_couleur, {}, {}, c.led_couleur});
  rows.push_back({c.label_jaune, {}, {}, {}});
  return rows;
}

const std::array<std::vector<Row>, 2>& meter_rows() {
  static const std::array<std::vector<Row>, 2> kRows = {rows_of(kMeter[0]), rows_of(kMeter[1])};
  return kRows;
}

// The page does not follow the widths of the window's panels.
bool same(const Field& a, const Field& b) {
  return a.text == b.text && a.visible == b.visible && a.enabled == b.enabled &&
         a.background == b.background && a.font == b.font && a.bold == b.bold;
}

bool same_row(const MainWindowState& a, const MainWindowState& b, const Row& r) {
  return same(a[r.label], b[r.label]) && (!r.value || same(a[*r.value], b[*r.value])) &&
         (!r.gauge || a[*r.gauge] == b[*r.gauge]) && (!r.led || a[*r.led] == b[*r.led]);
}

nlohmann::json row_json(const MainWindowState& w, const Row& r) {
  nlohmann::json j = {{"label", field_json(w[r.label])}};
  if (r.value) j["value"] = field_json(w[*r.value]);
  if (r.gauge) j["gauge"] = gauge_json(w[*r.gauge]);
  if (r.led) j["led"] = led_json(w[*r.led]);
  return j;
}

// All rows as an array, or (with `before`) only the rows that differ from it,
// as an object keyed by row number.
nlohmann::json meter_json(const MainWindowState& w, int meter, const MainWindowState* before) {
  const std::vector<Row>& rows = meter_rows()[static_cast<std::size_t>(meter)];
  nlohmann::json out = before ? nlohmann::json::object() : nlohmann::json::array();
  for (std::size_t k = 0; k < rows.size(); ++k) {
    if (!before)
      out.push_back(row_json(w, rows[k]));
    else if (!same_row(w, *before, rows[k]))
      out[std::to_string(k)] = row_json(w, rows[k]);
  }
  return {{"box", field_json(w[kMeter[static_cast<std::size_t>(meter)].group_box])},
          {"rows", std::move(out)}};
}

nlohmann::json graph_head(const GraphState& g, const Text& caption) {
  return {{"visible", g.visible},
          {"caption", cp1252_to_utf8(caption)},
          {"unit", cp1252_to_utf8(g.unit)},
          {"top", g.top},
          {"traces", g.traces},
          {"max_samples", GraphState::kMaxSamples}};
}

// Samples first..count-1 (0 = oldest), each with one value per trace.
nlohmann::json samples_json(const GraphState& g, int first) {
  nlohmann::json s = nlohmann::json::array();
  for (int k = first; k < g.count; ++k) {
    const auto& v = g.sample(k);
    nlohmann::json one = nlohmann::json::array();
    for (int t = 0; t < g.traces && t < 3; ++t) one.push_back(v[static_cast<std::size_t>(t)]);
    s.push_back(std::move(one));
  }
  return s;
}

}  // namespace

nlohmann::json page_window_json(const MainWindowState& w, bool simulated, bool reading,
                                const MainWindowState* before) {
  return {
      {"title", simulated ? "VIRELUZ 2 compteurs (interface simulée)" : "VIRELUZ 2 compteurs"},
      {"simulated", simulated},
      {"reading", reading},
      {"interface", field_json(w[FieldId::Label_type_interface])},
      {"com", field_json(w[FieldId::Label_com])},
      {"leds",
       {led_json(w[LedId::rmLed_Led_verte]), led_json(w[LedId::rmLed_Led_jaune]),
        led_json(w[LedId::rmLed_Led_bleu])}},
      {"frame_label", field_json(w[FieldId::Label_trame_recue])},
      {"start_panel",
       {{"visible", w[FieldId::Panel_demauto].visible},
        {"text", cp1252_to_utf8(w[FieldId::Label_demauto1].text + w[FieldId::Label_demauto2].text + " " +
                                w[FieldId::Label_demauto3].text)}}},
      {"meters", {meter_json(w, 0, before), meter_json(w, 1, before)}},
  };
}

nlohmann::json GraphFeed::full(int graph, const GraphState& g, const Text& caption) {
  seen_[static_cast<std::size_t>(graph)] = Seen{g.head, g.count, g.traces, g.serial};
  nlohmann::json j = graph_head(g, caption);
  j["reset"] = true;
  j["samples"] = samples_json(g, 0);
  return j;
}

nlohmann::json GraphFeed::next(int graph, const GraphState& g, const Text& caption, bool* changed) {
  Seen& s = seen_[static_cast<std::size_t>(graph)];
  if (g.serial == s.serial) {
    *changed = false;
    nlohmann::json j = graph_head(g, caption);
    j["samples"] = nlohmann::json::array();
    return j;
  }
  *changed = true;
  const int n = GraphState::kMaxSamples;
  // Samples added since the last look: the count grew, or the ring turned.
  int added = -1;
  if (g.traces == s.traces && g.count >= s.count) added = (g.count - s.count) + ((g.head - s.head + n) % n);
  if (added < 0 || added > g.count) return full(graph, g, caption);
  s = Seen{g.head, g.count, g.traces, g.serial};
  nlohmann::json j = graph_head(g, caption);
  j["samples"] = samples_json(g, g.count - added);
  return j;
}

}  // namespace vireluz
