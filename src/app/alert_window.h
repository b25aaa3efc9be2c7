#pragma once
// The window "Configuration Alerte Mail" (TForm_alertes_mail): the widgets of
// AlertWindowModel. Every action copies the widgets into the model, runs the
// model's operation and copies the model back; the grid shows the alert
// table that the alert evaluation shares, so edits are live.
#include <QDialog>
#include <functional>

#include "alerts/alert_engine.h"
#include "alerts/alert_window_model.h"
#include "common/user_messages.h"
#include "config/settings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QTableWidget;
class QTimeEdit;
class QTimer;

namespace vireluz {

class TForm_alertes_mail : public QDialog {
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
  void run(const std::function<void()>& operation);
  void pull();
  void push();

  AlertWindowModel model_;
  UserMessages& messages_;
  bool pushing_ = false;

  QTableWidget* StringGrid_alertes_;
  QComboBox *ComboBox_compteur_, *ComboBox_indicateur_, *ComboBox_signe_, *ComboBox_valeur_,
      *ComboBox_reactivation_, *ComboBox_tls_;
  QLineEdit *Edit_valeur_, *Edit_message_, *Edit_entete_, *Edit_emetteur_, *Edit_destinataire_, *Edit_smtp_,
      *Edit_port_, *Edit_password_, *Edit_reactivation_, *Edit_ca_;
  QCheckBox *CheckBox_activer_, *CheckBox_plage_horaire_, *CheckBox_actif_, *CheckBox_redemarrage_pc_;
  QTimeEdit *TimeEdit_debut_, *TimeEdit_fin_;
  QTimer* Timer_grille_;
};

}  // namespace vireluz
