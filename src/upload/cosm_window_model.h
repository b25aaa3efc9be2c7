#pragma once
// The window "Cosm (pachube)" (TForm_Cosm) without its toolkit: the field
// values, the datastream grid (the settings' table itself, so an edit is live
// for the next upload pass) and the button actions. The Qt window copies the
// fields in and out and calls the actions.
#include <array>

#include "common/text.h"
#include "common/user_messages.h"
#include "config/settings.h"

namespace vireluz {

class CosmWindowModel {
 public:
  static inline const Text kCaption = "Cosm (pachube)";
  static inline const Text kSiteAddress = "http://cosm.com/";
  static const std::array<Text, 6>& interval_items();  // "Toutes les minutes" ...
  static const std::array<Text, 2>& meter_items();     // "Compteur 1", "Compteur 2"
  static const std::array<Text, 5>& value_items();     // "Intensité Mono" ... "Puissance apparente"
  static constexpr int kGridColumns = 5;
  static bool column_visible(int column) { return column >= 0 && column <= 2; }

  CosmWindowModel(Settings& settings, UserMessages& messages);

  // Fields.
  bool actif = false;      // "Activer l'envoi au site Cosm"
  Text key;                // "Key" (shown masked)
  Text feed;               // "Feed ID"
  int interval_index = 0;  // "Transfert toutes les X minutes :"
  Text data_id;            // "DATA ID"
  int meter_index = -1;    // "Compteur": -1 none, 0, 1
  int value_index = -1;    // "Valeur à envoyer": -1 none, 0..4

  // The grid.
  int row_count() const { return static_cast<int>(settings_.cosm_table.size()); }
  const Text& cell(int column, int row) const;
  int selected_row() const { return selected_; }

  // Fills the fields from the settings, then shows the selected row.
  void show();
  void show_selected_row();
  // A click on a grid row.
  void select_row(int row);

  void valider_datastream();  // "Valider Datastream"
  void nouveau_datastream();  // "Nouveau Datastream"
  void effacer_datastream();  // "Effacer Datastream"
  // "Enregistrer": true when the file was written. The interval chosen takes
  // effect at once, even when the file is not written.
  bool enregistrer();

 private:
  Settings& settings_;
  UserMessages& messages_;
  int selected_ = 0;
};

}  // namespace vireluz
