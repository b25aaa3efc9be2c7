#include "simulator/virtual_meter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "config/settings.h"
#include "simulator/frame_builder.h"

namespace vireluz {

namespace {

constexpr std::int64_t kMinuteMs = 60000;
constexpr std::int64_t kHourMs = 3600000;
constexpr std::int64_t kDayMs = 86400000;
constexpr std::int64_t kWhInVaMs = kHourMs;  // 1 Wh = 1 VA during 3,600,000 ms

std::uint64_t mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

double hash01(std::uint64_t seed, std::uint64_t channel, std::int64_t n) {
  const std::uint64_t h = mix(mix(seed ^ (channel * 0xD6E8FEB86659FD93ull)) ^ static_cast<std::uint64_t>(n));
  return static_cast<double>(h >> 11) * 0x1.0p-53;
}

// Smooth noise in [0, 1): random values every `bucket` minutes, joined by a
// cosine ease so that the curve has no steps.
double value_noise(std::uint64_t seed, std::uint64_t channel, double minutes, double bucket) {
  const double x = minutes / bucket;
  const double k = std::floor(x);
  const double f = x - k;
  const double a = hash01(seed, channel, static_cast<std::int64_t>(k));
  const double b = hash01(seed, channel, static_cast<std::int64_t>(k) + 1);
  const double e = (1 - std::cos(f * std::numbers::pi)) / 2;
  return a + (b - a) * e;
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// Local civil-time helpers on milliseconds since 1970 (local clock).
struct Local {
  std::int64_t ms;
  std::int64_t day;  // days since 1970-01-01
  double hour;       // 0..24
  DateTime dt;
  explicit Local(std::int64_t m) : ms(m), day(floor_div(m, kDayMs)), dt(civil_from_ms(m)) {
    hour = static_cast<double>(m - day * kDayMs) / static_cast<double>(kHourMs);
  }
  int weekday() const { return static_cast<int>(((day + 3) % 7 + 7) % 7); }  // 0 Monday .. 6 Sunday
  int day_of_year() const {
    return static_cast<int>(day - floor_div(ms_from_civil(DateTime{dt.year, 1, 1}), kDayMs));
  }
  bool winter_months() const { return dt.month >= 11 || dt.month <= 3; }
};

int last_sunday(int year, int month) {
  const std::int64_t d = floor_div(ms_from_civil(DateTime{year, month, 31}), kDayMs);
  const int wd = static_cast<int>(((d + 3) % 7 + 7) % 7);
  return 31 - (wd + 1) % 7;
}

// Summer time in France: from the last Sunday of March at 02:00 to the last
// Sunday of October at 03:00, local time.
bool summer_time(const DateTime& t) {
  if (t.month < 3 || t.month > 10) return false;
  if (t.month > 3 && t.month < 10) return true;
  const int sunday = last_sunday(t.year, t.month);
  if (t.month == 3) return t.day > sunday || (t.day == sunday && t.hour >= 2);
  return t.day < sunday || (t.day == sunday && t.hour < 3);
}

std::string fmt(const char* f, long long v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, f, v);
  return buf;
}

std::string digits(long long v, int width) {
  long long limit = 1;
  for (int i = 0; i < width; ++i) limit *= 10;
  v = std::clamp<long long>(v, 0, limit - 1);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*lld", width, v);
  return buf;
}

// Season letter and yymmddhhmmss, as in the DATE group.
std::string tic_date(std::int64_t local_ms) {
  const DateTime t = civil_from_ms(local_ms);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%c%02d%02d%02d%02d%02d%02d", summer_time(t) ? 'E' : 'H', t.year % 100,
                t.month, t.day, t.hour, t.minute, t.second);
  return buf;
}

// Names padded to 16 characters, centred, as the meters send them
// ("      BASE      ", "H PLEINE/CREUSE ").
std::string centred16(std::string_view s) {
  if (s.size() >= 16) return std::string(s.substr(0, 16));
  const std::size_t left = (16 - s.size()) / 2;
  std::string r(left, ' ');
  r += s;
  r.resize(16, ' ');
  return r;
}

int tempo_colour(std::uint64_t seed, std::int64_t day) {
  const Local l(day * kDayMs);
  const int wd = l.weekday();
  if (wd == 6) return 1;  // Sundays are always blue
  const double h = hash01(seed, 0x7E3, day);
  if (l.winter_months()) {
    if (wd < 5 && h < 0.18) return 3;
    if (h < 0.45) return 2;
    return 1;
  }
  return h < 0.07 ? 2 : 1;
}

bool ejp_day(std::uint64_t seed, std::int64_t day) {
  const Local l(day * kDayMs);
  return l.winter_months() && l.weekday() < 5 && hash01(seed, 0xE1F, day) < 0.15;
}

int default_subscribed(const VirtualMeterConfig& c) {
  if (c.mode == SimTicMode::HISTORIC) {
    if (c.produces()) return 15;
    return c.three_phase ? 20 : 30;
  }
  if (c.produces()) return 6;
  return c.three_phase ? 12 : 6;
}

int subscribed_of(const VirtualMeterConfig& c) {
  return c.subscribed > 0 ? c.subscribed : default_subscribed(c);
}

// The largest apparent power the meter lets through, VA.
int max_va(const VirtualMeterConfig& c) {
  const int s = subscribed_of(c);
  if (c.mode == SimTicMode::STANDARD) return s * 1000;
  return s * 230 * (c.three_phase ? 3 : 1);
}

// The consumption of a household, VA, before the per-frame jitter.
double consumption_va(const VirtualMeterConfig& c, const Local& l) {
  static constexpr double kProfile[][2] = {{0, 450},    {1, 380},     {5, 350},     {6, 420},   {7, 1500},
                                           {7.5, 2300}, {8.5, 1900},  {9.5, 800},   {12, 1300}, {13.5, 800},
                                           {17, 750},   {18.5, 2000}, {19.5, 2900}, {21, 2300}, {22, 900},
                                           {23, 600},   {24, 450}};
  double base = 450;
  for (std::size_t i = 1; i < std::size(kProfile); ++i) {
    if (l.hour <= kProfile[i][0]) {
      const double f = (l.hour - kProfile[i - 1][0]) / (kProfile[i][0] - kProfile[i - 1][0]);
      base = kProfile[i - 1][1] + f * (kProfile[i][1] - kProfile[i - 1][1]);
      break;
    }
  }
  const double season = 1 + 0.25 * std::cos(2 * std::numbers::pi * (l.day_of_year() - 15) / 365.0);
  const double scale = c.peak_va > 0 ? c.peak_va / 2900.0 : 1.0;
  const double minutes = static_cast<double>(l.ms) / kMinuteMs;
  double va = base * season * scale * (0.85 + 0.3 * value_noise(c.seed, 1, minutes, 7));
  // Kettle, oven, washing machine: a few minutes at a time.
  const auto burst = static_cast<std::int64_t>(std::floor(minutes / 4));
  if (l.hour >= 6.5 && l.hour < 23 && hash01(c.seed, 2, burst) < 0.08)
    va += (1200 + 1300 * hash01(c.seed, 3, burst)) * scale;
  // The water heater starts with the off-peak hours.
  if (c.option == SimTariff::HC && (l.hour >= 22 || l.hour < 1.5)) va += 1800 * scale;
  return std::clamp(va, 60.0, 0.97 * max_va(c));
}

// A solar plant: a bell from sunrise to sunset, lower in winter, clouds.
double solar_va(const VirtualMeterConfig& c, const Local& l) {
  const int doy = l.day_of_year();
  const double season = std::sin(2 * std::numbers::pi * (doy - 80) / 365.0);
  const double length = 12 + 3.9 * season;                // hours of daylight
  const double noon = summer_time(l.dt) ? 13.83 : 12.83;  // solar noon, local time
  const double x = (l.hour - (noon - length / 2)) / length;
  if (x <= 0 || x >= 1) return 0;
  const double bell = std::pow(std::sin(std::numbers::pi * x), 1.4);
  const double peak = c.peak_va > 0 ? c.peak_va : 3000;
  const double minutes = static_cast<double>(l.ms) / kMinuteMs;
  const double cloudiness = hash01(c.seed, 4, l.day);
  const double cloud =
      std::clamp(1 - cloudiness * 0.8 * (0.4 + value_noise(c.seed, 5, minutes, 12)), 0.08, 1.0);
  return std::min(peak * (0.7 + 0.3 * season) * bell * cloud, 0.97 * max_va(c));
}

double voltage(const VirtualMeterConfig& c, std::int64_t local_ms, int phase) {
  const double minutes = static_cast<double>(local_ms) / kMinuteMs;
  return 230 + 8 * (value_noise(c.seed, 10 + static_cast<std::uint64_t>(phase), minutes, 15) - 0.5);
}

bool counts_injection(const VirtualMeterConfig& c) {
  return c.mode == SimTicMode::STANDARD && c.option == SimTariff::PRODUCTEUR;
}

}  // namespace

