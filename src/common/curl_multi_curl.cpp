#include "common/curl_multi_curl.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "common/text.h"

namespace vireluz {

namespace {

void global_init() {
  static const bool done = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
  (void)done;
}

// How often a transfer still resolving its name is looked at: the connection
// limit starts when the name is known.
constexpr std::int64_t kLookupPollMs = 50;

std::string seconds_text(long ms) {
  if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
  return std::to_string(ms) + " ms";
}

}  // namespace

std::string timeout_text(NetStep step, long limit_ms) {
  switch (step) {
    case NetStep::Lookup:
      return w("résolution du nom du serveur trop longue (délai de ") + seconds_text(limit_ms) +
             w(" dépassé)");
    case NetStep::Connect:
      return w("connexion TCP non établie (délai de ") + seconds_text(limit_ms) + w(" dépassé)");
    case NetStep::Reply:
      return w("le serveur ne répond pas (délai de ") + seconds_text(limit_ms) +
             w(" dépassé en attendant sa réponse)");
    case NetStep::None:
      break;
  }
  return {};
}

// The error buffer libcurl writes into, per transfer.
struct ErrorBuffer {
  char text[CURL_ERROR_SIZE] = {0};
};

CurlMulti::CurlMulti(IoLoop& loop) : loop_(loop) {
  global_init();
  multi_ = curl_multi_init();
  curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &CurlMulti::on_socket);
  curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
  curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &CurlMulti::on_timer);
  curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
  curl_alarm_ = loop_.alarm([this] { curl_timeout(); });
  step_alarm_ = loop_.alarm([this] { check_steps(); });
}

CurlMulti::~CurlMulti() {
  curl_alarm_->stop();
  step_alarm_->stop();
  for (auto& [easy, t] : transfers_) {
    curl_multi_remove_handle(multi_, easy);
    curl_easy_cleanup(easy);
  }
  transfers_.clear();
  for (auto& [easy, keep] : connections_) {
    curl_multi_remove_handle(multi_, easy);
    curl_easy_cleanup(easy);
  }
  connections_.clear();
  watches_.clear();
  curl_multi_cleanup(multi_);
}

void CurlMulti::start(CURL* easy, const TransferLimits& limits, std::shared_ptr<void> keep, Done done) {
  begin(easy, limits, std::move(keep), std::move(done), false);
}

void CurlMulti::connect(CURL* easy, const TransferLimits& limits, std::shared_ptr<void> keep, Done done) {
  begin(easy, limits, std::move(keep), std::move(done), true);
}

void CurlMulti::close(CURL* connection) {
  const auto it = connections_.find(connection);
  if (it == connections_.end()) return;
  // Removing a connect-only handle closes its connection at once.
  curl_multi_remove_handle(multi_, connection);
  curl_easy_cleanup(connection);
  connections_.erase(it);
}

void CurlMulti::begin(CURL* easy, const TransferLimits& limits, std::shared_ptr<void> keep, Done done,
                      bool connect_only) {
  auto t = std::make_unique<Transfer>();
  t->limits = limits;
  t->connect_only = connect_only;
  t->started_ms = loop_.now_ms();
  auto errors = std::make_shared<ErrorBuffer>();
  t->keep = std::make_shared<std::pair<std::shared_ptr<void>, std::shared_ptr<ErrorBuffer>>>(keep, errors);
  t->done = std::move(done);
  curl_easy_setopt(easy, CURLOPT_PRIVATE, errors.get());
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errors->text);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  // Dropping a transfer whose name is still being resolved must not wait for
  // the resolver thread.
  curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
  // libcurl's own connection time-out covers the protocol's set-up as well
  // (SMTP greeting, EHLO, STARTTLS, AUTH): it gets the whole bound, and the
  // TCP connection is timed here.
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, limits.total_ms);
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, limits.total_ms);
  transfers_.emplace(easy, std::move(t));
  curl_multi_add_handle(multi_, easy);
  step_alarm_->start(0);
}

int CurlMulti::on_socket(CURL*, curl_socket_t fd, int what, void* self, void*) {
  auto* m = static_cast<CurlMulti*>(self);
  if (what == CURL_POLL_REMOVE) {
    m->watches_.erase(fd);
    return 0;
  }
  int events = 0;
  if (what == CURL_POLL_IN || what == CURL_POLL_INOUT) events |= IoLoop::kRead;
  if (what == CURL_POLL_OUT || what == CURL_POLL_INOUT) events |= IoLoop::kWrite;
  auto& w = m->watches_[fd];
  if (w)
    w->set_events(events);
  else
    w = m->loop_.watch(fd, events, [m, fd](int ev) { m->socket_ready(fd, ev); });
  return 0;
}

