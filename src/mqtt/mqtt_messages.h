#pragma once
// What goes to the broker for one meter: the topics, the JSON state of its
// decoded values and the Home Assistant discovery message of its device.
// Pure functions of the meter's record; the publisher decides when to send.
#include <cstdint>
#include <map>
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
  std::string discovery;     // <discovery prefix>/device/vireluz_<address>/config
  // The one-entity config topics that versions before device discovery used
  // (<discovery prefix>/<component>/vireluz_<address>/<key>/config), as a filter.
  std::string old_discovery_filter;
  std::string ha_status;  // <discovery prefix>/status: Home Assistant's "online" / "offline"
};
MqttTopics mqtt_topics(const MqttSettings& s, const std::string& address);

// One Home Assistant entity of a meter.
struct MqttSensor {
  std::string key;        // key in the state JSON, and the entity's id within its device
  std::string component;  // "sensor" or "binary_sensor"
  std::string name;       // UTF-8
  std::string device_class;
  std::string state_class;
  std::string unit;
  std::vector<std::string> options;  // enum sensors
  // About the meter's link rather than a reading: shown apart, and never
  // expires (a reading goes unavailable when no state comes for a while).
  bool diagnostic = false;
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

// Seconds after which Home Assistant shows a reading as unavailable when no
// state came: a few state periods, never less than two minutes.
int mqtt_expire_after_s(const MqttSettings& s);

// The retained device config: every sensor under "cmps" (the component ids
// are the sensors' keys in lower case, so that entities first discovered one
// by one keep their identity), plus "origin", "device" and the topics they
// share. `removed` (component id -> platform) names components published
// earlier that the meter no longer has: they are sent with their platform
// only, which makes Home Assistant delete them.
std::string mqtt_device_config(const MqttSettings& s, const MqttMeterView& m, const std::string& address,
                               const std::vector<MqttSensor>& sensors,
                               const std::map<std::string, std::string>& removed = {});

// The component id of a sensor in the device config.
std::string mqtt_component_id(const MqttSensor& sensor);

}  // namespace vireluz
