#pragma once
// The window "Transfert MQTT" (TForm_MQTT): the widgets of MqttWindowModel.
// Every action copies the widgets into the model, runs the model's operation
// and copies the model back, so the window holds no rule of its own.
#include <QDialog>
#include <functional>

#include "common/user_messages.h"
#include "config/settings.h"
#include "mqtt/mqtt_window_model.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace vireluz {

class TForm_MQTT : public QDialog {
  Q_OBJECT
 public:
  // clients: for "Test connexion" (none: the button is disabled).
  TForm_MQTT(Settings& settings, UserMessages& messages, MqttClientFactory* clients,
             QWidget* parent = nullptr);

  MqttWindowModel& model() { return model_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void run(const std::function<void()>& operation);
  void pull();
  void push();

  MqttWindowModel model_;
  UserMessages& messages_;
  bool has_clients_;
  QCheckBox *CheckBox_actif_, *CheckBox_tls_, *CheckBox_decouverte_;
  QLineEdit *Edit_serveur_, *Edit_port_, *Edit_utilisateur_, *Edit_mot_de_passe_, *Edit_ca_, *Edit_prefixe_,
      *Edit_prefixe_decouverte_, *Edit_periode_;
  QPushButton* Button_test_;
};

}  // namespace vireluz
