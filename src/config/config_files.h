#pragma once
// Loading and writing the two INI files. Every writer changes exactly its own
// keys, in a fixed order, and replaces the file atomically; a failure throws
// VireluzError with a French message naming the file, and leaves the old file
// as it was.
#include <string>
#include <string_view>

#include "config/settings.h"

namespace vireluz {

inline constexpr const char* kConfigFileName = "vireluz_cfg.ini";
inline constexpr const char* kAlertFileName = "alertes_mails.ini";

// The run's data folder, where the INI files live (and the records while
// REPERTOIR_ENR is empty): `override_dir` when given; otherwise `program_dir`
// when it can be written and is not an installed program's folder (one named
// "bin": /usr/bin, ~/.local/bin); otherwise $XDG_CONFIG_HOME/vireluz (default
// ~/.config/vireluz), created if missing. Always ends with '/'.
std::string choose_config_dir(const std::string& program_dir, const std::string& override_dir);

// Loads alertes_mails.ini then vireluz_cfg.ini from settings.ConfigDir into
// `settings` (missing files, sections and keys read as their defaults), then
// recomputes the derived values.
void lire_configuration(Settings& settings);

void calcul_periode_enr(Settings& settings);      // RecordPeriodMs from PERIODE_ENR
void calcul_intervalle_cosm(Settings& settings);  // CosmIntervalMinutes from Interval envoi
void calcul_heure_bdpv(Settings& settings);       // BdpvHour, BdpvMinute from heure envoie BDPV

// The scrambling of stored passwords and keys (symmetric): each byte of the
// text XOR the key's bytes in turn.
Text crypt_decrypt_xor(const Text& text, const Text& key);

// The one-character key of the stored passwords and keys: 0x1F. XOR with it
// keeps every printable Windows-1252 byte (0x20-0x7E, 0x80-0xFF) at 0x20 or
// above, so a scrambled password never holds NUL, CR, LF or a tab.
inline const Text kScrambleKey = "\x1F";

// A password or key as stored in the file: crypt_decrypt_xor with
// kScrambleKey, then the bytes an INI value cannot hold (NUL, tab, LF, CR, the
// blank that Windows strips at both ends of a value) written as the escape
// byte 0x10 followed by the byte XOR 0x40 (0x10 itself too). A stored text
// without the escape byte is plain crypt_decrypt_xor. Every byte string reads
// back exactly as saved.
Text scramble_secret(const Text& clear);
Text unscramble_secret(const Text& stored);

// Writers called by the settings windows.
void write_config_prg(const Settings& settings);   // [CONFIG_PRG], whole
void write_config_bdpv(const Settings& settings);  // [CONFIG_BDPV]
void write_config_cosm(Settings& settings);        // [CONFIG_COSM], [GENERAL] and the Cosm grid
void write_config_mqtt(const Settings& settings);  // [CONFIG_MQTT]
void write_config_web(const Settings& settings);   // [CONFIG_WEB]
void write_alert_file(Settings& settings);         // alertes_mails.ini (column 11 reset to "0" first)

struct SettingKey;
// Writes one key of either file as the loader reads it back (a key written
// only when chosen is removed at its default), every other line kept.
void write_setting(const Settings& settings, const SettingKey& key);

}  // namespace vireluz

namespace vireluz {
// Sets one setting by its INI section and key names (as in the files, matched
// without regard to case), parsing the value as the loader would. Returns false
// for an unknown section or key. Used by the --set option of the tools.
bool apply_setting(Settings& settings, std::string_view section, std::string_view key,
                   std::string_view value);
}  // namespace vireluz
