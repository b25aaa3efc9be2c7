#include "upload/cosm.h"

#include <algorithm>
#include <cstdio>

#include "common/error.h"

namespace vireluz {

namespace {

constexpr const char* kCrLf = "\r\n";

const Text& eeml_start_tag() {
  static const Text tag =
      "<eeml xmlns=\"http://www.eeml.org/xsd/0.5.1\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
      "version=\"0.5.1\" xsi:schemaLocation=\"http://www.eeml.org/xsd/0.5.1 "
      "http://www.eeml.org/xsd/0.5.1/0.5.1.xsd\">";
  return tag;
}

}  // namespace

Text cosm_timestamp(const DateTime& utc) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", utc.year % 10000, utc.month % 100,
                utc.day % 100, utc.hour % 100, utc.minute % 100, utc.second % 100);
  return buf;
}

Text cosm_document(std::int32_t value, const DateTime& utc) {
  Text doc;
  doc += eeml_start_tag() + kCrLf;
  doc += Text("  <environment>") + kCrLf;
  doc += Text("   <data>") + kCrLf;
  doc += Text("     <datapoints>") + kCrLf;
  doc += "       <value at=\"" + cosm_timestamp(utc) + "\">" + std::to_string(value) + "</value>" + kCrLf;
  doc += Text("     </datapoints>") + kCrLf;
  doc += Text("   </data>") + kCrLf;
  doc += Text("  </environment>") + kCrLf;
  doc += Text("</eeml>") + kCrLf;
  return doc;
}

bool cosm_row_target(const CosmDatastream& row, CosmRowTarget& out) {
  if (row[0].empty()) return false;
  const auto meter = parse_int(trim(row[3]));
  const auto kind = parse_int(trim(row[4]));
  if (!meter || !kind || *meter < 0 || *meter > 1 || *kind < 0 || *kind > 4) return false;
  out.identifier = row[0];
  out.meter_index = *meter;
  out.kind = *kind;
  return true;
}

bool cosm_minute_tick(int& CosmMinuteCount, const Settings& settings) {
  if (settings.cosm.COSM_actif != 1) return false;
  ++CosmMinuteCount;
  if (CosmMinuteCount < std::max(1, settings.CosmIntervalMinutes)) return false;
  CosmMinuteCount = 0;
  return true;
}

CosmUploader::CosmUploader(const Settings& settings, const MeasureTable& measures, const Clock& clock,
                           HttpClient& http)
    : settings_(settings), measures_(measures), clock_(clock), http_(http) {}

void CosmUploader::send_Cosm() {
  const auto rows = static_cast<std::size_t>(std::max(0, settings_.CosmRowCount));
  const auto count = std::min(rows, settings_.cosm_table.size());
  for (std::size_t r = 0; r < count; ++r) {
    CosmRowTarget target;
    if (!cosm_row_target(settings_.cosm_table[r], target)) continue;
    commandeCosm(target.identifier, measures_.v[static_cast<std::size_t>(target.table_index())]);
  }
}

HttpRequest CosmUploader::build_request(const Text& identifier, std::int32_t value) const {
  const Text& key = settings_.cosm.key;
  if (has_control_char(key))
    throw VireluzError(
        w("Clé Cosm invalide : elle contient des caractères de contrôle. Corrigez-la dans la fenêtre Cosm."));
  const HttpServer server = server_from_setting(settings_.cosm.serveur, kCosmDefaultServer, "Cosm");
  HttpRequest req;
  req.method = "POST";
  req.host = server.host;
  req.port = server.port;
  req.target = "/v2/feeds/" + std::to_string(settings_.cosm.feed) + "/datastreams/" +
               percent_encode(identifier) + "/datapoints";
  req.headers = {
      {"Accept", "text/xml"}, {"Content-Type", "text/xml"}, {"Content-Version", "1.1"}, {"X-ApiKey", key}};
  req.body = cosm_document(value, clock_.utc_now());
  return req;
}

void CosmUploader::commandeCosm(const Text& identifier, std::int32_t value) {
  const HttpRequest req = build_request(identifier, value);
  const HttpResponse resp = http_.send(req);
  if (resp.status >= 400 || resp.status < 100)
    throw VireluzError(w("Envoi Cosm refusé : le serveur ") + req.host + ":" + std::to_string(req.port) +
                       w(" a répondu HTTP ") + std::to_string(resp.status) + w(" pour le datastream \"") +
                       identifier + "\".");
}

}  // namespace vireluz
