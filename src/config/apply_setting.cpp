// Temporary: only the keys the decoder reads. Replaced by the configuration
// loader's own implementation.
#include <strings.h>

#include "config/config_files.h"

namespace vireluz {

bool apply_setting(Settings& s, std::string_view section, std::string_view key, std::string_view value) {
  auto eq = [](std::string_view a, const char* b) {
    return a.size() == std::char_traits<char>::length(b) && strncasecmp(a.data(), b, a.size()) == 0;
  };
  if (!eq(section, "CONFIG_PRG")) return false;
  const auto v = parse_int(value);
  int* target = nullptr;
  if (eq(key, "MODE_MONO_TRI")) target = &s.prg.MODE_MONO_TRI;
  if (eq(key, "MODE_MONO_TRI_cpt2")) target = &s.prg.MODE_MONO_TRI_cpt2;
  if (eq(key, "GRAPHE IouPA")) target = &s.prg.GRAPHE_IouPA;
  if (eq(key, "MODE_ECHELLE_GRAPHE")) target = &s.prg.MODE_ECHELLE_GRAPHE;
  if (eq(key, "MODE_TIC_cpt1")) target = &s.prg.MODE_TIC_cpt1;
  if (eq(key, "MODE_TIC_cpt2")) target = &s.prg.MODE_TIC_cpt2;
  if (eq(key, "MODE_INTERFACE")) target = &s.prg.MODE_INTERFACE;
  if (!target) return false;
  if (v) *target = *v;
  return true;
}

}  // namespace vireluz
