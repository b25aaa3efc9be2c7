#include "upload/cosm_window_model.h"

#include <algorithm>

#include "config/config_files.h"
#include "upload/http_client.h"

namespace vireluz {

const std::array<Text, 6>& CosmWindowModel::interval_items() {
  static const std::array<Text, 6> items{"Toutes les minutes",    "Toutes les 3 minutes",
                                         "Toutes les 5 minutes",  "Toutes les 10 minutes",
                                         "Toutes les 15 minutes", "Toutes les heures"};
  return items;
}
const std::array<Text, 2>& CosmWindowModel::meter_items() {
  static const std::array<Text, 2> items{"Compteur 1", "Compteur 2"};
  return items;
}
const std::array<Text, 5>& CosmWindowModel::value_items() {
  static const std::array<Text, 5> items{w("Intensité Mono"), w("Intensité PHASE 1"), w("Intensité PHASE 2"),
                                         w("Intensité PHASE 3"), "Puissance apparente"};
  return items;
}

CosmWindowModel::CosmWindowModel(Settings& settings, UserMessages& messages)
    : settings_(settings), messages_(messages) {
  if (settings_.cosm_table.empty()) settings_.cosm_table.resize(1);
}

const Text& CosmWindowModel::cell(int column, int row) const {
  return settings_.cosm_table.at(static_cast<std::size_t>(row))[column];
}

namespace {
const Text kWarningCaption = "Config Cosm";
}  // namespace

void CosmWindowModel::show() {
  if (settings_.cosm_table.empty()) settings_.cosm_table.resize(1);
  feed = std::to_string(settings_.cosm.feed);
  key = settings_.cosm.key;
  actif = settings_.cosm.COSM_actif == 1;
  interval_index = std::clamp(settings_.cosm.Interval_envoi, 0, 5);
  selected_ = std::clamp(selected_, 0, row_count() - 1);
  show_selected_row();
}

void CosmWindowModel::show_selected_row() {
  const CosmDatastream& row = settings_.cosm_table.at(static_cast<std::size_t>(selected_));
  data_id.clear();
  meter_index = -1;
  value_index = -1;
  if (row[0].empty()) return;
  data_id = row[0];
  const auto m = parse_int(trim(row[3]));
  const auto v = parse_int(trim(row[4]));
  if (m && *m >= 0 && *m < 2) meter_index = *m;
  if (v && *v >= 0 && *v < 5) value_index = *v;
}

void CosmWindowModel::select_row(int row) {
  if (row < 0 || row >= row_count()) return;
  selected_ = row;
  show_selected_row();
}

void CosmWindowModel::valider_datastream() {
  if (meter_index < 0 || meter_index > 1 || value_index < 0 || value_index > 4 || data_id.empty()) {
    messages_.show_message(UserMessage{MessageIcon::None, kAppTitle, "Veuillez remplir TOUS les champs !"});
    return;
  }
  CosmDatastream& row = settings_.cosm_table.at(static_cast<std::size_t>(selected_));
  row[0] = data_id;
  row[1] = meter_items()[static_cast<std::size_t>(meter_index)];
  row[2] = value_items()[static_cast<std::size_t>(value_index)];
  row[3] = std::to_string(meter_index);
  row[4] = std::to_string(value_index);
  // A row just validated is sent by the next pass, even when it lies past the
  // rows counted so far (a row added below an empty first row).
  settings_.CosmRowCount = std::max(settings_.CosmRowCount, selected_ + 1);
}

void CosmWindowModel::nouveau_datastream() {
  settings_.cosm_table.emplace_back();
  settings_.CosmRowCount = std::min(settings_.CosmRowCount + 1, row_count());
  selected_ = row_count() - 1;
  show_selected_row();  // the new row's empty fields
}

void CosmWindowModel::effacer_datastream() {
  if (row_count() > 1) {
    settings_.cosm_table.erase(settings_.cosm_table.begin() + selected_);
    settings_.CosmRowCount = std::clamp(settings_.CosmRowCount - 1, 0, row_count());
  } else {
    settings_.cosm_table[0] = CosmDatastream{};
    settings_.CosmRowCount = 0;
  }
  selected_ = std::clamp(selected_, 0, row_count() - 1);
  show_selected_row();
}

bool CosmWindowModel::enregistrer() {
  // Checked before anything is taken into memory, so that a refused save
  // leaves the settings as they were.
  const auto feed_number = parse_int(trim(feed));
  if (!feed_number) {
    messages_.warn(kWarningCaption, w("Le champ Feed ID doit contenir un nombre entier (\"") + feed +
                                        w("\" n'en est pas un)."));
    return false;
  }
  if (has_control_char(key)) {
    messages_.warn(kWarningCaption, w("La clé (Key) contient des caractères de contrôle : vérifiez-la."));
    return false;
  }
  settings_.cosm.COSM_actif = actif ? 1 : 0;
  settings_.cosm.feed = *feed_number;
  settings_.cosm.key = key;
  settings_.cosm.Interval_envoi = std::clamp(interval_index, 0, 5);
  calcul_intervalle_cosm(settings_);
  if (settings_.cosm.feed == 0 || settings_.cosm.key.empty()) {
    messages_.warn(kWarningCaption, w("Vous devez compléter FEED & KEY!"));
    return false;
  }
  // Rows without a DATA ID (added and never validated) are dropped, keeping
  // at least one row: the stored table then loads back with the same
  // datastreams, and a first row left empty cannot mark the table as empty
  // while later rows hold datastreams.
  auto& table = settings_.cosm_table;
  table.erase(
      std::remove_if(table.begin(), table.end(), [](const CosmDatastream& r) { return r[0].empty(); }),
      table.end());
  if (table.empty()) table.resize(1);
  settings_.CosmRowCount = table[0][0].empty() ? 0 : row_count();
  selected_ = std::clamp(selected_, 0, row_count() - 1);
  show_selected_row();
  write_config_cosm(settings_);
  return true;
}

}  // namespace vireluz
