#pragma once
// Text as the meters and the stored files carry it: 8-bit strings in the
// Windows-1252 code page. Conversion to UTF-8 happens only at the edges
// (Qt widgets, JSON output, source literals).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vireluz {

using Text = std::string;  // Windows-1252 bytes

// Windows-1252 -> UTF-8. The five bytes Windows leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) map to the C1 control of the same value, as Windows does.
std::string cp1252_to_utf8(std::string_view in);

// UTF-8 -> Windows-1252. Characters the code page cannot hold become '?'.
// Malformed UTF-8 bytes are taken as Windows-1252 bytes as they stand.
Text utf8_to_cp1252(std::string_view in);

// A Windows-1252 text from a UTF-8 source literal: w("Préavis EJP 30mn").
inline Text w(std::string_view utf8) { return utf8_to_cp1252(utf8); }

// Strict decimal integer: optional '+' or '-', then one or more digits, nothing
// else (no blanks), within the signed 32-bit range.
std::optional<std::int32_t> parse_int(std::string_view s);

// A control character (0x00-0x1F, 0x7F): a line break or anything else that
// must not reach a file line, a header or a protocol command.
constexpr bool is_control_char(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b < 0x20 || b == 0x7F;
}
// True when the text holds one.
bool has_control_char(std::string_view text);

// Blanks (space, tab) removed at both ends.
std::string_view trim(std::string_view s);

}  // namespace vireluz