int CurlMulti::on_timer(CURLM*, long timeout_ms, void* self) {
  auto* m = static_cast<CurlMulti*>(self);
  if (timeout_ms < 0)
    m->curl_alarm_->stop();
  else
    m->curl_alarm_->start(static_cast<int>(std::min<long>(timeout_ms, 1 << 30)));
  return 0;
}

void CurlMulti::socket_ready(curl_socket_t fd, int events) {
  int mask = 0;
  if (events & IoLoop::kRead) mask |= CURL_CSELECT_IN;
  if (events & IoLoop::kWrite) mask |= CURL_CSELECT_OUT;
  int running = 0;
  curl_multi_socket_action(multi_, fd, mask, &running);
  collect();
}

void CurlMulti::curl_timeout() {
  int running = 0;
  curl_multi_socket_action(multi_, CURL_SOCKET_TIMEOUT, 0, &running);
  collect();
  check_steps();
}

void CurlMulti::check_steps() {
  const std::int64_t now = loop_.now_ms();
  std::int64_t next = -1;
  std::vector<std::pair<CURL*, TransferResult>> late;
  for (auto& [easy, t] : transfers_) {
    if (t->connected) continue;
    curl_off_t connect_us = 0, lookup_us = 0;
    curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connect_us);
    if (connect_us > 0) {
      t->connected = true;
      continue;
    }
    curl_easy_getinfo(easy, CURLINFO_NAMELOOKUP_TIME_T, &lookup_us);
    std::int64_t due;
    TransferResult r;
    if (lookup_us > 0) {
      due = t->started_ms + lookup_us / 1000 + t->limits.connect_ms;
      r.timed_out = NetStep::Connect;
      r.limit_ms = t->limits.connect_ms;
    } else {
      due = t->started_ms + t->limits.lookup_ms;
      r.timed_out = NetStep::Lookup;
      r.limit_ms = t->limits.lookup_ms;
    }
    if (now >= due) {
      r.code = CURLE_OPERATION_TIMEDOUT;
      late.emplace_back(easy, r);
      continue;
    }
    if (lookup_us <= 0) due = std::min(due, now + kLookupPollMs);
    next = next < 0 ? due : std::min(next, due);
  }
  if (next >= 0)
    step_alarm_->start(static_cast<int>(next - now));
  else
    step_alarm_->stop();
  for (auto& [easy, r] : late) {
    curl_multi_remove_handle(multi_, easy);
    finish(easy, r);
  }
}

void CurlMulti::collect() {
  for (;;) {
    int left = 0;
    CURLMsg* msg = curl_multi_info_read(multi_, &left);
    if (!msg) break;
    if (msg->msg != CURLMSG_DONE) continue;
    CURL* easy = msg->easy_handle;
    TransferResult r;
    r.code = msg->data.result;
    const auto found = transfers_.find(easy);
    // A connected connect-only handle stays: its connection lives as long as
    // the handle is in the multi handle.
    if (r.code != CURLE_OK || found == transfers_.end() || !found->second->connect_only)
      curl_multi_remove_handle(multi_, easy);
    if (r.code == CURLE_OPERATION_TIMEDOUT) {
      curl_off_t connect_us = 0, lookup_us = 0;
      curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connect_us);
      curl_easy_getinfo(easy, CURLINFO_NAMELOOKUP_TIME_T, &lookup_us);
      r.timed_out = lookup_us <= 0 ? NetStep::Lookup : connect_us <= 0 ? NetStep::Connect : NetStep::Reply;
      const auto it = transfers_.find(easy);
      r.limit_ms = it == transfers_.end() ? 0 : it->second->limits.total_ms;
    }
    finish(easy, r);
  }
}

void CurlMulti::finish(CURL* easy, TransferResult result) {
  const auto it = transfers_.find(easy);
  if (it == transfers_.end()) return;
  std::unique_ptr<Transfer> t = std::move(it->second);
  transfers_.erase(it);
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &result.response_code);
  char* priv = nullptr;
  curl_easy_getinfo(easy, CURLINFO_PRIVATE, &priv);
  if (priv && result.error.empty()) result.error = reinterpret_cast<ErrorBuffer*>(priv)->text;
  if (t->connect_only && result.ok()) {
    // The handle and what it points to (the error buffer among them) are
    // kept until close().
    connections_.emplace(easy, t->keep);
    result.connection = easy;
  } else {
    curl_easy_cleanup(easy);
  }
  try {
    if (t->done) t->done(result);
  } catch (...) {
    // The clients report their own failures; nothing may reach the loop.
  }
}

}  // namespace vireluz
