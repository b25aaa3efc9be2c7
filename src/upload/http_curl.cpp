#include "upload/http_curl.h"

#include <curl/curl.h>

#include <algorithm>
#include <memory>

#include "common/error.h"

namespace vireluz {

namespace {

struct SlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

size_t write_body(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<std::string*>(user);
  const size_t n = size * count;
  const size_t room = CurlHttpClient::kMaxBody - std::min(body->size(), CurlHttpClient::kMaxBody);
  body->append(data, std::min(n, room));
  return n;  // the rest is read and dropped
}

// libcurl wants to be initialised once per process, before any handle.
void global_init() {
  static const bool done = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
  if (!done) throw VireluzError(w("Initialisation de la bibliothèque HTTP (libcurl) impossible."));
}

}  // namespace

CurlHttpClient::CurlHttpClient(long connect_timeout_ms, long total_timeout_ms)
    : connect_timeout_ms_(connect_timeout_ms), total_timeout_ms_(total_timeout_ms) {}

CurlHttpClient::~CurlHttpClient() {
  if (curl_) curl_easy_cleanup(static_cast<CURL*>(curl_));
}

HttpResponse CurlHttpClient::send(const HttpRequest& request) {
  const std::string where = request.host + ":" + std::to_string(request.port);
  if (!curl_) {
    global_init();
    curl_ = curl_easy_init();
    if (!curl_) throw VireluzError(w("Préparation de la requête HTTP vers ") + where + w(" impossible."));
  }
  CURL* c = static_cast<CURL*>(curl_);
  curl_easy_reset(c);

  // Custom headers exactly as given. An empty value is written "Name;" so that
  // libcurl sends "Name:" instead of dropping the header; "Expect:" stops the
  // 100-continue wait before the body of a POST.
  std::unique_ptr<curl_slist, SlistDeleter> headers;
  const auto add = [&](const std::string& line) {
    curl_slist* l = curl_slist_append(headers.get(), line.c_str());
    if (!l) throw VireluzError(w("Mémoire insuffisante pour la requête HTTP."));
    headers.release();
    headers.reset(l);
  };
  for (const auto& [name, value] : request.headers) {
    if (has_control_char(name) || has_control_char(value) || name.find(':') != std::string::npos)
      throw VireluzError(w("En-tête HTTP invalide refusé (caractère de contrôle) : ") + name);
    add(value.empty() ? name + ";" : name + ":" + value);
  }
  add("Expect:");

  const std::string url = "http://" + request.host + ":" + std::to_string(request.port) + request.target;
  std::string body;
  char error[CURL_ERROR_SIZE] = {0};

  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(c, CURLOPT_PROXY, "");  // direct connection whatever http_proxy says
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, connect_timeout_ms_);
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, total_timeout_ms_);
  curl_easy_setopt(c, CURLOPT_USERAGENT, "VIRELUZ");
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, write_body);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  if (request.method == "GET") {
    curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
  } else if (request.method == "POST") {
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.body.data());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
  } else {
    throw VireluzError(w("Méthode HTTP non prise en charge : ") + request.method);
  }

  const CURLcode rc = curl_easy_perform(c);
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, nullptr);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, nullptr);
  if (rc == CURLE_OPERATION_TIMEDOUT)
    throw VireluzError(w("Le serveur ") + where + w(" ne répond pas (délai de ") +
                       std::to_string(total_timeout_ms_ / 1000) + w(" s dépassé)."));
  if (rc != CURLE_OK) {
    const std::string detail = error[0] ? error : curl_easy_strerror(rc);
    throw VireluzError(w("Échec de la connexion HTTP à ") + where + " : " + detail);
  }
  long status = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  return HttpResponse{static_cast<int>(status), std::move(body)};
}

}  // namespace vireluz
