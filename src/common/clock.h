#pragma once
// The clock port. Rules take the time from here (or as an argument), never
// from the system directly, so that tests run in simulated time.
#include <cstdint>

#include "common/text.h"

namespace vireluz {

struct DateTime {
  int year = 1970, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  // Milliseconds since midnight.
  int ms_of_day() const { return ((hour * 60 + minute) * 60 + second) * 1000 + millisecond; }
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since 1970-01-01T00:00:00Z.
  virtual std::int64_t now_utc_ms() const = 0;
  // Offset of local time from UTC at that instant, in minutes.
  virtual int utc_offset_minutes(std::int64_t utc_ms) const = 0;

  DateTime local_now() const;
  DateTime utc_now() const;
};

// Civil date and time of a count of milliseconds since the epoch (no zone).
DateTime civil_from_ms(std::int64_t ms);
// The inverse: milliseconds since the epoch of a civil date and time.
std::int64_t ms_from_civil(const DateTime& t);

// The French formats the program expects whatever the machine's locale.
Text short_date(const DateTime& t);  // dd/mm/yyyy
Text long_time(const DateTime& t);   // hh:mm:ss, 24 hours

// The real clock: system time and the zone of the process (TZ).
class SystemClock : public Clock {
 public:
  std::int64_t now_utc_ms() const override;
  int utc_offset_minutes(std::int64_t utc_ms) const override;
};

}  // namespace vireluz
