#include "acquisition/tic_text.h"

#include <cstdint>

namespace vireluz {

int index_de_liste(std::string_view value, std::span<const std::string_view> list) {
  // The texts compared are short codes: a byte loop beats a call to memcmp.
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string_view e = list[i];
    if (e.size() != value.size()) continue;
    std::size_t k = 0;
    while (k < e.size() && e[k] == value[k]) ++k;
    if (k == e.size()) return static_cast<int>(i);
  }
  return -1;
}

int index_de_liste(std::string_view value, std::initializer_list<std::string_view> list) {
  return index_de_liste(value, std::span<const std::string_view>(list.begin(), list.size()));
}

void supprime_zero_into(std::string_view s, Text& out) {
  const char* p = s.data();
  const char* const end = p + s.size();
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  if (p == end) {
    out.assign(1, '0');
    return;
  }
  const char* first = nullptr;  // first significant digit
  for (const char* q = p; q != end; ++q) {
    if (*q < '0' || *q > '9') {
      out.assign(1, '0');
      return;
    }
    if (!first && *q != '0') first = q;
  }
  if (!first) {  // only zeros: -000 is 0 as well
    out.assign(1, '0');
    return;
  }
  if (negative) {
    out.assign(1, '-');
    out.append(first, static_cast<std::size_t>(end - first));
  } else {
    put_text(out, std::string_view(first, static_cast<std::size_t>(end - first)));
  }
}

Text supprime_zero(std::string_view s) {
  Text out;
  supprime_zero_into(s, out);
  return out;
}

std::optional<std::int32_t> parse_digits(std::string_view s) {
  if (s.empty()) return std::nullopt;
  std::uint64_t v = 0;
  for (const char c : s) {
    const unsigned d = static_cast<unsigned>(static_cast<unsigned char>(c)) - '0';
    if (d > 9) return std::nullopt;
    v = v * 10 + d;
    if (v > static_cast<std::uint64_t>(INT32_MAX)) return std::nullopt;  // too large, whatever follows
  }
  return static_cast<std::int32_t>(v);
}

std::optional<std::uint32_t> parse_hex32(std::string_view s) {
  if (s.empty() || s.size() > 8) return std::nullopt;
  std::uint32_t v = 0;
  for (const char c : s) {
    unsigned d;
    if (c >= '0' && c <= '9')
      d = static_cast<unsigned>(c - '0');
    else if (c >= 'A' && c <= 'F')
      d = static_cast<unsigned>(c - 'A' + 10);
    else if (c >= 'a' && c <= 'f')
      d = static_cast<unsigned>(c - 'a' + 10);
    else
      return std::nullopt;
    v = (v << 4) | d;
  }
  return v;
}

bool kwh_text_into(std::string_view wh, char separator, Text& out) {
  if (!all_digits(wh)) return false;
  // Integer part: every digit but the last three, without leading zeros.
  const std::size_t int_len = wh.size() > 3 ? wh.size() - 3 : 0;
  std::string_view int_part = wh.substr(0, int_len);
  const std::size_t first = int_part.find_first_not_of('0');
  int_part = first == std::string_view::npos ? std::string_view("0") : int_part.substr(first);
  out.assign(int_part);
  out.push_back(separator);
  for (std::size_t i = wh.size(); i < 3; ++i) out.push_back('0');
  out.append(wh.substr(int_len));
  return true;
}

FieldSplit split_fields(std::string_view v) {
  FieldSplit r;
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  auto add = [&r](std::string_view f) {
    if (r.count < FieldSplit::kMax) r.fields[r.count] = f;
    ++r.count;
  };
  std::size_t i = 0;
  const std::size_t n = v.size();
  while (i < n && blank(v[i])) ++i;
  while (i < n) {
    const std::size_t start = i;
    while (i < n && !blank(v[i]) && v[i] != ':') ++i;
    add(v.substr(start, i - start));
    while (i < n && blank(v[i])) ++i;
    if (i < n && v[i] == ':') {
      if (i + 1 == n) add(std::string_view());
      do ++i;
      while (i < n && blank(v[i]));
    }
  }
  return r;
}

}  // namespace vireluz
