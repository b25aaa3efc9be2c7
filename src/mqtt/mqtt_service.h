#pragma once
// Plugs the MQTT publisher into a Program beside the other services: it
// follows the decoded packets, the stops of reading and the loading of the
// settings. Build it after the Program's Services (it chains their hooks).
#include <memory>

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
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  MqttClientFactory& clients_;
  MqttPublisher publisher_;
};

}  // namespace vireluz
