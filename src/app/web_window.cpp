#include "app/web_window.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vireluz {

TForm_Web::TForm_Web(Settings& settings, UserMessages& messages, QWidget* parent)
    : SettingsWindow(
          messages, "TForm_Web", WebWindowModel::kCaption, [this] { model_.show(); }, parent),
      model_(settings, messages) {
  auto* CheckBox_actif = check("CheckBox_actif", "Publier la page Web (lecture seule)", model_.actif);
  auto* Edit_adresse = edit("Edit_adresse", model_.adresse);
  Edit_adresse->setPlaceholderText("127.0.0.1 : cette machine seule ; 0.0.0.0 : tout le réseau");
  auto* Edit_port = edit("Edit_port", model_.port);
  auto* Edit_utilisateur = edit("Edit_utilisateur", model_.utilisateur);
  auto* Edit_mot_de_passe = edit("Edit_mot_de_passe", model_.mot_de_passe);
  Edit_mot_de_passe->setEchoMode(QLineEdit::Password);
  auto* Edit_certificat = edit("Edit_certificat", model_.certificat);
  Edit_certificat->setPlaceholderText("vide : HTTP sans chiffrement");
  auto* Edit_cle = edit("Edit_cle", model_.cle);

  auto* top = new QVBoxLayout(this);
  top->addWidget(CheckBox_actif);
  auto* form = new QFormLayout;
  form->addRow(label("Label_adresse", "Adresse d'écoute"), Edit_adresse);
  form->addRow(label("Label_port", "Port"), Edit_port);
  form->addRow(label("Label_utilisateur", "Utilisateur"), Edit_utilisateur);
  form->addRow(label("Label_mot_de_passe", "Mot de passe"), Edit_mot_de_passe);
  const QString pem = "PEM (*.pem *.crt *.key);;Tous (*)";
  form->addRow(label("Label_certificat", "Certificat (HTTPS)"),
               with_browse(Edit_certificat, "Button_certificat", "Certificat (HTTPS)", pem));
  form->addRow(label("Label_cle", "Clé du certificat"),
               with_browse(Edit_cle, "Button_cle", "Clé du certificat", pem));
  top->addLayout(form);
  top->addLayout(save_close_row([this] { model_.enregistrer(); }));
  push();
}

}  // namespace vireluz
