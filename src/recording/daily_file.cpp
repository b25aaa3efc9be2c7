#include "recording/daily_file.h"

#include <optional>
#include <vector>

#include "recording/durable_file.h"
#include "recording/record_columns.h"
#include "recording/record_file.h"
#include "upload/bdpv.h"
#include "upload/cosm.h"

namespace vireluz {

namespace {

constexpr int kMinuteMs = 60000;

bool two_meters(const Settings& s) { return s.prg.MODE_INTERFACE == 1; }

// The name of a meter's kind in the header: the kind's columns for a yellow
// meter 2 (a yellow meter 1 has a header of its own).
Text kind_token(TariffKind kind) {
  switch (kind) {
    case TariffKind::HC:
      return "HC.";
    case TariffKind::BASE:
      return "BAS";
    case TariffKind::EJP:
      return "EJP";
    case TariffKind::TEMPO:
      return "BBR";
    case TariffKind::PROD:
      return "PROD";
    case TariffKind::JAUNE:
      return "HPH(PM),HCH(HH),HPE,HCE";
    case TariffKind::NONE:
      break;
  }
  return "";
}

// Meter 2 takes part with two meters and a known kind.
bool meter2_recorded(const Settings& s, const MeterSlot& m2) {
  return two_meters(s) && m2.tariff_kind != TariffKind::NONE;
}

// Meter 1 of kind none, or whose indexes were never received (reading not
// started since launch), has nothing to record: writing its empty values
// would also fix a wrong header for the whole year.
bool meter1_has_values(const MeterSlot& m1) {
  for (const Text& v : index_values(m1))
    if (!v.empty()) return true;
  return false;
}

}  // namespace

Text daily_header(const Settings& s, const std::array<MeterSlot, 2>& meters) {
  const MeterSlot& m1 = meters[0];
  if (!meter1_has_values(m1)) return "";
  const Text status = two_meters(s) ? "CPT2 actif" : "pas de CPT2";
  const Text token2 = meter2_recorded(s, meters[1]) ? "," + kind_token(meters[1].tariff_kind) : "";
  if (m1.tariff_kind == TariffKind::JAUNE) return "JAUNE," + status + token2;
  const Text phases = m1.phase_mode == PhaseMode::TRI ? "3" : "1";
  return kind_token(m1.tariff_kind) + "," + phases + "," + csv_field(m1.ISOUSC) + "," + status + token2;
}

Text daily_line(const Settings& s, const std::array<MeterSlot, 2>& meters, const DateTime& now) {
  if (!meter1_has_values(meters[0])) return "";
  const DateParts d = decoupe_date(now);
  Text line = d.MonthText + "," + d.DayText + "," + join_fields(index_values(meters[0]));
  if (meter2_recorded(s, meters[1])) line += "," + join_fields(index_values(meters[1]));
  return line;
}

std::string daily_file_path(const Settings& s, const std::string& program_dir, const DateTime& now) {
  return record_folder(s, program_dir) + "/" + cp1252_to_utf8(decoupe_date(now).YearText) + "vireluz.csv";
}

DailyFile::DailyFile(const Settings& settings, const std::array<MeterSlot, 2>& meters, const Clock& clock,
                     TimerFactory& timers, Hooks hooks, std::string program_dir)
    : settings_(settings),
      meters_(meters),
      clock_(clock),
      hooks_(std::move(hooks)),
      program_dir_(std::move(program_dir)),
      timer_(timers.create_timer("Timer_donnees_jour", kMinuteMs)) {
  timer_->set_handler([this] { Timer_donnees_jourTimer(); });
  timer_->set_enabled(true);
}

void DailyFile::write_day_line(const DateTime& now) {
  const Text line = daily_line(settings_, meters_, now);
  if (line.empty()) return;
  append_lines_durably(
      daily_file_path(settings_, program_dir_, now),
      [&] { return daily_header(settings_, meters_) + "\r\n"; }, line + "\r\n");
}

void DailyFile::Timer_donnees_jourTimer() {
  // One reading of the clock for the hour, the minute and the date, so that
  // a tick at 23:59:59.999 cannot write the next day's date (or year).
  const DateTime now = clock_.local_now();

  std::optional<VireluzError> write_error;
  if (now.hour == 23 && now.minute == 59) {
    // A file that cannot be written must not cancel the day's other duties
    // (the BDPV upload runs at 23:59 by default): its error is reported once
    // they are done.
    try {
      write_day_line(now);
    } catch (const VireluzError& e) {
      write_error = e;
    }
    if (hooks_.ResetAfterDailyFile && hooks_.ResetAfterDailyFile() && hooks_.reset_module)
      hooks_.reset_module();
    if (hooks_.clear_graph) {
      hooks_.clear_graph(1);
      if (two_meters(settings_)) hooks_.clear_graph(2);
    }
  }

  // The upload triggers belong to the uploads; this tick only carries them.
  if (bdpv_minute_due(settings_, now) && hooks_.envoie_BDPV) hooks_.envoie_BDPV();
  if (cosm_minute_tick(CosmMinuteCount, settings_) && hooks_.send_Cosm) hooks_.send_Cosm();

  if (write_error) throw *write_error;
}

}  // namespace vireluz
