#include "config/config_files.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <initializer_list>

#include "config/ini_file.h"
#include "config/setting_keys.h"

namespace vireluz {

namespace {

// A grid holds at most this many rows: a ROWCOUNT beyond it (a damaged file)
// would otherwise ask for gigabytes.
constexpr int kMaxGridRows = 10000;

constexpr char kEscape = '\x10';

const Text kGeneral = "GENERAL";
const Text kColCount = "COLCOUNT";
const Text kRowCount = "ROWCOUNT";

std::string with_slash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir.push_back('/');
  return dir;
}

void make_dirs(const std::string& dir) {
  for (std::size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos == dir.size() || dir[pos] == '/') {
      const std::string part = dir.substr(0, pos);
      if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return;
    }
  }
}

// A folder named "bin" holds installed programs (a prefix's bin/, shared with
// others): a program copied into a folder of its own keeps its files beside
// it, an installed one keeps them in the user's configuration folder.
bool is_installed_program_dir(std::string dir) {
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  const auto slash = dir.find_last_of('/');
  return (slash == std::string::npos ? dir : dir.substr(slash + 1)) == "bin";
}

std::string home_dir() {
  if (const char* h = std::getenv("HOME"); h && *h) return h;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/tmp";
}

// Loads one grid into `rows`, whose row type has a fixed column count. The
// counts follow the file (a count that is not an integer keeps the current
// value, a count below 1 becomes 1); columns beyond the file's COLCOUNT are
// empty. Returns the row count, or -1 when [GENERAL] lacks either count.
template <class Row>
int load_grid(const IniFile& ini, std::vector<Row>& rows) {
  const auto col_text = ini.get(kGeneral, kColCount);
  const auto row_text = ini.get(kGeneral, kRowCount);
  if (!col_text || !row_text) return -1;
  int cols = Row::kColumns;
  if (const auto v = parse_int(trim(*col_text))) cols = std::max(1, *v);
  int count = static_cast<int>(rows.size());
  if (const auto v = parse_int(trim(*row_text))) count = *v;
  count = std::clamp(count, 1, kMaxGridRows);
  rows.assign(static_cast<std::size_t>(count), Row{});
  for (int c = 0; c < Row::kColumns && c < cols; ++c) {
    const Text section = std::to_string(c);
    if (!ini.has_section(section)) continue;
    for (int r = 0; r < count; ++r)
      rows[static_cast<std::size_t>(r)][c] = ini.get(section, std::to_string(r)).value_or("");
  }
  return count;
}

