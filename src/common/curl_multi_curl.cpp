#include "common/curl_multi_curl.h"

#include <arpa/inet.h>
#include <curl/curl.h>

namespace vireluz {

namespace {

void global_init() {
  static const bool done = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
  (void)done;
}

std::string duration_text(long ms) {
  if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
  return std::to_string(ms) + " ms";
}

bool is_ipv6(const std::string& address) {
  unsigned char buf[sizeof(in6_addr)];
  return inet_pton(AF_INET6, address.c_str(), buf) == 1;
}

}  // namespace

Text timeout_text(NetStep step, long limit_ms) {
  static const char* const kSteps[][2] = {{"", ""},
                                          {"résolution du nom du serveur trop longue", ")"},
                                          {"connexion TCP non établie", ")"},
                                          {"le serveur ne répond pas", " en attendant sa réponse)"},
                                          {"échange trop long avec le serveur", " pour l'échange entier)"}};
  if (step == NetStep::None) return {};
  const auto* texts = kSteps[static_cast<int>(step)];
  return w(texts[0]) + w(" (délai de ") + duration_text(limit_ms) + w(" dépassé") + w(texts[1]);
}

Text curl_failure_text(int code, const std::string& detail) {
  static const std::pair<int, const char*> kCauses[] = {
      {CURLE_COULDNT_RESOLVE_HOST, "nom du serveur introuvable"},
      {CURLE_COULDNT_CONNECT, "connexion au serveur refusée ou impossible"},
      {CURLE_OPERATION_TIMEDOUT, "délai dépassé"},
      {CURLE_SSL_CONNECT_ERROR,
       "échec de la négociation TLS avec le serveur (connexion coupée ou chiffrement refusé)"},
      {CURLE_PEER_FAILED_VERIFICATION, "certificat du serveur non vérifié"},
      {CURLE_SSL_CACERT_BADFILE, "fichier de l'autorité de certification (CA) illisible"},
      {CURLE_USE_SSL_FAILED, "le serveur ne propose pas STARTTLS"},
      {CURLE_LOGIN_DENIED, "identifiant ou mot de passe refusé par le serveur"},
      {CURLE_AUTH_ERROR, "identifiant ou mot de passe refusé par le serveur"},
      {CURLE_GOT_NOTHING, "le serveur a fermé la connexion sans répondre"},
      {CURLE_RECV_ERROR,
       "réception interrompue : le serveur a fermé la connexion ou envoyé une réponse invalide"},
      {CURLE_SEND_ERROR, "envoi interrompu : la connexion a été coupée"},
      {CURLE_WEIRD_SERVER_REPLY, "réponse du serveur incompréhensible"},
      {CURLE_OUT_OF_MEMORY, "mémoire insuffisante, ou réponse du serveur trop longue"},
      {CURLE_URL_MALFORMAT, "adresse du serveur invalide"}};
  const char* why = "échec de l'échange avec le serveur";
  for (const auto& [c, text] : kCauses)
    if (c == code) why = text;
  Text shown = utf8_to_cp1252(detail.empty() ? curl_easy_strerror(static_cast<CURLcode>(code)) : detail);
  for (char& c : shown)
    if (has_control_char({&c, 1})) c = ' ';
  return w(why) + " (" + shown + ")";
}

struct CurlMulti::Socket {
  curl_socket_t fd = CURL_SOCKET_BAD;
  CURL* easy = nullptr;  // the transfer that uses it last
  std::unique_ptr<IoLoop::Watch> watch;
};

class CurlMulti::Transfer : public Request {
 public:
  Transfer(CurlMulti& multi, Job job, Done done, bool connect_only)
      : multi_(&multi),
        easy_(static_cast<CURL*>(job.easy)),
        job_(std::move(job)),
        done_(std::move(done)),
        connect_only_(connect_only) {}
  ~Transfer() override {
    if (multi_) {
      multi_->transfers_.erase(this);
      if (in_multi_) curl_multi_remove_handle(multi_->multi_, easy_);
    }
    curl_easy_cleanup(easy_);
    curl_slist_free_all(resolve_);
  }

