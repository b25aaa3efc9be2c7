#pragma once
// The one table of every key of the two INI files: which file and section it
// lives in, its name as written in the file, its kind, the Settings member it
// fills and the value a missing key reads as. The loader, the writers,
// apply_setting and the JSON printer all walk this table.
#include <optional>
#include <string_view>
#include <vector>

#include "config/settings.h"

namespace vireluz {

enum class IniFileId { kConfig, kAlert };  // vireluz_cfg.ini, alertes_mails.ini

enum class KeyKind {
  kInt,     // decimal integer; a text that is not an integer reads as the default
  kText,    // text as it stands
  kSecret,  // text held in clear, stored scrambled
};

enum class KeyWrite {
  kWithSection,  // written by its section's writer, in table order
  kAfterGrid,    // "TABLEAU VIDE": written after the counts of [GENERAL]
  kReadOnly,     // read only, never written ("serveur")
  kWhenChosen,   // written with its section when it differs from its default, removed otherwise
};

struct SettingKey {
  IniFileId file;
  const char* section;
  const char* key;
  KeyKind kind;
  KeyWrite write;
  const char* default_utf8;         // default value as source text (UTF-8)
  int* (*int_member)(Settings&);    // set for kInt
  Text* (*text_member)(Settings&);  // set for kText and kSecret
};

// In load order: alertes_mails.ini first, then vireluz_cfg.ini; within a
// section, in the order the writers write them.
const std::vector<SettingKey>& setting_keys();

// The key of `section`/`key`, names compared without regard to case.
const SettingKey* find_setting_key(std::string_view section, std::string_view key);

// The default of a key, as Windows-1252 text.
Text setting_default(const SettingKey& k);

int setting_int(const Settings& s, const SettingKey& k);
const Text& setting_text(const Settings& s, const SettingKey& k);

// Sets a key from the text the file holds (nullopt: key missing), as the
// loader reads it: missing or non-integer integers give the default, secrets
// are unscrambled.
void set_from_file(Settings& s, const SettingKey& k, const std::optional<Text>& file_text);

// Sets a key from a clear value (secrets are taken in clear).
void set_from_clear(Settings& s, const SettingKey& k, std::string_view value);

// The text the file stores for a key (secrets scrambled).
Text file_text_of(const Settings& s, const SettingKey& k);

}  // namespace vireluz
