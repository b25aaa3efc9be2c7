#include "mqtt/mqtt_service.h"

namespace vireluz {

namespace {

MqttPublisher::Sources sources_of(Program& p) {
  return MqttPublisher::Sources{p.settings(), p.meters(), p.measures(),
                                p.window(),   p.clock(),  [&p] { return p.d2xx().simulated(); }};
}

// Runs `before`, then `after` while the service lives: a hook keeps what
// was set on it already, and outlives the service harmlessly.
template <class... Args, class F>
std::function<void(Args...)> chained(std::function<void(Args...)> before, std::weak_ptr<bool> alive,
                                     F after) {
  return [before = std::move(before), alive = std::move(alive), after = std::move(after)](Args... args) {
    if (before) before(args...);
    if (!alive.expired()) after(args...);
  };
}

}  // namespace

MqttService::MqttService(Program& p, MqttClientFactory& clients)
    : clients_(clients), publisher_(sources_of(p), p.timers(), p.messages(), clients) {
  p.on_packet_decoded = chained<int>(std::move(p.on_packet_decoded), alive_,
                                     [this](int meter) { publisher_.packet_decoded(meter); });
  auto& iface = p.interface();
  iface.on_reading_stopped =
      chained<>(std::move(iface.on_reading_stopped), alive_, [this] { publisher_.reading_stopped(); });
  p.on_configuration_loaded =
      chained<>(std::move(p.on_configuration_loaded), alive_, [this] { publisher_.apply_settings(); });
}

MqttService::~MqttService() {
  alive_.reset();
  publisher_.shutdown();
}

}  // namespace vireluz
