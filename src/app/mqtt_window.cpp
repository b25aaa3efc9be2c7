#include "app/mqtt_window.h"

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

TForm_MQTT::TForm_MQTT(Settings& settings, UserMessages& messages, MqttClientFactory* clients,
                       QWidget* parent)
    : QDialog(parent),
      model_(settings, messages, clients),
      messages_(messages),
      has_clients_(clients != nullptr) {
  setObjectName("TForm_MQTT");
  setWindowTitle(qs(MqttWindowModel::title()));
  auto named = [](auto* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
  };
  auto edit = [&](const char* name) { return named(new QLineEdit, name); };
  CheckBox_actif_ =
      named(new QCheckBox(QString::fromUtf8("Publier les compteurs sur le serveur MQTT")), "CheckBox_actif");
  Edit_serveur_ = edit("Edit_serveur");
  Edit_serveur_->setPlaceholderText(QString::fromUtf8("nom ou adresse IP du serveur (broker)"));
  Edit_port_ = edit("Edit_port");
  Edit_utilisateur_ = edit("Edit_utilisateur");
  Edit_mot_de_passe_ = edit("Edit_mot_de_passe");
  Edit_mot_de_passe_->setEchoMode(QLineEdit::Password);
  CheckBox_tls_ = named(new QCheckBox(QString::fromUtf8("Connexion sécurisée (TLS)")), "CheckBox_tls");
  Edit_ca_ = edit("Edit_ca");
  Edit_ca_->setPlaceholderText(QString::fromUtf8("vide : certificats du système"));
  auto* Button_ca = named(new QPushButton(QString::fromUtf8("Parcourir…")), "Button_ca");
  Edit_prefixe_ = edit("Edit_prefixe");
  CheckBox_decouverte_ =
      named(new QCheckBox(QString::fromUtf8("Découverte automatique Home Assistant")), "CheckBox_decouverte");
  Edit_prefixe_decouverte_ = edit("Edit_prefixe_decouverte");
  Edit_periode_ = edit("Edit_periode");
  Button_test_ = named(new QPushButton("Test connexion"), "Button_test");
  Button_test_->setEnabled(has_clients_);
  auto* Button_enregistrer = named(new QPushButton("Enregistrer"), "Button_enregistrer");
  auto* Button_fermer = named(new QPushButton("Fermer"), "Button_fermer");

  auto* top = new QVBoxLayout(this);
  top->addWidget(CheckBox_actif_);
  auto* form = new QFormLayout;
  auto row = [&](const char* name, const char* text, auto* field) {
    form->addRow(named(new QLabel(QString::fromUtf8(text)), name), field);
  };
  row("Label_serveur", "Serveur", Edit_serveur_);
  row("Label_port", "Port", Edit_port_);
  row("Label_utilisateur", "Utilisateur", Edit_utilisateur_);
  row("Label_mot_de_passe", "Mot de passe", Edit_mot_de_passe_);
  form->addRow(CheckBox_tls_);
  auto* ca_row = new QHBoxLayout;
  ca_row->addWidget(Edit_ca_, 1);
  ca_row->addWidget(Button_ca);
  row("Label_ca", "Fichier CA", ca_row);
  row("Label_prefixe", "Préfixe des sujets", Edit_prefixe_);
  form->addRow(CheckBox_decouverte_);
  row("Label_prefixe_decouverte", "Préfixe de découverte", Edit_prefixe_decouverte_);
  row("Label_periode", "Période d'envoi (secondes, 0 : chaque trame)", Edit_periode_);
  top->addLayout(form);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(Button_test_);
  bottom->addStretch(1);
  bottom->addWidget(Button_enregistrer);
  bottom->addWidget(Button_fermer);
  top->addLayout(bottom);

  model_.on_test_done = [this] { Button_test_->setEnabled(has_clients_); };
  connect(Button_test_, &QPushButton::clicked, this, [this] {
    run([this] { model_.test_connexion(); });
    Button_test_->setEnabled(has_clients_ && !model_.test_running());
  });
  connect(Button_enregistrer, &QPushButton::clicked, this, [this] { run([this] { model_.enregistrer(); }); });
  connect(Button_fermer, &QPushButton::clicked, this, &QDialog::reject);
  connect(Button_ca, &QPushButton::clicked, this, [this] {
    const QString f = QFileDialog::getOpenFileName(this, QString::fromUtf8("Fichier CA"), Edit_ca_->text(),
                                                   QString::fromUtf8("Certificats (*.pem *.crt);;Tous (*)"));
    if (!f.isEmpty()) Edit_ca_->setText(f);
  });
  push();
}

void TForm_MQTT::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) run([this] { model_.show(); });
  QDialog::showEvent(event);
}

void TForm_MQTT::run(const std::function<void()>& operation) {
  report_errors(messages_, [&] {
    pull();
    operation();
  });
  push();
}

void TForm_MQTT::pull() {
  model_.actif = CheckBox_actif_->isChecked();
  model_.serveur = cp(Edit_serveur_->text());
  model_.port = cp(Edit_port_->text());
  model_.utilisateur = cp(Edit_utilisateur_->text());
  model_.mot_de_passe = cp(Edit_mot_de_passe_->text());
  model_.tls = CheckBox_tls_->isChecked();
  model_.ca = cp(Edit_ca_->text());
  model_.prefixe = cp(Edit_prefixe_->text());
  model_.decouverte = CheckBox_decouverte_->isChecked();
  model_.prefixe_decouverte = cp(Edit_prefixe_decouverte_->text());
  model_.periode = cp(Edit_periode_->text());
}

void TForm_MQTT::push() {
  CheckBox_actif_->setChecked(model_.actif);
  Edit_serveur_->setText(qs(model_.serveur));
  Edit_port_->setText(qs(model_.port));
  Edit_utilisateur_->setText(qs(model_.utilisateur));
  Edit_mot_de_passe_->setText(qs(model_.mot_de_passe));
  CheckBox_tls_->setChecked(model_.tls);
  Edit_ca_->setText(qs(model_.ca));
  Edit_prefixe_->setText(qs(model_.prefixe));
  CheckBox_decouverte_->setChecked(model_.decouverte);
  Edit_prefixe_decouverte_->setText(qs(model_.prefixe_decouverte));
  Edit_periode_->setText(qs(model_.periode));
}

}  // namespace vireluz
