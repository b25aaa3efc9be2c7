#include "common/text.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace vireluz {
namespace {

// Unicode code points of bytes 0x80..0x9F in Windows-1252.
constexpr std::array<std::uint16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void put_utf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

int to_cp1252(std::uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (std::size_t i = 0; i < kHigh.size(); ++i)
    if (kHigh[i] == cp) return static_cast<int>(0x80 + i);
  return -1;
}

}  // namespace

std::string cp1252_to_utf8(std::string_view in) {
  std::string out;
  out.reserve(in.size() + in.size() / 4);
  for (unsigned char c : in) {
    if (c < 0x80)
      out.push_back(static_cast<char>(c));
    else if (c < 0xA0)
      put_utf8(out, kHigh[c - 0x80]);
    else
      put_utf8(out, c);
  }
  return out;
}

Text utf8_to_cp1252(std::string_view in) {
  Text out;
  out.reserve(in.size());
  std::size_t i = 0;
  while (i < in.size()) {
    const auto c = static_cast<unsigned char>(in[i]);
    std::uint32_t cp = 0;
    std::size_t len = 0;
    if (c < 0x80) {
      cp = c;
      len = 1;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      len = 2;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      len = 3;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      len = 4;
    }
    bool ok = len > 0 && i + len <= in.size();
    for (std::size_t k = 1; ok && k < len; ++k) {
      const auto cc = static_cast<unsigned char>(in[i + k]);
      if ((cc & 0xC0) != 0x80)
        ok = false;
      else
        cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok) {  // not UTF-8: keep the byte as it stands
      out.push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    const int b = to_cp1252(cp);
    out.push_back(b < 0 ? '?' : static_cast<char>(b));
    i += len;
  }
  return out;
}

std::optional<std::int32_t> parse_int(std::string_view s) {
  if (s.empty()) return std::nullopt;
  std::size_t start = 0;
  if (s[0] == '+' || s[0] == '-') start = 1;
  if (start == s.size()) return std::nullopt;
  for (std::size_t i = start; i < s.size(); ++i)
    if (s[i] < '0' || s[i] > '9') return std::nullopt;
  std::int32_t v = 0;
  const char* b = s.data() + (s[0] == '+' ? 1 : 0);
  auto [p, ec] = std::from_chars(b, s.data() + s.size(), v);
  if (ec != std::errc() || p != s.data() + s.size()) return std::nullopt;
  return v;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool has_control_char(std::string_view text) {
  return std::any_of(text.begin(), text.end(), is_control_char);
}

}  // namespace vireluz
