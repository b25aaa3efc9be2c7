#include "app/bdpv_window.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDesktopServices>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <exception>

#include "app/qt_support.h"

namespace vireluz {

namespace {

// The service's logo, drawn: a sun over a solar panel.
QIcon bdpv_logo() {
  QPixmap pm(64, 64);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 200, 0));
  p.drawEllipse(QRectF(34, 4, 24, 24));
  p.setBrush(QColor(30, 70, 150));
  const QPointF panel[] = {{10, 30}, {50, 30}, {58, 58}, {4, 58}};
  p.drawPolygon(panel, 4);
  p.setPen(QPen(Qt::white, 1.5));
  p.drawLine(QPointF(30, 30), QPointF(31, 58));
  p.drawLine(QPointF(7, 44), QPointF(54, 44));
  return QIcon(pm);
}

}  // namespace

TForm2_BDPV::TForm2_BDPV(Settings& settings, UserMessages& messages, QWidget* parent)
    : QDialog(parent), model_(settings, messages), messages_(messages) {
  setObjectName("TForm2_BDPV");
  setWindowTitle(qs(BdpvWindowModel::title()));
  open_url = [](const QUrl& url) { QDesktopServices::openUrl(url); };
  auto named = [](auto* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
  };
  auto label = [&](const char* name, const Text& text) { return named(new QLabel(qs(text)), name); };

  auto* Memo_presentation = named(new QTextEdit, "Memo_presentation");
  Memo_presentation->setReadOnly(true);
  Memo_presentation->setPlainText(qs(BdpvWindowModel::presentation_text()));
  Edit_nom_ = named(new QLineEdit, "Edit_nom");
  Edit_mot_de_passe_ = named(new QLineEdit, "Edit_mot_de_passe");
  Edit_mot_de_passe_->setEchoMode(QLineEdit::Password);
  CheckBox_actif_ = named(new QCheckBox(qs(BdpvWindowModel::caption_actif())), "CheckBox_actif");
  Edit_heure_ = named(new QLineEdit, "Edit_heure");
  Edit_heure_->setInputMask("99:99");
  auto* GroupBox_compteur =
      named(new QGroupBox(qs(BdpvWindowModel::caption_compteur())), "GroupBox_compteur");
  RadioButton_cpt1_ = named(new QRadioButton, "RadioButton_cpt1");
  RadioButton_cpt2_ = named(new QRadioButton, "RadioButton_cpt2");
  production_group_ = new QButtonGroup(this);
  production_group_->addButton(RadioButton_cpt1_, 1);
  production_group_->addButton(RadioButton_cpt2_, 2);
  auto* Button_enregistrer = named(new QPushButton("Enregistrer"), "Button_enregistrer");
  auto* Button_fermer = named(new QPushButton("Fermer"), "Button_fermer");
  auto* Image_BDPV = named(new QToolButton, "Image_BDPV");
  Image_BDPV->setIcon(bdpv_logo());
  Image_BDPV->setIconSize(QSize(64, 64));
  Image_BDPV->setText(qs(BdpvWindowModel::caption_logo()));
  Image_BDPV->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  Image_BDPV->setAutoRaise(true);

  auto* top = new QHBoxLayout(this);
  auto* left = new QVBoxLayout;
  left->addWidget(Memo_presentation, 1);
  left->addWidget(Image_BDPV, 0, Qt::AlignCenter);
  top->addLayout(left, 1);
  auto* right = new QVBoxLayout;
  right->addWidget(label("Label_nom", BdpvWindowModel::caption_nom()));
  right->addWidget(Edit_nom_);
  right->addWidget(label("Label_mot_de_passe", BdpvWindowModel::caption_mot_de_passe()));
  right->addWidget(Edit_mot_de_passe_);
  right->addWidget(CheckBox_actif_);
  right->addWidget(label("Label_heure", BdpvWindowModel::caption_heure()));
  right->addWidget(Edit_heure_);
  auto* choices = new QVBoxLayout(GroupBox_compteur);
  choices->addWidget(RadioButton_cpt1_);
  choices->addWidget(RadioButton_cpt2_);
  right->addWidget(GroupBox_compteur);
  right->addStretch(1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Button_enregistrer);
  buttons->addWidget(Button_fermer);
  right->addLayout(buttons);
  top->addLayout(right);

  connect(Button_enregistrer, &QPushButton::clicked, this, [this] { run([this] { model_.enregistrer(); }); });
  connect(Button_fermer, &QPushButton::clicked, this, &QDialog::reject);
  connect(Image_BDPV, &QToolButton::clicked, this,
          [this] { run([this] { open_url(QUrl(qs(BdpvWindowModel::site_address()))); }); });

  push();
}

void TForm2_BDPV::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) run([this] { model_.show(); });
  QDialog::showEvent(event);
}

void TForm2_BDPV::run(const std::function<void()>& operation) {
  report_errors(messages_, [&] {
    pull();
    operation();
  });
  push();
}

void TForm2_BDPV::pull() {
  model_.nom_utilisateur = cp(Edit_nom_->text());
  model_.mot_de_passe = cp(Edit_mot_de_passe_->text());
  model_.actif = CheckBox_actif_->isChecked();
  model_.heure = cp(Edit_heure_->text());
  const int id = production_group_->checkedId();
  model_.production = id == 1 || id == 2 ? id : 0;
}

void TForm2_BDPV::push() {
  Edit_nom_->setText(qs(model_.nom_utilisateur));
  Edit_mot_de_passe_->setText(qs(model_.mot_de_passe));
  CheckBox_actif_->setChecked(model_.actif);
  Edit_heure_->setText(qs(model_.heure));
  // The meter names may have changed in the configuration window.
  RadioButton_cpt1_->setText(qs(model_.caption_compteur1()));
  RadioButton_cpt2_->setText(qs(model_.caption_compteur2()));
  // Neither choice marked is a state of its own: the group lets go of
  // exclusiveness while both are cleared.
  production_group_->setExclusive(false);
  RadioButton_cpt1_->setChecked(model_.production == 1);
  RadioButton_cpt2_->setChecked(model_.production == 2);
  production_group_->setExclusive(true);
}

}  // namespace vireluz
