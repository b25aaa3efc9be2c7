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

// What the easy handle points to during the exchange.
struct Exchange {
  std::string url;
  std::string request_body;
  std::string reply;
  std::size_t header_bytes = 0;
  const char* too_long = nullptr;  // the part of the reply that passed its cap
  std::unique_ptr<curl_slist, SlistDeleter> headers;
};

// Header lines are only counted; a reply past a cap stops the transfer.
size_t count_header(char*, size_t size, size_t count, void* user) {
  auto* ex = static_cast<Exchange*>(user);
  ex->header_bytes += size * count;
  if (ex->header_bytes <= CurlHttpClient::kMaxHeaders) return size * count;
  ex->too_long = "en-têtes de la réponse trop longs (plus de 16 Kio)";
  return 0;
}

size_t write_body(char* data, size_t size, size_t count, void* user) {
  auto* ex = static_cast<Exchange*>(user);
  if (ex->reply.size() + size * count <= CurlHttpClient::kMaxBody) {
    ex->reply.append(data, size * count);
    return size * count;
  }
  ex->too_long = "réponse trop longue (plus de 64 Kio)";
  return 0;
}

}  // namespace

RequestHandle CurlHttpClient::send(const HttpRequest& request, Done done) {
  const std::string where = request.host + ":" + std::to_string(request.port);
  if (request.method != "GET" && request.method != "POST")
    throw VireluzError(w("Méthode HTTP non prise en charge : ") + request.method);
  auto ex = std::make_shared<Exchange>();
  // Custom headers exactly as given. An empty value is written "Name;" so that
  // libcurl sends "Name:" instead of dropping the header; "Expect:" stops the
  // 100-continue wait before the body of a POST.
  const auto add = [&](const std::string& line) {
    curl_slist* l = curl_slist_append(ex->headers.get(), line.c_str());
    if (!l) throw VireluzError(w("Mémoire insuffisante pour la requête HTTP."));
    ex->headers.release();
    ex->headers.reset(l);
  };
  for (const auto& [name, value] : request.headers) {
    if (has_control_char(name) || has_control_char(value) || name.find(':') != std::string::npos)
      throw VireluzError(w("En-tête HTTP invalide refusé (caractère de contrôle) : ") + name);
    add(value.empty() ? name + ";" : name + ":" + value);
  }
  add("Expect:");
  if (has_control_char(request.target) || request.target.find(' ') != std::string::npos)
    throw VireluzError(w("Chemin de requête HTTP invalide refusé : ") + request.target);

  CURL* c = curl_easy_init();
  if (!c) throw VireluzError(w("Préparation de la requête HTTP vers ") + where + w(" impossible."));
  ex->url = "http://" + request.host + ":" + std::to_string(request.port) + request.target;
  ex->request_body = request.body;

  curl_easy_setopt(c, CURLOPT_URL, ex->url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(c, CURLOPT_PROXY, "");  // direct connection whatever http_proxy says
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  // The path goes out as built (dot segments are already encoded).
  curl_easy_setopt(c, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(c, CURLOPT_USERAGENT, "VIRELUZ");
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, ex->headers.get());
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, count_header);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, ex.get());
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, write_body);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, ex.get());
  if (request.method == "GET") {
    curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
  } else {
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, ex->request_body.data());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(ex->request_body.size()));
  }

  return multi_.start({c, request.host, request.port, limits_, ex}, [ex, where, done = std::move(done)](
                                                                        const TransferResult& r) {
    HttpResult result;
    if (ex->too_long)
      result.error = w("serveur ") + where + " : " + w(ex->too_long) + w(", elle n'est pas lue.");
    else if (r.ok())
      result.response = HttpResponse{static_cast<int>(r.response_code), std::move(ex->reply)};
    else if (r.timed_out != NetStep::None)
      result.error = w("serveur ") + where + " : " + r.error + ".";
    else
      result.error = w("échec de la connexion HTTP à ") + where + " : " + r.error + ".";
    done(result);
  });
}

}  // namespace vireluz
