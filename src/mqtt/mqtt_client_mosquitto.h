#pragma once
// The MQTT client on libmosquitto, driven through the event-loop port: one
// watch on its socket (writable asked only while bytes wait), alarms for the
// attempt's deadline and the keep-alive pings. The loop looks the broker's
// name up; libmosquitto only sees numeric addresses, while TLS still checks
// the certificate against the name.
#include <memory>

#include "common/io_loop.h"
#include "mqtt/mqtt_client.h"

namespace vireluz {

class MosquittoClientFactory : public MqttClientFactory {
 public:
  explicit MosquittoClientFactory(IoLoop& loop);
  ~MosquittoClientFactory() override;
  std::unique_ptr<MqttClient> create_client() override;
  class Closing;

 private:
  IoLoop& loop_;
  std::unique_ptr<Closing> closing_;  // connections ended cleanly, closing
};

}  // namespace vireluz
