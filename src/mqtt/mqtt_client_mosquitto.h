#pragma once
// The MQTT client on libmosquitto, driven from the Qt event loop through its
// socket: notifiers for reading and writing, a timer for keep-alive pings and
// the connection deadline. The broker's name is resolved asynchronously
// first, so that no call waits on the network.
#include <memory>

#include "mqtt/mqtt_client.h"

namespace vireluz {

class MosquittoClientFactory : public MqttClientFactory {
 public:
  std::unique_ptr<MqttClient> create_client() override;
};

}  // namespace vireluz
