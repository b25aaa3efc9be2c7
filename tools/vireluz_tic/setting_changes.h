#pragma once
// Settings changed from the command line (vireluz-tic settings --set): each
// change is typed into the field of the settings window that shows its key,
// and that window saves, so a value is checked with the window's own rules
// and messages and written as the window writes it (secrets scrambled, the
// rest of the file kept). Keys that no window shows are written alone, as
// the loader reads them back.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "common/user_messages.h"
#include "config/setting_keys.h"

namespace vireluz::tic {

struct SettingChange {
  const SettingKey* key;
  Text value;  // Windows-1252
};

// "SECTION.KEY=VALUE", the value in UTF-8. On a refusal, nullopt and a UTF-8
// message in `error`.
std::optional<SettingChange> parse_setting_change(std::string_view arg, std::string& error);

// Applies every change to `settings` and writes the files of its ConfigDir.
// False once a message has said which value was refused; the files written
// before that stay written, so a caller that wants all or nothing runs the
// changes on a copy in a scratch folder first. A file that cannot be written
// throws VireluzError.
bool apply_setting_changes(Settings& settings, const std::vector<SettingChange>& changes,
                           UserMessages& messages);

}  // namespace vireluz::tic
