#pragma once
// What goes to the broker for one meter: the topics, the JSON state of its
// decoded values and the Home Assistant discovery messages of its sensors.
// Pure functions of the meter's record; the publisher decides when to send.
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"
#include "meter/meter_slot.h"

namespace vireluz {

// Wh of an index text: 9 Wh digits (historic) or the kWh text of a
// standard-mode meter ("12345,678" or "12345.678"), read exactly from its
// digits. nullopt for anything else.
std::optional<std::int64_t> wh_of_index_text(std::string_view text);

// The meter's address as a topic level: letters, digits, '-' and '_' kept,
// anything else becomes '_'.
std::string mqtt_address(const Text& adco);

// One meter as the publisher sees it at a packet: its record and the few
// values that live outside it.
struct MqttMeterView {
  const MeterSlot& slot;
  int meter = 1;          // 1 or 2
  bool standard = false;  // standard-mode TIC (else historic)
  Text period;            // historic: PTEC; standard: the LTARF text shown
  int ejp_notice = 0;     // MeasureTable PEJP entry
  Text name;              // NOM_CPT1 / NOM_CPT2
  bool simulated = false;
};

struct MqttTopics {
  std::string base;          // <prefix>/<address>
  std::string state;         // <base>/state
  std::string availability;  // <base>/availability
};
MqttTopics mqtt_topics(const MqttSettings& s, const std::string& address);

// One Home Assistant entity of a meter.
struct MqttSensor {
  std::string key;        // key in the state JSON
  std::string component;  // "sensor" or "binary_sensor"
  std::string name;       // UTF-8
  std::string device_class;
  std::string state_class;
  std::string unit;
  std::vector<std::string> options;  // enum sensors
};

// The sensors that the meter's option, mode and phases give.
std::vector<MqttSensor> mqtt_sensors(const MqttMeterView& m);

// The state document: one key per sensor (a number, a text, or null while the
// value has not been received), plus "adresse", "nom", "option", "mode" and
// "simule".
nlohmann::json mqtt_state(const MqttMeterView& m);

// The values whose change is sent at once: tariff period, tomorrow's colour,
// EJP notice.
std::string mqtt_event_key(const MqttMeterView& m);

struct MqttDiscoveryMessage {
  std::string topic;
  std::string payload;  // empty: removes the entity
};
// The retained config message of one sensor.
MqttDiscoveryMessage mqtt_discovery(const MqttSettings& s, const MqttMeterView& m, const std::string& address,
                                    const MqttSensor& sensor);
// The topic of a sensor's config message.
std::string mqtt_discovery_topic(const MqttSettings& s, const std::string& address, const MqttSensor& sensor);

}  // namespace vireluz
