#pragma once
// The window "Page Web" (TForm_Web) without its toolkit: the field values,
// their checks and "Enregistrer" (writes [CONFIG_WEB] only; the program then
// serves the page with the new settings at once).
#include <optional>

#include "common/text.h"
#include "common/user_messages.h"
#include "config/settings.h"

namespace vireluz {

class WebWindowModel {
 public:
  static inline const Text kCaption = "Page Web";

  WebWindowModel(Settings& settings, UserMessages& messages);

  // Fields, as typed.
  bool actif = false;
  Text adresse;
  Text port;
  Text utilisateur;
  Text mot_de_passe;  // shown masked
  Text certificat;
  Text cle;

  // Fills the fields from the settings.
  void show();
  // "Enregistrer": checks the fields (a French message says what is wrong
  // and nothing is written), then updates the settings and writes
  // [CONFIG_WEB]. True when written.
  bool enregistrer();

 private:
  std::optional<WebSettings> checked();

  Settings& settings_;
  UserMessages& messages_;
};

}  // namespace vireluz
