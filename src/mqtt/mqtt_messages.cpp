#include "mqtt/mqtt_messages.h"

#include <array>

namespace vireluz {

namespace {

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

std::optional<std::int64_t> integer_of(const Text& t) { return digits_value(trim(t)); }

nlohmann::json number_or_null(const std::optional<std::int64_t>& v) {
  return v ? nlohmann::json(*v) : nlohmann::json(nullptr);
}

nlohmann::json text_or_null(const Text& t) {
  const std::string_view v = trim(t);
  return v.empty() ? nlohmann::json(nullptr) : nlohmann::json(cp1252_to_utf8(v));
}

// The historic period names, without their filling dots.
const std::vector<std::string>& historic_periods() {
  static const std::vector<std::string> v{"HC",   "HP",   "HN",   "PM",   "HCJB", "HPJB",
                                          "HCJW", "HPJW", "HCJR", "HPJR", "TH"};
  return v;
}

std::string historic_period(const Text& ptec) {
  std::string p(trim(ptec));
  while (!p.empty() && p.back() == '.') p.pop_back();
  for (const auto& name : historic_periods())
    if (p == name) return p;
  return {};
}

struct IndexField {
  const char* key;
  const char* name;
  const Text MeterSlot::*field;
};

// The index fields of each option, as the decoder fills them in both modes.
std::vector<IndexField> index_fields(const MqttMeterView& m) {
  const TariffKind kind = m.slot.tariff_kind;
  switch (kind) {
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

bool has_injection(const MqttMeterView& m) {
  return m.standard && (m.slot.tariff_kind == TariffKind::PROD || !trim(m.slot.EAIT).empty());
}

bool has_colour(const MqttMeterView& m) { return !m.standard && m.slot.tariff_kind == TariffKind::TEMPO; }
bool has_ejp_notice(const MqttMeterView& m) { return !m.standard && m.slot.tariff_kind == TariffKind::EJP; }

const std::vector<std::string>& colours() {
  static const std::vector<std::string> v{"Bleu", "Blanc", "Rouge"};
  return v;
}

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

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
  return t;
}

std::vector<MqttSensor> mqtt_sensors(const MqttMeterView& m) {
  std::vector<MqttSensor> out;
  for (const IndexField& f : index_fields(m))
    out.push_back({f.key, "sensor", f.name, "energy", "total_increasing", "Wh", {}});
  if (has_injection(m))
    out.push_back({"EAIT", "sensor", "Énergie injectée", "energy", "total_increasing", "Wh", {}});
  const bool prod = m.slot.tariff_kind == TariffKind::PROD;
  out.push_back({"PAPP",
                 "sensor",
                 prod ? "Puissance apparente injectée" : "Puissance apparente",
                 "apparent_power",
                 "measurement",
                 "VA",
                 {}});
  if (m.slot.phase_mode == PhaseMode::MONO) {
    out.push_back({"IINST", "sensor", "Intensité", "current", "measurement", "A", {}});
  } else if (m.slot.phase_mode == PhaseMode::TRI) {
    out.push_back({"IINST1", "sensor", "Intensité phase 1", "current", "measurement", "A", {}});
    out.push_back({"IINST2", "sensor", "Intensité phase 2", "current", "measurement", "A", {}});
    out.push_back({"IINST3", "sensor", "Intensité phase 3", "current", "measurement", "A", {}});
  }
  if (m.standard) out.push_back({"URMS1", "sensor", "Tension", "voltage", "measurement", "V", {}});
  if (m.standard)
    out.push_back({"ISOUSC", "sensor", "Puissance souscrite", "", "", "kVA", {}});
  else
    out.push_back({"ISOUSC", "sensor", "Intensité souscrite", "current", "", "A", {}});
  // The standard period names are the supplier's own texts: no fixed list.
  if (m.standard)
    out.push_back({"PERIODE", "sensor", "Période tarifaire", "", "", "", {}});
  else
    out.push_back({"PERIODE", "sensor", "Période tarifaire", "enum", "", "", historic_periods()});
  if (has_colour(m)) out.push_back({"DEMAIN", "sensor", "Couleur du lendemain", "enum", "", "", colours()});
  if (has_ejp_notice(m)) out.push_back({"PEJP", "binary_sensor", "Préavis EJP", "", "", "", {}});
  return out;
}

nlohmann::json mqtt_state(const MqttMeterView& m) {
  const MeterSlot& s = m.slot;
  nlohmann::json j = nlohmann::json::object();
  j["adresse"] = cp1252_to_utf8(trim(s.ADCO));
  j["nom"] = cp1252_to_utf8(m.name);
  j["option"] = cp1252_to_utf8(trim(s.OPTARIF));
  j["mode"] = m.standard ? "standard" : "historique";
  j["simule"] = m.simulated;
  for (const IndexField& f : index_fields(m)) j[f.key] = number_or_null(wh_of_index_text(s.*f.field));
  if (has_injection(m)) j["EAIT"] = number_or_null(integer_of(s.EAIT));
  j["PAPP"] = number_or_null(integer_of(s.PAPP));
  if (s.phase_mode == PhaseMode::MONO) {
    j["IINST"] = number_or_null(integer_of(s.IINST));
  } else if (s.phase_mode == PhaseMode::TRI) {
    j["IINST1"] = number_or_null(integer_of(s.IINST1));
    j["IINST2"] = number_or_null(integer_of(s.IINST2));
    j["IINST3"] = number_or_null(integer_of(s.IINST3));
  }
  if (m.standard) j["URMS1"] = number_or_null(integer_of(s.URMS1));
  j["ISOUSC"] = number_or_null(integer_of(s.ISOUSC));
  if (m.standard) {
    j["PERIODE"] = text_or_null(m.period);
  } else {
    const std::string p = historic_period(m.period);
    j["PERIODE"] = p.empty() ? nlohmann::json(nullptr) : nlohmann::json(p);
  }
  if (has_colour(m)) j["DEMAIN"] = text_or_null(s.DEMAIN);
  if (has_ejp_notice(m)) j["PEJP"] = m.ejp_notice != 0 ? 1 : 0;
  return j;
}

std::string mqtt_event_key(const MqttMeterView& m) {
  std::string k(trim(m.period));
  k += '|';
  if (has_colour(m)) k += m.slot.DEMAIN;
  k += '|';
  if (has_ejp_notice(m)) k += m.ejp_notice != 0 ? '1' : '0';
  return k;
}

std::string mqtt_discovery_topic(const MqttSettings& s, const std::string& address,
                                 const MqttSensor& sensor) {
  std::string prefix = cp1252_to_utf8(trim(s.PREFIXE_DECOUVERTE));
  while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
  return prefix + "/" + sensor.component + "/vireluz_" + address + "/" + lower(sensor.key) + "/config";
}

MqttDiscoveryMessage mqtt_discovery(const MqttSettings& s, const MqttMeterView& m, const std::string& address,
                                    const MqttSensor& sensor) {
  const MqttTopics t = mqtt_topics(s, address);
  nlohmann::json c;
  c["name"] = sensor.name;
  c["unique_id"] = "vireluz_" + address + "_" + lower(sensor.key);
  c["object_id"] = "vireluz_" + address + "_" + lower(sensor.key);
  c["state_topic"] = t.state;
  c["availability_topic"] = t.availability;
  c["payload_available"] = "online";
  c["payload_not_available"] = "offline";
  if (sensor.component == "binary_sensor") {
    c["value_template"] = "{{ 'ON' if value_json." + sensor.key + " else 'OFF' }}";
    c["payload_on"] = "ON";
    c["payload_off"] = "OFF";
  } else {
    c["value_template"] = "{{ value_json." + sensor.key + " }}";
  }
  if (!sensor.device_class.empty()) c["device_class"] = sensor.device_class;
  if (!sensor.state_class.empty()) c["state_class"] = sensor.state_class;
  if (!sensor.unit.empty()) c["unit_of_measurement"] = sensor.unit;
  if (!sensor.options.empty()) c["options"] = sensor.options;
  std::string model = m.standard ? "Compteur TIC standard" : "Compteur TIC historique";
  if (m.simulated) model += " (simulé)";
  const std::string name = cp1252_to_utf8(trim(m.name));
  c["device"] = {{"identifiers", nlohmann::json::array({"vireluz_" + address})},
                 {"name", name.empty() ? address : name},
                 {"manufacturer", "VIRELUZ"},
                 {"model", model},
                 {"serial_number", address}};
  c["origin"] = {{"name", "VIRELUZ"}};
  return {mqtt_discovery_topic(s, address, sensor), c.dump()};
}

}  // namespace vireluz
