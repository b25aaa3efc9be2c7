#pragma once
// The window "Cosm (pachube)" (TForm_Cosm): the widgets of CosmWindowModel.
#include "app/settings_window.h"
#include "config/settings.h"
#include "upload/cosm_window_model.h"

namespace vireluz {

class TForm_Cosm : public SettingsWindow {
  Q_OBJECT
 public:
  // settings: the program's settings (the datastream table is edited live);
  // messages: where the model's warnings and any error of an action go.
  TForm_Cosm(Settings& settings, UserMessages& messages, QWidget* parent = nullptr);

 private:
  CosmWindowModel model_;
};

}  // namespace vireluz
