#pragma once
// The configuration window (TForm_cfg): the controls of ConfigWindow, mirrored
// both ways. Every user action goes to the model, which says what the
// controls show next.
#include <QDialog>
#include <memory>

#include "app/gui_backend.h"
#include "config/config_window.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vireluz {

class TForm_cfg : public QDialog {
  Q_OBJECT
 public:
  TForm_cfg(GuiBackend& backend, UserMessages& messages, const std::string& program_path,
            QWidget* parent = nullptr);
  ConfigWindow& model() { return *model_; }

  // FormShow: loads the controls from the settings (done by showEvent too).
  void load();
  // Model -> widgets, and widgets -> model.
  void push();
  void pull();
  void save();   // "Sauvegarder et Quitter"
  void leave();  // "Quitter sans sauvegarder"

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  template <typename W>
  W* make(const char* name, const QString& text = {});
  void choose_folder();

  GuiBackend& backend_;
  std::unique_ptr<ConfigWindow> model_;
  QComboBox *ComboBox_delais_, *ComboBox_mode_interface_, *ComboBox_type_abo_, *ComboBox_type_abo_cpt2_,
      *ComboBox_mode1_, *ComboBox_mode2_;
  QLineEdit *Edit_nom_cpt1_, *Edit_nom_cpt2_, *DirectoryListBox1_;
  QRadioButton *Radio_enregistrement_, *Radio_enregistrementdate_, *RadioPROD1_, *RadioPROD2_,
      *RadioButton_entete_, *RadioButton_sansentete_, *RadioButton_demAUTO_, *RadioButton_sansdemauto_,
      *RadioButton_Isous_, *RadioButton_Imax_, *RadioButton_intensite_, *RadioButton_PA_;
  QCheckBox *new_format_date_, *production_csv_, *CheckBox_PTEC_;
  QGroupBox* GroupBox_echellegraphe_;
};

}  // namespace vireluz
