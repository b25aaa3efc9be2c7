#include "web/web_service.h"

#include <filesystem>

#include "program/program_json.h"
#include "recording/daily_file.h"
#include "recording/record_file.h"
#include "web/web_settings_check.h"

namespace vireluz {
namespace {

constexpr int kSettleMs = 100;

struct FileEntry {
  const char* name;   // in /fichiers/NAME
  const char* label;  // on the page
};
constexpr FileEntry kFiles[] = {
    {"enregistrements", "Enregistrements"}, {"production", "Production"}, {"annuel", "Fichier annuel"}};

std::string dump(const nlohmann::json& j) {
  return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

WebService::WebService(Program& p, WebServer& server)
    : program_(p), server_(server), settle_(p.timers().create_timer("Timer_web", kSettleMs)) {
  settle_->set_handler([this] {
    settle_->set_enabled(false);
    publish();
  });
  auto settle = [this] {
    if (server_.pages() > 0) settle_->set_enabled(true);
  };
  subscriptions_.push_back(p.on_packet_decoded.subscribe([this](int) { publish(); }));
  subscriptions_.push_back(p.interface().on_reading_started.subscribe(settle));
  subscriptions_.push_back(p.interface().on_reading_stopped.subscribe(settle));
  subscriptions_.push_back(p.on_configuration_loaded.subscribe([this] { apply_settings(); }));
}

WebService::~WebService() {
  subscriptions_.clear();
  server_.stop();
}

void WebService::apply_settings(bool force) {
  const WebSettings& s = program_.settings().web;
  if (!force && applied_ && *applied_ == s) return;
  applied_ = s;
  server_.stop();
  gate_.reset();
  if (s.ACTIF != 1) return;
  auto tell = [this](const Text& why) {
    program_.messages().show_message(
        UserMessage{MessageIcon::Warning, kCaption, w("La page Web n'est pas publiée : ") + why});
  };
  if (const auto problem = web_settings_problem(s)) {
    tell(*problem);
    return;
  }
  WebServer::Listen l;
  l.address = std::string(trim(s.ADRESSE));
  l.port = s.PORT;
  l.certificate = cp1252_to_utf8(trim(s.CERTIFICAT));
  l.key = cp1252_to_utf8(trim(s.CLE));
  gate_ = std::make_unique<WebGate>(cp1252_to_utf8(s.UTILISATEUR), cp1252_to_utf8(s.MOT_DE_PASSE),
                                    !l.certificate.empty());
  if (const std::string error = server_.start(l, *this); !error.empty()) {
    gate_.reset();
    tell(utf8_to_cp1252(error));
  }
}

GateVerdict WebService::check(const HttpHead& head, std::size_t extra_bytes, const std::string& peer,
                              std::int64_t now_ms) {
  if (!gate_) {
    GateVerdict v;
    v.status = 503;
    v.text = "Page Web arrêtée.";
    return v;
  }
  return gate_->check(head, extra_bytes, peer, now_ms);
}

nlohmann::json WebService::state_json() { return program_state_json(program_); }

std::string WebService::api_state() { return dump(state_json()); }

std::optional<WebSite::Download> WebService::download(std::string_view name) {
  const Settings& s = program_.settings();
  const std::string folder = record_folder(s, program_.program_dir());
  const DateTime now = program_.clock().local_now();
  std::string path;
  if (name == "enregistrements")
    path = folder + cp1252_to_utf8(record_file_stem(s.prg, now)) + ".csv";
  else if (name == "production" && s.prg.FICHIER_PROD_CSV == 1)
    path = folder + "/prod/prod.csv";
  else if (name == "annuel")
    path = daily_file_path(s, program_.program_dir(), now);
  else
    return std::nullopt;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  return Download{path, std::filesystem::path(path).filename().string()};
}

nlohmann::json WebService::files_json() {
  nlohmann::json files = nlohmann::json::array();
  for (const FileEntry& f : kFiles) {
    const auto d = download(f.name);
    if (!d) continue;
    files.push_back(
        {{"href", std::string("/fichiers/") + f.name}, {"label", f.label}, {"file", d->file_name}});
  }
  return files;
}

std::string WebService::message(bool full) {
  Program& p = program_;
  const bool reading = p.interface().ReadingActive;
  nlohmann::json graphs = nlohmann::json::array();
  bool changed = full || p.window().serial != sent_serial_ || reading != sent_reading_;
  const Text* captions[2] = {&p.graphs().Label_cpt1, &p.graphs().Label_cpt2};
  for (int i = 0; i < 2; ++i) {
    const GraphState& g = p.graphs().graph[static_cast<std::size_t>(i)];
    bool graph_changed = true;
    graphs.push_back(full ? feed_.full(i, g, *captions[i]) : feed_.next(i, g, *captions[i], &graph_changed));
    changed = changed || graph_changed;
  }
  if (!changed) return {};
  nlohmann::json window =
      page_window_json(p.window(), p.simulated(), reading, full ? nullptr : &sent_window_);
  sent_serial_ = p.window().serial;
  sent_reading_ = reading;
  sent_window_ = p.window();
  return dump({{"type", "state"},
               {"window", std::move(window)},
               {"graphs", std::move(graphs)},
               {"files", files_json()}});
}

void WebService::publish() {
  if (server_.pages() == 0) return;
  if (const std::string m = message(false); !m.empty()) server_.broadcast(m);
}

std::string WebService::page_opened() {
  // The pages already open get what they lack first, so that every page
  // follows from the same point on.
  publish();
  return message(true);
}

}  // namespace vireluz