bool is_row_key(const Text& key) {
  return !key.empty() && std::all_of(key.begin(), key.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
}

// Sets a key as the loader reads it back. Keys the Windows version did not
// have stay out of the file until chosen: at their default they are removed.
void put_key(const Settings& s, IniFile& ini, const SettingKey& k) {
  const Text value = file_text_of(s, k);
  if (k.write == KeyWrite::kWhenChosen && value == setting_default(k))
    ini.remove(k.section, k.key);
  else
    ini.set(k.section, k.key, value);
}

// Writes the keys of `section` of one file that `which` selects, in table
// order; those written when chosen go with their section.
void write_keys(const Settings& s, IniFile& ini, IniFileId file, std::string_view section, KeyWrite which) {
  for (const auto& k : setting_keys()) {
    const bool with_section = which == KeyWrite::kWithSection && k.write == KeyWrite::kWhenChosen;
    if (k.file == file && section == k.section && (k.write == which || with_section)) put_key(s, ini, k);
  }
}

// Writes a grid in the order of the Windows version: the counts in [GENERAL],
// the section's keys written after them ("TABLEAU VIDE", the table's state,
// set here in memory too), then the cells. Only non-empty cells are written;
// a row key of a column section that no cell writes now (a cell emptied, a row
// deleted since the last save) is removed, or it would come back into the
// table at the next load.
template <class Row>
void write_grid(const Settings& s, IniFile& ini, IniFileId file, std::string_view keys_section,
                std::vector<Row>& rows, Text& tableau_vide) {
  if (rows.empty()) rows.resize(1);
  ini.set(kGeneral, kColCount, std::to_string(Row::kColumns));
  ini.set(kGeneral, kRowCount, std::to_string(rows.size()));
  tableau_vide = rows[0][0].empty() ? "OUI" : "NON";
  write_keys(s, ini, file, keys_section, KeyWrite::kAfterGrid);
  for (int c = 0; c < Row::kColumns; ++c) {
    const Text section = std::to_string(c);
    for (std::size_t r = 0; r < rows.size(); ++r) {
      const Text& cell = rows[r][c];
      if (!cell.empty()) ini.set(section, std::to_string(r), cell);
    }
    for (const Text& key : ini.keys(section)) {
      if (!is_row_key(key)) continue;
      const auto r = parse_int(key);
      if (!r || *r < 0 || static_cast<std::size_t>(*r) >= rows.size() ||
          rows[static_cast<std::size_t>(*r)][c].empty() || key != std::to_string(*r))
        ini.remove(section, key);
    }
  }
}

// The scrambled keys of one file: bytes, not text (see IniFile::OpaqueKeys).
const IniFile::OpaqueKeys& secret_keys(IniFileId file) {
  static const auto keys_of = [](IniFileId f) {
    IniFile::OpaqueKeys out;
    for (const auto& k : setting_keys())
      if (k.file == f && k.kind == KeyKind::kSecret) out.emplace_back(k.section, k.key);
    return out;
  };
  static const IniFile::OpaqueKeys config = keys_of(IniFileId::kConfig), alert = keys_of(IniFileId::kAlert);
  return file == IniFileId::kConfig ? config : alert;
}

std::string path_of(const Settings& s, IniFileId file) {
  return s.ConfigDir + (file == IniFileId::kConfig ? kConfigFileName : kAlertFileName);
}

IniFile read_for_update(const Settings& s, IniFileId file) {
  return read_ini_for_update(path_of(s, file), secret_keys(file));
}

// Loads one file's keys into `s` (an unreadable file gives the defaults), and
// returns the file for its grid.
IniFile read_keys(Settings& s, IniFileId file) {
  IniFile ini;
  ini.read(path_of(s, file), nullptr, secret_keys(file));
  for (const auto& k : setting_keys())
    if (k.file == file) set_from_file(s, k, ini.get(k.section, k.key));
  return ini;
}

// Writes the keys of one section of vireluz_cfg.ini, in table order.
void write_config_section(const Settings& s, std::string_view section) {
  IniFile ini = read_for_update(s, IniFileId::kConfig);
  write_keys(s, ini, IniFileId::kConfig, section, KeyWrite::kWithSection);
  ini.save(path_of(s, IniFileId::kConfig));
}

// The value chosen by `index` in a list of values; an index outside the list
// picks the first value.
int chosen(int index, std::initializer_list<int> values) {
  return index > 0 && index < static_cast<int>(values.size()) ? values.begin()[index] : *values.begin();
}

}  // namespace

std::string choose_config_dir(const std::string& program_dir, const std::string& override_dir) {
  if (!override_dir.empty()) return with_slash(override_dir);
  if (!program_dir.empty() && !is_installed_program_dir(program_dir) &&
      ::access(program_dir.c_str(), W_OK | X_OK) == 0)
    return with_slash(program_dir);
  std::string base;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && x[0] == '/')
    base = x;
  else
    base = home_dir() + "/.config";
  const std::string dir = with_slash(base) + "vireluz";
  make_dirs(dir);
  return with_slash(dir);
}

void lire_configuration(Settings& s) {
  const IniFile alert = read_keys(s, IniFileId::kAlert);
  if (s.mail.TABLEAU_VIDE != "OUI") {
    const int rows = load_grid(alert, s.alert_table);
    if (rows > 0) s.AlertRowCount = rows;
  }

  const IniFile cfg = read_keys(s, IniFileId::kConfig);
  calcul_heure_bdpv(s);
  if (s.cosm.TABLEAU_VIDE != "OUI") {
    const int rows = load_grid(cfg, s.cosm_table);
    if (rows > 0) s.CosmRowCount = rows;
  } else {
    s.CosmRowCount = 0;
  }
  calcul_periode_enr(s);
  calcul_intervalle_cosm(s);
}

void calcul_periode_enr(Settings& s) {
  // 1 ms stands for "at each full hour".
  s.RecordPeriodMs = chosen(s.prg.PERIODE_ENR, {60000, 300000, 600000, 900000, 1800000, 3600000, 1, 10000});
}

