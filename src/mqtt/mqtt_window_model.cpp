#include "mqtt/mqtt_window_model.h"

#include <unistd.h>

#include "common/text.h"
#include "config/config_files.h"
#include "mqtt/mqtt_publisher.h"

namespace vireluz {

namespace {

bool valid_prefix(std::string_view p) {
  if (p.empty() || p.front() == '/' || p.back() == '/') return false;
  for (char c : p)
    if (c == '+' || c == '#' || c == ' ' || is_control_char(c)) return false;
  return true;
}

}  // namespace

MqttWindowModel::MqttWindowModel(Settings& settings, UserMessages& messages, MqttClientFactory* clients)
    : settings_(settings), messages_(messages), clients_(clients) {}

MqttWindowModel::~MqttWindowModel() = default;

void MqttWindowModel::show() {
  const MqttSettings& s = settings_.mqtt;
  actif = s.ACTIF == 1;
  serveur = s.SERVEUR;
  port = std::to_string(s.PORT);
  utilisateur = s.UTILISATEUR;
  mot_de_passe = s.MOT_DE_PASSE;
  tls = s.TLS == 1;
  ca = s.CA;
  prefixe = s.PREFIXE;
  decouverte = s.DECOUVERTE == 1;
  prefixe_decouverte = s.PREFIXE_DECOUVERTE;
  periode = std::to_string(s.PERIODE);
}

std::optional<MqttSettings> MqttWindowModel::checked(bool server_needed) {
  // Tells what is wrong; the settings are refused.
  const auto refuse = [this](const Text& message) {
    messages_.warn(kCaption, message);
    return std::nullopt;
  };
  MqttSettings s;
  s.ACTIF = actif ? 1 : 0;
  s.SERVEUR = Text(trim(serveur));
  if (s.SERVEUR.empty() && (actif || server_needed))
    return refuse(w("Indiquez le serveur MQTT (nom ou adresse IP)."));
  for (char c : s.SERVEUR)
    if (c == ' ' || c == '/' || is_control_char(c))
      return refuse(w("Le serveur MQTT s'écrit sans espace ni « / » : un nom ou une adresse IP."));
  const auto p = parse_int(trim(port));
  if (!p || *p < 1 || *p > 65535)
    return refuse(w("Le port doit être un nombre entre 1 et 65535 (1883 d'ordinaire, 8883 avec TLS)."));
  s.PORT = *p;
  s.UTILISATEUR = utilisateur;
  s.MOT_DE_PASSE = mot_de_passe;
  if (has_control_char(utilisateur) || has_control_char(mot_de_passe))
    return refuse(
        w("Le nom d'utilisateur ou le mot de passe contient des caractères de contrôle : vérifiez-les."));
  if (!mot_de_passe.empty() && utilisateur.empty())
    return refuse(w("Un mot de passe demande un nom d'utilisateur."));
  s.TLS = tls ? 1 : 0;
  s.CA = Text(trim(ca));
  if (tls && !s.CA.empty() && ::access(cp1252_to_utf8(s.CA).c_str(), R_OK) != 0)
    return refuse(w("Le fichier CA « ") + s.CA + w(" » est introuvable ou illisible."));
  s.PREFIXE = Text(trim(prefixe));
  s.PREFIXE_DECOUVERTE = Text(trim(prefixe_decouverte));
  if (!valid_prefix(s.PREFIXE) || !valid_prefix(s.PREFIXE_DECOUVERTE))
    return refuse(
        w("Les préfixes ne doivent être ni vides ni commencer ou finir par « / », "
          "et ne contenir ni espace, ni « + », ni « # »."));
  s.DECOUVERTE = decouverte ? 1 : 0;
  const auto per = parse_int(trim(periode));
  if (!per || *per < 0 || *per > 86400)
    return refuse(w("La période doit être un nombre de secondes entre 0 (chaque trame) et 86400."));
  s.PERIODE = *per;
  return s;
}

bool MqttWindowModel::enregistrer() {
  const auto s = checked(false);
  if (!s) return false;
  settings_.mqtt = *s;
  write_config_mqtt(settings_);
  return true;
}

void MqttWindowModel::test_connexion() {
  if (test_client_ || !clients_) return;
  const auto s = checked(true);
  if (!s) return;
  tested_ = *s;
  MqttConnectOptions o = mqtt_connect_options(tested_);
  o.client_id = "vireluz-test-" + std::to_string(::getpid());
  test_client_ = clients_->create_client();
  test_client_->on_connected = [this] {
    test_client_->disconnect();
    end_test(UserMessage{MessageIcon::Information, kCaption,
                         w("Connexion réussie au serveur MQTT ") + tested_.SERVEUR + ":" +
                             std::to_string(tested_.PORT) + (tested_.TLS == 1 ? w(" (TLS).") : Text("."))});
  };
  test_client_->on_failure = [this](const MqttFailure& f) {
    end_test(UserMessage{MessageIcon::Warning, kCaption, mqtt_failure_text(f, tested_)});
  };
  test_client_->connect(o);
}

void MqttWindowModel::end_test(const UserMessage& m) {
  // The client goes after this callback has returned to it.
  std::shared_ptr<MqttClient> done(std::move(test_client_));
  done->on_connected = nullptr;
  done->on_failure = nullptr;
  messages_.show_message(m);
  if (on_test_done) on_test_done();
}

}  // namespace vireluz
