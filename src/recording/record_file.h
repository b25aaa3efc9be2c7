#pragma once
// The periodic record: the CSV record file (one fixed file or one file per
// day), its title and column header lines, the data part of each row, the
// production file, and the Timer_sauv tick that appends them.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/error.h"
#include "common/text.h"
#include "common/timer.h"
#include "config/settings.h"
#include "display/main_window_state.h"
#include "meter/meter_slot.h"

namespace vireluz {

// Today's day, month and year texts, cut from the dd/mm/yyyy short date.
struct DateParts {
  Text DayText, MonthText, YearText;
};
DateParts decoupe_date(const DateTime& t);

// A received value made fit for one line of a text file: every control
// character (CR, LF, tab and the other bytes below 0x20, and DEL), which a
// meter can send inside a value whose checksum holds, becomes a blank, so
// that the value cannot split or end the line it is written in.
Text line_text(Text value);

// A field written so that a spreadsheet reads it as one value: its control
// characters become blanks (line_text); a text holding a comma (the decimal
// separator of standard-mode indexes, "12345,678") or a double quote is
// quoted, its inner quotes doubled; any other text is kept byte for byte.
Text csv_field(const Text& value);

// The records' folder as a native path: REPERTOIR_ENR (Windows-1252) when set,
// else the run's data folder (Settings::ConfigDir), else `program_dir` (a
// recorder used before any configuration folder was chosen); never with a
// trailing '/'.
std::string record_folder(const Settings& s, const std::string& program_dir);

// "/enregistrements", "/vireluz2026-12-07" or "/vireluz07122026".
Text record_file_stem(const PrgSettings& prg, const DateTime& now);

// The two title lines and the column header line of a new record file,
// without line ends.
Text record_title1();
Text record_title2(const Settings& s, const std::array<MeterSlot, 2>& meters, const MainWindowState& window);
Text record_column_header(const Settings& s, const std::array<MeterSlot, 2>& meters);

// The data part of a row: the recorded values of meter 1 and, with two
// meters, meter 2, in the order of the column header.
Text ligne_donnees(const Settings& s, const std::array<MeterSlot, 2>& meters);

// The production file's header and line for this tick; `line` is empty when
// nothing is to be written (production file off, no value known).
struct ProductionLine {
  Text header;
  Text line;
};
ProductionLine production_line(const Settings& s, const std::array<MeterSlot, 2>& meters,
                               const DateTime& now);

// Milliseconds from `now` to the next full hour, from its minutes and seconds.
int ms_to_next_full_hour(const DateTime& now);

// The record's state and its timer. Reads the settings, the meters and the
// main window's option texts by reference; calls reset_module when two
// successive rows carry the same data.
// The last column-header line of a record file ("date,hh:mm:ss,..."), without
// its line end; empty when the file has none or cannot be read.
Text last_column_header(const std::string& path);

class Recorder {
 public:
  struct Hooks {
    std::function<void()> reset_module;
  };

  Recorder(const Settings& settings, const std::array<MeterSlot, 2>& meters, const MainWindowState& window,
           const Clock& clock, TimerFactory& timers, Hooks hooks, std::string program_dir = {});

  // Reading starts: first interval of Timer_sauv (the time to the next full
  // hour in the on-the-hour mode), timer enabled, LastRecordData emptied.
  void debut_lecture();
  // Reading stops: Timer_sauv disabled.
  void fin_lecture();

  // The tick: one row in the record file, the watchdog, the production line.
  // Throws VireluzError when a file cannot be written.
  void Sauv_Timer();

  Timer& Timer_sauv() { return *timer_; }

  Text RecordFileStem;
  Text LastRecordData;
  bool FirstHourTickPending = false;
  DateParts date;  // DayText, MonthText, YearText of the last tick

 private:
  const Settings& settings_;
  const std::array<MeterSlot, 2>& meters_;
  const MainWindowState& window_;
  const Clock& clock_;
  Hooks hooks_;
  std::string program_dir_;
  std::unique_ptr<Timer> timer_;
  // The column header that the rows of the current file follow: a file keeps
  // its first header, and when a meter's kind or phase mode changes later (a
  // meter decoded only after the file was created, for example) a new header
  // line goes in before the next row, so that no row sits under columns that
  // are not its own.
  std::string header_path_;
  Text header_in_file_;
  // The last row this recorder wrote: its file, the file's size just after
  // it and its local time (ms). A tick within a second of it writes nothing.
  struct LastRow {
    std::string path;
    std::int64_t size_after = -1;
    std::int64_t local_ms = 0;
  } last_row_;
};

}  // namespace vireluz
