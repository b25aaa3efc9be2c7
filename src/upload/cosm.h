#pragma once
// Upload of live values to a Cosm (formerly Pachube) feed: one EEML 0.5.1
// datapoint per configured datastream, posted over plain HTTP.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "common/clock.h"
#include "common/text.h"
#include "common/user_messages.h"
#include "config/settings.h"
#include "meter/meter_slot.h"
#include "upload/http_client.h"

namespace vireluz {

// The historic Cosm API server, used unless CONFIG_COSM "serveur" is set.
inline const HttpServer kCosmDefaultServer{"api.cosm.com", 80};

// "2013-01-05T14:30:00Z" of a UTC date and time.
Text cosm_timestamp(const DateTime& utc);

// The EEML document of one datapoint: nine lines each ended by CR LF.
Text cosm_document(std::int32_t value, const DateTime& utc);

// The datastream of one table row, when the row holds one: a non-empty
// identifier, a meter index 0..1 in column 3 and a MeasureKind 0..4 in
// column 4. Rows that do not are skipped by the upload pass.
struct CosmRowTarget {
  Text identifier;
  int meter_index = 0;  // 0 meter 1, 1 meter 2
  int kind = 0;         // MeasureKind 0..4
  // Position of the value in the MeasureTable.
  int table_index() const { return kind * 2 + meter_index; }
};
bool cosm_row_target(const CosmDatastream& row, CosmRowTarget& out);

// The minute trigger: when uploads are on, counts the tick and tells whether a
// pass is due. The count goes back to 0 as soon as it reaches the interval
// (or has passed it, after the interval was shortened), before the pass runs,
// so a failed pass does not stop the following ones.
bool cosm_minute_tick(int& CosmMinuteCount, const Settings& settings);

class CosmUploader {
 public:
  // The references must outlive the uploader; the settings and values are
  // read at each call, so edits made in the window take effect at once.
  CosmUploader(const Settings& settings, const MeasureTable& measures, const Clock& clock, HttpClient& http,
               UserMessages& messages);

  // Starts a pass: one datapoint per counted row, in table order, each
  // request sent when the previous reply has come. The first failure (no
  // connection, time-out, a status outside 200..299) ends the pass and is
  // shown once (error box). Returns at once; while a pass is still running
  // the next one is skipped.
  void send_Cosm();
  bool pass_running() const { return pass_ != nullptr; }

  // Posts one datapoint with the current UTC time; `then` is called after a
  // successful reply, a failure is shown. A request that cannot be built (a
  // key with control characters, a malformed "serveur") throws VireluzError.
  void commandeCosm(const Text& identifier, std::int32_t value, std::function<void()> then = {});

  // The request commandeCosm sends (exposed for tests and diagnostics).
  HttpRequest build_request(const Text& identifier, std::int32_t value) const;

 private:
  struct Pass;
  void next_row();
  void show_error(const Text& text);

  const Settings& settings_;
  const MeasureTable& measures_;
  const Clock& clock_;
  HttpClient& http_;
  UserMessages& messages_;
  std::shared_ptr<Pass> pass_;
  RequestSet requests_;  // cancelled with the uploader
};

}  // namespace vireluz
