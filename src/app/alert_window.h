#pragma once
// The window "Configuration Alerte Mail" (TForm_alertes_mail): the widgets of
// AlertWindowModel. The grid shows the alert table that the alert evaluation
// shares, so edits are live.
#include "alerts/alert_engine.h"
#include "alerts/alert_window_model.h"
#include "app/settings_window.h"
#include "config/settings.h"

class QTimer;

namespace vireluz {

class TForm_alertes_mail : public SettingsWindow {
  Q_OBJECT
 public:
  // settings: the program's settings (alert table included); messages: where
  // the model's warnings and any error of an action go (a failed save or test
  // mail); engine: the alert evaluation (test mail, mail buffer). Set
  // model().start_mail_timer to start Timer_mail after a save with alerts on.
  TForm_alertes_mail(Settings& settings, UserMessages& messages, AlertEngine& engine,
                     QWidget* parent = nullptr);

  AlertWindowModel& model() { return model_; }

  // Redraws the grid from the table (the evaluation writes columns 10-12
  // while the window is open; a timer does this every second while shown).
  void refresh_grid();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  AlertWindowModel model_;
  QTableWidget* StringGrid_alertes_;
  QTimer* Timer_grille_;
};

}  // namespace vireluz
