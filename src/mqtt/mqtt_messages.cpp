#include "mqtt/mqtt_messages.h"

#include <algorithm>
#include <array>

namespace vireluz {

namespace {

using nlohmann::json;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Digits only, at most 15 of them (no overflow of the 64-bit result).
std::optional<std::int64_t> digits_value(std::string_view t) {
  if (t.empty() || t.size() > 15) return std::nullopt;
  std::int64_t v = 0;
  for (char c : t) {
    if (!is_digit(c)) return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v;
}

json number_or_null(const std::optional<std::int64_t>& v) { return v ? json(*v) : json(nullptr); }
json integer_of(const Text& t) { return number_or_null(digits_value(trim(t))); }

json text_or_null(std::string_view t) {
  t = trim(t);
  return t.empty() ? json(nullptr) : json(cp1252_to_utf8(t));
}

// The historic period names, without their filling dots.
const std::vector<std::string>& historic_periods() {
  static const std::vector<std::string> v{"HC",   "HP",   "HN",   "PM",   "HCJB", "HPJB",
                                          "HCJW", "HPJW", "HCJR", "HPJR", "TH"};
  return v;
}

json historic_period(const Text& ptec) {
  std::string p(trim(ptec));
  while (!p.empty() && p.back() == '.') p.pop_back();
  const auto& names = historic_periods();
  return std::find(names.begin(), names.end(), p) != names.end() ? json(p) : json(nullptr);
}

const std::vector<std::string>& colours() {
  static const std::vector<std::string> v{"Bleu", "Blanc", "Rouge"};
  return v;
}

struct IndexField {
  const char* key;
  const char* name;
  const Text MeterSlot::*field;
};

// The index fields of each option, as the decoder fills them in both modes.
std::vector<IndexField> index_fields(const MqttMeterView& m) {
  switch (m.slot.tariff_kind) {
    case TariffKind::HC:
      return {{"HCHP", "Index heures pleines", &MeterSlot::HCHP},
              {"HCHC", "Index heures creuses", &MeterSlot::HCHC}};
    case TariffKind::BASE:
      return {{"BASE", "Index base", &MeterSlot::BASE}};
    case TariffKind::EJP:
      return {{"EJPHN", "Index heures normales", &MeterSlot::EJPHN},
              {"EJPHPM", "Index heures de pointe mobile", &MeterSlot::EJPHPM}};
    case TariffKind::TEMPO:
      return {{"BBRHCJB", "Index heures creuses jours bleus", &MeterSlot::BBRHCJB},
              {"BBRHPJB", "Index heures pleines jours bleus", &MeterSlot::BBRHPJB},
              {"BBRHCJW", "Index heures creuses jours blancs", &MeterSlot::BBRHCJW},
              {"BBRHPJW", "Index heures pleines jours blancs", &MeterSlot::BBRHPJW},
              {"BBRHCJR", "Index heures creuses jours rouges", &MeterSlot::BBRHCJR},
              {"BBRHPJR", "Index heures pleines jours rouges", &MeterSlot::BBRHPJR}};
    case TariffKind::PROD:
      return {{"EASF01", "Index de non consommation", &MeterSlot::BASE}};
    case TariffKind::NONE:
      if (!m.standard) return {};
      // An unlisted calendar: the six supplier indexes as received.
      return {{"EASF01", "Index fournisseur 1", &MeterSlot::BBRHCJB},
              {"EASF02", "Index fournisseur 2", &MeterSlot::BBRHPJB},
              {"EASF03", "Index fournisseur 3", &MeterSlot::BBRHCJW},
              {"EASF04", "Index fournisseur 4", &MeterSlot::BBRHPJW},
              {"EASF05", "Index fournisseur 5", &MeterSlot::BBRHCJR},
              {"EASF06", "Index fournisseur 6", &MeterSlot::BBRHPJR}};
    case TariffKind::JAUNE:
      return {};
  }
  return {};
}

bool has_colour(const MqttMeterView& m) { return m.slot.tariff_kind == TariffKind::TEMPO; }
bool has_ejp_notice(const MqttMeterView& m) { return !m.standard && m.slot.tariff_kind == TariffKind::EJP; }
bool has_injection(const MqttMeterView& m) {
  return m.standard && (m.slot.tariff_kind == TariffKind::PROD || !trim(m.slot.EAIT).empty());
}

// Today's Tempo colour: sent by a standard meter, the period's colour for a historic one.
json today_colour(const MqttMeterView& m) {
  if (m.standard) return text_or_null(m.slot.today_colour);
  const json period = historic_period(m.period);
  if (period.is_null()) return nullptr;
  const std::string p = period.get<std::string>();
  const char c = p.size() == 4 ? p[3] : ' ';
  return c == 'B' ? json("Bleu") : c == 'W' ? json("Blanc") : c == 'R' ? json("Rouge") : json(nullptr);
}

json known(std::int64_t v) { return v < 0 ? json(nullptr) : json(v); }
json status_bit(const MeterSlot& s, bool bit) { return s.status.known ? json(bit ? 1 : 0) : json(nullptr); }

// One entity and its value in the state document.
struct Value {
  MqttSensor sensor;
  json value;
};

MqttSensor reading(const char* key, const char* name, const char* device_class, const char* state_class,
                   const char* unit) {
  return {key, "sensor", name, device_class, state_class, unit, {}, false};
}
MqttSensor choice(const char* key, const char* name, const std::vector<std::string>& options) {
  return {key, "sensor", name, "enum", "", "", options, false};
}
// 1 (on), 0 (off) or null in the state.
MqttSensor on_off(const char* key, const char* name, const char* device_class) {
  return {key, "binary_sensor", name, device_class, "", "", {}, false};
}

// The values of each phase of a three-phase meter: its current, and for a
// standard meter its voltage, apparent power and today's highest.
void phases(std::vector<Value>& out, const MeterSlot& s, bool standard) {
  const std::array<std::array<const Text*, 4>, 3> phase{{{&s.IINST1, &s.URMS1, &s.SINSTS1, &s.SMAXSN1},
                                                         {&s.IINST2, &s.URMS2, &s.SINSTS2, &s.SMAXSN2},
                                                         {&s.IINST3, &s.URMS3, &s.SINSTS3, &s.SMAXSN3}}};
  for (int n = 1; n <= 3; ++n) {
    const auto& p = phase[static_cast<std::size_t>(n - 1)];
    const std::string k = std::to_string(n);
    auto add = [&](const char* key, const char* name, const char* dc, const char* unit, const Text* v) {
      out.push_back(
          {{key + k, "sensor", name + (" phase " + k), dc, "measurement", unit, {}, false}, integer_of(*v)});
    };
    add("IINST", "Intensité", "current", "A", p[0]);
    if (!standard) continue;
    add("URMS", "Tension", "voltage", "V", p[1]);
    add("SINSTS", "Puissance apparente", "apparent_power", "VA", p[2]);
    add("SMAXSN", "Puissance apparente maximale du jour", "apparent_power", "VA", p[3]);
  }
}

// Every entity of the meter with its current value; the sensors and the
// state are both read from here, so that each entity finds its value.
std::vector<Value> values(const MqttMeterView& m) {
  const MeterSlot& s = m.slot;
  const bool prod = s.tariff_kind == TariffKind::PROD;
  const bool tri = s.phase_mode == PhaseMode::TRI;
  std::vector<Value> out;
  for (const IndexField& f : index_fields(m))
    out.push_back({reading(f.key, f.name, "energy", "total_increasing", "Wh"),
                   number_or_null(wh_of_index_text(s.*f.field))});
  if (has_injection(m))
    out.push_back(
        {reading("EAIT", "Énergie injectée", "energy", "total_increasing", "Wh"), integer_of(s.EAIT)});
  out.push_back({reading("PAPP", prod ? "Puissance apparente injectée" : "Puissance apparente",
                         "apparent_power", "measurement", "VA"),
                 integer_of(s.PAPP)});
  if (has_injection(m) && !prod)
    out.push_back({reading("SINSTI", "Puissance apparente injectée", "apparent_power", "measurement", "VA"),
                   integer_of(s.SINSTI)});
  // Active power from the indexes (TIC itself gives only volt-amperes).
  if (!prod)
    out.push_back(
        {reading("P_SOUTIREE", "Puissance active soutirée", "power", "measurement", "W"), known(s.drawn_w)});
  if (has_injection(m))
    out.push_back({reading("P_INJECTEE", "Puissance active injectée", "power", "measurement", "W"),
                   known(s.injected_w)});
  if (s.phase_mode == PhaseMode::MONO)
    out.push_back({reading("IINST", "Intensité", "current", "measurement", "A"), integer_of(s.IINST)});
  else if (tri)
    phases(out, s, m.standard);
  if (m.standard) {
    if (!tri)
      out.push_back({reading("URMS1", "Tension", "voltage", "measurement", "V"), integer_of(s.URMS1)});
    out.push_back({reading("ISOUSC", "Puissance souscrite", "", "", "kVA"), integer_of(s.ISOUSC)});
    // The standard period names are the supplier's own texts: no fixed list.
    out.push_back({reading("PERIODE", "Période tarifaire", "", "", ""), text_or_null(m.period)});
  } else {
    out.push_back({reading("ISOUSC", "Intensité souscrite", "current", "", "A"), integer_of(s.ISOUSC)});
    out.push_back({choice("PERIODE", "Période tarifaire", historic_periods()), historic_period(m.period)});
  }
  if (has_colour(m)) {
    out.push_back({choice("AUJOURDHUI", "Couleur du jour", colours()), today_colour(m)});
    out.push_back({choice("DEMAIN", "Couleur du lendemain", colours()), text_or_null(s.DEMAIN)});
  }
  if (has_ejp_notice(m)) out.push_back({on_off("PEJP", "Préavis EJP", ""), m.ejp_notice != 0 ? 1 : 0});
  if (m.standard) {
    // The status word: what a user may act on.
    out.push_back(
        {on_off("CONTACT_SEC", "Contact sec ouvert", "opening"), status_bit(s, s.status.dry_contact_open)});
    out.push_back(
        {on_off("COUPURE", "Organe de coupure ouvert", "problem"), status_bit(s, s.status.cut_off != 0)});
    out.push_back({on_off("SURTENSION", "Surtension", "problem"), status_bit(s, s.status.over_voltage)});
    out.push_back(
        {on_off("DEPASSEMENT", "Dépassement de puissance", "problem"), status_bit(s, s.status.over_power)});
    out.push_back({on_off("RELAIS1", "Relais 1", ""), s.RELAIS < 0 ? json(nullptr) : json(s.RELAIS & 1)});
  }
  // About the link: how the meter speaks, and the values set aside as implausible.
  out.push_back({{"mode", "sensor", "Mode TIC", "enum", "", "", {"historique", "standard"}, true},
                 m.standard ? "standard" : "historique"});
  out.push_back({{"option", "sensor", "Option tarifaire", "", "", "", {}, true}, text_or_null(s.OPTARIF)});
  out.push_back(
      {{"rejets", "sensor", "Valeurs rejetées", "", "total_increasing", "", {}, true}, s.rejected_values});
  return out;
}

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string discovery_prefix(const MqttSettings& s) {
  std::string prefix = cp1252_to_utf8(trim(s.PREFIXE_DECOUVERTE));
  while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
  return prefix;
}

// The rendering of a sensor's value in the state document, as Home Assistant
// reads it (a null renders "None", which it shows as unknown).
std::string value_template(const MqttSensor& sensor) { return "{{ value_json." + sensor.key + " }}"; }

}  // namespace

std::optional<std::int64_t> wh_of_index_text(std::string_view text) {
  text = trim(text);
  const std::size_t sep = text.find_first_of(",.");
  if (sep == std::string_view::npos) return digits_value(text);  // Wh digits
  const std::string_view whole = text.substr(0, sep);
  const std::string_view frac = text.substr(sep + 1);
  if (frac.size() != 3) return std::nullopt;
  const auto k = digits_value(whole);
  const auto f = digits_value(frac);
  if (!k || !f) return std::nullopt;
  return *k * 1000 + *f;
}

std::string mqtt_address(const Text& adco) {
  std::string out(trim(adco));
  for (char& c : out) {
    const bool ok = is_digit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '_';
    if (!ok) c = '_';
  }
  return out;
}

MqttTopics mqtt_topics(const MqttSettings& s, const std::string& address) {
  MqttTopics t;
  std::string prefix = cp1252_to_utf8(trim(s.PREFIXE));
  while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
  t.base = prefix.empty() ? address : prefix + "/" + address;
  t.state = t.base + "/state";
  t.availability = t.base + "/availability";
  const std::string discovery = discovery_prefix(s);
  t.discovery = discovery + "/device/vireluz_" + address + "/config";
  t.old_discovery_filter = discovery + "/+/vireluz_" + address + "/+/config";
  t.ha_status = discovery + "/status";
  return t;
}

std::vector<MqttSensor> mqtt_sensors(const MqttMeterView& m) {
  std::vector<MqttSensor> out;
  for (Value& v : values(m)) out.push_back(std::move(v.sensor));
  return out;
}

json mqtt_state(const MqttMeterView& m) {
  json j = json::object();
  j["adresse"] = cp1252_to_utf8(trim(m.slot.ADCO));
  j["nom"] = cp1252_to_utf8(m.name);
  j["simule"] = m.simulated;
  for (Value& v : values(m)) j[v.sensor.key] = std::move(v.value);
  return j;
}

std::string mqtt_event_key(const MqttMeterView& m) {
  std::string k(trim(m.period));
  k += '|';
  if (has_colour(m)) k += m.slot.today_colour + m.slot.DEMAIN;
  k += '|';
  if (has_ejp_notice(m)) k += m.ejp_notice != 0 ? '1' : '0';
  return k;
}

int mqtt_expire_after_s(const MqttSettings& s) { return std::max(120, 3 * s.PERIODE); }

std::string mqtt_component_id(const MqttSensor& sensor) { return lower(sensor.key); }

std::string mqtt_device_config(const MqttSettings& s, const MqttMeterView& m, const std::string& address,
                               const std::vector<MqttSensor>& sensors,
                               const std::map<std::string, std::string>& removed) {
  const MqttTopics t = mqtt_topics(s, address);
  const std::string id = "vireluz_" + address;
  std::string model = m.standard ? "Compteur TIC standard" : "Compteur TIC historique";
  if (m.simulated) model += " (simulé)";
  const std::string name = cp1252_to_utf8(trim(m.name));
  json c;
  c["device"] = {{"identifiers", json::array({id})},
                 {"name", name.empty() ? address : name},
                 {"manufacturer", "VIRELUZ"},
                 {"model", model},
                 {"serial_number", address}};
  c["origin"] = {{"name", "VIRELUZ"}, {"sw_version", VIRELUZ_VERSION}};
  c["state_topic"] = t.state;
  c["availability_topic"] = t.availability;
  c["payload_available"] = "online";
  c["payload_not_available"] = "offline";
  json& cmps = c["cmps"];
  cmps = json::object();
  for (const auto& [component_id, platform] : removed) cmps[component_id] = {{"platform", platform}};
  for (const MqttSensor& sensor : sensors) {
    const std::string cid = mqtt_component_id(sensor);
    json e;
    e["platform"] = sensor.component;
    e["name"] = sensor.name;
    e["unique_id"] = id + "_" + cid;
    e["default_entity_id"] = sensor.component + "." + lower(id) + "_" + cid;
    e["value_template"] = value_template(sensor);
    if (sensor.component == "binary_sensor") {
      e["payload_on"] = "1";
      e["payload_off"] = "0";
    }
    if (!sensor.device_class.empty()) e["device_class"] = sensor.device_class;
    if (!sensor.state_class.empty()) e["state_class"] = sensor.state_class;
    if (!sensor.unit.empty()) e["unit_of_measurement"] = sensor.unit;
    if (!sensor.options.empty()) e["options"] = sensor.options;
    if (sensor.diagnostic)
      e["entity_category"] = "diagnostic";
    else
      e["expire_after"] = mqtt_expire_after_s(s);
    cmps[cid] = std::move(e);
  }
  return c.dump();
}

}  // namespace vireluz
