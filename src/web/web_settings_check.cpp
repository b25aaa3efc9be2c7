#include "web/web_settings_check.h"

#include <arpa/inet.h>

#include <algorithm>
#include <string>

#include "common/io_loop.h"

namespace vireluz {

bool is_loopback_address(std::string_view address) {
  const std::string a(address);
  unsigned char b[16];
  if (inet_pton(AF_INET, a.c_str(), b) == 1) return b[0] == 127;
  if (inet_pton(AF_INET6, a.c_str(), b) != 1) return false;
  static const unsigned char kLoop[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  static const unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  return std::equal(b, b + 16, kLoop) || (std::equal(b, b + 12, kMapped) && b[12] == 127);
}

std::optional<Text> web_settings_problem(const WebSettings& s) {
  const std::string_view address = trim(s.ADRESSE);
  if (!is_numeric_address(address))
    return w("L'adresse d'écoute « ") + Text(address) +
           w(" » n'est pas une adresse IP (127.0.0.1 : cette machine seule ; 0.0.0.0 : tout le réseau).");
  if (s.PORT < 1 || s.PORT > 65535)
    return w("Le port doit être un nombre entre 1 et 65535 (8080 d'ordinaire).");
  if (has_control_char(s.UTILISATEUR) || has_control_char(s.MOT_DE_PASSE))
    return w("Le nom d'utilisateur ou le mot de passe contient des caractères de contrôle : vérifiez-les.");
  if (s.UTILISATEUR.find(':') != Text::npos) return w("Le nom d'utilisateur ne peut pas contenir « : ».");
  if (s.UTILISATEUR.empty() != s.MOT_DE_PASSE.empty())
    return w("L'utilisateur et le mot de passe vont ensemble : indiquez les deux, ou aucun.");
  if (s.MOT_DE_PASSE.empty() && !is_loopback_address(address))
    return w("L'adresse ") + Text(address) +
           w(" ouvrirait la page au réseau sans mot de passe : indiquez un utilisateur et un mot de passe, "
             "ou l'adresse 127.0.0.1 (cette machine seule).");
  if (trim(s.CERTIFICAT).empty() != trim(s.CLE).empty())
    return w("Le certificat et la clé vont ensemble : indiquez les deux fichiers, ou aucun.");
  return std::nullopt;
}

}  // namespace vireluz
