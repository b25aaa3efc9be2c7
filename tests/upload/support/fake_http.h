#pragma once
// An HttpClient that records every request and answers from a script of
// replies (the last reply repeats); a reply with status -1 stands for a
// connection failure. It answers at once, or, given a scheduler, `delay_ms`
// of simulated time later unless the handle it gave is gone.
#include <deque>
#include <vector>

#include "common/error.h"
#include "common/sim_scheduler.h"
#include "net_support/posted_answer.h"
#include "upload/http_client.h"

namespace vireluz::testing {

class RecordingHttp : public HttpClient {
 public:
  RequestHandle send(const HttpRequest& request, Done done) override {
    requests.push_back(request);
    HttpResponse r = replies.empty() ? HttpResponse{200, ""} : replies.front();
    if (replies.size() > 1) replies.pop_front();
    HttpResult result;
    if (r.status == -1)
      result.error = "connexion impossible";
    else
      result.response = r;
    if (later) return post_answer(*later, delay_ms, [done, result] { done(result); });
    done(result);
    return nullptr;
  }
  std::vector<HttpRequest> requests;
  std::deque<HttpResponse> replies;
  SimScheduler* later = nullptr;
  std::int64_t delay_ms = 0;
};

}  // namespace vireluz::testing
