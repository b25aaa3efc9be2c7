#include "mqtt/mqtt_publisher.h"

#include <gtest/gtest.h>

#include "common/sim_scheduler.h"

using namespace vireluz;

namespace {

struct Sent {
  std::string topic, payload;
  bool retain;
};

// A client whose broker is the test: it says when a connection is made or
// lost, delivers messages, and keeps what was published.
class FakeClient : public MqttClient {
 public:
  void connect(const MqttConnectOptions& o) override {
    options = o;
    ++attempts;
  }
  void disconnect() override { up = false; }
  bool connected() const override { return up; }
  bool publish(const std::string& topic, const std::string& payload, bool retain, int) override {
    if (!up) return false;
    sent.push_back({topic, payload, retain});
    return true;
  }
  void subscribe(const std::string& filter, int) override { filters.push_back(filter); }

  void accept() {
    up = true;
    on_connected();
  }
  void lose() {
    up = false;
    on_failure(MqttFailure{MqttFailureKind::kLost, ""});
  }
  std::vector<Sent> on(const std::string& topic) const {
    std::vector<Sent> out;
    for (const Sent& s : sent)
      if (s.topic == topic) out.push_back(s);
    return out;
  }
  // Position of the first message on a topic with that payload (-1: none).
  int index_of(const std::string& topic, const std::string& payload) const {
    for (std::size_t i = 0; i < sent.size(); ++i)
      if (sent[i].topic == topic && sent[i].payload == payload) return static_cast<int>(i);
    return -1;
  }

  MqttConnectOptions options;
  int attempts = 0;
  bool up = false;
  std::vector<Sent> sent;
  std::vector<std::string> filters;
};

class FakeClients : public MqttClientFactory {
 public:
  std::unique_ptr<MqttClient> create_client() override {
    auto c = std::make_unique<FakeClient>();
    made.push_back(c.get());
    return c;
  }
  std::vector<FakeClient*> made;
};

const std::string kConfig = "homeassistant/device/vireluz_A00000000001/config";
const std::string kAvailability = "vireluz/A00000000001/availability";

class MqttPublisherTest : public ::testing::Test {
 protected:
  MqttPublisherTest() {
    settings.mqtt.ACTIF = 1;
    settings.mqtt.SERVEUR = "broker";
    MeterSlot& m = meters[0];
    m.ADCO = "A00000000001";
    m.identified = true;
    m.tariff_kind = TariffKind::BASE;
    m.BASE = "000123456";
    publisher.apply_settings();
  }
  // Meter 1 sends a frame every second for `seconds`.
  void frames(int seconds) {
    for (int i = 0; i < seconds; ++i) {
      publisher.packet_decoded(1);
      clock.advance(1000);
    }
  }
  FakeClient& client() { return *clients.made.back(); }

  Settings settings;
  std::array<MeterSlot, 2> meters;
  MeasureTable measures;
  MainWindowState window;
  SimScheduler clock;
  RecordingMessages messages;
  FakeClients clients;
  MqttPublisher publisher{{settings, meters, measures, window, clock, nullptr}, clock, messages, clients};
};

// A broker still holding the one-entity configs of an earlier version: each
// is first handed over (Home Assistant keeps the entity and its history),
// then the device config takes the entities, then the old configs are
// cleared, so that no entity is doubled or left behind.
TEST_F(MqttPublisherTest, OldConfigsAreHandedOverToTheDeviceThenCleared) {
  frames(1);
  client().accept();
  EXPECT_EQ(client().filters, (std::vector<std::string>{"homeassistant/status",
                                                        "homeassistant/+/vireluz_A00000000001/+/config"}));
  const std::string old_index = "homeassistant/sensor/vireluz_A00000000001/base/config";
  const std::string left_marker = "homeassistant/sensor/vireluz_A00000000001/papp/config";
  const std::string migrate = R"({"migrate_discovery":true})";
  client().on_message(old_index, R"({"name":"Index base","object_id":"vireluz_A00000000001_base"})");
  client().on_message(left_marker, migrate);  // from a hand-over that was cut short
  client().on_message(old_index, migrate);    // the broker echoes ours
  EXPECT_EQ(client().on(old_index).size(), 1u);
  EXPECT_EQ(client().on(left_marker).size(), 0u);
  frames(3);

  const int marker = client().index_of(old_index, migrate);
  const int config = static_cast<int>(client().sent.size()) - 3;
  ASSERT_GE(marker, 0);
  EXPECT_EQ(client().on(kConfig).size(), 1u);
  EXPECT_EQ(client().index_of(kConfig, client().on(kConfig)[0].payload), config);
  EXPECT_GT(config, marker);
  EXPECT_GT(client().index_of(old_index, ""), config);
  EXPECT_GT(client().index_of(left_marker, ""), config);
  for (const Sent& s : client().sent)
    if (s.topic.rfind("homeassistant/", 0) == 0) {
      EXPECT_TRUE(s.retain) << s.topic;
    }
  frames(10);
  EXPECT_EQ(client().on(kConfig).size(), 1u);  // unchanged, not sent again
}

TEST_F(MqttPublisherTest, HomeAssistantBackOnlineGetsTheConfigAndAvailabilityAgain) {
  frames(1);
  client().accept();
  frames(3);
  ASSERT_EQ(client().on(kConfig).size(), 1u);
  ASSERT_EQ(client().on(kAvailability).size(), 1u);
  client().on_message("homeassistant/status", "offline");
  frames(3);
  EXPECT_EQ(client().on(kConfig).size(), 1u);
  client().on_message("homeassistant/status", "online");
  frames(1);
  EXPECT_EQ(client().on(kConfig).size(), 2u);
  EXPECT_EQ(client().on(kAvailability).back().payload, "online");
  EXPECT_EQ(client().on(kAvailability).size(), 2u);
}

// The broker closes the older of two connections with one client id: two
// programs publishing the same meter took the connection from each other
// every few seconds, silently.
TEST_F(MqttPublisherTest, TwoProgramsWithOneClientIdStopFightingAfterSayingItOnce) {
  frames(1);
  client().accept();
  frames(30);
  client().lose();  // a long connection that ends: the network, not a twin
  for (int i = 0; i < 2; ++i) {
    frames(2);
    client().accept();
    frames(2);
    client().lose();
  }
  EXPECT_TRUE(messages.messages.empty());
  frames(2);
  client().accept();
  frames(2);
  client().lose();  // the third quick loss in a row
  ASSERT_EQ(messages.messages.size(), 1u);
  const std::string text = cp1252_to_utf8(messages.messages[0].text);
  EXPECT_NE(text.find("A00000000001"), std::string::npos) << text;
  EXPECT_NE(text.find("même identifiant (vireluz-A00000000001)"), std::string::npos) << text;
  const int attempts = client().attempts;
  frames(300);
  EXPECT_EQ(client().attempts, attempts);
  EXPECT_EQ(messages.messages.size(), 1u);

  // Saving the settings again tries once more.
  publisher.apply_settings();
  frames(1);
  EXPECT_EQ(clients.made.size(), 2u);
  EXPECT_EQ(client().attempts, 1);
}

}  // namespace