VirtualMeterConfig default_meter_config(int meter, const Settings& s) {
  VirtualMeterConfig c;
  const bool standard = (meter == 1 ? s.prg.MODE_TIC_cpt1 : s.prg.MODE_TIC_cpt2) == 1;
  c.mode = standard ? SimTicMode::STANDARD : SimTicMode::HISTORIC;
  c.three_phase = (meter == 1 ? s.prg.MODE_MONO_TRI : s.prg.MODE_MONO_TRI_cpt2) == 1;
  if (meter == 1) {
    c.option = SimTariff::HC;
  } else {
    c.option = standard ? SimTariff::PRODUCTEUR : SimTariff::BASE;
    c.solar = true;
    c.unplugged = s.prg.MODE_INTERFACE == 0;  // a one-meter installation
  }
  c.seed = static_cast<std::uint64_t>(meter);
  return c;
}

int VirtualMeter::period_at(const VirtualMeterConfig& c, const DateTime& t, std::uint64_t seed) {
  const Local l(ms_from_civil(t));
  const bool off_peak = l.hour >= 22 || l.hour < 6;
  switch (c.option) {
    case SimTariff::HC:
      return c.produces() ? 0 : (off_peak ? 1 : 0);
    case SimTariff::EJP:
      if (l.hour >= 7 && ejp_day(seed, l.day)) return 1;
      if (l.hour < 1 && ejp_day(seed, l.day - 1)) return 1;
      return 0;
    case SimTariff::TEMPO: {
      const std::int64_t tempo_day = l.hour < 6 ? l.day - 1 : l.day;
      return (tempo_colour(seed, tempo_day) - 1) * 2 + (off_peak ? 0 : 1);
    }
    case SimTariff::BASE:
    case SimTariff::PRODUCTEUR:
      break;
  }
  return 0;
}

