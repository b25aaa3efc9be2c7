// Fuzz target: loading the two INI files, the writers, and loading again.
//
// Input: the bytes of vireluz_cfg.ini, then the marker below, then the bytes
// of alertes_mails.ini. Without the marker both files get the whole input.
// Each file is first loaded and saved twice by the INI parser alone, which
// must settle on one text with CR LF line ends. Then, after the first load of
// the settings, every writer runs on them (each one rewrites its part of the
// fuzzed file); the files written must have CR LF line ends only, and a
// second load must give back every value that was written.
// A file whose ROWCOUNT asks for more than kMaxRows rows stops after the
// parser's checks: the loader clamps the count (a unit test covers that), and
// a table of thousands of rows made each such input cost hundreds of
// milliseconds, which starved the rest of the run.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "common/error.h"
#include "config/config_files.h"
#include "config/ini_file.h"
#include "config/setting_keys.h"
#include "config/settings.h"

namespace {

using namespace vireluz;

constexpr std::string_view kMarker = "\n--alertes_mails.ini--\n";
constexpr int kMaxRows = 64;

// The folder lives until the process ends (never destroyed, so the exit hook
// that removes it can still read its name).
const std::string& work_dir() {
  static const std::string& dir = *new std::string([] {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vireluz_fuzz_ini_XXXXXX").string();
    if (!mkdtemp(tmpl.data())) std::abort();
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(work_dir(), ec);
    });
    return tmpl + "/";
  }());
  return dir;
}

void write_file(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) std::abort();
}

[[noreturn]] void fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "fuzz_ini: %s: %s\n", what, detail.c_str());
  std::abort();
}

// A text that a file line carries unchanged (no NUL, CR or LF).
bool line_safe(const Text& t) { return t.find_first_of(std::string("\0\r\n", 3)) == Text::npos; }

// Every line end of a written file is CR LF: no CR without its LF, no LF
// without its CR.
void check_line_ends(const char* what, const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))
      fail(what, "bare CR at byte " + std::to_string(i));
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
      fail(what, "bare LF at byte " + std::to_string(i));
  }
}

std::string file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string without_blank_lines(const std::string& text) {
  std::string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size() - 1;
    const std::string_view line(text.data() + pos, end + 1 - pos);
    if (line.find_first_not_of(" \t\r\n") != std::string_view::npos) out.append(line);
    pos = end + 1;
  }
  return out;
}

template <class Row>
void same_table(const char* name, const std::vector<Row>& a, const std::vector<Row>& b) {
  if (a.size() != b.size())
    fail(name, "row count " + std::to_string(a.size()) + " then " + std::to_string(b.size()));
  for (std::size_t r = 0; r < a.size(); ++r)
    for (int c = 0; c < Row::kColumns; ++c)
      if (line_safe(a[r][c]) && profile_value(a[r][c]) != b[r][c])
        fail(name, "cell " + std::to_string(r) + "," + std::to_string(c) + " '" + a[r][c] + "' then '" +
                       b[r][c] + "'");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  std::string_view cfg = in, alert = in;
  if (const auto m = in.find(kMarker); m != std::string_view::npos) {
    cfg = in.substr(0, m);
    alert = in.substr(m + kMarker.size());
  }
  // The parser on its own: load, save, load, save. The first save may move
  // blank lines (and lines of blanks) around comments; every other line
  // stays, the second save gives the first one's text again, and every line
  // ends with CR LF.
  bool large = false;
  const bool same_bytes = alert.data() == cfg.data();  // without the marker: checked once
  for (const std::string_view file : {cfg, alert}) {
    IniFile ini;
    ini.parse(std::string(file));
    if (const auto rows = ini.get("GENERAL", "ROWCOUNT"))
      large |= parse_int(trim(*rows)).value_or(0) > kMaxRows;
    const std::string once = ini.serialize();
    check_line_ends("first save", once);
    IniFile again;
    again.parse(once);
    const std::string twice = again.serialize();
    check_line_ends("second save", twice);
    if (without_blank_lines(twice) != without_blank_lines(once)) fail("serialize", "second save differs");
    IniFile third;
    third.parse(twice);
    if (third.serialize() != twice) fail("serialize", "third save differs from the second");
    if (same_bytes) break;
  }
  if (large) return 0;

  const std::string& dir = work_dir();
  write_file(dir + kConfigFileName, cfg);
  write_file(dir + kAlertFileName, alert);

  Settings first;
  first.ConfigDir = dir;
  lire_configuration(first);

  try {
    write_config_prg(first);
    write_config_bdpv(first);
    write_config_cosm(first);
    write_alert_file(first);
  } catch (const VireluzError& e) {
    fail("writer", e.what());
  }

  check_line_ends("written vireluz_cfg.ini", file_bytes(dir + kConfigFileName));
  check_line_ends("written alertes_mails.ini", file_bytes(dir + kAlertFileName));

  Settings second;
  second.ConfigDir = dir;
  lire_configuration(second);

  for (const SettingKey& k : setting_keys()) {
    if (k.write == KeyWrite::kReadOnly) continue;
    const std::string name = std::string(k.section) + "/" + k.key;
    if (k.kind == KeyKind::kInt) {
      if (setting_int(first, k) != setting_int(second, k))
        fail(name.c_str(),
             std::to_string(setting_int(first, k)) + " then " + std::to_string(setting_int(second, k)));
    } else {
      const Text& a = setting_text(first, k);
      const Text& b = setting_text(second, k);
      // Secrets are escaped and must come back byte for byte; plain texts when
      // a line can hold them, as a value written unchanged reads (blanks at
      // the ends and one pair of quotes around it dropped).
      if (k.kind == KeyKind::kSecret ? a != b : line_safe(a) && profile_value(a) != b)
        fail(name.c_str(), "'" + a + "' then '" + b + "'");
    }
  }
  if (first.mail.TABLEAU_VIDE != "OUI") same_table("alert table", first.alert_table, second.alert_table);
  if (first.cosm.TABLEAU_VIDE != "OUI") same_table("cosm table", first.cosm_table, second.cosm_table);
  return 0;
}
