#pragma once
// An independent reading of TIC frames for the simulator's tests: cuts a byte
// stream into STX..ETX frames and a frame into groups, and checks each
// group's checksum with its own arithmetic.
#include <string>
#include <string_view>
#include <vector>

namespace simtest {

struct Group {
  std::string label, date, value;
  bool checksum_ok = false;
  bool well_formed = false;  // separators where they belong
};

struct Frame {
  std::vector<Group> groups;
  bool standard = false;
  bool all_ok() const;
  const Group* find(std::string_view label) const;
  std::string value(std::string_view label) const;  // "" when absent
};

// A frame from its bytes (STX ... ETX included).
Frame parse_frame(std::string_view bytes);
// The complete frames of a stream, in order; bytes before the first STX and
// after the last ETX are ignored.
std::vector<std::string> split_frames(std::string_view stream);

}  // namespace simtest
