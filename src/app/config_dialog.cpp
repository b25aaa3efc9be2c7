#include "app/config_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/qt_support.h"

namespace vireluz {

TForm_cfg::TForm_cfg(GuiBackend& backend, UserMessages& messages, const std::string& program_path,
                     QWidget* parent)
    : SettingsWindow(messages, "TForm_cfg", ConfigWindow::kCaption, {}, parent),
      backend_(backend),
      model_(messages, program_path, ConfigWindow::Hooks{{}, [this] { backend_.release_pins(); }, {}, {}}) {
  setWindowIcon(program_icon());
  ConfigControls& c = model_.controls;
  auto enabled = [this](QWidget* w, const bool& flag) { bind({}, [w, &flag] { w->setEnabled(flag); }); };
  // The model pairs the radio buttons and says which is checked; a click runs
  // the model's handler.
  ConfigWindow& m = model_;
  auto radio = [this](const char* name, const QString& text, const bool& checked,
                      std::function<void()> click) {
    auto* r = named(new QRadioButton(text), name);
    r->setAutoExclusive(false);
    bind({}, [r, &checked] { r->setChecked(checked); });
    connect(r, &QAbstractButton::clicked, this, [this, click = std::move(click)] { run(click); });
    return r;
  };

  // FormCreate: the six lists and their items.
  auto* ComboBox_delais = combo("ComboBox_delais", ConfigWindow::delais_items(), c.ComboBox_delais);
  auto* ComboBox_mode_interface =
      combo("ComboBox_mode_interface", ConfigWindow::mode_interface_items(), c.ComboBox_mode_interface);
  enabled(ComboBox_mode_interface, c.ComboBox_mode_interface_enabled);
  auto* ComboBox_type_abo = combo("ComboBox_type_abo", ConfigWindow::type_abo_items(), c.ComboBox_type_abo);
  auto* ComboBox_type_abo_cpt2 =
      combo("ComboBox_type_abo_cpt2", ConfigWindow::type_abo_items(), c.ComboBox_type_abo_cpt2);
  enabled(ComboBox_type_abo_cpt2, c.ComboBox_type_abo_cpt2_enabled);
  auto* ComboBox_mode1 = combo("ComboBox_mode1", ConfigWindow::mode_tic_items(), c.ComboBox_mode1);
  auto* ComboBox_mode2 = combo("ComboBox_mode2", ConfigWindow::mode_tic_items(), c.ComboBox_mode2);
  auto* Edit_nom_cpt1 = edit("Edit_nom_cpt1", c.Edit_nom_cpt1);
  auto* Edit_nom_cpt2 = edit("Edit_nom_cpt2", c.Edit_nom_cpt2);
  enabled(Edit_nom_cpt2, c.Edit_nom_cpt2_enabled);
  DirectoryListBox1_ = edit("DirectoryListBox1", c.DirectoryListBox1);
  auto* Radio_enregistrement = radio("Radio_enregistrement", "Enregistrements.csv", c.Radio_enregistrement,
                                     [&m] { m.Radio_enregistrementClick(); });
  auto* Radio_enregistrementdate =
      radio("Radio_enregistrementdate", "vireluz + date du jour.csv", c.Radio_enregistrementdate,
            [&m] { m.Radio_enregistrementdateClick(); });
  auto* new_format_date = named(new QCheckBox("format: année-mois-jour"), "new_format_date");
  bind([this, new_format_date] { model_.set_date_format(new_format_date->isChecked()); },
       [new_format_date, &c] { new_format_date->setChecked(c.new_format_date); });
  enabled(new_format_date, c.new_format_date_enabled);
  auto* production_csv = check("production_csv", "Production dans fichier séparé", c.production_csv);
  auto* RadioPROD1 = radio("RadioPROD1", "CPT1", c.RadioPROD1, [&m] { m.select_prod(1); });
  auto* RadioPROD2 = radio("RadioPROD2", "CPT2", c.RadioPROD2, [&m] { m.select_prod(2); });
  auto* RadioButton_entete = radio("RadioButton_entete", "Avec: version et ADCO", c.RadioButton_entete,
                                   [&m] { m.select_entete(false); });
  auto* RadioButton_sansentete = radio("RadioButton_sansentete", "Sans: version et ADCO",
                                       c.RadioButton_sansentete, [&m] { m.select_entete(true); });
  auto* RadioButton_demAUTO = radio("RadioButton_demAUTO", "Redémarrage AUTO", c.RadioButton_demAUTO,
                                    [&m] { m.RadioButton_demAUTOClick(); });
  auto* RadioButton_sansdemauto =
      radio("RadioButton_sansdemauto", "SANS redémarrage", c.RadioButton_sansdemauto,
            [&m] { m.RadioButton_sansdemautoClick(); });
  auto* CheckBox_PTEC = check("CheckBox_PTEC", "PTEC (période tarifaire en cours)", c.CheckBox_PTEC);
  auto* RadioButton_Isous = radio("RadioButton_Isous", "Suivant Intensité souscrite", c.RadioButton_Isous,
                                  [&m] { m.select_isous(false); });
  auto* RadioButton_Imax = radio("RadioButton_Imax", "Suivant I Max (automatique)", c.RadioButton_Imax,
                                 [&m] { m.select_isous(true); });
  auto* RadioButton_intensite = radio("RadioButton_intensite", "Intensité", c.RadioButton_intensite,
                                      [&m] { m.RadioButton_intensiteClick(); });
  auto* RadioButton_PA =
      radio("RadioButton_PA", "Puissance Apparente", c.RadioButton_PA, [&m] { m.RadioButton_PAClick(); });
  auto* Button2 = named(new QPushButton("Sauvegarder et Quitter"), "Button2");
  auto* Button1 = named(new QPushButton("Quitter sans sauvegarder"), "Button1");

  auto* top = new QVBoxLayout(this);
  auto* g1 = new QGridLayout;
  g1->addWidget(new QLabel("Délais  entre enregistrements"), 0, 0);
  g1->addWidget(ComboBox_delais, 0, 1, 1, 2);
  g1->addWidget(new QLabel("Mode interface"), 1, 0);
  g1->addWidget(ComboBox_mode_interface, 1, 1, 1, 2);
  g1->addWidget(new QLabel("Compteur 1"), 2, 1);
  g1->addWidget(new QLabel("Compteur 2"), 2, 2);
  g1->addWidget(new QLabel("Mono ou Triphasé"), 3, 0);
  g1->addWidget(ComboBox_type_abo, 3, 1);
  g1->addWidget(ComboBox_type_abo_cpt2, 3, 2);
  g1->addWidget(new QLabel("Nom"), 4, 0);
  g1->addWidget(Edit_nom_cpt1, 4, 1);
  g1->addWidget(Edit_nom_cpt2, 4, 2);
  g1->addWidget(new QLabel("Mode"), 5, 0);
  g1->addWidget(ComboBox_mode1, 5, 1);
  g1->addWidget(ComboBox_mode2, 5, 2);
  top->addLayout(g1);

  auto* files = new QGroupBox("Fichier(s) des enregistrements:");
  auto* fl = new QGridLayout(files);
  fl->addWidget(new QLabel("Nom fichier d'enregistrements"), 0, 0, 1, 3);
  auto* browse = new QToolButton;
  browse->setObjectName("DirectoryChooser");
  browse->setText("…");
  DirectoryListBox1_->setReadOnly(true);
  fl->addWidget(DirectoryListBox1_, 1, 0, 1, 2);
  fl->addWidget(browse, 1, 2);
  fl->addWidget(Radio_enregistrement, 2, 0);
  fl->addWidget(Radio_enregistrementdate, 2, 1);
  fl->addWidget(new_format_date, 2, 2);
  auto* prod = new QHBoxLayout;
  prod->addWidget(production_csv);
  prod->addWidget(new QLabel("=>"));
  prod->addWidget(RadioPROD1);
  prod->addWidget(RadioPROD2);
  prod->addStretch(1);
  fl->addLayout(prod, 3, 0, 1, 3);
  top->addWidget(files);

  auto pair_box = [&](const QString& title, QWidget* a, QWidget* b, QGroupBox* box = nullptr) {
    if (!box) box = new QGroupBox(title);
    auto* l = new QHBoxLayout(box);
    l->addWidget(a);
    l->addWidget(b);
    return box;
  };
  auto* row = new QHBoxLayout;
  row->addWidget(pair_box("Entête fichier CSV", RadioButton_entete, RadioButton_sansentete));
  row->addWidget(pair_box("Redémarrage automatique (après l'arrêt du PC)", RadioButton_demAUTO,
                          RadioButton_sansdemauto));
  top->addLayout(row);
  auto* opts = new QGroupBox("Options enregistrements: (non compatible si activé avec Lumavista)");
  (new QHBoxLayout(opts))->addWidget(CheckBox_PTEC);
  top->addWidget(opts);
  auto* GroupBox_echellegraphe = named(new QGroupBox("Echelles des Graphes"), "GroupBox_echellegraphe");
  enabled(GroupBox_echellegraphe, c.GroupBox_echellegraphe_enabled);
  auto* row2 = new QHBoxLayout;
  row2->addWidget(pair_box({}, RadioButton_Isous, RadioButton_Imax, GroupBox_echellegraphe));
  row2->addWidget(pair_box("Graphes suivant", RadioButton_intensite, RadioButton_PA));
  top->addLayout(row2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(Button2);
  buttons->addWidget(Button1);
  top->addLayout(buttons);

  connect(Button2, &QPushButton::clicked, this, [this] { guarded([this] { save(); }); });
  connect(Button1, &QPushButton::clicked, this, [this] { guarded([this] { leave(); }); });
  connect(browse, &QToolButton::clicked, this, [this] { guarded([this] { choose_folder(); }); });
  push();
}

void TForm_cfg::load() {
  model_.FormShow(backend_.settings(), backend_.one_tic_interface());
  push();
}

void TForm_cfg::showEvent(QShowEvent* e) {
  // Every showing loads the settings again, after the dialog has placed itself.
  SettingsWindow::showEvent(e);
  guarded([this] { load(); });
}

void TForm_cfg::choose_folder() {
  const QString dir =
      QFileDialog::getExistingDirectory(this, "Dossier des enregistrements", DirectoryListBox1_->text());
  if (dir.isEmpty()) return;
  DirectoryListBox1_->setText(dir.endsWith('/') ? dir : dir + '/');
}

void TForm_cfg::save() {
  pull();
  struct Close {
    TForm_cfg* self;
    ~Close() {
      if (self->model_.close_requested) self->accept();
    }
  } close{this};
  model_.Button2Click(backend_.settings());
}

void TForm_cfg::leave() {
  model_.Button1Click();
  reject();
}

}  // namespace vireluz
