#pragma once
// The configuration window (TForm_cfg): the controls of ConfigWindow, mirrored
// both ways. Every user action goes to the model, which says what the
// controls show next.
#include "app/gui_backend.h"
#include "app/settings_window.h"
#include "config/config_window.h"

class QLineEdit;

namespace vireluz {

class TForm_cfg : public SettingsWindow {
  Q_OBJECT
 public:
  TForm_cfg(GuiBackend& backend, UserMessages& messages, const std::string& program_path,
            QWidget* parent = nullptr);
  ConfigWindow& model() { return model_; }

  // FormShow: loads the controls from the settings (done by showEvent too).
  void load();
  void save();   // "Sauvegarder et Quitter"
  void leave();  // "Quitter sans sauvegarder"

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  void choose_folder();

  GuiBackend& backend_;
  ConfigWindow model_;
  QLineEdit* DirectoryListBox1_;
};

}  // namespace vireluz
