#include "acquisition/decoder_groups.h"

#include <cstring>

#include "acquisition/tic_text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vireluz {
namespace {

#define VIRELUZ_LABEL_NAME(n) #n,
constexpr std::array<std::string_view, kLabelCount> kLabelNames = {VIRELUZ_TIC_LABELS(VIRELUZ_LABEL_NAME)};
#undef VIRELUZ_LABEL_NAME

constexpr std::size_t kMinLabel = 4;
constexpr std::size_t kMaxLabel = 7;

// Up to 8 bytes packed into one integer, so that a label is compared at once.
constexpr std::uint64_t pack(std::string_view s) {
  std::uint64_t k = 0;
  for (std::size_t i = 0; i < s.size() && i < 8; ++i)
    k |= static_cast<std::uint64_t>(static_cast<unsigned char>(s[i])) << (8 * i);
  return k;
}

// Open addressing with linear probing, built at compile time; sparse enough
// that a lookup almost always ends at its first slot.
constexpr std::size_t kSlots = 1024;
constexpr std::size_t slot_of(std::uint64_t key) {
  return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 54);
}

struct Table {
  std::array<std::uint64_t, kSlots> key{};  // 0: empty (no label packs to 0)
  std::array<std::uint8_t, kSlots> label{};
};

constexpr Table build_table() {
  Table t{};
  for (std::size_t i = 0; i < kLabelCount; ++i) {
    const std::uint64_t k = pack(kLabelNames[i]);
    std::size_t s = slot_of(k);
    while (t.key[s] != 0) s = (s + 1) % kSlots;
    t.key[s] = k;
    t.label[s] = static_cast<std::uint8_t>(i);
  }
  return t;
}
constexpr Table kTable = build_table();

int find_label(std::uint64_t key) {
  for (std::size_t s = slot_of(key);; s = (s + 1) % kSlots) {
    if (kTable.key[s] == key) return kTable.label[s];
    if (kTable.key[s] == 0) return -1;
  }
}

// Position of the first space or tab among the 8 bytes of `v` (little-endian),
// 8 when none: the classic zero-byte test on v XOR the separator, exact for the
// lowest match.
int first_separator(std::uint64_t v) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kHigh = 0x8080808080808080ull;
  const std::uint64_t sp = v ^ (kOnes * ' ');
  const std::uint64_t ht = v ^ (kOnes * '\t');
  const std::uint64_t hit = ((sp - kOnes) & ~sp & kHigh) | ((ht - kOnes) & ~ht & kHigh);
  return hit ? __builtin_ctzll(hit) / 8 : 8;
}

}  // namespace

std::string_view label_text(Label l) { return kLabelNames[static_cast<std::size_t>(l)]; }

void GroupIndex::scan(std::string_view packet) {
  packet_ = packet;
  pos_.fill(kAbsent);
  const char* const data = packet.data();
  const std::size_t n = packet.size();
  const std::size_t words = (n + 63) / 64;
  lf_.assign(words, 0);

  // 1. The LF map.
  std::size_t i = 0;
#if defined(__SSE2__)
  {
    const __m128i lf = _mm_set1_epi8('\n');
    auto chunk = [&](std::size_t at) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
      return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf))))
             << (at % 64);
    };
    for (; i + 64 <= n; i += 64) lf_[i / 64] = chunk(i) | chunk(i + 16) | chunk(i + 32) | chunk(i + 48);
    for (; i + 16 <= n; i += 16) lf_[i / 64] |= chunk(i);
    if (i < n && n >= 16) {
      // The last 16 bytes, of which those before i are marked already; the
      // rest lies in i's word.
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + n - 16));
      const auto m = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf))) >> (i - (n - 16));
      lf_[i / 64] |= static_cast<std::uint64_t>(m) << (i % 64);
      i = n;
    }
  }
