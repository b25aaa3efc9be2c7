#include "config/autostart.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vireluz {
namespace {

// mkdir -p; true when the folder exists afterwards.
bool make_dirs(const std::string& path) {
  if (path.empty()) return false;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const auto slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !make_dirs(path.substr(0, slash))) return false;
  return ::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

bool is_dir(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Escapes of a desktop-entry string value: backslash, newlines, tabs.
std::string escape_string_value(const std::string& s) {
  std::string out;
  for (char c : s) {
    const char code = c == '\\' ? '\\' : c == '\n' ? 'n' : c == '\t' ? 't' : c == '\r' ? 'r' : '\0';
    if (code != '\0') out += '\\';
    out += code != '\0' ? code : c;
  }
  return out;
}

}  // namespace

std::string autostart_dir() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg == '/') return std::string(xdg) + "/autostart";
  const char* home = std::getenv("HOME");
  if (home && *home) return std::string(home) + "/.config/autostart";
  return {};
}

std::string autostart_entry_path() {
  const std::string dir = autostart_dir();
  return dir.empty() ? std::string() : dir + "/" + kAutostartEntryName + ".desktop";
}

namespace {

// One argument of an Exec line: quoted when it holds blanks or reserved
// characters, a literal percent sign written twice (field codes start with %).
std::string exec_argument(const std::string& value) {
  bool plain = !value.empty();
  for (unsigned char c : value) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
                    c == '.' || c == '_' || c == '-' || c == '+' || c == ',' || c >= 0x80;
    if (!ok) plain = false;
  }
  std::string arg;
  if (plain) {
    arg = value;
  } else {
    // Quoted argument: ", `, $ and \ take a backslash inside the quotes.
    arg = "\"";
    for (char c : value) {
      if (c == '"' || c == '`' || c == '$' || c == '\\') arg += '\\';
      arg += c;
    }
    arg += '"';
  }
  std::string out;
  for (char c : arg) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

}  // namespace

std::string autostart_command(const std::string& program_path, const std::string& config_dir) {
  std::string out = exec_argument(program_path) + " start";
  if (!config_dir.empty()) out += " --config-dir " + exec_argument(config_dir);
  return out;
}

bool write_autostart_entry(const std::string& program_path, const std::string& config_dir) {
  const std::string dir = autostart_dir();
  if (!make_dirs(dir)) return false;
  const std::string path = autostart_entry_path();
  const std::string tmp = path + ".tmp";
  {
    std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
    if (!f) return false;
    f << "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=VIRELUZ 2 compteurs\n"
         "Comment=Lecture automatique des compteurs au d\xC3\xA9marrage\n"
         "Exec="
      << escape_string_value(autostart_command(program_path, config_dir))
      << "\n"
         "Icon=vireluz\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
    f.flush();
    if (!f) {
      f.close();
      std::remove(tmp.c_str());
      return false;
    }
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

AutostartRemoval remove_autostart_entry() {
  if (!is_dir(autostart_dir())) return AutostartRemoval::NoFolder;
  return ::unlink(autostart_entry_path().c_str()) == 0 ? AutostartRemoval::Removed : AutostartRemoval::Failed;
}

std::string read_autostart_command() {
  std::ifstream f(autostart_entry_path(), std::ios::binary);
  std::string line;
  while (std::getline(f, line)) {
    if (line.rfind("Exec=", 0) == 0) {
      std::string v = line.substr(5), out;
      for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '\\' && i + 1 < v.size()) {
          const char n = v[++i];
          out += n == 'n' ? '\n' : n == 't' ? '\t' : n == 'r' ? '\r' : n;
        } else {
          out += v[i];
        }
      }
      return out;
    }
  }
  return {};
}

}  // namespace vireluz
