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
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/qt_support.h"

namespace vireluz {

template <typename W>
W* TForm_cfg::make(const char* name, const QString& text) {
  W* w;
  if constexpr (std::is_same_v<W, QComboBox> || std::is_same_v<W, QLineEdit>)
    w = new W;
  else
    w = new W(text);
  w->setObjectName(name);
  if constexpr (std::is_same_v<W, QRadioButton>) w->setAutoExclusive(false);  // the model pairs them
  return w;
}

TForm_cfg::TForm_cfg(GuiBackend& backend, UserMessages& messages, const std::string& program_path,
                     QWidget* parent)
    : QDialog(parent), backend_(backend) {
  setObjectName("TForm_cfg");
  setWindowTitle(ConfigWindow::kCaption);
  setWindowIcon(program_icon());
  model_ = std::make_unique<ConfigWindow>(
      messages, program_path, ConfigWindow::Hooks{{}, [this] { backend_.release_pins(); }, {}, {}});
  auto u = [](const char* s) { return QString::fromUtf8(s); };

  // FormCreate: the six lists and their items.
  ComboBox_delais_ = make<QComboBox>("ComboBox_delais");
  for (const Text& t : ConfigWindow::delais_items()) ComboBox_delais_->addItem(qs(t));
  ComboBox_mode_interface_ = make<QComboBox>("ComboBox_mode_interface");
  for (const Text& t : ConfigWindow::mode_interface_items()) ComboBox_mode_interface_->addItem(qs(t));
  ComboBox_type_abo_ = make<QComboBox>("ComboBox_type_abo");
  ComboBox_type_abo_cpt2_ = make<QComboBox>("ComboBox_type_abo_cpt2");
  for (const Text& t : ConfigWindow::type_abo_items()) {
    ComboBox_type_abo_->addItem(qs(t));
    ComboBox_type_abo_cpt2_->addItem(qs(t));
  }
  ComboBox_mode1_ = make<QComboBox>("ComboBox_mode1");
  ComboBox_mode2_ = make<QComboBox>("ComboBox_mode2");
  for (const Text& t : ConfigWindow::mode_tic_items()) {
    ComboBox_mode1_->addItem(qs(t));
    ComboBox_mode2_->addItem(qs(t));
  }
  Edit_nom_cpt1_ = make<QLineEdit>("Edit_nom_cpt1");
  Edit_nom_cpt2_ = make<QLineEdit>("Edit_nom_cpt2");
  DirectoryListBox1_ = make<QLineEdit>("DirectoryListBox1");
  Radio_enregistrement_ = make<QRadioButton>("Radio_enregistrement", "Enregistrements.csv");
  Radio_enregistrementdate_ = make<QRadioButton>("Radio_enregistrementdate", "vireluz + date du jour.csv");
  new_format_date_ = make<QCheckBox>("new_format_date", u("format: année-mois-jour"));
  production_csv_ = make<QCheckBox>("production_csv", u("Production dans fichier séparé"));
  RadioPROD1_ = make<QRadioButton>("RadioPROD1", "CPT1");
  RadioPROD2_ = make<QRadioButton>("RadioPROD2", "CPT2");
  RadioButton_entete_ = make<QRadioButton>("RadioButton_entete", "Avec: version et ADCO");
  RadioButton_sansentete_ = make<QRadioButton>("RadioButton_sansentete", "Sans: version et ADCO");
  RadioButton_demAUTO_ = make<QRadioButton>("RadioButton_demAUTO", u("Redémarrage AUTO"));
  RadioButton_sansdemauto_ = make<QRadioButton>("RadioButton_sansdemauto", u("SANS redémarrage"));
  CheckBox_PTEC_ = make<QCheckBox>("CheckBox_PTEC", u("PTEC (période tarifaire en cours)"));
  RadioButton_Isous_ = make<QRadioButton>("RadioButton_Isous", u("Suivant Intensité souscrite"));
  RadioButton_Imax_ = make<QRadioButton>("RadioButton_Imax", u("Suivant I Max (automatique)"));
  RadioButton_intensite_ = make<QRadioButton>("RadioButton_intensite", u("Intensité"));
  RadioButton_PA_ = make<QRadioButton>("RadioButton_PA", "Puissance Apparente");
  auto* Button2 = make<QPushButton>("Button2", "Sauvegarder et Quitter");
  auto* Button1 = make<QPushButton>("Button1", "Quitter sans sauvegarder");

  auto* top = new QVBoxLayout(this);
  auto* g1 = new QGridLayout;
  g1->addWidget(new QLabel(u("Délais  entre enregistrements")), 0, 0);
  g1->addWidget(ComboBox_delais_, 0, 1, 1, 2);
  g1->addWidget(new QLabel("Mode interface"), 1, 0);
  g1->addWidget(ComboBox_mode_interface_, 1, 1, 1, 2);
  g1->addWidget(new QLabel("Compteur 1"), 2, 1);
  g1->addWidget(new QLabel("Compteur 2"), 2, 2);
  g1->addWidget(new QLabel(u("Mono ou Triphasé")), 3, 0);
  g1->addWidget(ComboBox_type_abo_, 3, 1);
  g1->addWidget(ComboBox_type_abo_cpt2_, 3, 2);
  g1->addWidget(new QLabel("Nom"), 4, 0);
  g1->addWidget(Edit_nom_cpt1_, 4, 1);
  g1->addWidget(Edit_nom_cpt2_, 4, 2);
  g1->addWidget(new QLabel("Mode"), 5, 0);
  g1->addWidget(ComboBox_mode1_, 5, 1);
  g1->addWidget(ComboBox_mode2_, 5, 2);
  top->addLayout(g1);

  auto* files = new QGroupBox("Fichier(s) des enregistrements:");
  auto* fl = new QGridLayout(files);
  fl->addWidget(new QLabel("Nom fichier d'enregistrements"), 0, 0, 1, 3);
  auto* browse = new QToolButton;
  browse->setObjectName("DirectoryChooser");
  browse->setText(u("…"));
  DirectoryListBox1_->setReadOnly(true);
  fl->addWidget(DirectoryListBox1_, 1, 0, 1, 2);
  fl->addWidget(browse, 1, 2);
  fl->addWidget(Radio_enregistrement_, 2, 0);
  fl->addWidget(Radio_enregistrementdate_, 2, 1);
  fl->addWidget(new_format_date_, 2, 2);
  auto* prod = new QHBoxLayout;
  prod->addWidget(production_csv_);
  prod->addWidget(new QLabel("=>"));
  prod->addWidget(RadioPROD1_);
  prod->addWidget(RadioPROD2_);
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
  row->addWidget(pair_box(u("Entête fichier CSV"), RadioButton_entete_, RadioButton_sansentete_));
  row->addWidget(pair_box(u("Redémarrage automatique (après l'arrêt du PC)"), RadioButton_demAUTO_,
                          RadioButton_sansdemauto_));
  top->addLayout(row);
  auto* opts = new QGroupBox("Options enregistrements: (non compatible si activé avec Lumavista)");
  (new QHBoxLayout(opts))->addWidget(CheckBox_PTEC_);
  top->addWidget(opts);
  GroupBox_echellegraphe_ = new QGroupBox("Echelles des Graphes");
  GroupBox_echellegraphe_->setObjectName("GroupBox_echellegraphe");
  auto* row2 = new QHBoxLayout;
  row2->addWidget(pair_box({}, RadioButton_Isous_, RadioButton_Imax_, GroupBox_echellegraphe_));
  row2->addWidget(pair_box("Graphes suivant", RadioButton_intensite_, RadioButton_PA_));
  top->addLayout(row2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(Button2);
  buttons->addWidget(Button1);
  top->addLayout(buttons);

  // The user's clicks: read the widgets, run the model's handler, show the result.
  auto on = [this](QAbstractButton* b, std::function<void()> fn) {
    connect(b, &QAbstractButton::clicked, this, [this, fn = std::move(fn)] {
      guarded([&] {
        pull();
        fn();
        push();
      });
    });
  };
  ConfigWindow& m = *model_;
  on(Radio_enregistrement_, [&m] { m.Radio_enregistrementClick(); });
  on(Radio_enregistrementdate_, [&m] { m.Radio_enregistrementdateClick(); });
  on(RadioButton_PA_, [&m] { m.RadioButton_PAClick(); });
  on(RadioButton_intensite_, [&m] { m.RadioButton_intensiteClick(); });
  on(RadioButton_sansdemauto_, [&m] { m.RadioButton_sansdemautoClick(); });
  on(RadioButton_demAUTO_, [&m] { m.RadioButton_demAUTOClick(); });
  on(RadioButton_Isous_, [&m] { m.select_isous(false); });
  on(RadioButton_Imax_, [&m] { m.select_isous(true); });
  on(RadioButton_entete_, [&m] { m.select_entete(false); });
  on(RadioButton_sansentete_, [&m] { m.select_entete(true); });
  on(RadioPROD1_, [&m] { m.select_prod(1); });
  on(RadioPROD2_, [&m] { m.select_prod(2); });
  connect(Button2, &QPushButton::clicked, this, [this] { guarded([this] { save(); }); });
  connect(Button1, &QPushButton::clicked, this, [this] { guarded([this] { leave(); }); });
  connect(browse, &QToolButton::clicked, this, [this] { guarded([this] { choose_folder(); }); });
  push();
}

void TForm_cfg::load() {
  model_->FormShow(backend_.settings(), backend_.one_tic_interface());
  push();
}

void TForm_cfg::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  guarded([this] { load(); });
}

void TForm_cfg::push() {
  const ConfigControls& c = model_->controls;
  const QSignalBlocker b1(ComboBox_delais_), b2(ComboBox_mode_interface_), b3(ComboBox_type_abo_),
      b4(ComboBox_type_abo_cpt2_), b5(ComboBox_mode1_), b6(ComboBox_mode2_);
  ComboBox_delais_->setCurrentIndex(c.ComboBox_delais);
  ComboBox_mode_interface_->setCurrentIndex(c.ComboBox_mode_interface);
  ComboBox_type_abo_->setCurrentIndex(c.ComboBox_type_abo);
  ComboBox_type_abo_cpt2_->setCurrentIndex(c.ComboBox_type_abo_cpt2);
  ComboBox_mode1_->setCurrentIndex(c.ComboBox_mode1);
  ComboBox_mode2_->setCurrentIndex(c.ComboBox_mode2);
  ComboBox_mode_interface_->setEnabled(c.ComboBox_mode_interface_enabled);
  ComboBox_type_abo_cpt2_->setEnabled(c.ComboBox_type_abo_cpt2_enabled);
  Edit_nom_cpt2_->setEnabled(c.Edit_nom_cpt2_enabled);
  Edit_nom_cpt1_->setText(qs(c.Edit_nom_cpt1));
  Edit_nom_cpt2_->setText(qs(c.Edit_nom_cpt2));
  DirectoryListBox1_->setText(qs(c.DirectoryListBox1));
  Radio_enregistrement_->setChecked(c.Radio_enregistrement);
  Radio_enregistrementdate_->setChecked(c.Radio_enregistrementdate);
  new_format_date_->setChecked(c.new_format_date);
  new_format_date_->setEnabled(c.new_format_date_enabled);
  production_csv_->setChecked(c.production_csv);
  RadioPROD1_->setChecked(c.RadioPROD1);
  RadioPROD2_->setChecked(c.RadioPROD2);
  RadioButton_entete_->setChecked(c.RadioButton_entete);
  RadioButton_sansentete_->setChecked(c.RadioButton_sansentete);
  RadioButton_demAUTO_->setChecked(c.RadioButton_demAUTO);
  RadioButton_sansdemauto_->setChecked(c.RadioButton_sansdemauto);
  CheckBox_PTEC_->setChecked(c.CheckBox_PTEC);
  RadioButton_Isous_->setChecked(c.RadioButton_Isous);
  RadioButton_Imax_->setChecked(c.RadioButton_Imax);
  GroupBox_echellegraphe_->setEnabled(c.GroupBox_echellegraphe_enabled);
  RadioButton_intensite_->setChecked(c.RadioButton_intensite);
  RadioButton_PA_->setChecked(c.RadioButton_PA);
}

void TForm_cfg::pull() {
  ConfigControls& c = model_->controls;
  c.ComboBox_delais = ComboBox_delais_->currentIndex();
  c.ComboBox_mode_interface = ComboBox_mode_interface_->currentIndex();
  c.ComboBox_type_abo = ComboBox_type_abo_->currentIndex();
  c.ComboBox_type_abo_cpt2 = ComboBox_type_abo_cpt2_->currentIndex();
  c.ComboBox_mode1 = ComboBox_mode1_->currentIndex();
  c.ComboBox_mode2 = ComboBox_mode2_->currentIndex();
  c.Edit_nom_cpt1 = cp(Edit_nom_cpt1_->text());
  c.Edit_nom_cpt2 = cp(Edit_nom_cpt2_->text());
  c.DirectoryListBox1 = cp(DirectoryListBox1_->text());
  model_->set_date_format(new_format_date_->isChecked());
  c.production_csv = production_csv_->isChecked();
  c.CheckBox_PTEC = CheckBox_PTEC_->isChecked();
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
      if (self->model_->close_requested) self->accept();
    }
  } close{this};
  model_->Button2Click(backend_.settings());
}

void TForm_cfg::leave() {
  model_->Button1Click();
  reject();
}

}  // namespace vireluz
