#include "recording/record_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "recording/durable_file.h"
#include "recording/record_columns.h"

namespace vireluz {

namespace {

constexpr int kOnTheHourMarker = 1;
constexpr int kHourMs = 3600000;
constexpr int kTenSecondPeriodIndex = 7;

bool two_meters(const Settings& s) { return s.prg.MODE_INTERFACE == 1; }

std::vector<Text> index_names(TariffKind kind, int meter) {
  const bool m2 = meter == 2;
  switch (kind) {
    case TariffKind::HC:
      return m2 ? std::vector<Text>{"HP2", "HC2"} : std::vector<Text>{"HP", "HC"};
    case TariffKind::BASE:
      return {m2 ? "BASE2" : "BASE"};
    case TariffKind::EJP:
      return m2 ? std::vector<Text>{"EJPHN2", "EJPHPM2"} : std::vector<Text>{"EJPHN", "EJPHPM"};
    case TariffKind::TEMPO:
      if (m2) return {"BBRHCJB2", "BBRHPJB2", "BBRHCJW2", "BBRHPJW2", "BBRHCJR2", "BBRHPJR2"};
      return {"BBRHCJB", "BBRHPJB", "BBRHCJW", "BBRHPJW", "BBRHCJR", "BBRHPJR"};
    case TariffKind::PROD:
      return {"PROD"};
    case TariffKind::JAUNE:
      if (m2) return {"HPH2(PM)", "HCH2(HH)", "HPE2", "HCE2"};
      return {"HPH(PM)", "HCH(HH)", "HPE", "HCE"};
    case TariffKind::NONE:
      break;
  }
  return {};
}

std::vector<Text> current_names(const MeterSlot& m, int meter, bool with_ptec) {
  const bool m2 = meter == 2;
  std::vector<Text> names;
  switch (m.phase_mode) {
    case PhaseMode::TRI:
      if (m2)
        names = {"I2 ph 1", "I2 ph 2", "I2 ph 3", "Pap VA cpt2"};
      else
        names = {"I ph 1", "I ph 2", "I ph 3", "Pap VA"};
      break;
    case PhaseMode::PAPP_ONLY:
      names = {m2 ? "Pap VA cpt2" : "Pap VA"};
      break;
    case PhaseMode::MONO:
      names = m2 ? std::vector<Text>{"I2", "Pap VA cpt2"} : std::vector<Text>{"I", "Pap VA"};
      break;
  }
  if (with_ptec) names.push_back("PTEC");
  return names;
}

std::vector<Text> current_values(const MeterSlot& m, bool with_ptec) {
  std::vector<Text> values;
  switch (m.phase_mode) {
    case PhaseMode::TRI:
      values = {m.IINST1, m.IINST2, m.IINST3, m.PAPP};
      break;
    case PhaseMode::PAPP_ONLY:
      values = {m.PAPP};
      break;
    case PhaseMode::MONO:
      values = {m.IINST, m.PAPP};
      break;
  }
  if (with_ptec) values.push_back(m.PTEC);
  return values;
}

template <typename T>
void append(std::vector<T>& to, const std::vector<T>& from) {
  to.insert(to.end(), from.begin(), from.end());
}

Text meter2_option_name(TariffKind kind) {
  switch (kind) {
    case TariffKind::HC:
      return "Heures Creuses";
    case TariffKind::BASE:
      return "Base";
    case TariffKind::EJP:
      return "EJP";
    case TariffKind::TEMPO:
      return "TEMPO";
    case TariffKind::PROD:
      return "Production";
    default:
      return "";
  }
}

// A text of digits, possibly with a decimal part after ',' or '.', without
// the leading zeros of its integer part; empty when the text is no number.
Text without_leading_zeros(const Text& v) {
  std::size_t sep = v.find_first_of(",.");
  const std::size_t int_end = sep == Text::npos ? v.size() : sep;
  if (int_end == 0) return "";
  for (std::size_t i = 0; i < v.size(); ++i)
    if (i != sep && (v[i] < '0' || v[i] > '9')) return "";
  if (sep != Text::npos && sep + 1 == v.size()) return "";
  std::size_t first = 0;
  while (first + 1 < int_end && v[first] == '0') ++first;
  return v.substr(first);
}

}  // namespace

std::vector<Text> index_values(const MeterSlot& m) {
  switch (m.tariff_kind) {
    case TariffKind::HC:
      return {m.HCHP, m.HCHC};
    case TariffKind::BASE:
      return {m.BASE};
    case TariffKind::EJP:
      return {m.EJPHN, m.EJPHPM};
    case TariffKind::TEMPO:
      return {m.BBRHCJB, m.BBRHPJB, m.BBRHCJW, m.BBRHPJW, m.BBRHCJR, m.BBRHPJR};
    case TariffKind::PROD:
      return {m.EAIT};
    case TariffKind::JAUNE:
      return {m.ENERG[0], m.ENERG[1], m.ENERG[2], m.ENERG[3]};
    case TariffKind::NONE:
      break;
  }
  return {};
}

Text line_text(Text value) {
  std::replace_if(value.begin(), value.end(), is_control_char, ' ');
  return value;
}

Text csv_field(const Text& raw) {
  const Text value = line_text(raw);
  if (value.find_first_of(",\"") == Text::npos) return value;
  Text out = "\"";
  for (char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

Text join_fields(const std::vector<Text>& values) {
  Text out;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) out += ',';
    out += csv_field(values[i]);
  }
  return out;
}

DateParts decoupe_date(const DateTime& t) {
  const Text d = short_date(t);  // dd/mm/yyyy
  return DateParts{d.substr(0, 2), d.substr(3, 2), d.substr(6, 4)};
}

std::string record_folder(const Settings& s, const std::string& program_dir) {
  std::string dir = !s.prg.REPERTOIR_ENR.empty() ? cp1252_to_utf8(s.prg.REPERTOIR_ENR)
                    : !s.ConfigDir.empty()       ? s.ConfigDir
                                                 : program_dir;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  if (dir.empty()) dir = ".";
  if (dir == "/") dir.clear();  // the root: "/" + "/name" would double the slash
  return dir;
}

Text record_file_stem(const PrgSettings& prg, const DateTime& now) {
  if (prg.TYPE_NOM_FICHIER != 1) return "/enregistrements";
  if (prg.FORMAT_DATE == 1) {
    const DateParts d = decoupe_date(now);
    return "/vireluz" + d.YearText + "-" + d.MonthText + "-" + d.DayText;
  }
  Text compact;
  for (char c : short_date(now))
    if (c != '/') compact += c;
  return "/vireluz" + compact;
}

Text record_title1() { return "VIRELUZ 2 compteurs V 1.43J"; }

Text record_title2(const Settings& s, const std::array<MeterSlot, 2>& meters, const MainWindowState& window) {
  static const Text kIntensite = w(" - Intensité souscrite: ");
  const MeterSlot& m1 = meters[0];
  const MeterSlot& m2 = meters[1];
  Text d2;
  if (two_meters(s)) {
    if (m2.tariff_kind == TariffKind::JAUNE)
      d2 = " - cpt2 Type d'abonnement: " + window[FieldId::Edit_optarif_cpt2].text;
    else
      d2 = " -  ADCO cpt2: " + m2.ADCO + " - Type d'abonnement: " + meter2_option_name(m2.tariff_kind);
  }
  const Text& option1 = window[FieldId::Edit_optarif].text;
  if (m1.tariff_kind == TariffKind::PROD || m1.tariff_kind == TariffKind::JAUNE)
    return line_text("cpt1 Type d'abonnement: " + option1 + d2);
  return line_text("ADCO cpt1: " + m1.ADCO + kIntensite + m1.ISOUSC + " A - Type d'abonnement: " + option1 +
                   d2);
}

Text record_column_header(const Settings& s, const std::array<MeterSlot, 2>& meters) {
  const bool ptec = s.prg.PTEC_A_ENREGISTRER == 1;
  std::vector<Text> names = index_names(meters[0].tariff_kind, 1);
  append(names, current_names(meters[0], 1, ptec));
  if (two_meters(s)) {
    append(names, index_names(meters[1].tariff_kind, 2));
    append(names, current_names(meters[1], 2, ptec));
  }
  Text out = "date,hh:mm:ss";
  for (const Text& n : names) out += "," + n;
  return out;
}

Text ligne_donnees(const Settings& s, const std::array<MeterSlot, 2>& meters) {
  const bool ptec = s.prg.PTEC_A_ENREGISTRER == 1;
  // A meter of kind none has no index columns, but its currents and power
  // are recorded under their header columns like any other meter's.
  std::vector<Text> values = index_values(meters[0]);
  append(values, current_values(meters[0], ptec));
  if (two_meters(s)) {
    append(values, index_values(meters[1]));
    append(values, current_values(meters[1], ptec));
  }
  return join_fields(values);
}

ProductionLine production_line(const Settings& s, const std::array<MeterSlot, 2>& meters,
                               const DateTime& now) {
  ProductionLine p;
  if (s.prg.FICHIER_PROD_CSV != 1) return p;
  const Text stamp = short_date(now) + " " + long_time(now) + ";";
  if (!meters[0].EAIT.empty() || !meters[1].EAIT.empty()) {
    p.header = "horloge ; PROD";
    if (s.prg.CPT_PROD == 1) p.line = stamp + line_text(meters[0].EAIT);
    if (s.prg.CPT_PROD == 2) p.line = stamp + line_text(meters[1].EAIT);
  } else if (meters[1].tariff_kind == TariffKind::BASE) {
    // An index not received yet (or not a number) gives no line rather
    // than a made-up value.
    const Text value = without_leading_zeros(meters[1].BASE);
    p.header = "horloge ; base";
    if (!value.empty()) p.line = stamp + value;
  }
  return p;
}

int ms_to_next_full_hour(const DateTime& now) { return kHourMs - 60000 * now.minute - 1000 * now.second; }

Recorder::Recorder(const Settings& settings, const std::array<MeterSlot, 2>& meters,
                   const MainWindowState& window, const Clock& clock, TimerFactory& timers, Hooks hooks,
                   std::string program_dir)
    : settings_(settings),
      meters_(meters),
      window_(window),
      clock_(clock),
      hooks_(std::move(hooks)),
      program_dir_(std::move(program_dir)),
      timer_(timers.create_timer("Timer_sauv", 60000)) {
  timer_->set_handler([this] { Sauv_Timer(); });
}

Text last_column_header(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  Text line, last;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("date,hh:mm:ss,", 0) == 0) last = line;
  }
  return last;
}