#endif
  for (; i < n; ++i)
    if (data[i] == '\n') lf_[i / 64] |= 1ull << (i % 64);
  detailed_ = false;

  // 2. The groups: one starts at the packet's first byte and after every LF.
  auto note = [&](std::size_t start) {
    // The label runs to the first space or tab (within its 4 to 7 bytes).
    std::size_t len;
    std::uint64_t key;
    if (start + 8 <= n) {
      std::uint64_t v;
      std::memcpy(&v, data + start, 8);
      len = static_cast<std::size_t>(first_separator(v));
      key = len < 8 ? v & ((1ull << (8 * len)) - 1) : 0;
    } else {
      key = 0;
      len = 0;
      while (start + len < n && data[start + len] != ' ' && data[start + len] != '\t') {
        key |= static_cast<std::uint64_t>(static_cast<unsigned char>(data[start + len])) << (8 * len);
        ++len;
      }
      if (start + len == n) len = 0;  // no separator before the end
    }
    if (len >= kMinLabel && len <= kMaxLabel) {
      const int id = find_label(key);
      if (id >= 0 && pos_[static_cast<std::size_t>(id)] == kAbsent)
        pos_[static_cast<std::size_t>(id)] = static_cast<std::int32_t>(start);
    }
  };
  if (n > 0) note(0);
  for (std::size_t w = 0; w < words; ++w) {
    for (std::uint64_t bits = lf_[w]; bits != 0; bits &= bits - 1) {
      const std::size_t start = w * 64 + static_cast<std::size_t>(__builtin_ctzll(bits)) + 1;
      if (start < n) note(start);
    }
  }
}

void GroupIndex::detail() const {
  if (detailed_) return;
  detailed_ = true;
  const char* const data = packet_.data();
  const std::size_t n = packet_.size();
  cr_.assign((n + 63) / 64, 0);
  std::size_t i = 0;
  bool adco = false;
#if defined(__SSE2__)
  {
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i a = _mm_set1_epi8('A');
    const __m128i o = _mm_set1_epi8('O');
    unsigned pairs = 0;
    // 16 bytes at a time; a chunk also reads the 3 bytes after it.
    for (; i + 16 + 3 <= n; i += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
      const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 3));
      cr_[i / 64] |=
          static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cr))))
          << (i % 64);
      pairs |=
          static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(v, a), _mm_cmpeq_epi8(w, o))));
    }
    adco = pairs != 0;
  }
#endif
  for (; i < n; ++i) {
    if (data[i] == '\r') cr_[i / 64] |= 1ull << (i % 64);
    if (data[i] == 'A' && i + 3 < n && data[i + 3] == 'O') adco = true;
  }
  adco_candidate_ = adco;
}

std::size_t GroupIndex::next_cr(std::size_t from) const {
  if (from >= packet_.size()) return std::string_view::npos;
  detail();
  std::size_t w = from / 64;
  std::uint64_t bits = cr_[w] & (~0ull << (from % 64));
  while (bits == 0) {
    if (++w == cr_.size()) return std::string_view::npos;
    bits = cr_[w];
  }
  return w * 64 + static_cast<std::size_t>(__builtin_ctzll(bits));
}

bool GroupIndex::contains_adco() const {
  detail();
  return adco_candidate_ && memmem(packet_.data(), packet_.size(), "ADCO", 4) != nullptr;
}

GroupIndex::Fixed GroupIndex::fixed(Label l, std::size_t width, bool with_checksum) const {
  Fixed r;
  const std::int32_t p = position(l);
  if (p == kAbsent) return r;
  const std::size_t len = label_text(l).size();
  const std::size_t value_at = static_cast<std::size_t>(p) + len + 1;
  const std::size_t end = value_at + width + (with_checksum ? 2 : 0);
  if (end > packet_.size()) return r;
  r.value = packet_.substr(value_at, width);
  r.readable = true;
  if (with_checksum) {
    const std::string_view covered = packet_.substr(static_cast<std::size_t>(p), len + 1 + width);
    r.valid = tic_checksum(covered) == packet_[value_at + width + 1];
  }
  return r;
}

GroupIndex::Delimited GroupIndex::delimited(Label l) const {
  Delimited r;
  const std::int32_t p = position(l);
  if (p == kAbsent) return r;
  const std::size_t t = static_cast<std::size_t>(p) + label_text(l).size();
  if (t >= packet_.size() || packet_[t] != '\t') return r;
  std::size_t c = next_cr(t + 1);
  if (c == std::string_view::npos) c = packet_.size();  // last group: its CR went with the ETX
  if (c < t + 3) return r;
  r.value = packet_.substr(t + 1, c - t - 3);
  r.readable = true;
  const std::string_view covered =
      packet_.substr(static_cast<std::size_t>(p), c - 1 - static_cast<std::size_t>(p));
  r.valid = tic_checksum(covered) == packet_[c - 1];
  return r;
}

}  // namespace vireluz
