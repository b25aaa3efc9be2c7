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

namespace vireluz {

enum class Quantity : std::uint8_t {
  Index,       // energy index, Wh
  KwhIndex,    // energy index, kWh (yellow-tariff meters)
  Current,     // A, one phase
  Power,       // apparent power of the whole meter, VA
  OtherPower,  // another apparent power (a phase, today's highest, the injection), VA: bounds only
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
  static constexpr std::int64_t kRatingA = 90;             // a blue meter's largest current per phase
  static constexpr std::int64_t kYellowRatingVa = 250000;  // the largest yellow-tariff subscription
  static constexpr std::int64_t kMinVolts = 100, kMaxVolts = 300;
  // Beyond these the limits no longer matter; they keep the products in range.
  static constexpr std::int64_t kLongestMs = 1000000000;  // 11 days
  static constexpr std::int64_t kLargestVa = 100000000;

  // The values a filter follows, numbered by its user from 0.
  static constexpr std::size_t kMaxTracks = 80;

  PlausibilityFilter() { update_limits(); }

  // The meter's address: another one than the one known forgets every value.
  void set_address(std::string_view address);
  // What the meter is set to deliver, VA (0: unknown), and its phase count.
  void set_subscription(std::int64_t va, int phases);
  // A yellow-tariff meter: big meters' rating, and no subscription in its frames.
  void set_yellow();

  // True when the value is plausible; it is then the track's last accepted
  // value. `now_ms`: the time of the frame (any origin, never going back for a
  // meter; a step back counts as no time). The usual cases (an index that did
  // not move, a current, power or voltage within bounds) are decided here,
  // the others by judge().
  bool accept(std::size_t track, Quantity q, std::int64_t value, std::int64_t now_ms) {
    Track& t = tracks_[track];
    if (t.settled) {
      if (q == Quantity::Index || q == Quantity::KwhIndex) {
        if (value == t.last || (value > t.last && may_rise(q, value - t.last, now_ms - t.at_ms))) {
          if (value != t.last) t.before = {t.last, t.before[0], t.before[1]};
          t.last = value;
          t.at_ms = now_ms;
          t.confirmed = true;
          return true;
        }
      } else if (in_bounds(q, value)) {
        t.last = value;
        if (q == Quantity::Power) note_power(value);
        return true;
      }
    }
    return judge(t, q, value, now_ms);
  }

  // The last accepted value of a track.
  std::optional<std::int64_t> value(std::size_t track) const {
    const Track& t = tracks_[track];
    return t.has ? std::optional<std::int64_t>(t.last) : std::nullopt;
  }

  void reset();

 private:
  struct Track {
    bool settled = false;  // has, nothing held back and no new level watched
    bool has = false;
    bool held = false;       // values below `last` were held back since it was accepted
    bool confirmed = false;  // `last` is not a first value alone
    int count = 0;           // consistent values of a new level being watched
    std::int64_t last = 0;   // last accepted value
    std::int64_t at_ms = 0;  // when `last` was last confirmed
    // Index: the accepted values before its last rises, latest first. A
    // lower value not below the oldest is held back rather than taken as a
    // new level: a few wrong values in a row may have passed.
    std::array<std::int64_t, 3> before{};
    // The new level being watched.
    std::int64_t level = 0;
    std::int64_t first_ms = 0, seen_ms = 0;
  };

  bool judge(Track& t, Quantity q, std::int64_t v, std::int64_t now);

  // The limits that follow from the subscription, the rating and the power seen.
  void update_limits();
  bool in_bounds(Quantity q, std::int64_t v) const {
    switch (q) {
      case Quantity::Current:
        return v >= 0 && v <= max_current_;
      case Quantity::Voltage:
        return v >= kMinVolts && v <= kMaxVolts;
      default:
        return v >= 0 && v <= max_power_;
    }
  }
  // Whether an index may gain `rise` units in `ms`: twice the capacity during
  // `ms`, plus one unit (VA × ms / 3,600,000 is Wh, a thousand times that kWh;
  // compared without dividing).
  bool may_rise(Quantity q, std::int64_t rise, std::int64_t ms) const {
    if (rise <= 1) return true;
    const std::int64_t per_hour_ms = q == Quantity::KwhIndex ? 3600000000LL : 3600000LL;
    const std::int64_t span = ms < 0 ? 0 : ms < kLongestMs ? ms : kLongestMs;
    return (rise - 1) * per_hour_ms <= 2 * capacity_va_ * span;
  }
  // A whole-meter power accepted: one reported in two frames running raises
  // what the meter can take; one value alone does not.
  void note_power(std::int64_t va) {
    const std::int64_t both = va < previous_power_va_ ? va : previous_power_va_;
    previous_power_va_ = va;
    if (both > seen_va_) raise_seen(both);
  }
  void raise_seen(std::int64_t va);
  // Whether `to` may follow `from` after `ms` in a series of the same level.
  bool follows(Quantity q, std::int64_t from, std::int64_t to, std::int64_t ms) const;
  bool watch_level(Track& t, Quantity q, std::int64_t v, std::int64_t now);
  void take(Track& t, Quantity q, std::int64_t v, std::int64_t now);

  std::array<Track, kMaxTracks> tracks_{};
  std::string address_;
  std::int64_t subscribed_va_ = 0;
  int phases_ = 1;
  bool yellow_ = false;
  std::int64_t previous_power_va_ = -1;  // last accepted whole-meter power
  std::int64_t seen_va_ = 0;             // highest power reported in two accepted values running
  std::int64_t capacity_va_ = 0;         // the most power the meter can take
  std::int64_t max_current_ = 0, max_power_ = 0;
};

}  // namespace vireluz
