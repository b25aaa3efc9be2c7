#pragma once
// Active power from an energy index: TIC gives only apparent power (VA), but
// the index counts active energy, so the Wh it gains over a span, × 3600 ÷
// the span's seconds, is the mean active power in W. The span is at least a
// minute (an index counts whole Wh: 60 W steps over a minute) and at most a
// quarter of an hour (a longer gap, reading stopped, starts again).
#include <cstdint>

namespace vireluz {

class IndexPower {
 public:
  static constexpr std::int64_t kMinSpanMs = 60000;
  static constexpr std::int64_t kMaxSpanMs = 15 * 60000;

  // Whether a new figure may be due at `now_ms` (a minute since the last
  // one, or none yet); update() in between changes nothing.
  bool due(std::int64_t now_ms) const {
    return !started_ || now_ms - at_ms_ >= kMinSpanMs || now_ms < at_ms_;
  }
  // The index (Wh) at `now_ms`; returns the power in W, -1 while unknown.
  std::int32_t update(std::int64_t wh, std::int64_t now_ms);

 private:
  bool started_ = false;
  std::int64_t wh_ = 0, at_ms_ = 0;
  std::int32_t watts_ = -1;
};

}  // namespace vireluz
