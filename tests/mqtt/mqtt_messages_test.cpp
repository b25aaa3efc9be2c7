#include "mqtt/mqtt_messages.h"

#include <gtest/gtest.h>

#include <set>

using namespace vireluz;

TEST(MqttMessages, IndexesAreReadExactlyFromTheirDigits) {
  EXPECT_EQ(wh_of_index_text("012345678"), 12345678);  // historic Wh
  EXPECT_EQ(wh_of_index_text("12345,678"), 12345678);  // standard kWh, French separator
  EXPECT_EQ(wh_of_index_text("0.005"), 5);
  // Beyond the 53 bits of a double: a conversion through floating point would give ...992.
  EXPECT_EQ(wh_of_index_text("9007199254740,993"), 9007199254740993);
  for (const char* bad : {"", "12,34", "1,2345", "12a45", "1,234,5", ",123", "-1,000"})
    EXPECT_EQ(wh_of_index_text(bad), std::nullopt) << bad;
}

TEST(MqttMessages, UnreceivedValuesAreNullAndTopicsStayInTheirLevel) {
  MeterSlot slot;
  slot.ADCO = "12/34+#5 678";  // a damaged address must not open other topics
  slot.identified = true;
  slot.tariff_kind = TariffKind::TEMPO;
  slot.phase_mode = PhaseMode::TRI;
  slot.BBRHCJB = "000001000";
  slot.IINST2 = "7";
  MqttMeterView v{slot, 1, false, "HPJW", 0, "EDF", true};
  const std::string address = mqtt_address(slot.ADCO);
  EXPECT_EQ(address, "12_34__5_678");

  const nlohmann::json state = mqtt_state(v);
  EXPECT_EQ(state["BBRHCJB"], 1000);
  EXPECT_TRUE(state["BBRHPJR"].is_null());  // not received yet: unknown, not 0
  EXPECT_TRUE(state["IINST1"].is_null());
  EXPECT_EQ(state["IINST2"], 7);
  EXPECT_TRUE(state["PAPP"].is_null());
  EXPECT_EQ(state["PERIODE"], "HPJW");
  EXPECT_TRUE(state["DEMAIN"].is_null());
  EXPECT_EQ(state["simule"], true);

  MqttSettings s;
  std::set<std::string> ids;
  for (const MqttSensor& sensor : mqtt_sensors(v)) {
    EXPECT_TRUE(state.contains(sensor.key)) << sensor.key;  // every entity finds its value
    const MqttDiscoveryMessage m = mqtt_discovery(s, v, address, sensor);
    EXPECT_EQ(m.topic.find_first_of("+# "), std::string::npos) << m.topic;
    EXPECT_EQ(std::count(m.topic.begin(), m.topic.end(), '/'), 4) << m.topic;
    ids.insert(nlohmann::json::parse(m.payload)["unique_id"].get<std::string>());
  }
  EXPECT_EQ(ids.size(), mqtt_sensors(v).size());
  EXPECT_EQ(mqtt_topics(s, address).state, "vireluz/12_34__5_678/state");
}
