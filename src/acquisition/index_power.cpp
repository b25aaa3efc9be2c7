#include "acquisition/index_power.h"

#include <algorithm>

namespace vireluz {

std::int32_t IndexPower::update(std::int64_t wh, std::int64_t now_ms) {
  const std::int64_t span = now_ms - at_ms_;
  if (!started_ || wh < wh_ || span < 0 || span > kMaxSpanMs) {
    // A first value, a new level (meter replaced), the clock going back or a
    // long gap: the figure starts again.
    started_ = true;
    wh_ = wh;
    at_ms_ = now_ms;
    watts_ = -1;
    return watts_;
  }
  if (span < kMinSpanMs) return watts_;
  watts_ = static_cast<std::int32_t>(std::min<std::int64_t>((wh - wh_) * 3600000 / span, INT32_MAX));
  wh_ = wh;
  at_ms_ = now_ms;
  return watts_;
}

}  // namespace vireluz
