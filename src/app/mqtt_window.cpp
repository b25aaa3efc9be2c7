#include "app/mqtt_window.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vireluz {

TForm_MQTT::TForm_MQTT(Settings& settings, UserMessages& messages, MqttClientFactory* clients,
                       QWidget* parent)
    : SettingsWindow(
          messages, "TForm_MQTT", MqttWindowModel::kCaption, [this] { model_.show(); }, parent),
      model_(settings, messages, clients) {
  auto* CheckBox_actif = check("CheckBox_actif", "Publier les compteurs sur le serveur MQTT", model_.actif);
  auto* Edit_serveur = edit("Edit_serveur", model_.serveur);
  Edit_serveur->setPlaceholderText("nom ou adresse IP du serveur (broker)");
  auto* Edit_port = edit("Edit_port", model_.port);
  auto* Edit_utilisateur = edit("Edit_utilisateur", model_.utilisateur);
  auto* Edit_mot_de_passe = edit("Edit_mot_de_passe", model_.mot_de_passe);
  Edit_mot_de_passe->setEchoMode(QLineEdit::Password);
  auto* CheckBox_tls = check("CheckBox_tls", "Connexion sécurisée (TLS)", model_.tls);
  auto* Edit_ca = edit("Edit_ca", model_.ca);
  Edit_ca->setPlaceholderText("vide : certificats du système");
  auto* Edit_prefixe = edit("Edit_prefixe", model_.prefixe);
  auto* CheckBox_decouverte =
      check("CheckBox_decouverte", "Découverte automatique Home Assistant", model_.decouverte);
  auto* Edit_prefixe_decouverte = edit("Edit_prefixe_decouverte", model_.prefixe_decouverte);
  auto* Edit_periode = edit("Edit_periode", model_.periode);
  auto* Button_test = named(new QPushButton("Test connexion"), "Button_test");
  Button_test->setEnabled(clients != nullptr);

  auto* top = new QVBoxLayout(this);
  top->addWidget(CheckBox_actif);
  auto* form = new QFormLayout;
  form->addRow(label("Label_serveur", "Serveur"), Edit_serveur);
  form->addRow(label("Label_port", "Port"), Edit_port);
  form->addRow(label("Label_utilisateur", "Utilisateur"), Edit_utilisateur);
  form->addRow(label("Label_mot_de_passe", "Mot de passe"), Edit_mot_de_passe);
  form->addRow(CheckBox_tls);
  form->addRow(label("Label_ca", "Fichier CA"),
               with_browse(Edit_ca, "Button_ca", "Fichier CA", "Certificats (*.pem *.crt);;Tous (*)"));
  form->addRow(label("Label_prefixe", "Préfixe des sujets"), Edit_prefixe);
  form->addRow(CheckBox_decouverte);
  form->addRow(label("Label_prefixe_decouverte", "Préfixe de découverte"), Edit_prefixe_decouverte);
  form->addRow(label("Label_periode", "Période d'envoi (secondes, 0 : chaque trame)"), Edit_periode);
  top->addLayout(form);
  auto* bottom = save_close_row([this] { model_.enregistrer(); });
  bottom->insertWidget(0, Button_test);
  top->addLayout(bottom);

  model_.on_test_done = [Button_test, clients] { Button_test->setEnabled(clients != nullptr); };
  connect(Button_test, &QPushButton::clicked, this, [this, Button_test, clients] {
    run([this] { model_.test_connexion(); });
    Button_test->setEnabled(clients != nullptr && !model_.test_running());
  });
  push();
}

}  // namespace vireluz