  void begin() {
    IoLoop& loop = multi_->loop_;
    curl_easy_setopt(easy_, CURLOPT_PRIVATE, this);
    curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, errors_);
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    total_alarm_ = loop.alarm([this] { timed_out(NetStep::Exchange); });
    total_alarm_->start(job_.limits.total_ms);
    step_alarm_ = loop.alarm([this] { timed_out(step_); });
    step_alarm_->start(job_.limits.lookup_ms);
    lookup_ = loop.resolve(job_.host, [this](const IoLoop::Resolved& r) { resolved(r); });
  }

  // After libcurl acted: the TCP connection made ends the connection limit.
  void progress() {
    if (step_ != NetStep::Connect || !in_multi_) return;
    curl_off_t connect_us = 0;
    long port = 0;
    curl_easy_getinfo(easy_, CURLINFO_CONNECT_TIME_T, &connect_us);
    curl_easy_getinfo(easy_, CURLINFO_PRIMARY_PORT, &port);
    if (connect_us <= 0 && port <= 0) return;
    step_ = NetStep::Reply;
    heard();
  }

  // The server sent something: its silence starts again.
  void heard() {
    if (step_ != NetStep::Reply) return;
    if (job_.limits.reply_ms > 0)
      step_alarm_->start(job_.limits.reply_ms);
    else
      step_alarm_->stop();
  }

  void finish(TransferResult r) {
    if (finished_) return;
    finished_ = true;
    step_alarm_->stop();
    total_alarm_->stop();
    curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &r.response_code);
    if (!r.ok() && r.error.empty()) r.error = curl_failure_text(r.code, errors_);
    if (connect_only_ && r.ok()) {
      r.connection = easy_;  // stays in the multi handle: its connection lives there
    } else if (in_multi_) {
      curl_multi_remove_handle(multi_->multi_, easy_);
      in_multi_ = false;
    }
    const Done done = std::move(done_);
    try {
      if (done) done(r);  // may destroy this transfer
    } catch (...) {
      // The clients report their own failures; nothing may reach the loop.
    }
  }

  CurlMulti* multi_;
  CURL* easy_;
  bool in_multi_ = false;

 private:
  void resolved(const IoLoop::Resolved& r) {
    if (r.addresses.empty()) {
      TransferResult res;
      res.code = CURLE_COULDNT_RESOLVE_HOST;
      res.error = w("nom du serveur introuvable (") + utf8_to_cp1252(r.error) + ")";
      return finish(res);
    }
    if (!is_numeric_address(job_.host)) {
      // libcurl connects to the addresses found here, keeping the name for
      // the certificate and the request.
      std::string entry = job_.host + ":" + std::to_string(job_.port) + ":";
      for (std::size_t i = 0; i < r.addresses.size(); ++i) {
        if (i > 0) entry += ",";
        entry += is_ipv6(r.addresses[i]) ? "[" + r.addresses[i] + "]" : r.addresses[i];
      }
      resolve_ = curl_slist_append(nullptr, entry.c_str());
      curl_easy_setopt(easy_, CURLOPT_RESOLVE, resolve_);
    }
    step_ = NetStep::Connect;
    step_alarm_->start(job_.limits.connect_ms);
    in_multi_ = curl_multi_add_handle(multi_->multi_, easy_) == CURLM_OK;
    if (!in_multi_) {
      TransferResult res;
      res.code = CURLE_FAILED_INIT;
      finish(res);
    }
  }

  void timed_out(NetStep step) {
    const TransferLimits& l = job_.limits;
    const long limit = step == NetStep::Lookup    ? l.lookup_ms
                       : step == NetStep::Connect ? l.connect_ms
                       : step == NetStep::Reply   ? l.reply_ms
                                                  : l.total_ms;
    TransferResult r;
    r.code = CURLE_OPERATION_TIMEDOUT;
    r.timed_out = step;
    r.error = timeout_text(step, limit);
    finish(r);
  }

  Job job_;
  Done done_;
  bool connect_only_;
  bool finished_ = false;
  NetStep step_ = NetStep::Lookup;  // the step the step alarm times
  RequestHandle lookup_;
  std::unique_ptr<IoLoop::Alarm> step_alarm_;
  std::unique_ptr<IoLoop::Alarm> total_alarm_;
  curl_slist* resolve_ = nullptr;
  char errors_[CURL_ERROR_SIZE] = {0};
};

