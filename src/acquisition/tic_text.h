#pragma once
// Small text helpers of the TIC decoder: the group checksum, the exact list
// lookup, and the number texts shown in the main window. None of them allocates
// when the output buffer already has the capacity it needs.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>

#include "common/text.h"

namespace vireluz {

// (sum of the unsigned byte values) AND 0x3F, plus 0x20: one character from
// 0x20 to 0x5F.
inline char tic_checksum(std::string_view covered) {
  // Eight bytes at a time: the even and the odd bytes of each word go into four
  // 16-bit lanes, folded into the sum before a lane could overflow (every 64
  // words). Only the low six bits of the sum matter.
  constexpr std::uint64_t kLow = 0x00FF00FF00FF00FFull;
  const char* const p = covered.data();
  const std::size_t n = covered.size();
  std::uint64_t sum = 0;
  std::size_t i = 0;
  while (i + 8 <= n) {
    std::uint64_t lanes = 0;
    for (int w = 0; w < 64 && i + 8 <= n; ++w, i += 8) {
      std::uint64_t v;
      std::memcpy(&v, p + i, 8);
      lanes += (v & kLow) + ((v >> 8) & kLow);
    }
    sum += (lanes * 0x0001000100010001ull) >> 48;
  }
  for (; i < n; ++i) sum += static_cast<unsigned char>(p[i]);
  return static_cast<char>((sum & 0x3Fu) + 0x20u);
}

// 0-based position of the first entry byte-for-byte equal to `value`, -1 when
// none is.
int index_de_liste(std::string_view value, std::span<const std::string_view> list);
int index_de_liste(std::string_view value, std::initializer_list<std::string_view> list);

// The decimal integer the text holds, without leading zeros; "0" when the text
// as a whole is not an integer (an optional sign, then digits). Works on the
// digits as text, so any length is fine.
Text supprime_zero(std::string_view s);
void supprime_zero_into(std::string_view s, Text& out);  // same, into a kept buffer

// True when the text is one or more decimal digits and nothing else.
bool all_digits(std::string_view s);

// A digit-only text that fits a signed 32-bit integer; nothing otherwise.
std::optional<std::int32_t> parse_digits(std::string_view s);

// A hexadecimal text of 1 to 8 digits (either case); nothing otherwise.
std::optional<std::uint32_t> parse_hex32(std::string_view s);

// A Wh digit text as kWh with exactly three decimals: "12345678" gives
// "12345<sep>678", "5" gives "0<sep>005". False (out unchanged) when the text is
// not digits only.
bool kwh_text_into(std::string_view wh_digits, char separator, Text& out);

// The fields of a JAUNE or ENERG value, numbered from 1 (fields[0] is field 1).
// Fields end at every ':' and at every run of blanks (bytes up to the space);
// blanks around a ':' are dropped, leading and trailing blanks ignored, two ':'
// in a row give an empty field and a final ':' a final empty field.
struct FieldSplit {
  static constexpr std::size_t kMax = 16;
  std::array<std::string_view, kMax> fields{};
  std::size_t count = 0;  // fields found (those beyond kMax are counted, not kept)
  std::string_view operator[](std::size_t i) const { return i < kMax ? fields[i] : std::string_view(); }
};
FieldSplit split_fields(std::string_view value);

}  // namespace vireluz
