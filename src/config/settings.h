#pragma once
// The in-memory values of both INI files (vireluz_cfg.ini and
// alertes_mails.ini), named after their sections and keys, with the values a
// missing file or key reads as. Passwords and keys are held in clear.
#include <array>
#include <string>
#include <vector>

#include "common/text.h"

namespace vireluz {

struct PrgSettings {  // [CONFIG_PRG]
  int PERIODE_ENR = 0;
  int MODE_INTERFACE = 1;
  int MODE_MONO_TRI = 0;
  int MODE_MONO_TRI_cpt2 = 0;
  int MODE_TIC_cpt1 = 0;
  int MODE_TIC_cpt2 = 0;
  Text NOM_CPT1 = "EDF";
  Text NOM_CPT2 = "Solaire";
  Text REPERTOIR_ENR;
  int TYPE_NOM_FICHIER = 0;
  int ENTETE_CSV = 0;
  int REDEMARRAGE_AUTOMATIQUE = 0;
  int FORMAT_DATE = 0;
  int PTEC_A_ENREGISTRER = 0;
  int MODE_ECHELLE_GRAPHE = 0;
  int GRAPHE_IouPA = 0;  // key "GRAPHE IouPA"
  int FICHIER_PROD_CSV = 0;
  int CPT_PROD = 2;
};

struct BdpvSettings {               // [CONFIG_BDPV]
  int BDPV_actif = 0;               // "BDPV actif"
  Text nom_utilisateur;             // "nom utilisateur"
  Text mot_de_passe;                // "mot de passe", scrambled in the file
  Text heure_envoie_BDPV = "2359";  // "heure envoie BDPV"
  int compteur_production = 2;      // "compteur production"
  Text serveur;                     // optional "serveur": host or host:port
};

struct CosmSettings {  // [CONFIG_COSM]
  int COSM_actif = 0;  // "COSM actif"
  int feed = 0;
  Text key;                   // scrambled in the file
  int Interval_envoi = 0;     // "Interval envoi"
  Text TABLEAU_VIDE = "OUI";  // "TABLEAU VIDE"
  Text serveur;               // optional "serveur": host or host:port
};

struct MqttSettings {  // [CONFIG_MQTT]
  int ACTIF = 0;
  Text SERVEUR;
  int PORT = 1883;
  Text UTILISATEUR;
  Text MOT_DE_PASSE;                    // "MOT DE PASSE", scrambled in the file
  int TLS = 0;
  Text CA;                              // CA file; empty: the system's certificates
  Text PREFIXE = "vireluz";
  int DECOUVERTE = 1;                   // Home Assistant discovery
  Text PREFIXE_DECOUVERTE = "homeassistant";  // "PREFIXE DECOUVERTE"
  int PERIODE = 10;                     // seconds between two state messages of a meter (0: every frame)
};

struct WebSettings {  // [CONFIG_WEB]
  int ACTIF = 0;
  Text ADRESSE = "127.0.0.1";  // listening address
  int PORT = 8080;
  Text UTILISATEUR;
  Text MOT_DE_PASSE;  // "MOT DE PASSE", scrambled in the file
  Text CERTIFICAT;    // PEM files: HTTPS when both are given
  Text CLE;
  bool operator==(const WebSettings&) const = default;
};

struct MailSettings {  // [CONFIG_MAIL] of alertes_mails.ini
  int ACTIF = 0;
  Text EMETTEUR = "test";
  Text DESTINATAIRE = "test";
  Text SMTP = "test";
  Text PORT_SMTP = "25";  // "PORT SMTP"
  Text ENTETE = w("entête Mail");
  Text PASSWORD;                         // scrambled in the file
  Text TABLEAU_VIDE = "OUI";             // "TABLEAU VIDE"
  // Connection protection: 0 "Aucun", 1 "Si proposé", 2 "Obligatoire";
  // -1 (key missing): "Obligatoire" with a password, "Si proposé" without.
  int TLS = -1;
  Text CA;  // CA file to verify the server with; empty: the system's
};

struct AlerteSettings {  // [CONFIG_ALERTE] of alertes_mails.ini
  Text REACTIVATION = "60";
  int REDEMARRAGE_PC = 0;  // "REDEMARRAGE PC"
};

// One row of a grid stored in an INI file: `Columns` text cells.
template <int Columns>
struct GridRow {
  static constexpr int kColumns = Columns;
  std::array<Text, kColumns> cells;
  Text& operator[](int c) { return cells[static_cast<std::size_t>(c)]; }
  const Text& operator[](int c) const { return cells[static_cast<std::size_t>(c)]; }
};

// One alert rule (see the column meanings in alerts/).
using AlertRule = GridRow<17>;
// One Cosm datastream: DATA ID, meter caption, value caption, meter index,
// MeasureKind.
using CosmDatastream = GridRow<5>;

struct Settings {
  PrgSettings prg;
  BdpvSettings bdpv;
  CosmSettings cosm;
  MqttSettings mqtt;
  WebSettings web;
  MailSettings mail;
  AlerteSettings alerte;

  // The alert table as the window created it: one empty row.
  std::vector<AlertRule> alert_table = std::vector<AlertRule>(1);
  int AlertRowCount = 1;
  // The Cosm table as the window created it: one empty row, nothing to send.
  std::vector<CosmDatastream> cosm_table = std::vector<CosmDatastream>(1);
  int CosmRowCount = 0;

  // Derived at load (and recomputed by the windows that change them).
  int RecordPeriodMs = 60000;
  int CosmIntervalMinutes = 1;
  int BdpvHour = 23;
  int BdpvMinute = 59;

  // The run's data folder (with a trailing '/'): the two INI files, and the
  // record, production and daily files while REPERTOIR_ENR is empty.
  std::string ConfigDir;
};

}  // namespace vireluz
