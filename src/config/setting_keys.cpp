#include "config/setting_keys.h"

#include <strings.h>

#include "config/config_files.h"

namespace vireluz {

namespace {

constexpr auto A = IniFileId::kAlert;
constexpr auto C = IniFileId::kConfig;
constexpr auto W = KeyWrite::kWithSection;

#define VZ_INT(file, section, key, member, def, wr)                                             \
  SettingKey {                                                                                  \
    file, section, key, KeyKind::kInt, wr, def, +[](Settings& s) { return &s.member; }, nullptr \
  }
#define VZ_TEXT(file, section, key, member, def, wr)                                             \
  SettingKey {                                                                                   \
    file, section, key, KeyKind::kText, wr, def, nullptr, +[](Settings& s) { return &s.member; } \
  }
#define VZ_SECRET(file, section, key, member)                                                    \
  SettingKey {                                                                                   \
    file, section, key, KeyKind::kSecret, W, "", nullptr, +[](Settings& s) { return &s.member; } \
  }

const std::vector<SettingKey> kKeys = {
    // alertes_mails.ini
    VZ_INT(A, "CONFIG_MAIL", "ACTIF", mail.ACTIF, "0", W),
    VZ_TEXT(A, "CONFIG_MAIL", "EMETTEUR", mail.EMETTEUR, "test", W),
    VZ_TEXT(A, "CONFIG_MAIL", "DESTINATAIRE", mail.DESTINATAIRE, "test", W),
    VZ_TEXT(A, "CONFIG_MAIL", "SMTP", mail.SMTP, "test", W),
    VZ_TEXT(A, "CONFIG_MAIL", "PORT SMTP", mail.PORT_SMTP, "25", W),
    VZ_TEXT(A, "CONFIG_MAIL", "ENTETE", mail.ENTETE, "entête Mail", W),
    VZ_SECRET(A, "CONFIG_MAIL", "PASSWORD", mail.PASSWORD),
    VZ_INT(A, "CONFIG_MAIL", "TLS", mail.TLS, "-1", KeyWrite::kWhenChosen),
    VZ_TEXT(A, "CONFIG_MAIL", "CA", mail.CA, "", KeyWrite::kWhenChosen),
    VZ_TEXT(A, "CONFIG_ALERTE", "REACTIVATION", alerte.REACTIVATION, "60", W),
    VZ_INT(A, "CONFIG_ALERTE", "REDEMARRAGE PC", alerte.REDEMARRAGE_PC, "0", W),
    VZ_TEXT(A, "CONFIG_MAIL", "TABLEAU VIDE", mail.TABLEAU_VIDE, "OUI", KeyWrite::kAfterGrid),
    // vireluz_cfg.ini
    VZ_INT(C, "CONFIG_PRG", "PERIODE_ENR", prg.PERIODE_ENR, "0", W),
    VZ_INT(C, "CONFIG_PRG", "MODE_INTERFACE", prg.MODE_INTERFACE, "1", W),
    VZ_INT(C, "CONFIG_PRG", "MODE_MONO_TRI", prg.MODE_MONO_TRI, "0", W),
    VZ_INT(C, "CONFIG_PRG", "MODE_MONO_TRI_cpt2", prg.MODE_MONO_TRI_cpt2, "0", W),
    VZ_INT(C, "CONFIG_PRG", "MODE_TIC_cpt1", prg.MODE_TIC_cpt1, "0", W),
    VZ_INT(C, "CONFIG_PRG", "MODE_TIC_cpt2", prg.MODE_TIC_cpt2, "0", W),
    VZ_TEXT(C, "CONFIG_PRG", "NOM_CPT1", prg.NOM_CPT1, "EDF", W),
    VZ_TEXT(C, "CONFIG_PRG", "NOM_CPT2", prg.NOM_CPT2, "Solaire", W),
    VZ_TEXT(C, "CONFIG_PRG", "REPERTOIR_ENR", prg.REPERTOIR_ENR, "", W),
    VZ_INT(C, "CONFIG_PRG", "TYPE_NOM_FICHIER", prg.TYPE_NOM_FICHIER, "0", W),
    VZ_INT(C, "CONFIG_PRG", "ENTETE_CSV", prg.ENTETE_CSV, "0", W),
    VZ_INT(C, "CONFIG_PRG", "REDEMARRAGE_AUTOMATIQUE", prg.REDEMARRAGE_AUTOMATIQUE, "0", W),
    VZ_INT(C, "CONFIG_PRG", "FORMAT_DATE", prg.FORMAT_DATE, "0", W),
    VZ_INT(C, "CONFIG_PRG", "PTEC_A_ENREGISTRER", prg.PTEC_A_ENREGISTRER, "0", W),
    VZ_INT(C, "CONFIG_PRG", "MODE_ECHELLE_GRAPHE", prg.MODE_ECHELLE_GRAPHE, "0", W),
    VZ_INT(C, "CONFIG_PRG", "GRAPHE IouPA", prg.GRAPHE_IouPA, "0", W),
    VZ_INT(C, "CONFIG_PRG", "FICHIER_PROD_CSV", prg.FICHIER_PROD_CSV, "0", W),
    VZ_INT(C, "CONFIG_PRG", "CPT_PROD", prg.CPT_PROD, "2", W),
    VZ_INT(C, "CONFIG_BDPV", "BDPV actif", bdpv.BDPV_actif, "0", W),
    VZ_TEXT(C, "CONFIG_BDPV", "nom utilisateur", bdpv.nom_utilisateur, "", W),
    VZ_SECRET(C, "CONFIG_BDPV", "mot de passe", bdpv.mot_de_passe),
    VZ_TEXT(C, "CONFIG_BDPV", "heure envoie BDPV", bdpv.heure_envoie_BDPV, "2359", W),
    VZ_INT(C, "CONFIG_BDPV", "compteur production", bdpv.compteur_production, "2", W),
    VZ_TEXT(C, "CONFIG_BDPV", "serveur", bdpv.serveur, "", KeyWrite::kReadOnly),
    VZ_INT(C, "CONFIG_COSM", "COSM actif", cosm.COSM_actif, "0", W),
    VZ_INT(C, "CONFIG_COSM", "feed", cosm.feed, "0", W),
    VZ_SECRET(C, "CONFIG_COSM", "key", cosm.key),
    VZ_INT(C, "CONFIG_COSM", "Interval envoi", cosm.Interval_envoi, "0", W),
    VZ_TEXT(C, "CONFIG_COSM", "TABLEAU VIDE", cosm.TABLEAU_VIDE, "OUI", KeyWrite::kAfterGrid),
    VZ_TEXT(C, "CONFIG_COSM", "serveur", cosm.serveur, "", KeyWrite::kReadOnly),
    VZ_INT(C, "CONFIG_MQTT", "ACTIF", mqtt.ACTIF, "0", W),
    VZ_TEXT(C, "CONFIG_MQTT", "SERVEUR", mqtt.SERVEUR, "", W),
    VZ_INT(C, "CONFIG_MQTT", "PORT", mqtt.PORT, "1883", W),
    VZ_TEXT(C, "CONFIG_MQTT", "UTILISATEUR", mqtt.UTILISATEUR, "", W),
    VZ_SECRET(C, "CONFIG_MQTT", "MOT DE PASSE", mqtt.MOT_DE_PASSE),
    VZ_INT(C, "CONFIG_MQTT", "TLS", mqtt.TLS, "0", W),
    VZ_TEXT(C, "CONFIG_MQTT", "CA", mqtt.CA, "", W),
    VZ_TEXT(C, "CONFIG_MQTT", "PREFIXE", mqtt.PREFIXE, "vireluz", W),
    VZ_INT(C, "CONFIG_MQTT", "DECOUVERTE", mqtt.DECOUVERTE, "1", W),
    VZ_TEXT(C, "CONFIG_MQTT", "PREFIXE DECOUVERTE", mqtt.PREFIXE_DECOUVERTE, "homeassistant", W),
    VZ_INT(C, "CONFIG_MQTT", "PERIODE", mqtt.PERIODE, "10", W),
    VZ_INT(C, "CONFIG_WEB", "ACTIF", web.ACTIF, "0", W),
    VZ_TEXT(C, "CONFIG_WEB", "ADRESSE", web.ADRESSE, "127.0.0.1", W),
    VZ_INT(C, "CONFIG_WEB", "PORT", web.PORT, "8080", W),
    VZ_TEXT(C, "CONFIG_WEB", "UTILISATEUR", web.UTILISATEUR, "", W),
    VZ_SECRET(C, "CONFIG_WEB", "MOT DE PASSE", web.MOT_DE_PASSE),
    VZ_TEXT(C, "CONFIG_WEB", "CERTIFICAT", web.CERTIFICAT, "", W),
    VZ_TEXT(C, "CONFIG_WEB", "CLE", web.CLE, "", W),
};

#undef VZ_INT
#undef VZ_TEXT
#undef VZ_SECRET

bool same_name(std::string_view a, const char* b) {
  return a.size() == std::char_traits<char>::length(b) && strncasecmp(a.data(), b, a.size()) == 0;
}

}  // namespace

const std::vector<SettingKey>& setting_keys() { return kKeys; }

const SettingKey* find_setting_key(std::string_view section, std::string_view key) {
  for (const auto& k : kKeys)
    if (same_name(section, k.section) && same_name(key, k.key)) return &k;
  return nullptr;
}

Text setting_default(const SettingKey& k) { return w(k.default_utf8); }

int setting_int(const Settings& s, const SettingKey& k) { return *k.int_member(const_cast<Settings&>(s)); }

const Text& setting_text(const Settings& s, const SettingKey& k) {
  return *k.text_member(const_cast<Settings&>(s));
}

void set_from_file(Settings& s, const SettingKey& k, const std::optional<Text>& file_text) {
  switch (k.kind) {
    case KeyKind::kInt: {
      const auto v = file_text ? parse_int(trim(*file_text)) : std::nullopt;
      *k.int_member(s) = v ? *v : *parse_int(k.default_utf8);
      break;
    }
    case KeyKind::kText:
      *k.text_member(s) = file_text ? *file_text : setting_default(k);
      break;
    case KeyKind::kSecret:
      *k.text_member(s) = file_text ? unscramble_secret(*file_text) : setting_default(k);
      break;
  }
}

void set_from_clear(Settings& s, const SettingKey& k, std::string_view value) {
  if (k.kind == KeyKind::kInt)
    set_from_file(s, k, Text(value));
  else
    *k.text_member(s) = Text(value);
}

Text file_text_of(const Settings& s, const SettingKey& k) {
  switch (k.kind) {
    case KeyKind::kInt:
      return std::to_string(setting_int(s, k));
    case KeyKind::kText:
      return setting_text(s, k);
    case KeyKind::kSecret:
      return scramble_secret(setting_text(s, k));
  }
  return {};
}

}  // namespace vireluz
