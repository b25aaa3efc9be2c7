#include "config/config_files.h"
#include "config/setting_keys.h"

namespace vireluz {

bool apply_setting(Settings& s, std::string_view section, std::string_view key, std::string_view value) {
  const SettingKey* k = find_setting_key(section, key);
  if (!k) return false;
  set_from_clear(s, *k, value);
  calcul_periode_enr(s);
  calcul_intervalle_cosm(s);
  calcul_heure_bdpv(s);
  return true;
}

}  // namespace vireluz
