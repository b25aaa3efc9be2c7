#pragma once
// Plugs the MQTT publisher into a Program beside the other services: it
// follows the decoded packets, the stops of reading and the loading of the
// settings.
#include <memory>
#include <vector>

#include "mqtt/mqtt_client.h"
#include "mqtt/mqtt_publisher.h"
#include "program/program.h"

namespace vireluz {

class MqttService {
 public:
  MqttService(Program& program, MqttClientFactory& clients);
  ~MqttService();
  MqttService(const MqttService&) = delete;
  MqttService& operator=(const MqttService&) = delete;

  MqttPublisher& publisher() { return publisher_; }
  MqttClientFactory& clients() { return clients_; }

 private:
  MqttClientFactory& clients_;
  MqttPublisher publisher_;
  std::vector<Subscription> subscriptions_;
};

}  // namespace vireluz