void calcul_intervalle_cosm(Settings& s) {
  s.CosmIntervalMinutes = chosen(s.cosm.Interval_envoi, {1, 3, 5, 10, 15, 60});
}

// "hhmm" (or "hh:mm"). Anything else, or a time that does not exist (2460),
// gives 23:59, the default time: the daily upload still goes out once a day.
void calcul_heure_bdpv(Settings& s) {
  const std::string_view t = trim(s.bdpv.heure_envoie_BDPV);
  std::string digits;
  if (t.size() == 4)
    digits = t;
  else if (t.size() == 5 && t[2] == ':')
    digits = std::string(t.substr(0, 2)) + std::string(t.substr(3));
  const bool all_digits = digits.size() == 4 && std::all_of(digits.begin(), digits.end(),
                                                            [](char c) { return c >= '0' && c <= '9'; });
  int hour = 23, minute = 59;
  if (all_digits) {
    const int h = (digits[0] - '0') * 10 + (digits[1] - '0');
    const int m = (digits[2] - '0') * 10 + (digits[3] - '0');
    if (h <= 23 && m <= 59) {
      hour = h;
      minute = m;
    }
  }
  s.BdpvHour = hour;
  s.BdpvMinute = minute;
}

Text crypt_decrypt_xor(const Text& text, const Text& key) {
  if (key.empty()) return text;
  Text out = text;
  for (std::size_t j = 0; j < out.size(); ++j) out[j] = static_cast<char>(out[j] ^ key[j % key.size()]);
  return out;
}

Text scramble_secret(const Text& clear) {
  const Text x = crypt_decrypt_xor(clear, kScrambleKey);
  Text out;
  out.reserve(x.size());
  for (char c : x) {
    // A quote in first place is escaped as well: the reader would take it
    // and a quote at the end as a pair around the value and drop them.
    const bool leading_quote = out.empty() && (c == '"' || c == '\'');
    if (c == '\0' || c == '\t' || c == '\n' || c == '\r' || c == ' ' || c == kEscape || leading_quote) {
      out.push_back(kEscape);
      out.push_back(static_cast<char>(c ^ 0x40));
    } else {
      out.push_back(c);
    }
  }
  return out;
}

Text unscramble_secret(const Text& stored) {
  Text x;
  x.reserve(stored.size());
  for (std::size_t i = 0; i < stored.size(); ++i) {
    if (stored[i] == kEscape && i + 1 < stored.size())
      x.push_back(static_cast<char>(stored[++i] ^ 0x40));
    else
      x.push_back(stored[i]);
  }
  return crypt_decrypt_xor(x, kScrambleKey);
}

void write_config_prg(const Settings& s) { write_config_section(s, "CONFIG_PRG"); }
void write_config_bdpv(const Settings& s) { write_config_section(s, "CONFIG_BDPV"); }
void write_config_mqtt(const Settings& s) { write_config_section(s, "CONFIG_MQTT"); }
void write_config_web(const Settings& s) { write_config_section(s, "CONFIG_WEB"); }

void write_setting(const Settings& s, const SettingKey& k) {
  IniFile ini = read_for_update(s, k.file);
  put_key(s, ini, k);
  ini.save(path_of(s, k.file));
}

void write_config_cosm(Settings& s) {
  IniFile ini = read_for_update(s, IniFileId::kConfig);
  write_keys(s, ini, IniFileId::kConfig, "CONFIG_COSM", KeyWrite::kWithSection);
  write_grid(s, ini, IniFileId::kConfig, "CONFIG_COSM", s.cosm_table, s.cosm.TABLEAU_VIDE);
  ini.save(path_of(s, IniFileId::kConfig));
}

void write_alert_file(Settings& s) {
  IniFile ini = read_for_update(s, IniFileId::kAlert);
  write_keys(s, ini, IniFileId::kAlert, "CONFIG_MAIL", KeyWrite::kWithSection);
  write_keys(s, ini, IniFileId::kAlert, "CONFIG_ALERTE", KeyWrite::kWithSection);
  for (auto& row : s.alert_table) row[11] = "0";  // every rule re-armed
  write_grid(s, ini, IniFileId::kAlert, "CONFIG_MAIL", s.alert_table, s.mail.TABLEAU_VIDE);
  ini.save(path_of(s, IniFileId::kAlert));
}

}  // namespace vireluz
