#pragma once
// The window "Réglage BDPV" (TForm2_BDPV): the widgets of BdpvWindowModel.
#include "app/settings_window.h"
#include "config/settings.h"
#include "upload/bdpv_window_model.h"

namespace vireluz {

class TForm2_BDPV : public SettingsWindow {
  Q_OBJECT
 public:
  // settings: the program's settings; messages: where the model's warnings
  // and any error of an action go.
  TForm2_BDPV(Settings& settings, UserMessages& messages, QWidget* parent = nullptr);

 private:
  BdpvWindowModel model_;
};

}  // namespace vireluz