VirtualMeter::VirtualMeter(VirtualMeterConfig config, int meter_number)
    : config_(std::move(config)), number_(meter_number), rng_(mix(config_.seed ^ 0x51u)) {
  set_config(config_);
  // Plausible starting indexes for a meter that has run for years.
  const auto start = [&](int i, double base, double spread) {
    return static_cast<std::int64_t>(base +
                                     spread * hash01(config_.seed, 20 + static_cast<std::uint64_t>(i), 0));
  };
  if (config_.produces()) {
    const std::int64_t produced = start(0, 6e6, 6e6);
    if (counts_injection(config_)) {
      state_.injected_wh = produced;
      state_.index_wh[0] = start(1, 5e3, 4e4);
    } else {
      state_.index_wh[0] = produced;
    }
  } else if (config_.option == SimTariff::TEMPO) {
    static constexpr double kBase[6] = {8e6, 12e6, 1.5e6, 2.2e6, 4e5, 7e5};
    for (int i = 0; i < 6; ++i)
      state_.index_wh[static_cast<std::size_t>(i)] = start(i, kBase[i], kBase[i] / 3);
  } else if (config_.option == SimTariff::EJP) {
    state_.index_wh[0] = start(0, 25e6, 8e6);
    state_.index_wh[1] = start(1, 1.2e6, 4e5);
  } else {
    state_.index_wh[0] = start(0, 20e6, 15e6);
    if (config_.option == SimTariff::HC) state_.index_wh[1] = start(1, 12e6, 8e6);
  }
}

