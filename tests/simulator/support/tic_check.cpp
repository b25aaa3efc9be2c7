#include "tic_check.h"

namespace simtest {

namespace {
char expected_checksum(std::string_view covered) {
  unsigned long sum = 0;
  for (const unsigned char c : covered) sum += c;
  return static_cast<char>(' ' + sum % 64);
}
}  // namespace

bool Frame::all_ok() const {
  if (groups.empty()) return false;
  for (const auto& g : groups)
    if (!g.checksum_ok || !g.well_formed) return false;
  return true;
}

const Group* Frame::find(std::string_view label) const {
  for (const auto& g : groups)
    if (g.label == label) return &g;
  return nullptr;
}

std::string Frame::value(std::string_view label) const {
  const Group* g = find(label);
  return g ? g->value : std::string();
}

Frame parse_frame(std::string_view bytes) {
  Frame f;
  if (bytes.size() < 2 || bytes.front() != '\x02' || bytes.back() != '\x03') return f;
  const std::string_view body = bytes.substr(1, bytes.size() - 2);
  f.standard = body.find('\t') != std::string_view::npos;
  std::size_t i = 0;
  while (i < body.size()) {
    Group g;
    const std::size_t cr = body.find('\r', i);
    const std::string_view raw =
        body.substr(i, cr == std::string_view::npos ? std::string_view::npos : cr - i);
    i = cr == std::string_view::npos ? body.size() : cr + 1;
    if (raw.size() < 4 || raw[0] != '\n') {
      f.groups.push_back(g);
      continue;
    }
    const std::string_view inner = raw.substr(1);
    const char sep = f.standard ? '\t' : ' ';
    const char checksum = inner.back();
    g.well_formed = inner[inner.size() - 2] == sep;
    const std::string_view covered =
        f.standard ? inner.substr(0, inner.size() - 1) : inner.substr(0, inner.size() - 2);
    g.checksum_ok = expected_checksum(covered) == checksum;
    // Fields of the covered text.
    std::string_view rest = f.standard ? covered.substr(0, covered.size() - 1) : covered;
    const std::size_t a = rest.find(sep);
    if (a == std::string_view::npos) {
      g.well_formed = false;
    } else {
      g.label = std::string(rest.substr(0, a));
      rest = rest.substr(a + 1);
      const std::size_t b = f.standard ? rest.find('\t') : std::string_view::npos;
      if (b != std::string_view::npos) {
        g.date = std::string(rest.substr(0, b));
        g.value = std::string(rest.substr(b + 1));
      } else {
        g.value = std::string(rest);
      }
    }
    f.groups.push_back(g);
  }
  return f;
}

std::vector<std::string> split_frames(std::string_view stream) {
  std::vector<std::string> out;
  std::size_t i = stream.find('\x02');
  while (i != std::string_view::npos) {
    const std::size_t next_stx = stream.find('\x02', i + 1);
    const std::size_t etx = stream.find('\x03', i + 1);
    if (etx == std::string_view::npos) break;
    if (next_stx != std::string_view::npos && next_stx < etx) {
      i = next_stx;  // a cut frame
      continue;
    }
    out.emplace_back(stream.substr(i, etx - i + 1));
    i = stream.find('\x02', etx + 1);
  }
  return out;
}

}  // namespace simtest
