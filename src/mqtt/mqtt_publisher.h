#pragma once
// Publishes the meters to an MQTT broker. Each identified meter gets its own
// connection, whose last will marks the meter's availability topic "offline"
// when the program dies or the network goes; on it go the meter's Home
// Assistant device config, "online", and the meter's state: every PERIODE
// seconds (0: every frame), and at once when the tariff period, tomorrow's
// colour or the EJP notice changes. The config and "online" are sent again
// when Home Assistant comes back online, and the one-entity configs of
// earlier versions are handed over to it (no entity is lost or doubled).
// While disconnected only the newest state of each meter is kept; the
// connection is retried with a growing delay (1 s doubling up to 60 s). A
// failure is shown once (per kind and cause), not at every retry. Two
// programs publishing the same meter would take the connection from each
// other: that is said once and the later one to notice stops.
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/timer.h"
#include "common/user_messages.h"
#include "config/settings.h"
#include "display/main_window_state.h"
#include "meter/meter_slot.h"
#include "mqtt/mqtt_client.h"
#include "mqtt/mqtt_messages.h"

namespace vireluz {

// The French text of a failure, for the message box and the test button.
Text mqtt_failure_text(const MqttFailure& f, const MqttSettings& s);

// The connection options of the settings (client id and last will left empty).
MqttConnectOptions mqtt_connect_options(const MqttSettings& s);

class MqttPublisher {
 public:
  static constexpr int kTickMs = 1000;
  // A meter that delivered nothing for this long is no longer read.
  static constexpr std::int64_t kStaleMs = 60000;
  static constexpr std::int64_t kMaxRetryMs = 60000;
  // After connecting, the discovery waits this long for the broker to hand
  // over the one-entity configs of earlier versions that it still holds.
  static constexpr std::int64_t kSettleMs = 1500;
  // A connection lost sooner than this after it was made, kQuickLosses times
  // in a row, was taken over by another client with the same id.
  static constexpr std::int64_t kQuickLossMs = 15000;
  static constexpr int kQuickLosses = 3;

  struct Sources {
    const Settings& settings;
    const std::array<MeterSlot, 2>& meters;
    const MeasureTable& measures;
    const MainWindowState& window;
    const Clock& clock;
    std::function<bool()> simulated;
  };

  MqttPublisher(Sources sources, TimerFactory& timers, UserMessages& messages, MqttClientFactory& clients);
  ~MqttPublisher();
  MqttPublisher(const MqttPublisher&) = delete;
  MqttPublisher& operator=(const MqttPublisher&) = delete;

  // After the settings were loaded or saved: (re)connects with the new ones,
  // or stops publishing when MQTT is off. A meter given up to another
  // program is tried again.
  void apply_settings();
  // After every decoded packet of meter 1 or 2.
  void packet_decoded(int meter);
  // Reading stopped (button, watchdog, module reset): every meter read so far
  // goes "offline".
  void reading_stopped();
  // The program ends: "offline" for the meters read, clean disconnections.
  void shutdown();

  bool active() const { return enabled_; }
  bool connected(int meter) const;

 private:
  struct Link {
    std::unique_ptr<MqttClient> client;
    std::string address;  // empty: no meter identified on this slot
    MqttTopics topics;
    bool connecting = false;
    int failures = 0;
    std::int64_t retry_at_ms = 0;
    std::int64_t connected_at_ms = 0;
    int quick_losses = 0;
    bool given_up = false;  // another client publishes this meter with the same id
    bool live = false;      // the meter is being read
    std::int64_t last_packet_ms = 0;
    bool announced = false;  // "online" sent on this connection
    // Discovery: the config last sent on this connection (empty: to send, not
    // before discovery_at_ms), its components (id -> platform), and the
    // one-entity configs of earlier versions to clear once it is out.
    std::string config;
    std::map<std::string, std::string> components;
    std::int64_t discovery_at_ms = 0;
    std::set<std::string> old_configs;
    std::optional<std::string> pending;  // newest state waiting for the connection
    std::string last_events;
    std::int64_t last_state_ms = -1;
  };

  MqttMeterView view(int meter) const;
  void tick();
  void start_link(int meter, const std::string& address);
  void connect(int meter);
  void drop_link(Link& link);
  void on_connected(int meter);
  void on_failure(int meter, const MqttFailure& f);
  void on_message(int meter, const std::string& topic, const std::string& payload);
  void announce(Link& link, const MqttMeterView& v);
  void send_state(Link& link, const std::string& state);
  void go_offline(Link& link);
  void report(const MqttFailure& f);
  std::int64_t now() const { return src_.clock.now_utc_ms(); }

  Sources src_;
  UserMessages& messages_;
  MqttClientFactory& clients_;
  std::unique_ptr<Timer> timer_;
  std::array<Link, 2> links_;
  bool enabled_ = false;
  std::string settings_sig_;
  std::set<std::string> reported_;
};

}  // namespace vireluz