void VirtualMeter::set_config(const VirtualMeterConfig& config) {
  // Another seed draws another sequence (jitter, corruption, swaps).
  if (config.seed != config_.seed) rng_ = mix(config.seed ^ 0x51u);
  config_ = config;
  if (config_.address.empty()) {
    address_ = "SIMU" + digits(number_, 8);
  } else {
    address_ = config_.address;
    address_.resize(12, '0');
  }
}

double VirtualMeter::uniform() {
  rng_ = mix(rng_);
  return static_cast<double>(rng_ >> 11) * 0x1.0p-53;
}

void VirtualMeter::add_energy(std::int64_t va_ms, bool produced, int period) {
  if (va_ms <= 0) return;
  std::int64_t& rem = produced ? remainder_produced_ : remainder_drawn_;
  rem += va_ms;
  const std::int64_t wh = rem / kWhInVaMs;
  rem %= kWhInVaMs;
  if (produced && counts_injection(config_))
    state_.injected_wh += wh;
  else
    state_.index_wh[static_cast<std::size_t>(std::clamp(period, 0, 9))] += wh;
}

void VirtualMeter::integrate(std::int64_t from, std::int64_t to) {
  const std::int64_t dt = to - from;
  if (dt <= 0) return;
  const bool produced = config_.produces();
  if (dt <= kMinuteMs) {
    // The power shown in the previous frame held until now.
    add_energy(static_cast<std::int64_t>(state_.power_va) * dt, produced, last_period_);
    add_energy(static_cast<std::int64_t>(state_.drawn_va) * dt, false, 0);
    return;
  }
  // A long gap (the meter was not asked for frames): count it along the
  // profile rather than at one instant's power.
  const std::int64_t step = dt <= 10 * kDayMs ? kMinuteMs : 15 * kMinuteMs;
  for (std::int64_t t = from; t < to; t += step) {
    const std::int64_t d = std::min(step, to - t);
    const Local l(t);
    const double va = produced ? solar_va(config_, l) : consumption_va(config_, l);
    add_energy(static_cast<std::int64_t>(std::lround(va)) * d, produced,
               period_at(config_, l.dt, config_.seed));
    if (counts_injection(config_) && va < 1) add_energy(5 * d, false, 0);
  }
}

void VirtualMeter::measure(std::int64_t local_ms) {
  const Local l(local_ms);
  const bool produced = config_.produces();
  const double jitter = 1 + 0.08 * (uniform() - 0.5);
  const double va = produced ? solar_va(config_, l) : consumption_va(config_, l);
  state_.power_va = static_cast<int>(std::lround(std::min(va * jitter, 0.99 * max_va(config_))));
  state_.drawn_va = 0;
  if (counts_injection(config_) && state_.power_va == 0)
    state_.drawn_va = 4 + static_cast<int>(uniform() * 4);

  const int phases = config_.three_phase ? 3 : 1;
  const int shown = counts_injection(config_) ? std::max(state_.power_va, state_.drawn_va) : state_.power_va;
  std::array<double, 3> w{1, 0, 0};
  if (phases == 3) {
    const double minutes = static_cast<double>(local_ms) / kMinuteMs;
    double sum = 0;
    for (int i = 0; i < 3; ++i) {
      auto& wi = w[static_cast<std::size_t>(i)];
      wi = produced ? 1.0
                    : 0.33 + 0.5 * value_noise(config_.seed, 30 + static_cast<std::uint64_t>(i), minutes, 5);
      sum += wi;
    }
    for (auto& wi : w) wi /= sum;
  }
  int rest = shown;
  for (int i = 0; i < 3; ++i) {
    const auto k = static_cast<std::size_t>(i);
    if (i >= phases) {
      state_.phase_va[k] = state_.current_a[k] = state_.voltage_v[k] = 0;
      continue;
    }
    state_.phase_va[k] = i == phases - 1 ? rest : static_cast<int>(std::lround(shown * w[k]));
    rest -= state_.phase_va[k];
    state_.current_a[k] = static_cast<int>(std::lround(state_.phase_va[k] / 230.0));
    state_.imax_a[k] = std::max(state_.imax_a[k], state_.current_a[k]);
    const double rise = produced ? 3.0 * state_.power_va / std::max(1, max_va(config_)) : 0;
    state_.voltage_v[k] =
        static_cast<int>(std::lround(voltage(config_, local_ms, i) + rise + (uniform() - 0.5) * 2));
  }
  pmax_va_ = std::max(pmax_va_, state_.power_va);

  state_.period = period_at(config_, l.dt, config_.seed);
  state_.today_colour = state_.tomorrow_colour = 0;
  state_.ejp_notice = state_.ejp_peak = false;
  if (config_.option == SimTariff::TEMPO && !produced) {
    const std::int64_t tempo_day = l.hour < 6 ? l.day - 1 : l.day;
    state_.today_colour = tempo_colour(config_.seed, tempo_day);
    if (l.hour >= 11 || l.hour < 6) state_.tomorrow_colour = tempo_colour(config_.seed, tempo_day + 1);
  }
  if (config_.option == SimTariff::EJP && !produced) {
    state_.ejp_peak = state_.period == 1;
    state_.ejp_notice = ejp_day(config_.seed, l.day) && l.hour >= 6.5 && l.hour < 7;
  }
}

