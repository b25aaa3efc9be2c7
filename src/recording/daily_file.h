#pragma once
// The yearly daily file (one line per day with the closing indexes, written
// in the minute 23:59) and the other duties of the minute timer
// Timer_donnees_jour: the daily interface reset, the graph clearing and the
// BDPV and Cosm upload triggers.
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "common/clock.h"
#include "common/error.h"
#include "common/text.h"
#include "common/timer.h"
#include "config/settings.h"
#include "meter/meter_slot.h"

namespace vireluz {

// The header line of a new yearly file, without line end; empty when meter 1
// has nothing to record.
Text daily_header(const Settings& s, const std::array<MeterSlot, 2>& meters);
// The day line (month, day, meter 1's indexes, then meter 2's), without line
// end; empty when meter 1 has nothing to record.
Text daily_line(const Settings& s, const std::array<MeterSlot, 2>& meters, const DateTime& now);
// "<folder>/<year>vireluz.csv", a native path.
std::string daily_file_path(const Settings& s, const std::string& program_dir, const DateTime& now);

class DailyFile {
 public:
  struct Hooks {
    std::function<bool()> ResetAfterDailyFile;
    std::function<void()> reset_module;
    std::function<void(int graph)> clear_graph;  // 1: Graphique1, 2: Graphique2
    std::function<void()> envoie_BDPV;
    std::function<void()> send_Cosm;
  };

  // Creates Timer_donnees_jour (60000 ms) and enables it.
  DailyFile(const Settings& settings, const std::array<MeterSlot, 2>& meters, const Clock& clock,
            TimerFactory& timers, Hooks hooks, std::string program_dir);

  // The minute tick. Throws VireluzError when the day line cannot be written
  // (after the tick's other duties have run).
  void Timer_donnees_jourTimer();

  Timer& Timer_donnees_jour() { return *timer_; }

  // Minutes counted towards the next Cosm upload.
  int CosmMinuteCount = 0;

 private:
  void write_day_line(const DateTime& now);

  const Settings& settings_;
  const std::array<MeterSlot, 2>& meters_;
  const Clock& clock_;
  Hooks hooks_;
  std::string program_dir_;
  std::unique_ptr<Timer> timer_;
};

}  // namespace vireluz
