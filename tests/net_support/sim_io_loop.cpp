#include "net_support/sim_io_loop.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <tuple>
#include <vector>

namespace vireluz::testing {

namespace {

// A lookup: its answer comes from an alarm, which goes with the request.
class SimLookup : public Request {
 public:
  SimLookup(IoLoop& loop, IoLoop::Resolved answer, std::int64_t delay_ms, IoLoop::ResolveDone done)
      : alarm_(loop.alarm([answer = std::move(answer), done = std::move(done)] { done(answer); })) {
    alarm_->start(delay_ms);
  }

 private:
  std::unique_ptr<IoLoop::Alarm> alarm_;
};

}  // namespace

struct SimIoLoop::Impl {
  explicit Impl(SimScheduler& s)
      : sched(s),
        timer(s.create_timer("io_alarms", 1)),
        alarms([this] { return sched.now_utc_ms(); },
               [this](std::optional<std::int64_t> next) {
                 // The alarms follow the scheduler's time line through one of its timers.
                 timer->set_enabled(false);
                 if (!next) return;
                 const std::int64_t ms =
                     std::clamp<std::int64_t>(*next - sched.now_utc_ms(), 1, std::numeric_limits<int>::max());
                 timer->set_interval(static_cast<int>(ms));
                 timer->set_enabled(true);
               }) {
    timer->set_handler([this] {
      timer->set_enabled(false);
      alarms.run_due();
    });
  }

  struct WatchState {
    int fd;
    int events;
    std::shared_ptr<std::function<void(int)>> on_ready;
  };

  SimScheduler& sched;
  std::unique_ptr<Timer> timer;
  AlarmList alarms;
  std::map<std::uint64_t, WatchState*> watches;
  std::uint64_t last_watch = 0;
  std::map<std::string, std::pair<Resolved, std::int64_t>> names;
};

class SimIoLoop::SimWatch : public IoLoop::Watch {
 public:
  SimWatch(Impl& impl, int fd, int events, std::function<void(int)> on_ready)
      : impl_(impl),
        id_(++impl.last_watch),
        state_{fd, events, std::make_shared<std::function<void(int)>>(std::move(on_ready))} {
    impl_.watches.emplace(id_, &state_);
  }
  ~SimWatch() override { impl_.watches.erase(id_); }
  void set_events(int events) override { state_.events = events; }
  int events() const override { return state_.events; }

 private:
  Impl& impl_;
  std::uint64_t id_;
  Impl::WatchState state_;
};

SimIoLoop::SimIoLoop(SimScheduler& sched) : impl_(std::make_unique<Impl>(sched)) {}
SimIoLoop::~SimIoLoop() = default;

std::unique_ptr<IoLoop::Watch> SimIoLoop::watch(int fd, int events, std::function<void(int)> on_ready) {
  return std::make_unique<SimWatch>(*impl_, fd, events, std::move(on_ready));
}

std::unique_ptr<IoLoop::Alarm> SimIoLoop::alarm(std::function<void()> fn) {
  return impl_->alarms.make(std::move(fn));
}

std::int64_t SimIoLoop::now_ms() const { return impl_->sched.now_utc_ms(); }

void SimIoLoop::script_name(const std::string& host, const Resolved& answer, std::int64_t delay_ms) {
  impl_->names[host] = {answer, delay_ms};
}

RequestHandle SimIoLoop::resolve(const std::string& host, ResolveDone done) {
  Resolved answer;
  std::int64_t delay = 0;
  if (host.empty()) {
    answer.error = "nom de serveur vide";
  } else if (is_numeric_address(host)) {
    answer.addresses = {host};
  } else if (host == "localhost") {
    answer.addresses = {"127.0.0.1"};
  } else if (const auto it = impl_->names.find(host); it != impl_->names.end()) {
    std::tie(answer, delay) = it->second;
  } else {
    answer.error = "nom inconnu";
  }
  return std::make_unique<SimLookup>(*this, std::move(answer), delay, std::move(done));
}

bool SimIoLoop::run_until(const std::function<bool()>& done, std::int64_t limit_ms) {
  const std::int64_t end = now_ms() + limit_ms;
  const auto real_end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  std::vector<pollfd> fds;
  std::vector<std::uint64_t> ids;
  while (!done()) {
    impl_->alarms.run_due();
    impl_->sched.run_due();
    if (done()) break;
    fds.clear();
    ids.clear();
    for (const auto& [id, w] : impl_->watches) {
      const short ev =
          static_cast<short>(((w->events & kRead) ? POLLIN : 0) | ((w->events & kWrite) ? POLLOUT : 0));
      if (ev == 0) continue;
      fds.push_back(pollfd{w->fd, ev, 0});
      ids.push_back(id);
    }
    const auto next_alarm = impl_->alarms.next_due();
    const bool due_now = next_alarm && *next_alarm <= now_ms();
    bool dispatched = false;
    if (!fds.empty() && ::poll(fds.data(), fds.size(), due_now ? 0 : real_wait_ms) > 0) {
      for (std::size_t i = 0; i < fds.size(); ++i) {
        const short got = fds[i].revents;
        int ready = 0;
        if (got & (POLLIN | POLLHUP | POLLERR)) ready |= kRead;
        if (got & (POLLOUT | POLLHUP | POLLERR)) ready |= kWrite;
        // Looked up again: an earlier callback may have dropped or changed it.
        const auto it = impl_->watches.find(ids[i]);
        if (it == impl_->watches.end()) continue;
        ready &= it->second->events;
        if (ready == 0) continue;
        const auto fn = it->second->on_ready;
        dispatched = true;
        (*fn)(ready);
      }
    }
    if (dispatched || due_now) continue;
    if (std::chrono::steady_clock::now() >= real_end) break;
    // Nothing ready: simulated time moves on to what comes next.
    const auto next = impl_->sched.next_due();
    const std::int64_t now = now_ms();
    if (!next || *next > end) {
      impl_->sched.advance(std::max<std::int64_t>(0, end - now));
      break;
    }
    impl_->sched.advance(std::max<std::int64_t>(0, *next - now));
  }
  return done();
}

void SimIoLoop::run_for(std::int64_t ms) {
  const std::int64_t end = now_ms() + ms;
  run_until([&] { return now_ms() >= end; }, ms);
}

}  // namespace vireluz::testing
