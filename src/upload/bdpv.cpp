#include "upload/bdpv.h"

#include <openssl/evp.h>

#include <cstdio>

#include "acquisition/tic_text.h"
#include "common/error.h"

namespace vireluz {

namespace {

constexpr const char* kSignPrefix = "5280_";

}  // namespace

std::string md5_hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &len, EVP_md5(), nullptr) != 1)
    throw VireluzError(w("Calcul de la signature MD5 impossible (bibliothèque de chiffrement)."));
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned int i = 0; i < len; ++i) {
    out += kHex[digest[i] >> 4];
    out += kHex[digest[i] & 0x0F];
  }
  return out;
}

BdpvReport bdpv_report(const Settings& settings, const std::array<MeterSlot, 2>& meters,
                       const DateTime& now) {
  const bool first = settings.bdpv.compteur_production == 1;
  const MeterSlot& m = meters[first ? 0 : 1];
  const int tic_mode = first ? settings.prg.MODE_TIC_cpt1 : settings.prg.MODE_TIC_cpt2;
  BdpvReport r;
  r.INDEX = supprime_zero(tic_mode == 1 ? m.EAIT : m.BASE);
  r.ADCO = m.ADCO;
  char date[24];
  std::snprintf(date, sizeof date, "%02d%02d%04d%02d%02d", now.day % 100, now.month % 100, now.year % 10000,
                now.hour % 100, now.minute % 100);
  r.DATE = date;
  r.api_demandeur = "dir_" + settings.bdpv.nom_utilisateur;
  r.signed_text = kSignPrefix + settings.bdpv.mot_de_passe + "ADCO" + r.ADCO + "DATE" + r.DATE + "INDEX" +
                  r.INDEX + "api_demandeur" + r.api_demandeur;
  r.api_sig = md5_hex(r.signed_text);
  return r;
}

std::string bdpv_target(const BdpvReport& r) {
  return std::string(kBdpvPath) + "?ADCO=" + percent_encode(r.ADCO) + "&INDEX=" + percent_encode(r.INDEX) +
         "&DATE=" + percent_encode(r.DATE) + "&api_demandeur=" + percent_encode(r.api_demandeur) +
         "&api_sig=" + percent_encode(r.api_sig);
}

bool bdpv_minute_due(const Settings& settings, const DateTime& now) {
  return settings.bdpv.BDPV_actif == 1 && now.hour == settings.BdpvHour && now.minute == settings.BdpvMinute;
}

BdpvUploader::BdpvUploader(const Settings& settings, const std::array<MeterSlot, 2>& meters,
                           const Clock& clock, HttpClient& http, UserMessages& messages)
    : settings_(settings), meters_(meters), clock_(clock), http_(http), messages_(messages) {}

void BdpvUploader::envoie_BDPV() {
  const HttpServer server = server_from_setting(settings_.bdpv.serveur, kBdpvDefaultServer, "BDPV");
  const BdpvReport report = bdpv_report(settings_, meters_, clock_.local_now());
  HttpRequest req;
  req.method = "GET";
  req.host = server.host;
  req.port = server.port;
  req.target = bdpv_target(report);
  const Text where = req.host + ":" + std::to_string(req.port);
  requests_.add([&](std::uint64_t id) {
    return http_.send(req, [this, id, where](const HttpResult& r) {
      requests_.close(id);
      const auto error = [this](const Text& text) {
        messages_.show_message(UserMessage{MessageIcon::Error, kAppTitle, text});
      };
      if (!r.response) return error(w("Envoi BDPV impossible : ") + r.error);
      if (const Text status = http_status_failure(r.response->status); !status.empty())
        return error(w("Envoi BDPV refusé : le serveur ") + where + w(" a répondu ") + status + ".");
      if (r.response->body.find("OK") != std::string::npos) return;
      static const Text kError = w("ERREUR transfert BDPV !");
      messages_.show_message(UserMessage{MessageIcon::None, kAppTitle, kError + "\r" + r.response->body});
    });
  });
}

}  // namespace vireluz
