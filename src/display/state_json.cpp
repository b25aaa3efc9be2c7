#include "display/state_json.h"

namespace vireluz {

nlohmann::json meter_slot_json(const MeterSlot& s) {
  auto u = [](const Text& t) { return cp1252_to_utf8(t); };
  auto known = [](std::int32_t v) { return v < 0 ? nlohmann::json(nullptr) : nlohmann::json(v); };
  nlohmann::json energ = nlohmann::json::array();
  for (const Text& e : s.ENERG) energ.push_back(u(e));
  nlohmann::json status = nullptr;
  if (s.status.known)
    status = {{"dry_contact_open", s.status.dry_contact_open},
              {"cut_off", s.status.cut_off},
              {"over_voltage", s.status.over_voltage},
              {"over_power", s.status.over_power},
              {"injecting", s.status.injecting}};
  return {
      {"ADCO", u(s.ADCO)},
      {"ISOUSC", u(s.ISOUSC)},
      {"OPTARIF", u(s.OPTARIF)},
      {"tariff_kind", static_cast<int>(s.tariff_kind)},
      {"identified", s.identified},
      {"frame_count", s.frame_count},
      {"phase_mode", static_cast<int>(s.phase_mode)},
      {"VTIC", s.VTIC},
      {"PTEC", u(s.PTEC)},
      {"PAPP", u(s.PAPP)},
      {"IINST", u(s.IINST)},
      {"IINST1", u(s.IINST1)},
      {"IINST2", u(s.IINST2)},
      {"IINST3", u(s.IINST3)},
      {"URMS1", u(s.URMS1)},
      {"EAIT", u(s.EAIT)},
      {"HCHP", u(s.HCHP)},
      {"HCHC", u(s.HCHC)},
      {"BASE", u(s.BASE)},
      {"EJPHN", u(s.EJPHN)},
      {"EJPHPM", u(s.EJPHPM)},
      {"BBRHCJB", u(s.BBRHCJB)},
      {"BBRHPJB", u(s.BBRHPJB)},
      {"BBRHCJW", u(s.BBRHCJW)},
      {"BBRHPJW", u(s.BBRHPJW)},
      {"BBRHCJR", u(s.BBRHCJR)},
      {"BBRHPJR", u(s.BBRHPJR)},
      {"DEMAIN", u(s.DEMAIN)},
      {"ENERG", energ},
      {"graph_max", s.graph_max},
      {"URMS2", u(s.URMS2)},
      {"URMS3", u(s.URMS3)},
      {"SINSTS1", u(s.SINSTS1)},
      {"SINSTS2", u(s.SINSTS2)},
      {"SINSTS3", u(s.SINSTS3)},
      {"SMAXSN1", u(s.SMAXSN1)},
      {"SMAXSN2", u(s.SMAXSN2)},
      {"SMAXSN3", u(s.SMAXSN3)},
      {"SINSTI", u(s.SINSTI)},
      {"EAST", u(s.EAST)},
      {"EASD01", u(s.EASD[0])},
      {"EASD02", u(s.EASD[1])},
      {"EASD03", u(s.EASD[2])},
      {"EASD04", u(s.EASD[3])},
      {"STGE", u(s.STGE)},
      {"today_colour", u(s.today_colour)},
      {"status", status},
      {"RELAIS", known(s.RELAIS)},
      {"drawn_w", known(s.drawn_w)},
      {"injected_w", known(s.injected_w)},
      {"rejected_values", s.rejected_values},
  };
}

nlohmann::json main_window_json(const MainWindowState& w) {
  nlohmann::json fields = nlohmann::json::object();
  for (std::size_t i = 0; i < kFieldCount; ++i) {
    const Field& f = w.fields[i];
    nlohmann::json j = {{"text", cp1252_to_utf8(f.text)}, {"visible", f.visible}, {"enabled", f.enabled}};
    if (f.background != Colour::Default) j["background"] = colour_name(f.background);
    fields[std::string(field_name(static_cast<FieldId>(i)))] = std::move(j);
  }
  for (std::size_t i = 0; i < kLedCount; ++i) {
    const Led& l = w.leds[i];
    fields[std::string(led_name(static_cast<LedId>(i)))] = {{"text", ""},
                                                            {"visible", l.visible},
                                                            {"enabled", true},
                                                            {"on", l.on},
                                                            {"on_colour", colour_name(l.on_colour)},
                                                            {"off_colour", colour_name(l.off_colour)}};
  }
  for (std::size_t i = 0; i < kGaugeCount; ++i) {
    const Gauge& g = w.gauges[i];
    fields[std::string(gauge_name(static_cast<GaugeId>(i)))] = {
        {"text", ""},       {"visible", g.visible}, {"enabled", true},       {"max", g.max},
        {"zone1", g.zone1}, {"zone2", g.zone2},     {"position", g.position}};
  }
  return fields;
}

nlohmann::json graph_json(const GraphState& g) {
  return {{"traces", g.traces},
          {"samples", g.count},
          {"last_sample", cp1252_to_utf8(g.last_sample)},
          {"top", g.top},
          {"unit", cp1252_to_utf8(g.unit)},
          {"slider_max", g.slider_max},
          {"slider_position", g.slider_position},
          {"visible", g.visible}};
}

nlohmann::json decoded_state_json(const std::array<MeterSlot, 2>& meters, const MeasureTable& measures,
                                  const ReadingCounters& counters, const MainWindowState& window,
                                  const GraphsWindowState& graphs, std::int64_t packets) {
  nlohmann::json j;
  j["packets"] = packets;
  j["PacketCount"] = counters.PacketCount;
  j["meters"] = nlohmann::json::array({meter_slot_json(meters[0]), meter_slot_json(meters[1])});
  j["MeasureTable"] = measures.v;
  j["fields"] = main_window_json(window);
  j["graphs"] = nlohmann::json::array({graph_json(graphs.graph[0]), graph_json(graphs.graph[1])});
  return j;
}

}  // namespace vireluz
