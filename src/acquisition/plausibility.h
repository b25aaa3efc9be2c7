#pragma once
// The plausibility filter of one meter's decoded values. TIC's checksum is a
// 6-bit sum: it cannot see two digits of a value that swap places, nor two
// errors that cancel out. The decoder asks this filter about every value whose
// checksum holds, and ignores an implausible one exactly like a group whose
// checksum fails, so that nothing downstream (window, records, daily file,
// uploads, alerts, MQTT) ever sees it.
//
//   - An energy index never goes back, and never rises faster than the meter
//     can count: twice the most power it can take (its subscription, or the
//     highest apparent power it reported in two frames running when that is
//     more; the rating of such a meter while the subscription is unknown)
//     over the time since the value last accepted, plus one unit of the index
//     for its rounding.
//   - A current, an apparent power or a voltage stays within physical bounds:
//     at most twice that power (or the meter's rating when more), and a
//     voltage between 100 and 300 V.
//
// A true value is never refused for good: a new level that persists (ten
// consistent values, or three over a minute) is accepted (a meter replaced,
// an index that restarted, a phase that lost its voltage). A refused value
// changes nothing, so the next true value is judged against the last accepted
// one. The first value of a quantity, and every value after the meter's
// address changed, has nothing to compare with and is accepted; when the
// values that follow contradict it, three consistent ones replace it.
//
// A wrong index can still pass when it stays within what the meter could have
// counted (two low digits swapped). The true values that follow are then lower
// than it: while they are not lower than the value accepted three rises
// before, they are held back (refused) until the index reaches it again, so an
// accepted index never goes backwards unless a new level persists.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vireluz {

enum class Quantity : std::uint8_t {
  Index,       // energy index, Wh
  KwhIndex,    // energy index, kWh (yellow-tariff meters)
  Current,     // A, one phase
  Power,       // apparent power of the whole meter, VA
  PhasePower,  // apparent power of one phase, VA
  Voltage,     // V
};

class PlausibilityFilter {
 public:
  // Every consistent value of a new level counts; this many accept it.
  static constexpr int kLevelValues = 10;
  // Or this many spread over at least kLevelMs.
  static constexpr int kLevelMinValues = 3;
  static constexpr std::int64_t kLevelMs = 60000;
  // A new level not seen again for this long is forgotten.
  static constexpr std::int64_t kLevelStaleMs = 120000;
  static constexpr std::int64_t kRatingA = 90;            // a blue meter's largest current per phase
  static constexpr std::int64_t kYellowRatingVa = 250000;  // the largest yellow-tariff subscription
  static constexpr std::int64_t kMinVolts = 100, kMaxVolts = 300;

  // `tracks`: how many values the caller follows (its own numbering, 0 to
  // tracks - 1).
  explicit PlausibilityFilter(std::size_t tracks) : tracks_(tracks) {}

  // The meter's address: another one than the one known forgets every value.
  void set_address(std::string_view address);
  // What the meter is set to deliver, VA (0: unknown), and its phase count.
  void set_subscription(std::int64_t va, int phases);
  // A yellow-tariff meter: big meters' rating, and no subscription in its frames.
  void set_yellow();

  // True when the value is plausible; it is then the track's last accepted
  // value. `now_ms`: the time of the frame (any origin, never going back for a
  // meter; a step back counts as no time).
  bool accept(std::size_t track, Quantity q, std::int64_t value, std::int64_t now_ms);

  // The last accepted value of a track.
  std::optional<std::int64_t> value(std::size_t track) const;

  void reset();

 private:
  struct Track {
    bool has = false;
    std::int64_t last = 0;   // last accepted value
    // Index: the accepted values before its last rises, latest first. A
    // lower value not below the oldest is held back rather than taken as a
    // new level: a few wrong values in a row may have passed.
    std::array<std::int64_t, 3> before{};
    std::int64_t at_ms = 0;  // when `last` was last confirmed
    bool held = false;       // values below `last` were held back since it was accepted
    bool confirmed = false;  // `last` is not a first value alone
    // A new level being watched.
    int count = 0;
    std::int64_t level = 0;
    std::int64_t first_ms = 0, seen_ms = 0;
  };

  std::int64_t rating_va() const;
  // The most power the meter can take, VA.
  std::int64_t capacity_va() const;
  // Highest plausible value of an instantaneous quantity.
  std::int64_t bound(Quantity q) const;
  bool in_bounds(Quantity q, std::int64_t v) const;
  // Index units the meter can count in `ms`.
  std::int64_t allowance(Quantity q, std::int64_t ms) const;
  // Whether `to` may follow `from` after `ms` in a series of the same level.
  bool follows(Quantity q, std::int64_t from, std::int64_t to, std::int64_t ms) const;
  bool watch_level(Track& t, Quantity q, std::int64_t v, std::int64_t now);
  void take(Track& t, Quantity q, std::int64_t v, std::int64_t now);

  std::vector<Track> tracks_;
  std::string address_;
  std::int64_t subscribed_va_ = 0;
  int phases_ = 1;
  bool yellow_ = false;
  std::int64_t previous_power_va_ = -1;  // last accepted whole-meter power
  std::int64_t seen_va_ = 0;             // highest power reported in two accepted values running
};

}  // namespace vireluz
