#pragma once
// The window "Réglage BDPV" (TForm2_BDPV): the widgets of BdpvWindowModel.
// "Enregistrer" copies the widgets into the model, saves through it and
// copies the model back; the window holds no rule of its own.
#include <QDialog>
#include <QUrl>
#include <functional>

#include "common/user_messages.h"
#include "config/settings.h"
#include "upload/bdpv_window_model.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace vireluz {

class TForm2_BDPV : public QDialog {
  Q_OBJECT
 public:
  // settings: the program's settings; messages: where the model's warnings
  // and any error of an action go.
  TForm2_BDPV(Settings& settings, UserMessages& messages, QWidget* parent = nullptr);

  BdpvWindowModel& model() { return model_; }

  // Opens a web address (the logo); QDesktopServices::openUrl unless replaced.
  std::function<void(const QUrl&)> open_url;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void run(const std::function<void()>& operation);
  void pull();
  void push();

  BdpvWindowModel model_;
  UserMessages& messages_;

  QLineEdit *Edit_nom_, *Edit_mot_de_passe_, *Edit_heure_;
  QCheckBox* CheckBox_actif_;
  QRadioButton *RadioButton_cpt1_, *RadioButton_cpt2_;
  QButtonGroup* production_group_;
};

}  // namespace vireluz