void Recorder::debut_lecture() {
  if (settings_.RecordPeriodMs == kOnTheHourMarker) {
    timer_->set_interval(ms_to_next_full_hour(clock_.local_now()));
    FirstHourTickPending = true;
  } else {
    timer_->set_interval(settings_.RecordPeriodMs);
  }
  timer_->set_enabled(true);
  LastRecordData.clear();
}

void Recorder::fin_lecture() { timer_->set_enabled(false); }

void Recorder::Sauv_Timer() {
  const DateTime now = clock_.local_now();
  date = decoupe_date(now);
  RecordFileStem = record_file_stem(settings_.prg, now);
  const std::string folder = record_folder(settings_, program_dir_);
  const std::string path = folder + cp1252_to_utf8(RecordFileStem) + ".csv";

  const Text data = ligne_donnees(settings_, meters_);
  const Text columns = record_column_header(settings_, meters_);
  struct stat st {};
  const bool has_content = ::stat(path.c_str(), &st) == 0 && st.st_size > 0;

  // A tick that comes within a second of the row this recorder last wrote to
  // the file, which still ends with that row, writes nothing: after the event
  // loop was held up longer than the period, the late tick and the one on
  // schedule fire a few milliseconds apart and would give two rows with the
  // same time.
  const std::int64_t now_ms = ms_from_civil(now);
  if (has_content && path == last_row_.path && st.st_size == last_row_.size_after &&
      now_ms - last_row_.local_ms < 1000 && last_row_.local_ms - now_ms < 1000)
    return;
  if (!has_content)
    header_in_file_.clear();
  else if (path != header_path_)
    header_in_file_ = last_column_header(path);
  header_path_ = path;
  // A file whose columns are no longer those of the meters gets the new
  // column header before the row.
  const bool new_columns = has_content && header_in_file_ != columns;
  try {
    append_lines_durably(
        path,
        [&] {
          Text h;
          if (settings_.prg.ENTETE_CSV == 0)
            h = record_title1() + "\r\n" + record_title2(settings_, meters_, window_) + "\r\n";
          return h + columns + "\r\n";
        },
        (new_columns ? columns + "\r\n" : Text()) + short_date(now) + "," + long_time(now) + "," + data +
            "\r\n");
    header_in_file_ = columns;
    struct stat after {};
    last_row_ = {path, ::stat(path.c_str(), &after) == 0 ? static_cast<std::int64_t>(after.st_size) : -1,
                 now_ms};
  } catch (const VireluzError&) {
    // No row this time. In the on-the-hour mode the next try stays on the
    // full hour rather than falling at the first interval's odd offset.
    if (FirstHourTickPending) timer_->set_interval(ms_to_next_full_hour(now));
    throw;
  }

  // Watchdog: the same data as the last row means the interface delivers
  // nothing new; the 10-second mode is too fast for that test.
  if (data == LastRecordData && settings_.prg.PERIODE_ENR < kTenSecondPeriodIndex) {
    if (hooks_.reset_module) hooks_.reset_module();
  } else {
    LastRecordData = data;
  }

  // The row is on disk: the hourly rhythm starts now even if the production
  // file below fails.
  if (FirstHourTickPending) {
    timer_->set_interval(kHourMs);
    FirstHourTickPending = false;
  }

  const ProductionLine prod = production_line(settings_, meters_, now);
  if (!prod.line.empty()) {
    const std::string prod_folder = folder + "/prod";
    ensure_folder(prod_folder);
    append_lines_durably(
        prod_folder + "/prod.csv", [&] { return prod.header + "\r\n"; }, prod.line + "\r\n");
  }
}

}  // namespace vireluz
