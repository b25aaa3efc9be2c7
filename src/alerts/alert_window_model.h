#pragma once
// The alert window "Configuration Alerte Mail" (TForm_alertes_mail) without
// its toolkit: the editing fields, the lists, the grid's columns and the
// operations of its buttons. A Qt window binds its widgets to these fields,
// calls the operations from its signals and reads the fields back.
//
// Table edits are live: the grid is the alert table of Settings, which the
// alert evaluation reads and writes while the window is open. Settings typed
// into the mail fields reach memory only through sauvegarder() (and, for the
// mail server fields, test_mail()).
#include <array>
#include <functional>
#include <vector>

#include "alerts/alert_engine.h"
#include "common/text.h"
#include "common/user_messages.h"
#include "config/settings.h"

namespace vireluz {

class AlertWindowModel {
 public:
  // Fields of the group "Alertes programmées:". A list choice of -1 means
  // nothing chosen.
  struct RuleFields {
    int meter = -1;     // "Compteur"
    int quantity = -1;  // "Indicateur vireluz à surveiller"
    int sign = -1;      // "signe"
    bool sign_enabled = true;
    Text value_text;  // "Valeur", typed (quantities 0-4)
    bool value_text_visible = true;
    std::vector<Text> value_items;  // the value list (quantities 5-7)
    int value_item = -1;
    bool value_list_visible = false;
    int rearm_mode = -1;   // "Réactivation"
    bool activer = false;  // "Activer"
    bool activer_enabled = false;
    bool plage_horaire = false;  // "Suivant plage horaire"
    Text debut = "00:00:00";     // "Début"
    Text fin = "00:00:00";       // "Fin"
    Text message;                // "Message"
  };

  // The settings fields above the rules and the re-arm minutes at the bottom.
  struct MailFields {
    bool actif = false;  // "Activer les alertes par Mail"
    Text emetteur, destinataire, smtp, port, entete, password;
    bool redemarrage_pc = false;  // "Après redémarrage automatique suite à un arrêt du PC"
    Text reactivation;            // "Réactivation de l'Alerte au bout de x minutes:"
    int tls = -1;                 // "Chiffrement": index of kTlsChoices, -1 while not chosen
    Text ca;                      // "Autorité (CA)": CA file, empty for the system's
    // The choice the list shows: the one chosen, or the default that follows
    // the password.
    int tls_shown() const { return static_cast<int>(effective_tls(tls, password)); }
  };

  AlertWindowModel(Settings& settings, UserMessages& messages, AlertEngine& engine);

  static inline const Text kCaption = "Configuration Alerte Mail";
  static inline const std::array<Text, 3> kWarningLines{
      // the red text
      "ATTENTION:", "Si vous modifiez une alerte qui est en cours, elle revient ",
      w("à zero et un nouveau Mail est envoyé.")};
  static inline const Text kFieldsMissing = "Veuillez remplir TOUS les champs !";
  static inline const Text kValueNotInteger =
      w("La valeur doit être un nombre entier (sans point ni virgule) !");
  static inline const std::array<Text, 3> kTlsChoices{"Aucun", w("Si proposé"), "Obligatoire"};
  // The one line under the choice.
  static inline const Text kTlsNote =
      w("Le mot de passe ne part que sur une connexion chiffrée et vérifiée, sauf avec « Aucun ».");

  static const std::vector<Text>& meters();
  static const std::vector<Text>& quantities();
  static const std::vector<Text>& signs();
  static const std::vector<Text>& rearm_modes();
  // The value list of quantity 5, 6 or 7; empty for the others.
  static const std::vector<Text>& value_items(int quantity);

  // Grid columns shown: 0, 1, 2, 3, 4, 9, 10, 15, 16 (the others have zero width).
  static constexpr std::array<int, 9> kVisibleColumns{0, 1, 2, 3, 4, 9, 10, 15, 16};
  static bool column_visible(int column);

  // Keys accepted by the value and re-arm minutes fields: digits, '.', backspace.
  static bool accept_key(char c);

  const std::vector<AlertRule>& table() const { return settings_.alert_table; }
  int row_count() const { return static_cast<int>(settings_.alert_table.size()); }

  // Operations.
  void show_window();        // fields from Settings, then the selected row
  void select_row(int row);  // click in the grid
  void show_selected_row();
  void set_quantity(int index);  // quantity list changed
  void apply_quantity_rule();
  void set_rearm_mode(int index);  // re-arm mode list changed
  void apply_rearm_mode_rule();
  void nouvelle_alerte();    // "Nouvelle Alerte"
  bool valider_alerte();     // "Valider Alerte"; false when refused (a message was shown)
  void supprimer();          // "Supprimer"
  void sauvegarder();        // "Sauvegarder"; a failed write throws VireluzError
  void test_mail();          // "Test Mail"; a failed mail throws VireluzError
  void reactivation_left();  // the re-arm minutes field lost the focus: kept within 1..1440

  RuleFields rule;
  MailFields mail;
  int selected_row = 0;

  // Called by sauvegarder() when ACTIF is 1: starts Timer_mail.
  std::function<void()> start_mail_timer;

 private:
  void clamp_selection();
  // The mail server fields into the settings (what a test mail uses).
  void store_server_fields();

  Settings& settings_;
  UserMessages& messages_;
  AlertEngine& engine_;
};

}  // namespace vireluz
