#pragma once
// The window "Réglage BDPV" (TForm2_BDPV) without its toolkit: field values,
// captions, the presentation text and the "Enregistrer" action.
#include "common/text.h"
#include "common/user_messages.h"
#include "config/settings.h"

namespace vireluz {

class BdpvWindowModel {
 public:
  static const Text& title();                 // "Réglage BDPV"
  static const Text& caption_actif();         // "Activer envoi production au site BDPV"
  static const Text& caption_nom();           // "Nom utilisateur BDPV"
  static const Text& caption_mot_de_passe();  // "Mot de passe utilisateur BDPV"
  static const Text& caption_heure();         // "Heure d'envoi au site BDPV"
  static const Text& caption_compteur();      // "Compteur de PRODUCTION ?"
  static const Text& caption_logo();          // "Site BDPV"
  static const Text& presentation_text();     // the read-only text beside the fields (lines end with LF)
  static const Text& site_address();          // the BDPV home page

  BdpvWindowModel(Settings& settings, UserMessages& messages);

  // Fields.
  Text nom_utilisateur;
  Text mot_de_passe;  // shown masked
  bool actif = false;
  Text heure;          // "hh:mm"
  int production = 0;  // marked choice: 0 none, 1 meter 1, 2 meter 2

  // Captions of the two production choices: the meter names.
  const Text& caption_compteur1() const { return settings_.prg.NOM_CPT1; }
  const Text& caption_compteur2() const { return settings_.prg.NOM_CPT2; }

  // Fills the fields from the settings.
  void show();
  // "Enregistrer": true when the file was written.
  bool enregistrer();

 private:
  void warn(const Text& text);

  Settings& settings_;
  UserMessages& messages_;
};

}  // namespace vireluz
