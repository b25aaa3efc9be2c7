#pragma once
// The window "Page Web" (TForm_Web): the widgets of WebWindowModel. Every
// action copies the widgets into the model, runs the model's operation and
// copies the model back, so the window holds no rule of its own.
#include <QDialog>
#include <functional>

#include "common/user_messages.h"
#include "config/settings.h"
#include "web/web_window_model.h"

class QCheckBox;
class QLineEdit;

namespace vireluz {

class TForm_Web : public QDialog {
  Q_OBJECT
 public:
  TForm_Web(Settings& settings, UserMessages& messages, QWidget* parent = nullptr);

  WebWindowModel& model() { return model_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void run(const std::function<void()>& operation);
  void pull();
  void push();

  WebWindowModel model_;
  UserMessages& messages_;
  QCheckBox* CheckBox_actif_;
  QLineEdit *Edit_adresse_, *Edit_port_, *Edit_utilisateur_, *Edit_mot_de_passe_, *Edit_certificat_,
      *Edit_cle_;
};

}  // namespace vireluz
