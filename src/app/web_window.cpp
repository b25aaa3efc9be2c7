#include "app/web_window.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "app/qt_support.h"

namespace vireluz {

TForm_Web::TForm_Web(Settings& settings, UserMessages& messages, QWidget* parent)
    : QDialog(parent), model_(settings, messages), messages_(messages) {
  setObjectName("TForm_Web");
  setWindowTitle(qs(WebWindowModel::title()));
  auto named = [](auto* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
  };
  auto edit = [&](const char* name) { return named(new QLineEdit, name); };
  CheckBox_actif_ =
      named(new QCheckBox(QString::fromUtf8("Publier la page Web (lecture seule)")), "CheckBox_actif");
  Edit_adresse_ = edit("Edit_adresse");
  Edit_adresse_->setPlaceholderText(
      QString::fromUtf8("127.0.0.1 : cette machine seule ; 0.0.0.0 : tout le réseau"));
  Edit_port_ = edit("Edit_port");
  Edit_utilisateur_ = edit("Edit_utilisateur");
  Edit_mot_de_passe_ = edit("Edit_mot_de_passe");
  Edit_mot_de_passe_->setEchoMode(QLineEdit::Password);
  Edit_certificat_ = edit("Edit_certificat");
  Edit_certificat_->setPlaceholderText(QString::fromUtf8("vide : HTTP sans chiffrement"));
  Edit_cle_ = edit("Edit_cle");
  auto* Button_enregistrer = named(new QPushButton("Enregistrer"), "Button_enregistrer");
  auto* Button_fermer = named(new QPushButton("Fermer"), "Button_fermer");

  auto* top = new QVBoxLayout(this);
  top->addWidget(CheckBox_actif_);
  auto* form = new QFormLayout;
  auto row = [&](const char* name, const char* text, auto* field) {
    form->addRow(named(new QLabel(QString::fromUtf8(text)), name), field);
  };
  auto file_row = [&](const char* name, const char* text, QLineEdit* field, const char* button_name) {
    auto* button = named(new QPushButton(QString::fromUtf8("Parcourir…")), button_name);
    auto* line = new QHBoxLayout;
    line->addWidget(field, 1);
    line->addWidget(button);
    row(name, text, line);
    connect(button, &QPushButton::clicked, this, [this, field, text] {
      const QString f = QFileDialog::getOpenFileName(this, QString::fromUtf8(text), field->text(),
                                                     QString::fromUtf8("PEM (*.pem *.crt *.key);;Tous (*)"));
      if (!f.isEmpty()) field->setText(f);
    });
  };
  row("Label_adresse", "Adresse d'écoute", Edit_adresse_);
  row("Label_port", "Port", Edit_port_);
  row("Label_utilisateur", "Utilisateur", Edit_utilisateur_);
  row("Label_mot_de_passe", "Mot de passe", Edit_mot_de_passe_);
  file_row("Label_certificat", "Certificat (HTTPS)", Edit_certificat_, "Button_certificat");
  file_row("Label_cle", "Clé du certificat", Edit_cle_, "Button_cle");
  top->addLayout(form);
  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(Button_enregistrer);
  bottom->addWidget(Button_fermer);
  top->addLayout(bottom);

  connect(Button_enregistrer, &QPushButton::clicked, this, [this] { run([this] { model_.enregistrer(); }); });
  connect(Button_fermer, &QPushButton::clicked, this, &QDialog::reject);
  push();
}

void TForm_Web::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) run([this] { model_.show(); });
  QDialog::showEvent(event);
}

void TForm_Web::run(const std::function<void()>& operation) {
  report_errors(messages_, [&] {
    pull();
    operation();
  });
  push();
}

void TForm_Web::pull() {
  model_.actif = CheckBox_actif_->isChecked();
  model_.adresse = cp(Edit_adresse_->text());
  model_.port = cp(Edit_port_->text());
  model_.utilisateur = cp(Edit_utilisateur_->text());
  model_.mot_de_passe = cp(Edit_mot_de_passe_->text());
  model_.certificat = cp(Edit_certificat_->text());
  model_.cle = cp(Edit_cle_->text());
}

void TForm_Web::push() {
  CheckBox_actif_->setChecked(model_.actif);
  Edit_adresse_->setText(qs(model_.adresse));
  Edit_port_->setText(qs(model_.port));
  Edit_utilisateur_->setText(qs(model_.utilisateur));
  Edit_mot_de_passe_->setText(qs(model_.mot_de_passe));
  Edit_certificat_->setText(qs(model_.certificat));
  Edit_cle_->setText(qs(model_.cle));
}

}  // namespace vireluz
