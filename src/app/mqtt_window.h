#pragma once
// The window "Transfert MQTT" (TForm_MQTT): the widgets of MqttWindowModel.
#include "app/settings_window.h"
#include "config/settings.h"
#include "mqtt/mqtt_window_model.h"

namespace vireluz {

class TForm_MQTT : public SettingsWindow {
  Q_OBJECT
 public:
  // clients: for "Test connexion" (none: the button is disabled).
  TForm_MQTT(Settings& settings, UserMessages& messages, MqttClientFactory* clients,
             QWidget* parent = nullptr);

 private:
  MqttWindowModel model_;
};

}  // namespace vireluz
