#include "mqtt/mqtt_service.h"

namespace vireluz {

namespace {

MqttPublisher::Sources sources_of(Program& p) {
  return MqttPublisher::Sources{p.settings(), p.meters(), p.measures(),
                                p.window(),   p.clock(),  [&p] { return p.simulated(); }};
}

}  // namespace

MqttService::MqttService(Program& p, MqttClientFactory& clients)
    : clients_(clients), publisher_(sources_of(p), p.timers(), p.messages(), clients) {
  subscriptions_.push_back(
      p.on_packet_decoded.subscribe([this](int meter) { publisher_.packet_decoded(meter); }));
  subscriptions_.push_back(
      p.interface().on_reading_stopped.subscribe([this] { publisher_.reading_stopped(); }));
  subscriptions_.push_back(p.on_configuration_loaded.subscribe([this] { publisher_.apply_settings(); }));
}

MqttService::~MqttService() {
  subscriptions_.clear();
  publisher_.shutdown();
}

}  // namespace vireluz