CurlMulti::CurlMulti(IoLoop& loop) : loop_(loop) {
  global_init();
  multi_ = curl_multi_init();
  curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &CurlMulti::on_socket);
  curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
  curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &CurlMulti::on_timer);
  curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
  curl_alarm_ = loop_.alarm([this] { action(CURL_SOCKET_TIMEOUT, 0); });
}

CurlMulti::~CurlMulti() {
  for (Transfer* t : transfers_) {
    if (t->in_multi_) curl_multi_remove_handle(multi_, t->easy_);
    t->in_multi_ = false;
    t->multi_ = nullptr;
  }
  transfers_.clear();
  // The watches go before the sockets libcurl closes now.
  sockets_.clear();
  curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, nullptr);
  curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, nullptr);
  curl_multi_cleanup(multi_);
}

RequestHandle CurlMulti::start(Job job, Done done) { return begin(std::move(job), std::move(done), false); }

RequestHandle CurlMulti::connect(Job job, Done done) { return begin(std::move(job), std::move(done), true); }

RequestHandle CurlMulti::begin(Job job, Done done, bool connect_only) {
  auto t = std::make_unique<Transfer>(*this, std::move(job), std::move(done), connect_only);
  transfers_.insert(t.get());
  t->begin();
  return t;
}

int CurlMulti::on_socket(void* easy, int fd, int what, void* self, void* socketp) {
  auto* m = static_cast<CurlMulti*>(self);
  auto* s = static_cast<Socket*>(socketp);
  if (what == CURL_POLL_REMOVE) {
    curl_multi_assign(m->multi_, fd, nullptr);
    m->sockets_.erase(fd);
    return 0;
  }
  int events = 0;
  if (what == CURL_POLL_IN || what == CURL_POLL_INOUT) events |= IoLoop::kRead;
  if (what == CURL_POLL_OUT || what == CURL_POLL_INOUT) events |= IoLoop::kWrite;
  if (s) {
    s->watch->set_events(events);
  } else {
    auto made = std::make_unique<Socket>();
    s = made.get();
    s->fd = fd;
    s->watch = m->loop_.watch(fd, events, [m, s](int ready) {
      if (ready & IoLoop::kRead) {
        char* t = nullptr;
        if (s->easy && curl_easy_getinfo(s->easy, CURLINFO_PRIVATE, &t) == CURLE_OK && t)
          reinterpret_cast<Transfer*>(t)->heard();
      }
      m->action(s->fd, ready);  // may free the socket
    });
    m->sockets_[fd] = std::move(made);
    curl_multi_assign(m->multi_, fd, s);
  }
  s->easy = easy;
  return 0;
}

int CurlMulti::on_timer(void*, long timeout_ms, void* self) {
  auto* m = static_cast<CurlMulti*>(self);
  if (timeout_ms < 0)
    m->curl_alarm_->stop();
  else
    m->curl_alarm_->start(timeout_ms);
  return 0;
}

void CurlMulti::action(int fd, int events) {
  int mask = 0;
  if (events & IoLoop::kRead) mask |= CURL_CSELECT_IN;
  if (events & IoLoop::kWrite) mask |= CURL_CSELECT_OUT;
  int running = 0;
  curl_multi_socket_action(multi_, fd, mask, &running);
  for (Transfer* t : transfers_) t->progress();
  // Ended transfers, one at a time: a completion callback may start or drop others.
  for (;;) {
    int left = 0;
    CURLMsg* msg = curl_multi_info_read(multi_, &left);
    if (!msg) break;
    if (msg->msg != CURLMSG_DONE) continue;
    char* t = nullptr;
    curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &t);
    TransferResult r;
    r.code = msg->data.result;
    if (t) reinterpret_cast<Transfer*>(t)->finish(r);
  }
}

}  // namespace vireluz
