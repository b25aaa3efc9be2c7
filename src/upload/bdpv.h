#pragma once
// The daily report of the production meter's index to the BDPV site: one
// signed HTTP GET whose reply must contain "OK".
#include <array>

#include "common/clock.h"
#include "common/text.h"
#include "common/user_messages.h"
#include "config/settings.h"
#include "meter/meter_slot.h"
#include "upload/http_client.h"

namespace vireluz {

// The historic BDPV server, used unless CONFIG_BDPV "serveur" is set.
inline const HttpServer kBdpvDefaultServer{"www.bdpv.fr", 80};
inline constexpr const char* kBdpvPath = "/_service/z_vireluz_gen.php";

// MD5 (RFC 1321) of the bytes, as 32 lower-case hexadecimal digits.
std::string md5_hex(std::string_view bytes);

// The values of one report, before URL encoding.
struct BdpvReport {
  Text ADCO;
  Text INDEX;          // Wh, decimal, no leading zeros, "0" without a valid value
  Text DATE;           // ddmmyyyyhhmm, local time
  Text api_demandeur;  // "dir_" + account name
  Text signed_text;    // what api_sig is the digest of
  std::string api_sig;
};

// Builds the report of the production meter at the local time `now`.
BdpvReport bdpv_report(const Settings& settings, const std::array<MeterSlot, 2>& meters, const DateTime& now);

// Path and query of the request, every value percent-encoded.
std::string bdpv_target(const BdpvReport& report);

// The minute trigger: true when reports are on and `now` (local time) is in
// the configured minute.
bool bdpv_minute_due(const Settings& settings, const DateTime& now);

class BdpvUploader {
 public:
  // The references must outlive the uploader; everything is read at each call.
  BdpvUploader(const Settings& settings, const std::array<MeterSlot, 2>& meters, const Clock& clock,
               HttpClient& http, UserMessages& messages);

  // Builds and sends the report; returns at once. When the reply comes: a
  // reply holding "OK" is a success; any other reply shows "ERREUR transfert
  // BDPV !" and the reply. No reply, or a status outside 200..299 (a
  // redirect is not followed), shows the failure in an error box. A report
  // that cannot be built (a malformed "serveur") throws VireluzError.
  void envoie_BDPV();

 private:
  const Settings& settings_;
  const std::array<MeterSlot, 2>& meters_;
  const Clock& clock_;
  HttpClient& http_;
  UserMessages& messages_;
  RequestSet requests_;  // cancelled with the uploader
};

}  // namespace vireluz
