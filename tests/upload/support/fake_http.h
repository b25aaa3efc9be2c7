#pragma once
// An HttpClient that records every request and answers from a script of
// replies (the last reply repeats); a reply with status -1 stands for a
// connection failure.
#include <deque>
#include <vector>

#include "common/error.h"
#include "upload/http_client.h"

namespace vireluz::testing {

class RecordingHttp : public HttpClient {
 public:
  HttpResponse send(const HttpRequest& request) override {
    requests.push_back(request);
    HttpResponse r = replies.empty() ? HttpResponse{200, ""} : replies.front();
    if (replies.size() > 1) replies.pop_front();
    if (r.status == -1) throw VireluzError("connexion impossible");
    return r;
  }
  std::vector<HttpRequest> requests;
  std::deque<HttpResponse> replies;
};

}  // namespace vireluz::testing
