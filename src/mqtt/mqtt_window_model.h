#pragma once
// The window "Transfert MQTT" (TForm_MQTT) without its toolkit: the field
// values, their checks, "Enregistrer" (writes [CONFIG_MQTT] only) and
// "Test connexion" (one connection attempt with the fields as typed, whose
// outcome is told in French).
#include <functional>
#include <memory>
#include <optional>

#include "common/text.h"
#include "common/user_messages.h"
#include "config/settings.h"
#include "mqtt/mqtt_client.h"

namespace vireluz {

class MqttWindowModel {
 public:
  static inline const Text kCaption = "Transfert MQTT";

  // clients: where the test connection comes from (none: no test possible).
  MqttWindowModel(Settings& settings, UserMessages& messages, MqttClientFactory* clients);
  ~MqttWindowModel();

  // Fields, as typed.
  bool actif = false;
  Text serveur;
  Text port;
  Text utilisateur;
  Text mot_de_passe;  // shown masked
  bool tls = false;
  Text ca;
  Text prefixe;
  bool decouverte = true;
  Text prefixe_decouverte;
  Text periode;

  // Fills the fields from the settings.
  void show();
  // "Enregistrer": checks the fields (a French message names the first that
  // is wrong), then updates the settings and writes [CONFIG_MQTT]. True when
  // written.
  bool enregistrer();
  // "Test connexion": checks the fields, then tries them; the outcome comes
  // as a message, later, on the event loop.
  void test_connexion();
  bool test_running() const { return static_cast<bool>(test_client_); }
  // Called when a test ends (the window enables its button again).
  std::function<void()> on_test_done;

 private:
  // The settings the fields give, or nullopt after telling what is wrong
  // (an empty server is wrong when switched on or `server_needed`).
  std::optional<MqttSettings> checked(bool server_needed);
  void end_test(const UserMessage& m);

  Settings& settings_;
  UserMessages& messages_;
  MqttClientFactory* clients_;
  std::unique_ptr<MqttClient> test_client_;
  MqttSettings tested_;
};

}  // namespace vireluz