void VirtualMeter::track_history(std::int64_t t) {
  const std::int64_t day = floor_div(t, kDayMs);
  const int drawn = counts_injection(config_) ? state_.drawn_va : state_.power_va;
  const int injected = counts_injection(config_) ? state_.power_va : 0;
  if (day != max_day_) {
    if (max_day_ == day - 1) {
      max_yesterday_ = max_today_;
      max_in_yesterday_ = max_in_today_;
    } else {
      // First frame: a yesterday that looks like an ordinary day.
      const std::int64_t y = (day - 1) * kDayMs;
      max_yesterday_ = {
          counts_injection(config_) ? 9 : 2500 + static_cast<int>(2500 * hash01(config_.seed, 40, day)),
          y + 19 * kHourMs + 17 * kMinuteMs + 42000};
      max_in_yesterday_ = {
          counts_injection(config_) ? 1500 + static_cast<int>(1500 * hash01(config_.seed, 41, day)) : 0,
          y + 13 * kHourMs + 41 * kMinuteMs + 7000};
    }
    max_today_ = {drawn, t};
    max_in_today_ = {injected, t};
    max_day_ = day;
  }
  if (drawn > max_today_.va) max_today_ = {drawn, t};
  if (injected > max_in_today_.va) max_in_today_ = {injected, t};

  std::int64_t drawn_wh = 0;
  for (const auto v : state_.index_wh) drawn_wh += v;
  const std::int64_t slot = floor_div(t, 30 * kMinuteMs);
  if (cc_slot_ < 0) {
    ccasn_ = ccasn_prev_ = drawn;
    ccain_ = ccain_prev_ = injected;
  } else if (slot != cc_slot_) {
    const std::int64_t n = std::max<std::int64_t>(1, slot - cc_slot_);
    ccasn_prev_ = ccasn_;
    ccain_prev_ = ccain_;
    ccasn_ = static_cast<int>((drawn_wh - cc_energy_start_) * 2 / n);
    ccain_ = static_cast<int>((state_.injected_wh - cc_in_energy_start_) * 2 / n);
  }
  if (slot != cc_slot_) {
    cc_slot_ = slot;
    cc_energy_start_ = drawn_wh;
    cc_in_energy_start_ = state_.injected_wh;
  }
}

std::string VirtualMeter::next_frame(const DateTime& local_now) {
  const std::int64_t t = ms_from_civil(local_now);
  if (started_ && t > last_ms_) integrate(last_ms_, t);
  if (!started_) first_ms_ = t;
  started_ = true;
  last_ms_ = t;
  if (config_.replaced_after_s > 0 && !replaced_ && t - first_ms_ >= config_.replaced_after_s * 1000LL)
    replace_meter();
  measure(t);
  track_history(t);
  last_period_ = state_.period;
  std::string f = config_.mode == SimTicMode::HISTORIC ? historic_frame() : standard_frame(t);
  if (config_.swap > 0 && uniform() < config_.swap) swap_digits(f);
  corrupt(f);
  return f;
}

