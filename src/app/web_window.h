#pragma once
// The window "Page Web" (TForm_Web): the widgets of WebWindowModel.
#include "app/settings_window.h"
#include "config/settings.h"
#include "web/web_window_model.h"

namespace vireluz {

class TForm_Web : public SettingsWindow {
  Q_OBJECT
 public:
  TForm_Web(Settings& settings, UserMessages& messages, QWidget* parent = nullptr);

 private:
  WebWindowModel model_;
};

}  // namespace vireluz
