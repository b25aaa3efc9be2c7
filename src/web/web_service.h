#pragma once
// Plugs the page's server into a Program beside the other services: it starts
// and stops the server as [CONFIG_WEB] says, answers its requests from the
// program's state, and sends every decoded frame to the open pages. While no
// page is open a frame costs one test: no state is built, no timer runs.
#include <memory>
#include <optional>
#include <vector>

#include "common/event.h"
#include "common/timer.h"
#include "program/program.h"
#include "web/page_state.h"
#include "web/web_gate.h"
#include "web/web_server.h"

namespace vireluz {

class WebService : private WebSite {
 public:
  static constexpr const char* kCaption = "Page Web";

  WebService(Program& program, WebServer& server);
  ~WebService() override;
  WebService(const WebService&) = delete;
  WebService& operator=(const WebService&) = delete;

  // Follows [CONFIG_WEB]: the server runs when ACTIF is 1 and the settings
  // allow it, otherwise it is stopped and one French message says why. The
  // same settings again change nothing unless `force` (the "Page Web" window
  // was saved).
  void apply_settings(bool force = false);
  WebServer& server() { return server_; }

  // The state of /api/state: the --dump document of the headless runner.
  nlohmann::json state_json();

 private:
  GateVerdict check(const HttpHead& head, std::size_t extra_bytes, const std::string& peer,
                    std::int64_t now_ms) override;
  std::string page_opened() override;
  std::string api_state() override;
  std::optional<Download> download(std::string_view name) override;

  // Sends what changed to the open pages (nothing when none is open).
  void publish();
  // The message for the pages: everything (full) or what changed since the
  // last one (empty when nothing did).
  std::string message(bool full);
  nlohmann::json files_json();

  Program& program_;
  WebServer& server_;
  std::unique_ptr<WebGate> gate_;
  std::optional<WebSettings> applied_;
  GraphFeed feed_;
  std::uint64_t sent_serial_ = ~0ull;
  MainWindowState sent_window_;  // the window as the pages last got it
  bool sent_reading_ = false;
  // A start or stop of reading reaches the pages once it has settled.
  std::unique_ptr<Timer> settle_;
  std::vector<Subscription> subscriptions_;
};

}  // namespace vireluz
