#include "acquisition/plausibility.h"

#include <algorithm>
#include <cstdlib>

namespace vireluz {
namespace {

constexpr std::int64_t kVolts = 230;
constexpr std::int64_t kMargin = 2;

bool is_index(Quantity q) { return q == Quantity::Index || q == Quantity::KwhIndex; }

}  // namespace

void PlausibilityFilter::reset() {
  std::fill(tracks_.begin(), tracks_.end(), Track{});
  address_.clear();
  subscribed_va_ = 0;
  previous_power_va_ = -1;
  seen_va_ = 0;
  update_limits();
}

void PlausibilityFilter::set_address(std::string_view address) {
  if (address == address_) return;
  if (!address_.empty()) reset();
  address_.assign(address);
}

void PlausibilityFilter::set_subscription(std::int64_t va, int phases) {
  subscribed_va_ = std::clamp<std::int64_t>(va, 0, kLargestVa);
  phases_ = phases == 3 ? 3 : 1;
  update_limits();
}

void PlausibilityFilter::set_yellow() {
  if (yellow_) return;
  yellow_ = true;
  update_limits();
}

void PlausibilityFilter::update_limits() {
  const std::int64_t rating = yellow_ ? kYellowRatingVa : kRatingA * kVolts * phases_;
  capacity_va_ = std::max(subscribed_va_ > 0 ? subscribed_va_ : rating, seen_va_);
  max_current_ = std::max(kMargin * capacity_va_ / (kVolts * phases_), kRatingA);
  max_power_ = std::max(kMargin * capacity_va_, rating);
}

void PlausibilityFilter::raise_seen(std::int64_t va) {
  seen_va_ = std::min(va, kLargestVa);
  update_limits();
}

bool PlausibilityFilter::follows(Quantity q, std::int64_t from, std::int64_t to, std::int64_t ms) const {
  if (is_index(q)) return to >= from && may_rise(q, to - from, ms);
  // Instantaneous values of one level stay within a quarter of each other.
  return std::llabs(to - from) <= std::max(std::llabs(from), std::llabs(to)) / 4 + 2;
}

void PlausibilityFilter::take(Track& t, Quantity q, std::int64_t v, std::int64_t now) {
  if (!t.has || v < t.last) {
    t.before.fill(v);  // a first value or a new level
  } else if (v > t.last && !t.held) {
    std::copy_backward(t.before.begin(), t.before.end() - 1, t.before.end());
    t.before[0] = t.last;
  }
  // After values held back, the last accepted value was wrong: the values
  // before it stay, below the meter's true index.
  t.held = false;
  // A first index waits for a value that follows it; other values passed
  // their bounds.
  t.confirmed = t.has || t.count > 0 || !is_index(q);
  t.has = true;
  t.settled = true;
  t.last = v;
  t.at_ms = now;
  t.count = 0;
  if (q == Quantity::Power) note_power(v);
}

bool PlausibilityFilter::watch_level(Track& t, Quantity q, std::int64_t v, std::int64_t now) {
  const bool fresh = t.count > 0 && now - t.seen_ms <= kLevelStaleMs;
  if (fresh && follows(q, t.level, v, now - t.seen_ms)) {
    ++t.count;
  } else if (!fresh || t.count < 2) {
    t.count = 1;
    t.first_ms = now;
  } else {
    return false;  // a stray value while a new level is being confirmed
  }
  t.level = v;
  t.seen_ms = now;
  t.settled = false;
  // A first value that nothing confirmed yet gives way to a few consistent
  // values that contradict it.
  if (t.count >= kLevelValues ||
      (t.count >= kLevelMinValues && (!t.confirmed || now - t.first_ms >= kLevelMs))) {
    t.has = false;  // taken as a first value
    take(t, q, v, now);
    return true;
  }
  return false;
}

bool PlausibilityFilter::judge(Track& t, Quantity q, std::int64_t v, std::int64_t now) {
  if (is_index(q)) {
    if (!t.has || v == t.last || (v > t.last && may_rise(q, v - t.last, now - t.at_ms))) {
      take(t, q, v, now);
      return true;
    }
    if (v < t.last && v >= t.before.back()) {
      // Below a value that passed while wrong: held back. The meter had not
      // reached that value yet now, so the time it may count from it starts
      // again (a long hold must not let any value through).
      t.at_ms = now;
      t.held = true;
      t.settled = false;
      t.count = 0;  // a value on this level: a new one has to start again
      return false;
    }
  } else if (in_bounds(q, v) || (t.has && !in_bounds(q, t.last) && follows(q, t.last, v, 0))) {
    // Within bounds, or still on a level out of bounds that was accepted.
    take(t, q, v, now);
    return true;
  }
  return watch_level(t, q, v, now);
}

}  // namespace vireluz
