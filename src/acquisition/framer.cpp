#include "acquisition/framer.h"

#include <algorithm>

namespace vireluz {

ComDataPacket1::ComDataPacket1() { buf_.reserve(2 * kMaxBuffer); }

void ComDataPacket1::set_start_string(std::string_view s) {
  if (s == start_) return;
  start_.assign(s);
  clear();
}

void ComDataPacket1::set_stop_string(std::string_view s) {
  if (s == stop_) return;
  stop_.assign(s);
  clear();
}

void ComDataPacket1::clear() {
  buf_.clear();
  head_ = 0;
  scan_from_ = 0;
  open_ = false;
  ++generation_;
}

std::size_t ComDataPacket1::find(std::string_view needle, std::size_t from) const {
  if (needle.empty() || from > buf_.size()) return std::string::npos;
  const auto eq = [](char a, char b) { return upper(a) == upper(b); };
  const auto it = std::search(buf_.begin() + static_cast<std::ptrdiff_t>(from), buf_.end(), needle.begin(),
                              needle.end(), eq);
  return it == buf_.end() ? std::string::npos : static_cast<std::size_t>(it - buf_.begin());
}

void ComDataPacket1::compact() {
  if (head_ == 0) return;
  buf_.erase(0, head_);
  scan_from_ = scan_from_ > head_ ? scan_from_ - head_ : 0;
  head_ = 0;
}

void ComDataPacket1::handle_data(std::string_view block) {
  buf_.append(block);
  // Without both strings nothing can be framed; the size limit below still
  // keeps the buffer bounded.
  const bool can_frame = !start_.empty() && !stop_.empty();
  const std::uint64_t gen = generation_;
  while (can_frame) {
    if (!open_) {
      const std::size_t s = find(start_, head_);
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
    const std::size_t e = find(stop_, scan_from_);
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
