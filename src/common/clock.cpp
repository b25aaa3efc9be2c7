#include "common/clock.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace vireluz {

DateTime civil_from_ms(std::int64_t ms) {
  using namespace std::chrono;
  const sys_time<milliseconds> tp{milliseconds{ms}};
  const auto day = floor<days>(tp);
  const year_month_day ymd{day};
  const auto in_day = tp - day;
  const hh_mm_ss<milliseconds> hms{duration_cast<milliseconds>(in_day)};
  DateTime t;
  t.year = static_cast<int>(ymd.year());
  t.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  t.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  t.hour = static_cast<int>(hms.hours().count());
  t.minute = static_cast<int>(hms.minutes().count());
  t.second = static_cast<int>(hms.seconds().count());
  t.millisecond = static_cast<int>(hms.subseconds().count());
  return t;
}

std::int64_t ms_from_civil(const DateTime& t) {
  using namespace std::chrono;
  const year_month_day ymd{year{t.year}, month{static_cast<unsigned>(t.month)},
                           day{static_cast<unsigned>(t.day)}};
  const sys_days d{ymd};
  return duration_cast<milliseconds>(d.time_since_epoch()).count() + t.ms_of_day();
}

DateTime Clock::local_now() const {
  const auto utc = now_utc_ms();
  return civil_from_ms(utc + std::int64_t{utc_offset_minutes(utc)} * 60000);
}

DateTime Clock::utc_now() const { return civil_from_ms(now_utc_ms()); }

Text short_date(const DateTime& t) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", t.day % 100, t.month % 100, t.year % 10000);
  return buf;
}

Text long_time(const DateTime& t) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour % 100, t.minute % 100, t.second % 100);
  return buf;
}

std::int64_t SystemClock::now_utc_ms() const {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

int SystemClock::utc_offset_minutes(std::int64_t utc_ms) const {
  const std::time_t t = static_cast<std::time_t>(utc_ms / 1000);
  std::tm local{};
  localtime_r(&t, &local);
  return static_cast<int>(local.tm_gmtoff / 60);
}

}  // namespace vireluz
