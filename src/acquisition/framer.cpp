#include "acquisition/framer.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vireluz {

ComDataPacket1::ComDataPacket1() { buf_.reserve(2 * kMaxBuffer); }

void ComDataPacket1::set_start_string(std::string_view s) {
  if (s == start_) return;
  start_.assign(s);
  start_caseless_ = has_letter(start_);
  clear();
}

void ComDataPacket1::set_stop_string(std::string_view s) {
  if (s == stop_) return;
  stop_.assign(s);
  stop_caseless_ = has_letter(stop_);
  clear();
}

void ComDataPacket1::clear() {
  buf_.clear();
  head_ = 0;
  scan_from_ = 0;
  open_ = false;
  ++generation_;
}

namespace {

// Position of the first `c` in data[i, n), npos when none. The few bytes that
// a serial block adds are compared 16 at a time in place; a call to memchr
// pays only over longer spans.
std::size_t find_byte(const char* data, std::size_t i, std::size_t n, char c) {
  if (n - i >= 256) {
    const void* hit = std::memchr(data + i, c, n - i);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - data) : std::string::npos;
  }
#if defined(__SSE2__)
  const __m128i v = _mm_set1_epi8(c);
  auto eq = [&](std::size_t at) {
    return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at)), v);
  };
  for (; i + 64 <= n; i += 64) {
    const __m128i any = _mm_or_si128(_mm_or_si128(eq(i), eq(i + 16)), _mm_or_si128(eq(i + 32), eq(i + 48)));
    if (_mm_movemask_epi8(any) != 0) break;  // found within these 64 bytes
  }
  for (; i + 16 <= n; i += 16) {
    const auto m = static_cast<unsigned>(_mm_movemask_epi8(eq(i)));
    if (m != 0) return i + static_cast<std::size_t>(__builtin_ctz(m));
  }
#endif
  for (; i < n; ++i)
    if (data[i] == c) return i;
  return std::string::npos;
}

}  // namespace

bool ComDataPacket1::has_letter(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return upper(c) != c || (c >= 'A' && c <= 'Z'); });
}

std::size_t ComDataPacket1::find(std::string_view needle, bool caseless, std::size_t from) const {
  if (needle.empty() || from > buf_.size()) return std::string::npos;
  if (caseless) {
    const auto eq = [](char a, char b) { return upper(a) == upper(b); };
    const auto it = std::search(buf_.begin() + static_cast<std::ptrdiff_t>(from), buf_.end(), needle.begin(),
                                needle.end(), eq);
    return it == buf_.end() ? std::string::npos : static_cast<std::size_t>(it - buf_.begin());
  }
  // The needle's last byte (ETX for a TIC stop string) is looked for; the
  // bytes before it are checked where it occurs. The first match found this
  // way ends first, so it also starts first.
  const char* const data = buf_.data();
  const std::size_t n = buf_.size();
  const std::size_t last = needle.size() - 1;
  const char anchor = needle[last];
  for (std::size_t i = from + last; i < n; ++i) {
    i = find_byte(data, i, n, anchor);
    if (i == std::string::npos) break;
    std::size_t k = 0;
    while (k < last && data[i - last + k] == needle[k]) ++k;
    if (k == last) return i - last;
  }
  return std::string::npos;
}

void ComDataPacket1::compact() {
  if (head_ == 0) return;
  if (head_ == buf_.size())
    buf_.clear();
  else
    buf_.erase(0, head_);
  scan_from_ = scan_from_ > head_ ? scan_from_ - head_ : 0;
  head_ = 0;
}

void ComDataPacket1::handle_data(std::string_view block) {
  // Most blocks cannot end the string looked for, and change the buffer only:
  // an open packet whose stop string does not end in the block just grows;
  // with nothing buffered, a block without the (one-byte) start string is
  // dropped. Looking at the block itself, before it is copied, spares a
  // second look at the bytes just written. (Between calls the buffer always
  // starts at its first live character.)
  if (!block.empty() && !start_.empty() && !stop_.empty()) {
    auto lacks = [&](char c) {
      return block.size() == 1 ? block[0] != c
                               : find_byte(block.data(), 0, block.size(), c) == std::string::npos;
    };
    if (open_ && !stop_caseless_ && lacks(stop_.back())) {
      buf_.append(block);
      scan_from_ = std::max(start_.size(), buf_.size() - std::min(buf_.size(), stop_.size() - 1));
      if (buf_.size() >= kMaxBuffer) clear();
      return;
    }
    if (!open_ && buf_.empty() && start_.size() == 1 && !start_caseless_ && lacks(start_[0])) return;
  }
  buf_.append(block);
  // Without both strings nothing can be framed; the size limit below still
  // keeps the buffer bounded.
  const bool can_frame = !start_.empty() && !stop_.empty();
  const std::uint64_t gen = generation_;
  while (can_frame) {
    if (!open_) {
      const std::size_t s = find(start_, start_caseless_, head_);
      if (s == std::string::npos) {
        // Keep only what could be the beginning of a start string.
        const std::size_t keep = std::min(buffered(), start_.size() - 1);
        head_ = buf_.size() - keep;
        break;
      }
      head_ = s;
      open_ = true;
      scan_from_ = head_ + start_.size();
    }
    const std::size_t e = find(stop_, stop_caseless_, scan_from_);
    if (e == std::string::npos) {
      // Resume later just before the end, in case the stop string is split.
      scan_from_ = std::max(head_ + start_.size(), buf_.size() - std::min(buf_.size(), stop_.size() - 1));
      break;
    }
    const std::size_t body = head_ + start_.size();
    const std::string_view packet(buf_.data() + body, e - body);
    head_ = e + stop_.size();
    open_ = false;
    if (on_packet) on_packet(packet);
    if (gen != generation_) return;  // the handler reset the framer
  }
  compact();
  if (buf_.size() >= kMaxBuffer) clear();
}

}  // namespace vireluz
