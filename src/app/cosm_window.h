#pragma once
// The window "Cosm (pachube)" (TForm_Cosm): the widgets of CosmWindowModel.
// Every action copies the widgets into the model, runs the model's operation
// and copies the model back, so the window holds no rule of its own.
#include <QDialog>
#include <QUrl>
#include <functional>

#include "common/user_messages.h"
#include "config/settings.h"
#include "upload/cosm_window_model.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QTableWidget;

namespace vireluz {

class TForm_Cosm : public QDialog {
  Q_OBJECT
 public:
  // settings: the program's settings (the datastream table is edited live);
  // messages: where the model's warnings and any error of an action go.
  TForm_Cosm(Settings& settings, UserMessages& messages, QWidget* parent = nullptr);

  CosmWindowModel& model() { return model_; }

  // Opens a web address ("Site Cosm"); QDesktopServices::openUrl unless replaced.
  std::function<void(const QUrl&)> open_url;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // Widgets -> model, the operation, model -> widgets; an exception is shown
  // as a message and goes no further.
  void run(const std::function<void()>& operation);
  void pull();
  void push();
  void refresh_grid();

  CosmWindowModel model_;
  UserMessages& messages_;
  bool pushing_ = false;

  QCheckBox* CheckBox_actif_;
  QLineEdit *Edit_key_, *Edit_feed_, *Edit_data_id_;
  QComboBox *ComboBox_interval_, *ComboBox_compteur_, *ComboBox_valeur_;
  QTableWidget* StringGrid_cosm_;
};

}  // namespace vireluz
