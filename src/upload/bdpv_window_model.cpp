#include "upload/bdpv_window_model.h"

#include <string>

#include "config/config_files.h"

namespace vireluz {

const Text& BdpvWindowModel::presentation_text() {
  static const Text t = w(
      "BDPV (Base de Données PhotoVoltaïque) permet aux propriétaires de panneaux photovoltaïques de suivre "
      "leur production au fil des années, de la comparer avec celle des installations proches de chez eux et "
      "d'estimer leur production à venir.\n"
      "\n"
      "Inscrivez-vous d'abord sur le site BDPV :\n"
      "http://www.bdpv.fr/\n"
      "puis saisissez ici votre nom d'utilisateur et votre mot de passe BDPV.\n"
      "\n"
      "Une fois l'envoi activé, le logiciel transmettra tout les soirs à 23h59 votre production sur \n"
      "votre compte BDPV.");
  return t;
}

BdpvWindowModel::BdpvWindowModel(Settings& settings, UserMessages& messages)
    : settings_(settings), messages_(messages) {}

void BdpvWindowModel::show() {
  nom_utilisateur = settings_.bdpv.nom_utilisateur;
  mot_de_passe = settings_.bdpv.mot_de_passe;
  actif = settings_.bdpv.BDPV_actif == 1;
  const Text& h = settings_.bdpv.heure_envoie_BDPV;
  heure = h.size() == 4 ? h.substr(0, 2) + ":" + h.substr(2, 2) : h;
  const int p = settings_.bdpv.compteur_production;
  production = p == 1 || p == 2 ? p : 0;
}

bool BdpvWindowModel::enregistrer() {
  // The time is checked before anything is taken into memory: a refused time
  // changes nothing.
  Text digits;
  for (const char c : trim(heure)) {
    if (c != ':') digits += c;
  }
  bool ok = digits.size() == 4;
  for (const char c : digits) ok = ok && c >= '0' && c <= '9';
  const int hour = ok ? std::stoi(digits.substr(0, 2)) : 0;
  const int minute = ok ? std::stoi(digits.substr(2, 2)) : 0;
  if (!ok || hour > 23 || minute > 59) {
    messages_.warn(kCaption,
                   w("L'heure d'envoi doit être une heure valide au format hh:mm (par exemple 23:59) ; \"") +
                       heure + w("\" ne l'est pas."));
    return false;
  }
  settings_.bdpv.BDPV_actif = actif ? 1 : 0;
  if (production == 1 || production == 2) settings_.bdpv.compteur_production = production;
  settings_.bdpv.nom_utilisateur = nom_utilisateur;
  settings_.bdpv.mot_de_passe = mot_de_passe;
  settings_.bdpv.heure_envoie_BDPV = digits;
  settings_.BdpvHour = hour;
  settings_.BdpvMinute = minute;
  if (nom_utilisateur.empty() || mot_de_passe.empty()) {
    messages_.warn(kCaption, w("Vous devez compléter les deux champs!"));
    return false;
  }
  write_config_bdpv(settings_);
  return true;
}

}  // namespace vireluz
