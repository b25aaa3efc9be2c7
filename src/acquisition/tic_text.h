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
  // words). The last bytes come from one more load that ends with the text,
  // shifted so that only the bytes not yet counted stay. Only the low six bits
  // of the sum matter.
  constexpr std::uint64_t kLow = 0x00FF00FF00FF00FFull;
  auto fold = [](std::uint64_t lanes) { return (lanes * 0x0001000100010001ull) >> 48; };
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
    sum += fold(lanes);
  }
  if (i < n && n >= 8) {
    std::uint64_t v;
    std::memcpy(&v, p + n - 8, 8);
    v >>= 8 * (8 - (n - i));  // little-endian: the last bytes are the high ones
    sum += fold((v & kLow) + ((v >> 8) & kLow));
  } else {
    for (; i < n; ++i) sum += static_cast<unsigned char>(p[i]);
  }
  return static_cast<char>((sum & 0x3Fu) + 0x20u);
}

// Sets `t` to `a` followed by `b`. The texts the decoder writes are short and
// mostly keep their length from one frame to the next: when they fit the
// capacity and do not come from `t` itself, they are copied in place in a few
// word moves, without the general replace of std::string and its call to
// memcpy. Otherwise this is t.assign(a) then t.append(b).
inline void put_text(Text& t, std::string_view a, std::string_view b = {}) {
  const std::size_t n = a.size() + b.size();
  const auto lo = reinterpret_cast<std::uintptr_t>(t.data());
  const std::uintptr_t hi = lo + t.capacity() + 1;
  auto from_t = [&](std::string_view v) {
    const auto p = reinterpret_cast<std::uintptr_t>(v.data());
    return !v.empty() && p < hi && lo < p + v.size();
  };
  if (n > t.capacity() || from_t(a) || from_t(b)) {
    t.assign(a);
    t.append(b);
    return;
  }
  t.resize(n);
  auto copy = [](char* d, const char* s, std::size_t k) {
    if (k >= 16) {
      std::memcpy(d, s, k);
    } else if (k >= 8) {
      std::uint64_t x, y;
      std::memcpy(&x, s, 8);
      std::memcpy(&y, s + k - 8, 8);
      std::memcpy(d, &x, 8);
      std::memcpy(d + k - 8, &y, 8);
    } else if (k >= 4) {
      std::uint32_t x, y;
      std::memcpy(&x, s, 4);
      std::memcpy(&y, s + k - 4, 4);
      std::memcpy(d, &x, 4);
      std::memcpy(d + k - 4, &y, 4);
    } else {
      for (std::size_t i = 0; i < k; ++i) d[i] = s[i];
    }
  };
  copy(t.data(), a.data(), a.size());
  copy(t.data() + a.size(), b.data(), b.size());
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
inline bool all_digits(std::string_view s) {
  const std::size_t n = s.size();
  if (n < 8) {
    if (n == 0) return false;
    for (const char c : s)
      if (c < '0' || c > '9') return false;
    return true;
  }
  // Eight bytes at a time (the last word may overlap the one before): a byte is
  // a digit when its high nibble is 3, and still is once 6 is added to it.
  constexpr std::uint64_t kHigh = 0xF0F0F0F0F0F0F0F0ull;
  auto digits = [](std::uint64_t v) {
    return ((v & kHigh) | (((v + 0x0606060606060606ull) & kHigh) >> 4)) == 0x3333333333333333ull;
  };
  std::uint64_t v;
  for (std::size_t i = 0; i + 8 <= n; i += 8) {
    std::memcpy(&v, s.data() + i, 8);
    if (!digits(v)) return false;
  }
  std::memcpy(&v, s.data() + n - 8, 8);
  return digits(v);
}

// A digit-only text that fits a signed 32-bit integer; nothing otherwise.
std::optional<std::int32_t> parse_digits(std::string_view s);

// The same for 1 to 16 digits, written here so that each caller's loop is its
// own (the values of one group have one length); the last eight digits of a
// longer text are converted at once.
inline std::optional<std::int64_t> digits_value(std::string_view s) {
  const std::size_t n = s.size();
  if (n == 0 || n > 16) return std::nullopt;
  std::size_t head = n < 8 ? n : n - 8;
  std::int64_t v = 0;
  for (std::size_t i = 0; i < head; ++i) {
    const unsigned d = static_cast<unsigned>(static_cast<unsigned char>(s[i])) - '0';
    if (d > 9) return std::nullopt;
    v = v * 10 + d;
  }
  if (n < 8) return v;
  // Eight digits in one word (little-endian): checked as in all_digits, then
  // pairs, fours and the eight combined by multiplications.
  std::uint64_t w;
  std::memcpy(&w, s.data() + head, 8);
  constexpr std::uint64_t kHigh = 0xF0F0F0F0F0F0F0F0ull;
  if (((w & kHigh) | (((w + 0x0606060606060606ull) & kHigh) >> 4)) != 0x3333333333333333ull)
    return std::nullopt;
  w -= 0x3030303030303030ull;
  w = (w * 10 + (w >> 8)) & 0x00FF00FF00FF00FFull;
  w = (w * 100 + (w >> 16)) & 0x0000FFFF0000FFFFull;
  w = (w * 10000 + (w >> 32)) & 0xFFFFFFFFull;
  return v * 100000000 + static_cast<std::int64_t>(w);
}

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
