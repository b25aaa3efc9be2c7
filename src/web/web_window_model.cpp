#include "web/web_window_model.h"

#include <unistd.h>

#include "config/config_files.h"
#include "web/web_settings_check.h"

namespace vireluz {

WebWindowModel::WebWindowModel(Settings& settings, UserMessages& messages)
    : settings_(settings), messages_(messages) {}

void WebWindowModel::show() {
  const WebSettings& s = settings_.web;
  actif = s.ACTIF == 1;
  adresse = s.ADRESSE;
  port = std::to_string(s.PORT);
  utilisateur = s.UTILISATEUR;
  mot_de_passe = s.MOT_DE_PASSE;
  certificat = s.CERTIFICAT;
  cle = s.CLE;
}

std::optional<WebSettings> WebWindowModel::checked() {
  if (trim(adresse).empty() || trim(port).empty()) {
    messages_.warn(kCaption, "Veuillez remplir TOUS les champs !");
    return std::nullopt;
  }
  WebSettings s;
  s.ACTIF = actif ? 1 : 0;
  s.ADRESSE = Text(trim(adresse));
  const auto p = parse_int(trim(port));
  s.PORT = p ? *p : 0;
  s.UTILISATEUR = utilisateur;
  s.MOT_DE_PASSE = mot_de_passe;
  s.CERTIFICAT = Text(trim(certificat));
  s.CLE = Text(trim(cle));
  if (const auto problem = web_settings_problem(s)) {
    messages_.warn(kCaption, *problem);
    return std::nullopt;
  }
  for (const Text* f : {&s.CERTIFICAT, &s.CLE}) {
    if (!f->empty() && ::access(cp1252_to_utf8(*f).c_str(), R_OK) != 0) {
      messages_.warn(kCaption, w("Le fichier « ") + *f + w(" » est introuvable ou illisible."));
      return std::nullopt;
    }
  }
  return s;
}

bool WebWindowModel::enregistrer() {
  const auto s = checked();
  if (!s) return false;
  settings_.web = *s;
  write_config_web(settings_);
  return true;
}

}  // namespace vireluz
