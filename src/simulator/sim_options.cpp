#include "simulator/sim_options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "common/error.h"
#include "common/text.h"

namespace vireluz {
namespace {

[[noreturn]] void bad_option(std::string_view item, std::string_view why) {
  throw VireluzError(w("Option de simulation invalide « ") + std::string(item) + w(" » : ") + w(why));
}

std::optional<double> parse_probability(std::string_view s) {
  const std::string t(s);
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(t.c_str(), &end);
  if (t.empty() || end != t.c_str() + t.size() || errno != 0 || !(v >= 0 && v <= 1)) return std::nullopt;
  return v;
}

std::optional<std::uint64_t> parse_u64(std::string_view s) {
  if (s.empty() || s.size() > 19) return std::nullopt;
  std::uint64_t v = 0;
  for (const char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return v;
}

double probability(std::string_view arg, std::string_view item) {
  const auto p = parse_probability(arg);
  if (!p) bad_option(item, "probabilité entre 0 et 1 attendue");
  return *p;
}

std::uint64_t seed(std::string_view arg, std::string_view item) {
  const auto s = parse_u64(arg);
  if (!s) bad_option(item, "entier positif attendu");
  return *s;
}

void apply_meter_words(SimMeterOptions& m, std::string_view words, std::string_view item) {
  VirtualMeterConfig& e = m.config;
  std::size_t start = 0;
  while (start <= words.size()) {
    std::size_t comma = words.find(',', start);
    if (comma == std::string_view::npos) comma = words.size();
    const std::string_view word = words.substr(start, comma - start);
    start = comma + 1;
    if (word.empty()) continue;
    const std::size_t colon = word.find(':');
    const std::string_view key = word.substr(0, colon);
    const std::string_view arg =
        colon == std::string_view::npos ? std::string_view{} : word.substr(colon + 1);
    const auto set_option = [&](SimTariff o, std::optional<bool> solar) {
      e.option = o;
      if (solar) e.solar = *solar;
      m.set |= kSimOption;
    };
    if (key == "historique" || key == "historic") {
      e.mode = SimTicMode::HISTORIC;
      m.set |= kSimMode;
    } else if (key == "standard") {
      e.mode = SimTicMode::STANDARD;
      m.set |= kSimMode;
    } else if (key == "mono") {
      e.three_phase = false;
      m.set |= kSimPhases;
    } else if (key == "tri") {
      e.three_phase = true;
      m.set |= kSimPhases;
    } else if (key == "hc") {
      set_option(SimTariff::HC, false);
    } else if (key == "base") {
      set_option(SimTariff::BASE, std::nullopt);
    } else if (key == "ejp") {
      set_option(SimTariff::EJP, false);
    } else if (key == "tempo") {
      set_option(SimTariff::TEMPO, false);
    } else if (key == "prod" || key == "producteur") {
      set_option(SimTariff::PRODUCTEUR, true);
    } else if (key == "conso") {
      if (e.option == SimTariff::PRODUCTEUR) e.option = SimTariff::BASE;
      set_option(e.option, false);
    } else if (key == "solaire" || key == "solar") {
      set_option(e.option, true);
    } else if (key == "unplugged" || key == "debranche") {
      e.unplugged = true;
      m.set |= kSimUnplugged;
    } else if (key == "plugged" || key == "branche") {
      e.unplugged = false;
      m.set |= kSimUnplugged;
    } else if (key == "subscribed" || key == "peak" || key == "replaced") {
      const int most = key == "subscribed" ? 99 : key == "peak" ? 99999 : 1000000000;
      const auto v = parse_int(arg);
      if (!v || *v < 1 || *v > most) bad_option(item, "valeur numérique attendue");
      if (key == "subscribed") {
        e.subscribed = *v;
        m.set |= kSimSubscribed;
      } else if (key == "peak") {
        e.peak_va = *v;
        m.set |= kSimPeak;
      } else {
        e.replaced_after_s = *v;
        m.set |= kSimReplaced;
      }
    } else if (key == "address") {
      if (arg.size() != 12) bad_option(item, "l'adresse doit avoir 12 caractères");
      for (const char c : arg)
        if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7E)
          bad_option(item, "caractère interdit dans l'adresse");
      e.address = std::string(arg);
      m.set |= kSimAddress;
    } else if (key == "corruption") {
      e.corruption = probability(arg, item);
      m.set |= kSimCorruption;
    } else if (key == "swap") {
      e.swap = probability(arg, item);
      m.set |= kSimSwap;
    } else if (key == "seed") {
      e.seed = seed(arg, item);
      m.set |= kSimSeed;
    } else {
      bad_option(item, "mot inconnu « " + std::string(word) + " »");
    }
  }
}

}  // namespace

void apply_sim_options(std::string_view options, std::array<SimMeterOptions, 2>& meters) {
  std::size_t i = 0;
  while (i < options.size()) {
    const char c = options[i];
    if (c == '#') {
      while (i < options.size() && options[i] != '\n') ++i;
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ';') {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < options.size() && std::strchr(" \t\r\n;#", options[j]) == nullptr) ++j;
    const std::string_view item = options.substr(i, j - i);
    i = j;
    const std::size_t eq = item.find('=');
    if (eq == std::string_view::npos) bad_option(item, "forme clé=valeur attendue");
    const std::string_view key = item.substr(0, eq), value = item.substr(eq + 1);
    if (key == "meter1" || key == "compteur1") {
      apply_meter_words(meters[0], value, item);
    } else if (key == "meter2" || key == "compteur2") {
      apply_meter_words(meters[1], value, item);
    } else if (key == "corruption") {
      const double p = probability(value, item);
      for (SimMeterOptions& m : meters) {
        m.config.corruption = p;
        m.set |= kSimCorruption;
      }
    } else if (key == "seed") {
      const std::uint64_t s = seed(value, item);
      for (std::size_t k = 0; k < 2; ++k) {
        meters[k].config.seed = s + k;
        meters[k].set |= kSimSeed;
      }
    } else {
      bad_option(item, "clé inconnue");
    }
  }
}

}  // namespace vireluz
