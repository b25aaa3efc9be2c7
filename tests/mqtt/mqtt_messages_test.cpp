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
  EXPECT_EQ(state["AUJOURDHUI"], "Blanc");  // the colour of the period
  EXPECT_TRUE(state["P_SOUTIREE"].is_null());
  EXPECT_EQ(state["rejets"], 0);
  EXPECT_EQ(state["simule"], true);
  for (const MqttSensor& sensor : mqtt_sensors(v))
    EXPECT_TRUE(state.contains(sensor.key)) << sensor.key;  // every entity finds its value

  const MqttTopics t = mqtt_topics(MqttSettings{}, address);
  EXPECT_EQ(t.state, "vireluz/12_34__5_678/state");
  EXPECT_EQ(t.discovery, "homeassistant/device/vireluz_12_34__5_678/config");
  EXPECT_EQ(t.old_discovery_filter, "homeassistant/+/vireluz_12_34__5_678/+/config");
}

TEST(MqttMessages, StandardThreePhaseMeterGivesEachPhaseAndItsStatus) {
  MeterSlot slot;
  slot.ADCO = "B00000000002";
  slot.tariff_kind = TariffKind::TEMPO;
  slot.phase_mode = PhaseMode::TRI;
  slot.EAIT = "000001234";
  slot.URMS2 = "231";
  slot.SINSTS3 = "01500";
  slot.today_colour = "Rouge";
  slot.DEMAIN = "Bleu";
  slot.RELAIS = 0b10;
  slot.drawn_w = 2400;
  slot.injected_w = 0;
  slot.rejected_values = 4;
  MqttMeterView v{slot, 2, true, "HP BLEU", 0, "Solaire", false};
  const nlohmann::json state = mqtt_state(v);
  std::set<std::string> keys;
  for (const MqttSensor& sensor : mqtt_sensors(v)) keys.insert(sensor.key);
  for (const char* key : {"URMS1",       "URMS2",      "URMS3",      "IINST1",      "IINST2",     "IINST3",
                          "SINSTS1",     "SINSTS2",    "SINSTS3",    "SMAXSN1",     "SMAXSN2",    "SMAXSN3",
                          "SINSTI",      "P_SOUTIREE", "P_INJECTEE", "EAIT",        "AUJOURDHUI", "DEMAIN",
                          "CONTACT_SEC", "COUPURE",    "SURTENSION", "DEPASSEMENT", "RELAIS1",    "rejets"})
    EXPECT_EQ(keys.count(key), 1u) << key;
  EXPECT_EQ(keys.count("IINST"), 0u);
  EXPECT_EQ(state["URMS2"], 231);
  EXPECT_EQ(state["SINSTS3"], 1500);
  EXPECT_EQ(state["AUJOURDHUI"], "Rouge");
  EXPECT_EQ(state["DEMAIN"], "Bleu");
  EXPECT_EQ(state["RELAIS1"], 0);
  EXPECT_TRUE(state["COUPURE"].is_null());  // no status word yet: unknown, not closed
  EXPECT_EQ(state["P_SOUTIREE"], 2400);
  EXPECT_EQ(state["P_INJECTEE"], 0);
  EXPECT_EQ(state["rejets"], 4);
  slot.status = {true, false, 3, false, true, false};
  EXPECT_EQ(mqtt_state(v)["COUPURE"], 1);
  EXPECT_EQ(mqtt_state(v)["DEPASSEMENT"], 1);
  EXPECT_EQ(mqtt_state(v)["SURTENSION"], 0);
}

// One config per meter, as Home Assistant documents device discovery today:
// components under "cmps", "origin", no "object_id" (ignored since 2026.4).
// The ids are those of the one-entity configs of earlier versions
// (<prefix>/<component>/vireluz_<address>/<key>/config with unique_id
// vireluz_<address>_<key>), so that Home Assistant hands the same entities over.
TEST(MqttMessages, DeviceConfigKeepsTheEntitiesOfEarlierVersions) {
  MeterSlot slot;
  slot.ADCO = "A00000000001";
  slot.tariff_kind = TariffKind::EJP;
  slot.OPTARIF = "EJP.";
  MqttMeterView v{slot, 1, false, "HN..", 1, w("Maison été"), false};
  MqttSettings s;
  s.PERIODE = 60;
  const std::vector<MqttSensor> sensors = mqtt_sensors(v);
  const std::string text = mqtt_device_config(s, v, "A00000000001", sensors, {{"urms1", "sensor"}});
  EXPECT_EQ(text.find("object_id"), std::string::npos);
  const nlohmann::json c = nlohmann::json::parse(text);

  EXPECT_EQ(c["device"]["identifiers"], nlohmann::json::array({"vireluz_A00000000001"}));
  EXPECT_EQ(c["device"]["name"], "Maison été");  // UTF-8 from the Windows-1252 setting
  EXPECT_EQ(c["origin"]["name"], "VIRELUZ");
  EXPECT_FALSE(c["origin"]["sw_version"].get<std::string>().empty());
  EXPECT_EQ(c["state_topic"], "vireluz/A00000000001/state");
  EXPECT_EQ(c["availability_topic"], "vireluz/A00000000001/availability");

  const nlohmann::json& cmps = c["cmps"];
  EXPECT_EQ(cmps.size(), sensors.size() + 1);
  EXPECT_EQ(cmps["urms1"], nlohmann::json({{"platform", "sensor"}}));  // gone: removed in Home Assistant
  std::set<std::string> diagnostic;
  for (const MqttSensor& sensor : sensors) {
    const std::string id = mqtt_component_id(sensor);
    const nlohmann::json& e = cmps[id];
    EXPECT_EQ(e["platform"], sensor.component);
    EXPECT_EQ(e["unique_id"], "vireluz_A00000000001_" + id);
    EXPECT_EQ(e["default_entity_id"], sensor.component + ".vireluz_a00000000001_" + id);
    if (e.value("entity_category", "") == "diagnostic") {
      diagnostic.insert(sensor.key);
      EXPECT_FALSE(e.contains("expire_after")) << id;
    } else {
      EXPECT_EQ(e["expire_after"], 180) << id;  // three state periods
    }
  }
  EXPECT_EQ(diagnostic, (std::set<std::string>{"mode", "option", "rejets"}));
  EXPECT_EQ(cmps["ejphn"]["device_class"], "energy");
  EXPECT_EQ(cmps["ejphn"]["state_class"], "total_increasing");
  EXPECT_EQ(cmps["pejp"]["platform"], "binary_sensor");
  EXPECT_EQ(cmps["pejp"]["value_template"], "{{ value_json.PEJP }}");
  EXPECT_EQ(cmps["pejp"]["payload_on"], "1");
  s.PERIODE = 10;
  EXPECT_EQ(nlohmann::json::parse(
                mqtt_device_config(s, v, "A00000000001", sensors))["cmps"]["papp"]["expire_after"],
            120);
}
