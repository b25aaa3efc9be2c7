#pragma once
// An HttpClient that records every request and answers from a script of
// replies (the last reply repeats); a reply with status -1 stands for a
// connection failure. It answers at once, or, given a scheduler, `delay_ms`
// of simulated time later.
#include <deque>
#include <vector>

#include "common/error.h"
#include "common/sim_scheduler.h"
#include "upload/http_client.h"

namespace vireluz::testing {

class RecordingHttp : public HttpClient {
 public:
  void send(const HttpRequest& request, Done done) override {
    requests.push_back(request);
    HttpResponse r = replies.empty() ? HttpResponse{200, ""} : replies.front();
    if (replies.size() > 1) replies.pop_front();
    HttpResult result;
    if (r.status == -1)
      result.error = "connexion impossible";
    else
      result.response = r;
    if (later)
      later->post(delay_ms, [done, result] { done(result); });
    else
      done(result);
  }
  std::vector<HttpRequest> requests;
  std::deque<HttpResponse> replies;
  SimScheduler* later = nullptr;
  std::int64_t delay_ms = 0;
};

}  // namespace vireluz::testing
