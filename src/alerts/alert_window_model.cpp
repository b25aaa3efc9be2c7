#include "alerts/alert_window_model.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "config/config_files.h"

namespace vireluz {

namespace {

constexpr int kQuantityPeriod = 5, kQuantityPejp = 7;
constexpr int kSignEqual = 2;
constexpr int kModeManual = 1;

bool has_value_list(int quantity) { return quantity >= kQuantityPeriod && quantity <= kQuantityPejp; }

// Index of a list choice read from a cell; -1 when it is not an integer or
// not an item of the list.
int list_index(const Text& cell, std::size_t size) {
  const auto v = parse_int(cell);
  if (!v || *v < 0 || static_cast<std::size_t>(*v) >= size) return -1;
  return *v;
}

bool chosen(int index, std::size_t size) { return index >= 0 && static_cast<std::size_t>(index) < size; }

}  // namespace

const std::vector<Text>& AlertWindowModel::meters() {
  static const std::vector<Text> v{"Compteur 1", "Compteur 2"};
  return v;
}

const std::vector<Text>& AlertWindowModel::quantities() {
  static const std::vector<Text> v{
      w("Intensité Mono"),   w("Intensité PHASE 1"),          w("Intensité PHASE 2"), w("Intensité PHASE 3"),
      "Puissance apparente", w("Période tarifaire en cours"), "Couleur lendemain",    w("Préavis EJP")};
  return v;
}

const std::vector<Text>& AlertWindowModel::signs() {
  static const std::vector<Text> v{"<", "<=", "=", ">", ">=", "<>"};
  return v;
}

const std::vector<Text>& AlertWindowModel::rearm_modes() {
  static const std::vector<Text> v{w("Après tempo."), "Manuel"};
  return v;
}

const std::vector<Text>& AlertWindowModel::value_items(int quantity) {
  static const std::vector<Text> periods{"H Creuse", "H Pleine", "EJP Normale", "EJP Pointe", "HC BLEU",
                                         "HP BLEU",  "HC BLANC", "HP BLANC",    "HC ROUGE",   "HP ROUGE"};
  static const std::vector<Text> colours{"BLEU", "BLANC", "ROUGE"};
  static const std::vector<Text> notice{"OUI"};
  static const std::vector<Text> none;
  switch (quantity) {
    case 5:
      return periods;
    case 6:
      return colours;
    case 7:
      return notice;
    default:
      return none;
  }
}

bool AlertWindowModel::column_visible(int column) {
  return std::find(kVisibleColumns.begin(), kVisibleColumns.end(), column) != kVisibleColumns.end();
}

bool AlertWindowModel::accept_key(char c) { return (c >= '0' && c <= '9') || c == '.' || c == '\b'; }

AlertWindowModel::AlertWindowModel(Settings& settings, UserMessages& messages, AlertEngine& engine)
    : settings_(settings), messages_(messages), engine_(engine) {
  if (settings_.alert_table.empty()) settings_.alert_table.resize(1);
  settings_.AlertRowCount = row_count();
}

void AlertWindowModel::clamp_selection() { selected_row = std::clamp(selected_row, 0, row_count() - 1); }

void AlertWindowModel::show_window() {
  const MailSettings& m = settings_.mail;
  mail.emetteur = m.EMETTEUR;
  mail.destinataire = m.DESTINATAIRE;
  mail.smtp = m.SMTP;
  mail.port = m.PORT_SMTP;
  mail.entete = m.ENTETE;
  mail.password = m.PASSWORD;
  mail.reactivation = settings_.alerte.REACTIVATION;
  mail.actif = m.ACTIF == 1;
  mail.redemarrage_pc = settings_.alerte.REDEMARRAGE_PC == 1;
  mail.tls = m.TLS;
  mail.ca = m.CA;
  show_selected_row();
}

void AlertWindowModel::select_row(int row) {
  selected_row = row;
  show_selected_row();
}

void AlertWindowModel::show_selected_row() {
  clamp_selection();
  AlertRule& r = settings_.alert_table[static_cast<std::size_t>(selected_row)];
  if (r[alert_col::kCpt].empty()) return;

  if (!parse_int(r[alert_col::kReactivation])) r[alert_col::kReactivation] = "0";
  rule.rearm_mode = list_index(r[alert_col::kReactivation], rearm_modes().size());
  apply_rearm_mode_rule();

  rule.meter = list_index(r[alert_col::kCpt], meters().size());
  rule.quantity = list_index(r[alert_col::kVar], quantities().size());
  rule.sign = list_index(r[alert_col::kSigne], signs().size());
  rule.message = r[alert_col::kMessage];
  if (has_value_list(rule.quantity)) {
    apply_quantity_rule();
    rule.value_item = list_index(r[alert_col::kSeuil], rule.value_items.size());
  } else {
    rule.value_text = r[alert_col::kValeurLibelle];
    apply_quantity_rule();
  }
  rule.activer = r[alert_col::kActiver] == "1";
  if (r[alert_col::kHoraire] == "1") {
    rule.plage_horaire = true;
    rule.debut = r[alert_col::kDebut];
    rule.fin = r[alert_col::kFin];
  } else {
    rule.plage_horaire = false;
    rule.debut = "00:00:00";
    rule.fin = "00:00:00";
  }
}

void AlertWindowModel::set_quantity(int index) {
  rule.quantity = index;
  apply_quantity_rule();
}

void AlertWindowModel::apply_quantity_rule() {
  if (has_value_list(rule.quantity)) {
    rule.value_items = value_items(rule.quantity);
    rule.value_item = -1;
    rule.value_list_visible = true;
    rule.value_text_visible = false;
    rule.sign = kSignEqual;
    rule.sign_enabled = false;
  } else {
    rule.value_list_visible = false;
    rule.value_text_visible = true;
    rule.sign_enabled = true;
  }
}

void AlertWindowModel::set_rearm_mode(int index) {
  rule.rearm_mode = index;
  apply_rearm_mode_rule();
}

void AlertWindowModel::apply_rearm_mode_rule() {
  if (rule.rearm_mode == kModeManual) {
    rule.activer_enabled = true;
  } else {
    rule.activer_enabled = false;
    rule.activer = false;
  }
}

void AlertWindowModel::nouvelle_alerte() {
  settings_.alert_table.emplace_back();
  settings_.AlertRowCount = row_count();
  rule.meter = -1;
  set_quantity(-1);
  rule.sign = -1;
  rule.value_item = -1;
  set_rearm_mode(-1);
  rule.value_text.clear();
  rule.message.clear();
  rule.activer = false;
  selected_row = row_count() - 1;
}

bool AlertWindowModel::valider_alerte() {
  const bool list = has_value_list(rule.quantity);
  const bool complete =
      chosen(rule.meter, meters().size()) && chosen(rule.quantity, quantities().size()) &&
      chosen(rule.sign, signs().size()) &&
      (list ? chosen(rule.value_item, rule.value_items.size()) : !rule.value_text.empty()) &&
      !rule.message.empty() && chosen(rule.rearm_mode, rearm_modes().size());
  if (!complete) {
    messages_.warn(kCaption, kFieldsMissing);
    return false;
  }
  // The evaluation compares whole numbers: a threshold such as "12.5" would
  // never be evaluated, so it is refused here.
  if (!list && !parse_int(rule.value_text)) {
    messages_.warn(kCaption, kValueNotInteger);
    return false;
  }

  clamp_selection();
  AlertRule& r = settings_.alert_table[static_cast<std::size_t>(selected_row)];
  r[alert_col::kCptLibelle] = meters()[static_cast<std::size_t>(rule.meter)];
  r[alert_col::kVarLibelle] = quantities()[static_cast<std::size_t>(rule.quantity)];
  r[alert_col::kSigneLibelle] = signs()[static_cast<std::size_t>(rule.sign)];
  r[alert_col::kValeurLibelle] =
      list ? rule.value_items[static_cast<std::size_t>(rule.value_item)] : rule.value_text;
  r[alert_col::kMessage] = rule.message;
  r[alert_col::kCpt] = std::to_string(rule.meter);
  r[alert_col::kVar] = std::to_string(rule.quantity);
  r[alert_col::kSigne] = std::to_string(rule.sign);
  r[alert_col::kSeuil] = list ? std::to_string(rule.value_item) : rule.value_text;
  r[alert_col::kReactivationLibelle] = rearm_modes()[static_cast<std::size_t>(rule.rearm_mode)];
  if (rule.rearm_mode == kModeManual) {
    r[alert_col::kEtatLibelle] = rule.activer ? "Actif" : "Inactif";
    r[alert_col::kActiver] = rule.activer ? "1" : "0";
  } else {
    r[alert_col::kEtatLibelle] = " ";
  }
  r[alert_col::kHeureReactivation] = "0";
  r[alert_col::kReactivation] = std::to_string(rule.rearm_mode);
  r[alert_col::kHoraire] = rule.plage_horaire ? "1" : "0";
  if (rule.plage_horaire) {
    r[alert_col::kDebut] = rule.debut;
    r[alert_col::kFin] = rule.fin;
  }
  return true;
}

void AlertWindowModel::supprimer() {
  clamp_selection();
  auto& table = settings_.alert_table;
  if (table.size() > 1) {
    table.erase(table.begin() + selected_row);
  } else {
    table[0] = AlertRule{};
  }
  settings_.AlertRowCount = row_count();
  show_selected_row();
}

void AlertWindowModel::reactivation_left() {
  const Text& t = mail.reactivation;
  double v = 0;
  const auto res = std::from_chars(t.data(), t.data() + t.size(), v);
  if (res.ec != std::errc{} || res.ptr != t.data() + t.size() || !std::isfinite(v) || v < 1) {
    mail.reactivation = "1";
  } else if (v > 1440) {
    mail.reactivation = "1440";
  } else {
    mail.reactivation = std::to_string(static_cast<int>(v));
  }
}

void AlertWindowModel::sauvegarder() {
  reactivation_left();
  MailSettings& m = settings_.mail;
  const Text old_header = m.ENTETE;
  m.ACTIF = mail.actif ? 1 : 0;
  settings_.alerte.REDEMARRAGE_PC = mail.redemarrage_pc ? 1 : 0;
  store_server_fields();
  m.ENTETE = mail.entete;
  settings_.alerte.REACTIVATION = mail.reactivation;
  write_alert_file(settings_);
  if (m.ACTIF == 1) {
    // A buffer that holds no alert line yet gets the header as saved: alerts
    // just switched on, or a new header.
    auto& memo = engine_.Memo_alerte;
    if (memo.empty() || (memo.size() == 1 && memo[0] == old_header)) engine_.reset_memo();
    if (start_mail_timer) start_mail_timer();
  }
}

void AlertWindowModel::test_mail() {
  store_server_fields();
  engine_.test_mail();
}

void AlertWindowModel::store_server_fields() {
  MailSettings& m = settings_.mail;
  m.EMETTEUR = mail.emetteur;
  m.DESTINATAIRE = mail.destinataire;
  m.SMTP = mail.smtp;
  m.PORT_SMTP = mail.port;
  m.PASSWORD = mail.password;
  m.TLS = mail.tls;
  m.CA = mail.ca;
}

}  // namespace vireluz
