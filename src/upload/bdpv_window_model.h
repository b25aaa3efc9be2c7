#pragma once
// The window "Réglage BDPV" (TForm2_BDPV) without its toolkit: field values,
// the presentation text and the "Enregistrer" action.
#include "common/text.h"
#include "common/user_messages.h"
#include "config/settings.h"

namespace vireluz {

class BdpvWindowModel {
 public:
  static inline const Text kCaption = w("Réglage BDPV");
  static inline const Text kSiteAddress = "http://www.bdpv.fr/";
  static const Text& presentation_text();  // the read-only text beside the fields (lines end with LF)

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
  Settings& settings_;
  UserMessages& messages_;
};

}  // namespace vireluz
