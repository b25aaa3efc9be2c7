#pragma once
// The subsystems that ride on the reading core: the periodic record and the
// daily file, the mail alerts and the two web uploads. Services follows a
// Program's events; the windowed program and the headless runner both build
// one, so they share the same behaviour. Mails and uploads go through
// asynchronous ports: nothing here waits for a server.
#include <string>

#include "alerts/alert_engine.h"
#include "alerts/mail_sender.h"
#include "program/program.h"
#include "recording/daily_file.h"
#include "recording/record_file.h"
#include "upload/bdpv.h"
#include "upload/cosm.h"
#include "upload/http_client.h"

namespace vireluz {

// Simulated values never reach the real web services: on the simulated
// interface an upload goes out only to a server named in the configuration
// ("serveur": a local test server, for example).
bool upload_allowed(bool simulated, const std::string& configured_server);

class Services {
 public:
  // Build right after the Program, before its start sequence: the daily
  // timer runs from launch. The ports must outlive this object.
  Services(Program& program, MailSender& mail, HttpClient& http);
  Services(const Services&) = delete;
  Services& operator=(const Services&) = delete;

  AlertEngine& alerts() { return alerts_; }

 private:
  Program& program_;
  AlertEngine alerts_;
  CosmUploader cosm_;
  BdpvUploader bdpv_;
  Recorder recorder_;
  DailyFile daily_;
  Subscription started_, stopped_, mail_armed_, alert_check_, automatic_start_, configured_;
};

}  // namespace vireluz
