#include "display/graph_state.h"

#include <charconv>

namespace vireluz {

void GraphState::add_sample(std::string_view text) {
  std::array<std::int32_t, 3> values{};
  std::size_t k = 0;
  std::size_t start = 0;
  while (k < values.size() && start < text.size()) {
    std::size_t end = text.find(';', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view v = text.substr(start, end - start);
    std::int32_t n = 0;
    const auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
    values[k++] = (ec == std::errc() && p == v.data() + v.size()) ? n : 0;
    start = end + 1;
  }
  if (count < kMaxSamples) {
    ring[static_cast<std::size_t>((head + count) % kMaxSamples)] = values;
    ++count;
  } else {
    ring[static_cast<std::size_t>(head)] = values;
    head = (head + 1) % kMaxSamples;
  }
  last_sample.assign(text);
  ++serial;
}

void GraphState::clear() {
  head = 0;
  count = 0;
  last_sample.clear();
  ++serial;
}

}  // namespace vireluz
