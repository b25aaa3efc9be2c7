#pragma once
// A simulated electricity meter: it sends the TIC frames of a real meter of
// the configured kind, with values that evolve with the simulated time it is
// given. Consumption follows a daily profile (night base load, morning and
// evening peaks, the water heater at the start of off-peak hours), production
// follows the sun (zero at night); currents follow the power (P / 230 V per
// phase) and the energy indexes grow with the energy drawn or produced,
// integrated exactly in Wh. Everything is deterministic for a seed.
//
// The frames never pass for a real meter's: the default addresses are
// "SIMU00000001" and "SIMU00000002" (12 characters, as ADCO and ADSC are),
// the standard-mode PRM is "SIMULATION000n".
#include <array>
#include <cstdint>
#include <string>

#include "common/clock.h"

namespace vireluz {

struct Settings;

enum class SimTicMode { HISTORIC, STANDARD };
// The tariff option the meter runs. PRODUCTEUR is the standard-mode producer
// meter; in historic mode a producer is a BASE meter counting the production.
enum class SimTariff { HC, BASE, EJP, TEMPO, PRODUCTEUR };

struct VirtualMeterConfig {
  SimTicMode mode = SimTicMode::HISTORIC;
  SimTariff option = SimTariff::HC;
  // The power follows the sun and the index counts the production (always so
  // with PRODUCTEUR; a historic production meter is BASE with solar set).
  bool solar = false;
  bool three_phase = false;
  // Historic: ISOUSC in A; standard: PREF in kVA. 0: a typical value.
  int subscribed = 0;
  // Solar: the power at noon on a clear summer day, VA. Consumption: the
  // evening peak before noise, VA. 0: a typical value.
  int peak_va = 0;
  // 12 characters; empty: "SIMU0000000" followed by the meter number.
  std::string address;
  // The meter is not wired: it sends nothing.
  bool unplugged = false;
  // Probability, for every byte of a frame, of one flipped data bit.
  double corruption = 0.0;
  // Probability, for every frame, that two different digits of one index or
  // current value swap places, the checksum made to hold again (an error
  // that the checksum cannot see).
  double swap = 0.0;
  // Seconds after the meter's first frame at which its indexes start again
  // from a low value, as a replaced meter's do (0: never).
  int replaced_after_s = 0;
  std::uint64_t seed = 1;

  bool produces() const { return solar || option == SimTariff::PRODUCTEUR; }
  int baud() const { return mode == SimTicMode::HISTORIC ? 1200 : 9600; }
};

// The configuration that follows the program's settings: meter 1 a
// consumption meter on the off-peak option, meter 2 a solar production meter
// (historic: BASE counting the production; standard: PRODUCTEUR), in the TIC
// modes and phase modes of MODE_TIC_cpt1/cpt2 and MODE_MONO_TRI(_cpt2).
VirtualMeterConfig default_meter_config(int meter, const Settings& settings);

// What the meter measured for its last frame.
struct MeterState {
  int power_va = 0;                         // drawn (consumption) or produced (solar)
  int drawn_va = 0;                         // a producer's own draw (SINSTS), VA
  std::array<int, 3> phase_va{};            // per phase (only [0] in single phase)
  std::array<int, 3> current_a{};           // P / 230 per phase
  std::array<int, 3> imax_a{};              // largest current sent so far
  std::array<int, 3> voltage_v{};           // 230 V with a little noise
  std::array<std::int64_t, 10> index_wh{};  // supplier indexes 1..10 (EASF01..EASF10)
  std::int64_t injected_wh = 0;             // producer: EAIT
  int period = 0;                           // current tariff period, 0-based index number
  int today_colour = 0;                     // Tempo: 1 blue, 2 white, 3 red; else 0
  int tomorrow_colour = 0;                  // Tempo: 0 not announced yet
  bool ejp_notice = false;                  // EJP: the 30-minute notice is on
  bool ejp_peak = false;                    // EJP: mobile peak hours
};

class VirtualMeter {
 public:
  explicit VirtualMeter(VirtualMeterConfig config, int meter_number = 1);

  const VirtualMeterConfig& config() const { return config_; }
  // Changes the kind of meter; the indexes and the time line are kept.
  void set_config(const VirtualMeterConfig& config);

  // The frame the meter sends at that local time (STX ... ETX), corrupted at
  // the configured rate. The energy between the previous frame and this one
  // is counted at the power of the previous frame.
  std::string next_frame(const DateTime& local_now);

  const MeterState& state() const { return state_; }
  const std::string& address() const { return address_; }
  int baud() const { return config_.baud(); }

  // The index that counts the energy at the moment (0-based), for tests.
  static int period_at(const VirtualMeterConfig& config, const DateTime& local, std::uint64_t seed);

 private:
  struct DayMax {
    int va = 0;
    std::int64_t at_ms = 0;  // local time of the maximum
  };

  void integrate(std::int64_t from_ms, std::int64_t to_ms);
  void add_energy(std::int64_t va_times_ms, bool produced, int period);
  void measure(std::int64_t local_ms);
  void track_history(std::int64_t local_ms);
  std::string historic_frame();
  std::string standard_frame(std::int64_t local_ms);
  void corrupt(std::string& frame);
  void swap_digits(std::string& frame);
  void replace_meter();
  double uniform();

  VirtualMeterConfig config_;
  int number_;
  std::string address_;
  std::uint64_t rng_;
  MeterState state_;
  bool started_ = false;
  bool replaced_ = false;
  std::int64_t first_ms_ = 0;
  std::int64_t last_ms_ = 0;
  std::int64_t remainder_drawn_ = 0;  // VA*ms not yet counted as a whole Wh
  std::int64_t remainder_produced_ = 0;
  int last_period_ = 0;
  int pmax_va_ = 0;
  DayMax max_today_, max_yesterday_, max_in_today_, max_in_yesterday_;
  std::int64_t max_day_ = -1;  // local day number of max_today_
  // Load-curve points (average power over the last half hour) and the average
  // voltage of the last ten minutes.
  std::int64_t cc_slot_ = -1;
  std::int64_t cc_energy_start_ = 0, cc_in_energy_start_ = 0;
  int ccasn_ = 0, ccasn_prev_ = 0, ccain_ = 0, ccain_prev_ = 0;
};

}  // namespace vireluz
