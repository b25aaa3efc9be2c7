#pragma once
// Builds TIC frames byte for byte, as a meter sends them: STX, the groups,
// ETX. A historic group reads LF label SP value SP checksum CR, its checksum
// covering the label, the space and the value; a standard group reads
// LF label HT [date HT] value HT checksum CR, its checksum covering everything
// from the label to the HT before the checksum. Used by the simulated meters
// and by the tests of every component that reads frames.
#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace vireluz {

inline constexpr char kStx = 0x02;
inline constexpr char kEtx = 0x03;

// The TIC checksum character of a covered text: (sum of the unsigned byte
// values) AND 0x3F, plus 0x20; always in 0x20..0x5F.
char tic_checksum_char(std::string_view covered);

// One group on its own, with its LF and CR.
std::string historic_group(std::string_view label, std::string_view value);
std::string standard_group(std::string_view label, std::string_view value);
std::string standard_dated_group(std::string_view label, std::string_view date, std::string_view value);

// Swaps two different digits of the value of one group of `frame` (STX ...
// ETX) whose label is one of `labels`, and gives that group the checksum it
// then needs. `uniform` gives numbers in [0, 1) that choose the group and the
// digits. False (frame unchanged) when no such group has two different digits.
bool swap_value_digits(std::string& frame, std::span<const std::string_view> labels,
                       const std::function<double()>& uniform);

class TicFrameBuilder {
 public:
  TicFrameBuilder& add_historic(std::string_view label, std::string_view value);
  TicFrameBuilder& add_standard(std::string_view label, std::string_view value);
  // A time-stamped group: date is the 13-character "H260115143000" form (season
  // letter H winter time / E summer time, then yymmddhhmmss). The value may be
  // empty, as in the DATE group.
  TicFrameBuilder& add_standard_dated(std::string_view label, std::string_view date, std::string_view value);
  // The same groups with a checksum character of the caller's choosing, to
  // build frames with a bad group.
  TicFrameBuilder& add_historic_with(std::string_view label, std::string_view value, char checksum);
  TicFrameBuilder& add_standard_with(std::string_view label, std::string_view value, char checksum);
  // Bytes placed as they are between the groups (stray bytes, a cut group).
  TicFrameBuilder& add_raw(std::string_view bytes);

  // STX, the groups in the order added, ETX.
  std::string frame() const;
  // The groups without STX and ETX.
  const std::string& groups() const { return groups_; }
  std::size_t group_count() const { return count_; }
  void clear();

 private:
  std::string groups_;
  std::size_t count_ = 0;
};

}  // namespace vireluz
