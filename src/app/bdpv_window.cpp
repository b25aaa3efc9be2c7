#include "app/bdpv_window.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

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
    : SettingsWindow(
          messages, "TForm2_BDPV", BdpvWindowModel::kCaption, [this] { model_.show(); }, parent),
      model_(settings, messages) {
  auto* Memo_presentation = named(new QTextEdit, "Memo_presentation");
  Memo_presentation->setReadOnly(true);
  Memo_presentation->setPlainText(qs(BdpvWindowModel::presentation_text()));
  auto* Edit_nom = edit("Edit_nom", model_.nom_utilisateur);
  auto* Edit_mot_de_passe = edit("Edit_mot_de_passe", model_.mot_de_passe);
  Edit_mot_de_passe->setEchoMode(QLineEdit::Password);
  auto* CheckBox_actif = check("CheckBox_actif", "Activer envoi production au site BDPV", model_.actif);
  auto* Edit_heure = edit("Edit_heure", model_.heure);
  Edit_heure->setInputMask("99:99");
  auto* GroupBox_compteur = named(new QGroupBox("Compteur de PRODUCTION ?"), "GroupBox_compteur");
  auto* RadioButton_cpt1 = named(new QRadioButton, "RadioButton_cpt1");
  auto* RadioButton_cpt2 = named(new QRadioButton, "RadioButton_cpt2");
  auto* production = new QButtonGroup(this);
  production->addButton(RadioButton_cpt1, 1);
  production->addButton(RadioButton_cpt2, 2);
  bind(
      [this, production] {
        const int id = production->checkedId();
        model_.production = id == 1 || id == 2 ? id : 0;
      },
      [this, production, RadioButton_cpt1, RadioButton_cpt2] {
        // The meter names may have changed in the configuration window.
        RadioButton_cpt1->setText(qs(model_.caption_compteur1()));
        RadioButton_cpt2->setText(qs(model_.caption_compteur2()));
        // Neither choice marked is a state of its own: the group lets go of
        // exclusiveness while both are cleared.
        production->setExclusive(false);
        RadioButton_cpt1->setChecked(model_.production == 1);
        RadioButton_cpt2->setChecked(model_.production == 2);
        production->setExclusive(true);
      });
  auto* Image_BDPV = named(new QToolButton, "Image_BDPV");
  Image_BDPV->setIcon(bdpv_logo());
  Image_BDPV->setIconSize(QSize(64, 64));
  Image_BDPV->setText("Site BDPV");
  Image_BDPV->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  Image_BDPV->setAutoRaise(true);
  connect(Image_BDPV, &QToolButton::clicked, this,
          [this] { run([this] { open_url(QUrl(qs(BdpvWindowModel::kSiteAddress))); }); });

  auto* top = new QHBoxLayout(this);
  auto* left = new QVBoxLayout;
  left->addWidget(Memo_presentation, 1);
  left->addWidget(Image_BDPV, 0, Qt::AlignCenter);
  top->addLayout(left, 1);
  auto* right = new QVBoxLayout;
  right->addWidget(label("Label_nom", "Nom utilisateur BDPV"));
  right->addWidget(Edit_nom);
  right->addWidget(label("Label_mot_de_passe", "Mot de passe utilisateur BDPV"));
  right->addWidget(Edit_mot_de_passe);
  right->addWidget(CheckBox_actif);
  right->addWidget(label("Label_heure", "Heure d'envoi au site BDPV"));
  right->addWidget(Edit_heure);
  auto* choices = new QVBoxLayout(GroupBox_compteur);
  choices->addWidget(RadioButton_cpt1);
  choices->addWidget(RadioButton_cpt2);
  right->addWidget(GroupBox_compteur);
  right->addStretch(1);
  right->addLayout(save_close_row([this] { model_.enregistrer(); }, false));
  top->addLayout(right);
  push();
}

}  // namespace vireluz
