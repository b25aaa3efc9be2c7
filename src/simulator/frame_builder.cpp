#include "simulator/frame_builder.h"

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
