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

struct CosmUploader::Pass {
  std::vector<CosmRowTarget> rows;
  std::size_t next = 0;
};

CosmUploader::CosmUploader(const Settings& settings, const MeasureTable& measures, const Clock& clock,
                           HttpClient& http, UserMessages& messages)
    : settings_(settings), measures_(measures), clock_(clock), http_(http), messages_(messages) {}

void CosmUploader::show_error(const Text& text) {
  messages_.show_message(UserMessage{MessageIcon::Error, kAppTitle, text});
}

void CosmUploader::send_Cosm() {
  if (pass_) return;
  const auto rows = static_cast<std::size_t>(std::max(0, settings_.CosmRowCount));
  const auto count = std::min(rows, settings_.cosm_table.size());
  auto pass = std::make_shared<Pass>();
  for (std::size_t r = 0; r < count; ++r) {
    CosmRowTarget target;
    if (cosm_row_target(settings_.cosm_table[r], target)) pass->rows.push_back(target);
  }
  if (pass->rows.empty()) return;
  pass_ = pass;
  next_row();
}

void CosmUploader::next_row() {
  if (!pass_) return;
  if (pass_->next >= pass_->rows.size()) {
    pass_.reset();
    return;
  }
  const CosmRowTarget& target = pass_->rows[pass_->next++];
  try {
    commandeCosm(target.identifier, measures_.v[static_cast<std::size_t>(target.table_index())],
                 [this] { next_row(); });
  } catch (const std::exception& e) {
    pass_.reset();
    show_error(e.what());
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
               percent_encode_segment(identifier) + "/datapoints";
  req.headers = {
      {"Accept", "text/xml"}, {"Content-Type", "text/xml"}, {"Content-Version", "1.1"}, {"X-ApiKey", key}};
  req.body = cosm_document(value, clock_.utc_now());
  return req;
}

void CosmUploader::commandeCosm(const Text& identifier, std::int32_t value, std::function<void()> then) {
  const HttpRequest req = build_request(identifier, value);
  const Text where = req.host + ":" + std::to_string(req.port);
  requests_.add([&](std::uint64_t id) {
    return http_.send(req, [this, id, where, identifier, then = std::move(then)](const HttpResult& r) {
      requests_.close(id);
      Text failure;
      if (!r.response)
        failure = w("Envoi Cosm impossible pour le datastream \"") + identifier + "\" : " + r.error;
      else if (const Text status = http_status_failure(r.response->status); !status.empty())
        failure = w("Envoi Cosm refusé : le serveur ") + where + w(" a répondu ") + status +
                  w(" pour le datastream \"") + identifier + "\".";
      if (failure.empty()) {
        if (then) then();
        return;
      }
      pass_.reset();  // the rest of the pass is not sent
      show_error(failure);
    });
  });
}

}  // namespace vireluz
