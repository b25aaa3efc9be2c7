#include "program/services.h"

namespace vireluz {

bool upload_allowed(bool simulated, const std::string& configured_server) {
  return !simulated || !configured_server.empty();
}

namespace {

Recorder::Hooks recorder_hooks(Program& p) {
  Recorder::Hooks h;
  h.reset_module = [&p] { p.interface().reset_module(); };
  return h;  // errors leave the tick and reach the guarded timer's error display
}

DailyFile::Hooks daily_hooks(Program& p, CosmUploader& cosm, BdpvUploader& bdpv) {
  DailyFile::Hooks h;
  h.ResetAfterDailyFile = [&p] { return p.interface().ResetAfterDailyFile; };
  h.reset_module = [&p] { p.interface().reset_module(); };
  h.clear_graph = [&p](int g) {
    if (g == 1 || g == 2) p.graphs().graph[static_cast<std::size_t>(g - 1)].clear();
  };
  h.envoie_BDPV = [&p, &bdpv] {
    if (upload_allowed(p.simulated(), p.settings().bdpv.serveur)) bdpv.envoie_BDPV();
  };
  h.send_Cosm = [&p, &cosm] {
    if (upload_allowed(p.simulated(), p.settings().cosm.serveur)) cosm.send_Cosm();
  };
  return h;
}

}  // namespace

Services::Services(Program& p, MailSender& mail, HttpClient& http)
    : program_(p),
      alerts_(p.settings(), p.measures(), p.clock(), mail, p.timers(), p.messages()),
      cosm_(p.settings(), p.measures(), p.clock(), http, p.messages()),
      bdpv_(p.settings(), p.meters(), p.clock(), http, p.messages()),
      recorder_(p.settings(), p.meters(), p.window(), p.clock(), p.timers(), recorder_hooks(p),
                p.program_dir()),
      daily_(p.settings(), p.meters(), p.clock(), p.timers(), daily_hooks(p, cosm_, bdpv_), p.program_dir()) {
  auto& iface = p.interface();
  started_ = iface.on_reading_started.subscribe([this] { recorder_.debut_lecture(); });
  stopped_ = iface.on_reading_stopped.subscribe([this] { recorder_.fin_lecture(); });
  mail_armed_ = iface.on_mail_armed.subscribe([this] { alerts_.reading_started(); });
  alert_check_ = p.on_alert_check.subscribe([this] { alerts_.mail_alerte(); });
  automatic_start_ =
      p.on_automatic_start.subscribe([this] { alerts_.restart_mail(program_.clock().local_now()); });
  configured_ = p.on_configuration_loaded.subscribe([this] {
    if (program_.settings().mail.ACTIF != 1) return;
    // A restart mail that already failed keeps its lines for the next mail.
    if (alerts_.mail_pending())
      alerts_.ensure_header();
    else
      alerts_.reset_memo();
  });
}

}  // namespace vireluz
