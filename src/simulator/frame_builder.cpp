#include "simulator/frame_builder.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace vireluz {

namespace {
constexpr char kLf = 0x0A;
constexpr char kCr = 0x0D;
constexpr char kHt = 0x09;
constexpr char kSp = 0x20;

std::string historic_covered(std::string_view label, std::string_view value) {
  std::string s;
  s.reserve(label.size() + value.size() + 1);
  s.append(label).push_back(kSp);
  s.append(value);
  return s;
}

std::string historic_with(std::string_view label, std::string_view value, char checksum) {
  std::string g(1, kLf);
  g += historic_covered(label, value);
  g.push_back(kSp);
  g.push_back(checksum);
  g.push_back(kCr);
  return g;
}

std::string standard_covered(std::string_view label, std::string_view value) {
  std::string s;
  s.reserve(label.size() + value.size() + 2);
  s.append(label).push_back(kHt);
  s.append(value).push_back(kHt);
  return s;
}

std::string standard_with(std::string_view covered, char checksum) {
  std::string g(1, kLf);
  g += covered;
  g.push_back(checksum);
  g.push_back(kCr);
  return g;
}
}  // namespace

char tic_checksum_char(std::string_view covered) {
  unsigned sum = 0;
  for (const char c : covered) sum += static_cast<unsigned char>(c);
  return static_cast<char>((sum & 0x3Fu) + 0x20u);
}

bool swap_value_digits(std::string& frame, std::span<const std::string_view> labels,
                       const std::function<double()>& uniform) {
  // The groups that qualify: LF, label, separator, [date, separator,] value,
  // separator, checksum, CR, with two different digits in the value.
  struct Group {
    std::size_t start, value, separator;  // first byte after the LF; the value; the separator after it
  };
  auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
  std::vector<Group> groups;
  for (std::size_t lf = frame.find(kLf); lf != std::string::npos; lf = frame.find(kLf, lf + 1)) {
    const std::size_t cr = frame.find(kCr, lf + 1);
    if (cr == std::string::npos) break;
    if (cr < lf + 6) continue;
    const std::size_t sep = cr - 2;
    const char sep_char = frame[sep];
    const std::size_t label_end = frame.find_first_of(" \t", lf + 1);
    if ((sep_char != kSp && sep_char != kHt) || label_end >= sep) continue;
    const std::string_view label(frame.data() + lf + 1, label_end - lf - 1);
    if (std::find(labels.begin(), labels.end(), label) == labels.end()) continue;
    const std::size_t value = frame.rfind(sep_char, sep - 1) + 1;
    const std::string_view v(frame.data() + value, sep - value);
    if (std::all_of(v.begin(), v.end(), is_digit) && v.find_first_not_of(v.front()) != std::string_view::npos)
      groups.push_back({lf + 1, value, sep});
  }
  if (groups.empty()) return false;
  auto pick = [&](std::size_t n) {
    return std::min(n - 1, static_cast<std::size_t>(uniform() * static_cast<double>(n)));
  };
  const Group g = groups[pick(groups.size())];
  std::vector<std::pair<std::size_t, std::size_t>> pairs;
  for (std::size_t i = g.value; i < g.separator; ++i)
    for (std::size_t j = i + 1; j < g.separator; ++j)
      if (frame[i] != frame[j]) pairs.emplace_back(i, j);
  const auto [i, j] = pairs[pick(pairs.size())];
  std::swap(frame[i], frame[j]);
  // Historic groups cover label, space and value; standard groups also the
  // tab before the checksum.
  const std::size_t covered_end = frame[g.separator] == kHt ? g.separator + 1 : g.separator;
  frame[g.separator + 1] = tic_checksum_char(std::string_view(frame).substr(g.start, covered_end - g.start));
  return true;
}

std::string historic_group(std::string_view label, std::string_view value) {
  return historic_with(label, value, tic_checksum_char(historic_covered(label, value)));
}

std::string standard_group(std::string_view label, std::string_view value) {
  const std::string covered = standard_covered(label, value);
  return standard_with(covered, tic_checksum_char(covered));
}

std::string standard_dated_group(std::string_view label, std::string_view date, std::string_view value) {
  std::string covered(label);
  covered.push_back(kHt);
  covered.append(date).push_back(kHt);
  covered.append(value).push_back(kHt);
  return standard_with(covered, tic_checksum_char(covered));
}

TicFrameBuilder& TicFrameBuilder::add_historic(std::string_view label, std::string_view value) {
  groups_ += historic_group(label, value);
  ++count_;
  return *this;
}

TicFrameBuilder& TicFrameBuilder::add_standard(std::string_view label, std::string_view value) {
  groups_ += standard_group(label, value);
  ++count_;
  return *this;
}

TicFrameBuilder& TicFrameBuilder::add_standard_dated(std::string_view label, std::string_view date,
                                                     std::string_view value) {
  groups_ += standard_dated_group(label, date, value);
  ++count_;
  return *this;
}

TicFrameBuilder& TicFrameBuilder::add_historic_with(std::string_view label, std::string_view value,
                                                    char checksum) {
  groups_ += historic_with(label, value, checksum);
  ++count_;
  return *this;
}

TicFrameBuilder& TicFrameBuilder::add_standard_with(std::string_view label, std::string_view value,
                                                    char checksum) {
  groups_ += standard_with(standard_covered(label, value), checksum);
  ++count_;
  return *this;
}

TicFrameBuilder& TicFrameBuilder::add_raw(std::string_view bytes) {
  groups_.append(bytes);
  return *this;
}

std::string TicFrameBuilder::frame() const {
  std::string f;
  f.reserve(groups_.size() + 2);
  f.push_back(kStx);
  f += groups_;
  f.push_back(kEtx);
  return f;
}

void TicFrameBuilder::clear() {
  groups_.clear();
  count_ = 0;
}

}  // namespace vireluz
