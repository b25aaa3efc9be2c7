#pragma once
// Starting the program with the session: an XDG autostart entry
// ($XDG_CONFIG_HOME/autostart/VIRELUZ_2RER.desktop, default ~/.config/autostart)
// whose command is the program's path followed by " start".
#include <string>

namespace vireluz {

inline constexpr const char* kAutostartEntryName = "VIRELUZ_2RER";

// The autostart folder, without a trailing '/'; empty when neither
// XDG_CONFIG_HOME nor HOME is set.
std::string autostart_dir();
// The entry's file: autostart_dir() + "/VIRELUZ_2RER.desktop" (empty with no folder).
std::string autostart_entry_path();

// The Exec line's value for that executable: the path (quoted when it holds
// blanks or characters the desktop-entry format reserves) followed by " start",
// then " --config-dir DIR" when the running program was given that folder, so
// that the automatic start reads the same configuration.
std::string autostart_command(const std::string& program_path, const std::string& config_dir = {});

// Writes (or rewrites) the entry, creating the autostart folder if missing.
// False when it cannot be written; nothing is then left half-written.
bool write_autostart_entry(const std::string& program_path, const std::string& config_dir = {});

enum class AutostartRemoval {
  NoFolder,  // the autostart folder does not exist: nothing to do, nothing to say
  Removed,   // the entry was deleted
  Failed,    // the entry was missing or could not be deleted
};
AutostartRemoval remove_autostart_entry();

// The command line of the entry in place, or "" when there is none.
std::string read_autostart_command();

}  // namespace vireluz
