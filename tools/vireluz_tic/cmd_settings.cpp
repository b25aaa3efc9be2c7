// vireluz-tic settings [--config-dir DIR] [--set SECTION.KEY=VALUE]...
// [--show-secrets]: changes settings as their windows would, then prints the
// settings the program would run with, as JSON (texts converted to UTF-8).
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "commands.h"
#include "common/error.h"
#include "config/config_files.h"
#include "config/setting_keys.h"
#include "setting_changes.h"

namespace vireluz::tic {

namespace {

using Json = nlohmann::ordered_json;

std::string program_dir() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  std::string path(buf, static_cast<std::size_t>(n));
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

template <class Row>
Json table_json(const std::vector<Row>& rows) {
  Json out = Json::array();
  for (const auto& row : rows) {
    Json cells = Json::array();
    for (const auto& cell : row.cells) cells.push_back(cp1252_to_utf8(cell));
    out.push_back(std::move(cells));
  }
  return out;
}

Json settings_json(const Settings& s, bool show_secrets) {
  Json out;
  out["config_dir"] = s.ConfigDir;
  for (const auto& k : setting_keys()) {
    Json& value = out[k.section][k.key];
    if (k.kind == KeyKind::kInt) {
      value = setting_int(s, k);
    } else {
      const Text& text = setting_text(s, k);
      // An empty secret says only that none is set.
      if (k.kind == KeyKind::kSecret && !show_secrets && !text.empty())
        value = "********";
      else
        value = cp1252_to_utf8(text);
    }
  }
  out["derived"] = {{"RecordPeriodMs", s.RecordPeriodMs},
                    {"CosmIntervalMinutes", s.CosmIntervalMinutes},
                    {"BdpvHour", s.BdpvHour},
                    {"BdpvMinute", s.BdpvMinute},
                    {"CosmRowCount", s.CosmRowCount},
                    {"AlertRowCount", s.AlertRowCount}};
  out["cosm_table"] = table_json(s.cosm_table);
  out["alert_table"] = table_json(s.alert_table);
  return out;
}

void usage() {
  std::fputs("usage: vireluz-tic settings [--config-dir DIR] [--set SECTION.KEY=VALUE]... [--show-secrets]\n",
             stderr);
}

// Messages of the windows, one line each on standard error.
class StderrMessages : public UserMessages {
 public:
  void show_message(const UserMessage& m) override {
    const std::string caption = m.caption.empty() ? "" : cp1252_to_utf8(m.caption) + " : ";
    std::fprintf(stderr, "vireluz-tic settings : %s%s\n", caption.c_str(), cp1252_to_utf8(m.text).c_str());
  }
  void show_no_tic(const Text&) override {}
};

// A folder of its own under the temporary folder, removed with its files.
class ScratchDir {
 public:
  ScratchDir() {
    std::error_code ec;
    std::string tmpl = (std::filesystem::temp_directory_path(ec) / "vireluz-tic.XXXXXX").string();
    if (!ec && ::mkdtemp(tmpl.data())) path_ = tmpl + "/";
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The changes, all or nothing: they are first tried on a copy of the
// settings in a scratch folder, so that a value refused by the last window
// leaves the files of the earlier ones untouched. Then the real files.
bool change_settings(Settings& s, const std::vector<SettingChange>& changes) {
  StderrMessages messages;
  {
    ScratchDir scratch;
    if (scratch.path().empty()) throw VireluzError(w("Impossible de créer un dossier temporaire."));
    Settings trial = s;
    trial.ConfigDir = scratch.path();
    RecordingMessages refused;
    if (!apply_setting_changes(trial, changes, refused)) {
      for (const auto& m : refused.messages) messages.show_message(m);
      return false;
    }
  }
  if (!apply_setting_changes(s, changes, messages)) return false;
  // What the program will read.
  Settings written;
  written.ConfigDir = s.ConfigDir;
  lire_configuration(written);
  s = written;
  return true;
}

}  // namespace

int cmd_settings(int argc, char** argv) {
  std::string config_dir;
  bool show_secrets = false;
  std::vector<SettingChange> changes;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--config-dir" && i + 1 < argc) {
      config_dir = argv[++i];
      if (config_dir.empty()) {
        std::fputs("vireluz-tic settings : --config-dir attend un dossier\n", stderr);
        return 2;
      }
    } else if (arg == "--set" && i + 1 < argc) {
      std::string error;
      const auto change = parse_setting_change(argv[++i], error);
      if (!change) {
        std::fprintf(stderr, "vireluz-tic settings : --set %s\n", error.c_str());
        return 2;
      }
      changes.push_back(*change);
    } else if (arg == "--show-secrets") {
      show_secrets = true;
    } else if (arg == "-h" || arg == "--help") {
      usage();
      return 0;
    } else if (arg == "--set" || arg == "--config-dir") {
      std::fprintf(stderr, "vireluz-tic settings : %s attend une valeur\n", argv[i]);
      return 2;
    } else {
      std::fprintf(stderr, "vireluz-tic settings : option inconnue « %s »\n", argv[i]);
      usage();
      return 2;
    }
  }
  Settings s;
  s.ConfigDir = choose_config_dir(program_dir(), config_dir);
  if (!changes.empty()) {
    // A service's folder may be set up before its first start (systemd then
    // gives it to the service's user).
    std::error_code ec;
    std::filesystem::create_directories(s.ConfigDir, ec);
  }
  try {
    lire_configuration(s);
    if (!changes.empty() && !change_settings(s, changes)) return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vireluz-tic settings : %s\n", cp1252_to_utf8(e.what()).c_str());
    return 1;
  }
  std::cout << settings_json(s, show_secrets).dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
  return 0;
}

}  // namespace vireluz::tic