void VirtualMeter::replace_meter() {
  // The new meter's indexes start low; those that were zero stay so.
  replaced_ = true;
  for (std::size_t i = 0; i < state_.index_wh.size(); ++i)
    if (state_.index_wh[i] > 0) state_.index_wh[i] = 100 + 37 * static_cast<std::int64_t>(i);
  if (state_.injected_wh > 0) state_.injected_wh = 50;
  remainder_drawn_ = remainder_produced_ = 0;
  cc_slot_ = -1;  // the load curve starts again
}

void VirtualMeter::swap_digits(std::string& frame) {
  static constexpr std::string_view kLabels[] = {
      "HCHP",    "HCHC",    "BASE",   "EJPHN",  "EJPHPM", "BBRHCJB", "BBRHPJB", "BBRHCJW", "BBRHPJW",
      "BBRHCJR", "BBRHPJR", "IINST",  "IINST1", "IINST2", "IINST3",  "EAST",    "EASF01",  "EASF02",
      "EASF03",  "EASF04",  "EASF05", "EASF06", "EASF07", "EASF08",  "EASF09",  "EASF10",  "EASD01",
      "EASD02",  "EASD03",  "EASD04", "EAIT",   "IRMS1",  "IRMS2",   "IRMS3"};
  swap_value_digits(frame, kLabels, [this] { return uniform(); });
}

void VirtualMeter::corrupt(std::string& frame) {
  if (config_.corruption <= 0) return;
  for (char& c : frame)
    if (uniform() < config_.corruption) c = static_cast<char>(c ^ (1 << static_cast<int>(uniform() * 7)));
}

std::string VirtualMeter::historic_frame() {
  const auto idx = [&](int i) {
    return digits(state_.index_wh[static_cast<std::size_t>(i)] % 1000000000, 9);
  };
  TicFrameBuilder b;
  b.add_historic("ADCO", address_);
  const SimTariff opt = config_.option == SimTariff::PRODUCTEUR ? SimTariff::BASE : config_.option;
  static constexpr const char* kOptarif[] = {"HC..", "BASE", "EJP.", "BBR("};
  b.add_historic("OPTARIF", kOptarif[static_cast<int>(opt)]);
  b.add_historic("ISOUSC", digits(subscribed_of(config_), 2));
  std::string ptec = "TH..";
  switch (opt) {
    case SimTariff::HC:
      b.add_historic("HCHC", idx(1)).add_historic("HCHP", idx(0));
      ptec = state_.period == 1 ? "HC.." : "HP..";
      break;
    case SimTariff::EJP:
      b.add_historic("EJPHN", idx(0)).add_historic("EJPHPM", idx(1));
      if (state_.ejp_notice) b.add_historic("PEJP", "30");
      ptec = state_.period == 1 ? "PM.." : "HN..";
      break;
    case SimTariff::TEMPO: {
      static constexpr const char* kLabels[] = {"BBRHCJB", "BBRHPJB", "BBRHCJW",
                                                "BBRHPJW", "BBRHCJR", "BBRHPJR"};
      for (int i = 0; i < 6; ++i) b.add_historic(kLabels[i], idx(i));
      static constexpr const char* kPtec[] = {"HCJB", "HPJB", "HCJW", "HPJW", "HCJR", "HPJR"};
      ptec = kPtec[std::clamp(state_.period, 0, 5)];
      break;
    }
    case SimTariff::BASE:
    case SimTariff::PRODUCTEUR:
      b.add_historic("BASE", idx(0));
      break;
  }
  b.add_historic("PTEC", ptec);
  if (opt == SimTariff::TEMPO) {
    static constexpr const char* kDemain[] = {"----", "BLEU", "BLAN", "ROUG"};
    b.add_historic("DEMAIN", kDemain[std::clamp(state_.tomorrow_colour, 0, 3)]);
  }
  if (config_.three_phase) {
    for (int i = 0; i < 3; ++i)
      b.add_historic("IINST" + std::to_string(i + 1),
                     digits(state_.current_a[static_cast<std::size_t>(i)], 3));
    for (int i = 0; i < 3; ++i)
      b.add_historic("IMAX" + std::to_string(i + 1), digits(state_.imax_a[static_cast<std::size_t>(i)], 3));
    b.add_historic("PMAX", digits(pmax_va_, 5));
    b.add_historic("PAPP", digits(state_.power_va, 5));
    b.add_historic("HHPHC", opt == SimTariff::HC ? "D" : "A");
    b.add_historic("MOTDETAT", "000000");
    b.add_historic("PPOT", "00");
  } else {
    b.add_historic("IINST", digits(state_.current_a[0], 3));
    b.add_historic("IMAX", digits(state_.imax_a[0], 3));
    b.add_historic("PAPP", digits(state_.power_va, 5));
    b.add_historic("HHPHC", opt == SimTariff::HC ? "D" : "A");
    b.add_historic("MOTDETAT", "000000");
  }
  return b.frame();
}

