#include "mqtt/mqtt_publisher.h"

#include <algorithm>

#include "display/components.h"

namespace vireluz {

namespace {

const Text kCaption = "Transfert MQTT";
// Asks Home Assistant to let go of an entity without deleting it.
const std::string kMigrate = R"({"migrate_discovery":true})";

Text taken_over_text(const std::string& address, const MqttSettings& s) {
  return w("Un autre programme publie déjà le compteur ") + Text(address) + w(" sur le serveur MQTT ") +
         Text(trim(s.SERVEUR)) + ":" + std::to_string(s.PORT) + w(" avec le même identifiant (vireluz-") +
         Text(address) +
         w(") : chacun coupait la connexion de l'autre. VIRELUZ cesse de publier ce compteur ; arrêtez "
           "l'autre programme, puis enregistrez à nouveau les réglages MQTT pour reprendre.");
}

std::string settings_signature(const MqttSettings& s) {
  std::string sig;
  for (const Text* t :
       {&s.SERVEUR, &s.UTILISATEUR, &s.MOT_DE_PASSE, &s.CA, &s.PREFIXE, &s.PREFIXE_DECOUVERTE}) {
    sig += *t;
    sig += '\x01';
  }
  sig += std::to_string(s.ACTIF) + ',' + std::to_string(s.PORT) + ',' + std::to_string(s.TLS) + ',' +
         std::to_string(s.DECOUVERTE);
  return sig;
}

}  // namespace

Text mqtt_failure_text(const MqttFailure& f, const MqttSettings& s) {
  const Text server = Text(trim(s.SERVEUR)) + ":" + std::to_string(s.PORT);
  const Text why = f.detail.empty() ? Text() : w(" : " + f.detail);
  const Text retry = w(" Nouvel essai automatique.");
  const Text tls = w("Connexion sécurisée (TLS) impossible avec le serveur MQTT ") + server;
  switch (f.kind) {
    case MqttFailureKind::kInvalidSettings:
      return w("Réglages MQTT inutilisables") + why + ".";
    case MqttFailureKind::kUnknownHost:
      return w("Serveur MQTT « ") + Text(trim(s.SERVEUR)) +
             w(" » introuvable (" + f.detail + ") : vérifiez son nom.");
    case MqttFailureKind::kUnreachable:
      return w("Connexion impossible au serveur MQTT ") + server + why + "." + retry;
    case MqttFailureKind::kTimeout:
      return w("Le serveur MQTT ") + server + w(" ne répond pas") + why + "." + retry;
    case MqttFailureKind::kTlsNotOffered:
      return tls + w(" : il ne répond pas en TLS sur ce port. Décochez TLS ou indiquez son port TLS (8883 "
                     "d'ordinaire).");
    case MqttFailureKind::kCertificate:
      return tls + w(" : certificat " + f.detail + ".");
    case MqttFailureKind::kTls:
      return tls + w(" : échec de la négociation TLS") +
             (f.detail.empty() ? Text() : w(" (" + f.detail + ")")) + ".";
    case MqttFailureKind::kClosed:
      return w("Le serveur MQTT ") + server + w(" a fermé la connexion sans l'accepter") +
             (s.TLS == 1 ? Text() : w(" : s'il attend TLS sur ce port, cochez TLS")) + "." + retry;
    case MqttFailureKind::kAuthRefused:
      return w("Le serveur MQTT ") + server +
             w(" refuse la connexion : nom d'utilisateur ou mot de passe incorrect.");
    case MqttFailureKind::kRefused:
      return w("Le serveur MQTT ") + server + w(" refuse la connexion") + why + ".";
    case MqttFailureKind::kLost:
      return w("Connexion au serveur MQTT ") + server + w(" perdue") + why + "." + retry;
  }
  return {};
}

MqttConnectOptions mqtt_connect_options(const MqttSettings& s) {
  MqttConnectOptions o;
  o.host = cp1252_to_utf8(trim(s.SERVEUR));
  o.port = s.PORT;
  o.username = cp1252_to_utf8(s.UTILISATEUR);
  o.password = cp1252_to_utf8(s.MOT_DE_PASSE);
  o.tls = s.TLS == 1;
  o.ca_file = cp1252_to_utf8(trim(s.CA));
  return o;
}

MqttPublisher::MqttPublisher(Sources sources, TimerFactory& timers, UserMessages& messages,
                             MqttClientFactory& clients)
    : src_(std::move(sources)), messages_(messages), clients_(clients) {
  timer_ = timers.create_timer("Timer_mqtt", kTickMs);
  timer_->set_handler([this] { tick(); });
}

MqttPublisher::~MqttPublisher() { shutdown(); }

bool MqttPublisher::connected(int meter) const {
  const Link& l = links_[static_cast<std::size_t>(meter - 1)];
  return l.client && l.client->connected();
}

MqttMeterView MqttPublisher::view(int meter) const {
  const auto i = static_cast<std::size_t>(meter - 1);
  const Settings& s = src_.settings;
  const MeterSlot& slot = src_.meters[i];
  MqttMeterView v{slot, meter, false, {}, 0, {}, false};
  v.standard = (meter == 1 ? s.prg.MODE_TIC_cpt1 : s.prg.MODE_TIC_cpt2) == 1;
  v.period = v.standard ? src_.window[kMeter[i].ptec].text : slot.PTEC;
  v.ejp_notice = src_.measures.at(MeasureKind::PEJP, meter);
  v.name = meter == 1 ? s.prg.NOM_CPT1 : s.prg.NOM_CPT2;
  v.simulated = src_.simulated && src_.simulated();
  return v;
}

void MqttPublisher::apply_settings() {
  const MqttSettings& s = src_.settings.mqtt;
  const std::string sig = settings_signature(s);
  if (sig == settings_sig_) {
    for (Link& l : links_)
      if (l.given_up) drop_link(l);  // started again at the meter's next packet
    return;
  }
  settings_sig_ = sig;
  for (Link& l : links_) drop_link(l);
  reported_.clear();
  enabled_ = s.ACTIF == 1 && !trim(s.SERVEUR).empty();
  timer_->set_enabled(enabled_);
}

void MqttPublisher::packet_decoded(int meter) {
  if (!enabled_ || (meter != 1 && meter != 2)) return;
  const MeterSlot& slot = src_.meters[static_cast<std::size_t>(meter - 1)];
  if (!slot.identified || trim(slot.ADCO).empty()) return;  // nothing before identification
  Link& l = links_[static_cast<std::size_t>(meter - 1)];
  const std::string address = mqtt_address(slot.ADCO);
  if (l.address != address) start_link(meter, address);
  const std::int64_t t = now();
  const bool was_live = l.live;
  l.live = true;
  l.last_packet_ms = t;

  const MqttMeterView v = view(meter);
  std::string events = mqtt_event_key(v);
  // PERIODE 0: every decoded frame.
  const std::int64_t period_ms = std::int64_t{std::max(0, src_.settings.mqtt.PERIODE)} * 1000;
  const bool due =
      !was_live || l.last_state_ms < 0 || events != l.last_events || t - l.last_state_ms >= period_ms;
  if (!due) return;
  l.last_events = std::move(events);
  l.last_state_ms = t;
  std::string state = mqtt_state(v).dump();
  if (l.client && l.client->connected()) {
    announce(l, v);
    send_state(l, state);
  } else {
    l.pending = std::move(state);  // only the newest is kept
  }
}

void MqttPublisher::reading_stopped() {
  for (Link& l : links_) {
    if (!l.live) continue;
    l.live = false;
    go_offline(l);
  }
}

void MqttPublisher::shutdown() {
  if (timer_) timer_->set_enabled(false);
  for (Link& l : links_) drop_link(l);
  enabled_ = false;
  settings_sig_.clear();
}

void MqttPublisher::tick() {
  const std::int64_t t = now();
  for (int meter = 1; meter <= 2; ++meter) {
    Link& l = links_[static_cast<std::size_t>(meter - 1)];
    if (l.address.empty() || l.given_up) continue;
    if (l.live && t - l.last_packet_ms > kStaleMs) {
      l.live = false;
      go_offline(l);
    }
    if (l.client->connected()) {
      // A discovery that waits (after connecting, a hand-over, Home Assistant's return).
      if (l.live && (l.config.empty() || !l.old_configs.empty())) announce(l, view(meter));
    } else if (!l.connecting && t >= l.retry_at_ms) {
      connect(meter);
    }
  }
}

void MqttPublisher::start_link(int meter, const std::string& address) {
  Link& l = links_[static_cast<std::size_t>(meter - 1)];
  drop_link(l);
  l.address = address;
  l.topics = mqtt_topics(src_.settings.mqtt, address);
  l.client = clients_.create_client();
  l.client->on_connected = [this, meter] { on_connected(meter); };
  l.client->on_failure = [this, meter](const MqttFailure& f) { on_failure(meter, f); };
  l.client->on_message = [this, meter](const std::string& topic, const std::string& payload) {
    on_message(meter, topic, payload);
  };
  if (src_.settings.mqtt.DECOUVERTE == 1) {
    l.client->subscribe(l.topics.ha_status, 1);
    l.client->subscribe(l.topics.old_discovery_filter, 1);
  }
  connect(meter);
}

void MqttPublisher::connect(int meter) {
  Link& l = links_[static_cast<std::size_t>(meter - 1)];
  MqttConnectOptions o = mqtt_connect_options(src_.settings.mqtt);
  o.client_id = "vireluz-" + l.address;
  o.will_topic = l.topics.availability;
  o.will_payload = "offline";
  l.connecting = true;
  l.client->connect(o);
}

void MqttPublisher::drop_link(Link& l) {
  if (l.client) {
    if (l.client->connected() && l.live) go_offline(l);
    l.client->on_connected = nullptr;
    l.client->on_failure = nullptr;
    l.client->on_message = nullptr;
    l.client->disconnect();
  }
  l = Link{};
}

void MqttPublisher::on_connected(int meter) {
  Link& l = links_[static_cast<std::size_t>(meter - 1)];
  const std::int64_t t = now();
  l.connecting = false;
  l.failures = 0;
  l.connected_at_ms = t;
  l.announced = false;
  l.config.clear();
  l.discovery_at_ms = t + kSettleMs;
  reported_.clear();  // a later failure is news again
  if (!l.live) {
    go_offline(l);
    return;
  }
  const MqttMeterView v = view(meter);
  announce(l, v);
  // The newest state: the one kept while disconnected, else the current one.
  send_state(l, l.pending ? *l.pending : mqtt_state(v).dump());
  l.pending.reset();
  l.last_state_ms = t;
}

void MqttPublisher::on_failure(int meter, const MqttFailure& f) {
  Link& l = links_[static_cast<std::size_t>(meter - 1)];
  const std::int64_t t = now();
  l.connecting = false;
  l.announced = false;
  if (f.kind == MqttFailureKind::kLost) {
    // The broker closes the older of two connections with one client id: two
    // programs reading the same meter would do that to each other endlessly.
    l.quick_losses = t - l.connected_at_ms < kQuickLossMs ? l.quick_losses + 1 : 0;
    if (l.quick_losses >= kQuickLosses) {
      l.given_up = true;  // no retry: the other one keeps the connection
      messages_.show_message(
          UserMessage{MessageIcon::Warning, kCaption, taken_over_text(l.address, src_.settings.mqtt)});
      return;
    }
  }
  const int shift = std::min(l.failures, 6);
  l.retry_at_ms = t + std::min(kMaxRetryMs, std::int64_t{1000} << shift);
  ++l.failures;
  report(f);
}

void MqttPublisher::on_message(int meter, const std::string& topic, const std::string& payload) {
  Link& l = links_[static_cast<std::size_t>(meter - 1)];
  if (topic == l.topics.ha_status) {
    if (payload != "online") return;
    // Home Assistant (re)started: the config and "online" again at the next
    // tick (not sooner than a connection's settling: a retained "online"
    // comes at once).
    l.config.clear();
    l.announced = false;
    l.discovery_at_ms = std::max(l.discovery_at_ms, now());
  } else if (!payload.empty()) {
    // A one-entity config of an earlier version: Home Assistant lets go of the
    // entity without deleting it, the device config takes it over, then the
    // old config is cleared.
    if (payload != kMigrate) l.client->publish(topic, kMigrate, true, 1);
    l.old_configs.insert(topic);
    l.config.clear();
    l.discovery_at_ms = now() + kTickMs;
  }
}

void MqttPublisher::announce(Link& l, const MqttMeterView& v) {
  const MqttSettings& s = src_.settings.mqtt;
  if (s.DECOUVERTE == 1 && now() >= l.discovery_at_ms) {
    const std::vector<MqttSensor> sensors = mqtt_sensors(v);
    std::map<std::string, std::string> components;
    for (const MqttSensor& x : sensors) components[mqtt_component_id(x)] = x.component;
    std::map<std::string, std::string> removed;  // entities that the meter no longer has
    for (const auto& [id, platform] : l.components)
      if (components.count(id) == 0) removed[id] = platform;
    std::string config = mqtt_device_config(s, v, l.address, sensors, removed);
    if (config != l.config) {
      l.client->publish(l.topics.discovery, config, true, 1);
      l.config = std::move(config);
      l.components = std::move(components);
    }
    for (const std::string& old : l.old_configs) l.client->publish(old, "", true, 1);
    l.old_configs.clear();
  }
  if (!l.announced) {
    l.client->publish(l.topics.availability, "online", true, 1);
    l.announced = true;
  }
}

void MqttPublisher::send_state(Link& l, const std::string& state) {
  l.client->publish(l.topics.state, state, true, 0);
}

void MqttPublisher::go_offline(Link& l) {
  l.announced = false;
  if (l.client && l.client->connected()) l.client->publish(l.topics.availability, "offline", true, 1);
}

void MqttPublisher::report(const MqttFailure& f) {
  // A lost connection is retried at once; only a failing retry is news.
  if (f.kind == MqttFailureKind::kLost) return;
  const std::string key = std::to_string(static_cast<int>(f.kind)) + '|' + f.detail;
  if (!reported_.insert(key).second) return;
  messages_.show_message(
      UserMessage{MessageIcon::Warning, kCaption, mqtt_failure_text(f, src_.settings.mqtt)});
}

}  // namespace vireluz