std::string VirtualMeter::standard_frame(std::int64_t t) {
  const bool prod = counts_injection(config_);
  const bool tri = config_.three_phase;
  const auto wh9 = [](std::int64_t v) { return digits(v % 1000000000, 9); };
  std::int64_t total = 0;
  for (const auto v : state_.index_wh) total += v;

  static constexpr const char* kNgtf[] = {"H PLEINE/CREUSE", "BASE", "EJP", "TEMPO", "PRODUCTEUR"};
  const int opt = static_cast<int>(config_.option);
  std::string ltarf;
  switch (config_.option) {
    case SimTariff::HC:
      ltarf = state_.period == 1 ? "HEURE  CREUSE" : "HEURE  PLEINE";
      break;
    case SimTariff::BASE:
      ltarf = "BASE";
      break;
    case SimTariff::EJP:
      ltarf = state_.period == 1 ? "POINTE MOBILE" : "HEURE NORMALE";
      break;
    case SimTariff::TEMPO: {
      static constexpr const char* kTempo[] = {"HC BLEU",  "HP BLEU",  "HC BLANC",
                                               "HP BLANC", "HC ROUGE", "HP ROUGE"};
      ltarf = kTempo[std::clamp(state_.period, 0, 5)];
      break;
    }
    case SimTariff::PRODUCTEUR:
      ltarf = "INDEX NON CONSO";
      break;
  }

  TicFrameBuilder b;
  b.add_standard("ADSC", address_);
  b.add_standard("VTIC", "02");
  b.add_standard_dated("DATE", tic_date(t), "");
  b.add_standard("NGTF", centred16(kNgtf[opt]));
  b.add_standard("LTARF", centred16(ltarf));
  b.add_standard("EAST", wh9(total));
  for (int i = 0; i < 10; ++i)
    b.add_standard(fmt("EASF%02lld", i + 1), wh9(state_.index_wh[static_cast<std::size_t>(i)]));
  b.add_standard("EASD01", wh9(total));
  for (int i = 2; i <= 4; ++i) b.add_standard(fmt("EASD%02lld", i), wh9(0));
  if (prod) {
    b.add_standard("EAIT", wh9(state_.injected_wh));
    b.add_standard("ERQ1", wh9(state_.injected_wh / 40));
    b.add_standard("ERQ2", wh9(state_.injected_wh / 55));
    b.add_standard("ERQ3", wh9(1730));
    b.add_standard("ERQ4", wh9(state_.injected_wh / 17));
  }
  const int phases = tri ? 3 : 1;
  for (int i = 0; i < phases; ++i)
    b.add_standard(fmt("IRMS%lld", i + 1), digits(state_.current_a[static_cast<std::size_t>(i)], 3));
  for (int i = 0; i < phases; ++i)
    b.add_standard(fmt("URMS%lld", i + 1), digits(state_.voltage_v[static_cast<std::size_t>(i)], 3));
  const std::string pref = digits(subscribed_of(config_), 2);
  b.add_standard("PREF", pref);
  b.add_standard("PCOUP", pref);
  const int drawn = prod ? state_.drawn_va : state_.power_va;
  b.add_standard("SINSTS", digits(drawn, 5));
  if (tri)
    for (int i = 0; i < 3; ++i)
      b.add_standard(fmt("SINSTS%lld", i + 1),
                     digits(prod ? (i == 0 ? drawn : 0) : state_.phase_va[static_cast<std::size_t>(i)], 5));
  b.add_standard_dated("SMAXSN", tic_date(max_today_.at_ms), digits(max_today_.va, 5));
  if (tri)
    for (int i = 0; i < 3; ++i)
      b.add_standard_dated(fmt("SMAXSN%lld", i + 1), tic_date(max_today_.at_ms),
                           digits(max_today_.va / 3, 5));
  b.add_standard_dated("SMAXSN-1", tic_date(max_yesterday_.at_ms), digits(max_yesterday_.va, 5));
  if (tri)
    for (int i = 0; i < 3; ++i)
      b.add_standard_dated(fmt("SMAXSN%lld-1", i + 1), tic_date(max_yesterday_.at_ms),
                           digits(max_yesterday_.va / 3, 5));
  if (prod) {
    b.add_standard("SINSTI", digits(state_.power_va, 5));
    b.add_standard_dated("SMAXIN", tic_date(max_in_today_.at_ms), digits(max_in_today_.va, 5));
    b.add_standard_dated("SMAXIN-1", tic_date(max_in_yesterday_.at_ms), digits(max_in_yesterday_.va, 5));
  }
  const std::int64_t slot_ms = floor_div(t, 30 * kMinuteMs) * 30 * kMinuteMs;
  b.add_standard_dated("CCASN", tic_date(slot_ms), digits(ccasn_, 5));
  b.add_standard_dated("CCASN-1", tic_date(slot_ms - 30 * kMinuteMs), digits(ccasn_prev_, 5));
  if (prod) {
    b.add_standard_dated("CCAIN", tic_date(slot_ms), digits(ccain_, 5));
    b.add_standard_dated("CCAIN-1", tic_date(slot_ms - 30 * kMinuteMs), digits(ccain_prev_, 5));
  }
  const std::int64_t umoy_ms = floor_div(t, 10 * kMinuteMs) * 10 * kMinuteMs;
  for (int i = 0; i < phases; ++i)
    b.add_standard_dated(fmt("UMOY%lld", i + 1), tic_date(umoy_ms),
                         digits(std::lround(voltage(config_, umoy_ms, i)), 3));

  // Status word: the current supplier index in bits 10-13, the Tempo colours
  // of today and tomorrow in bits 24-27, the EJP notice and peak in 28-31.
  std::uint32_t stge = 0x003A0001u | (static_cast<std::uint32_t>(state_.period & 0xF) << 10);
  stge |= static_cast<std::uint32_t>(state_.today_colour & 3) << 24;
  stge |= static_cast<std::uint32_t>(state_.tomorrow_colour & 3) << 26;
  if (state_.ejp_notice) stge |= 1u << 28;
  if (state_.ejp_peak) stge |= 1u << 30;
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08X", stge);
  b.add_standard("STGE", hex);
  b.add_standard("MSG1", "PAS DE          MESSAGE         ");
  b.add_standard("PRM", "SIMULATION" + digits(number_, 4));
  const bool relay = config_.option == SimTariff::HC && state_.period == 1;
  b.add_standard("RELAIS", relay ? "001" : "000");
  b.add_standard("NTARF", digits(state_.period + 1, 2));
  b.add_standard("NJOURF", "00");
  b.add_standard("NJOURF+1", "00");
  std::string plan;
  switch (config_.option) {
    case SimTariff::HC:
      plan = "0000C002 06008001 2200C002";
      break;
    case SimTariff::TEMPO: {
      const int c = state_.tomorrow_colour > 0 ? state_.tomorrow_colour : 1;
      plan = fmt("0000C%03lld", 2 * c - 1) + fmt(" 06008%03lld", 2 * c) + fmt(" 2200C%03lld", 2 * c - 1);
      break;
    }
    default:
      plan = "00008001";
      break;
  }
  while (plan.size() < 98) plan += " NONUTILE";
  b.add_standard("PJOURF+1", plan);
  return b.frame();
}

}  // namespace vireluz
