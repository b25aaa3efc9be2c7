#pragma once
// The event-loop port on simulated time, for tests: its clock and its alarms
// follow a SimScheduler, so that the program's timers and the network's time
// limits run on one time line, while sockets are real and watched with
// poll(). run_until() dispatches the sockets that are ready; when none is
// after a short real wait (a peer process may need it to answer), simulated
// time jumps to the next alarm or timer.
//
// Name lookups answer numeric addresses and "localhost" at once; other names
// get the answer scripted with script_name(), after its delay in simulated
// time, or "nom inconnu".
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "common/io_loop.h"
#include "common/sim_scheduler.h"

namespace vireluz::testing {

class SimIoLoop : public IoLoop {
 public:
  // The scheduler must outlive the loop.
  explicit SimIoLoop(SimScheduler& sched);
  ~SimIoLoop() override;
  SimIoLoop(const SimIoLoop&) = delete;
  SimIoLoop& operator=(const SimIoLoop&) = delete;

  std::unique_ptr<Watch> watch(int fd, int events, std::function<void(int)> on_ready) override;
  std::unique_ptr<Alarm> alarm(std::function<void()> fn) override;
  RequestHandle resolve(const std::string& host, ResolveDone done) override;
  std::int64_t now_ms() const override;

  // What a lookup of `host` answers, delay_ms of simulated time after it starts.
  void script_name(const std::string& host, const Resolved& answer, std::int64_t delay_ms);

  // Runs sockets, alarms and timers until done() holds, or until limit_ms of
  // simulated time (or 60 s of real time) have passed; returns done().
  bool run_until(const std::function<bool()>& done, std::int64_t limit_ms = 3600000);
  // Runs for ms of simulated time.
  void run_for(std::int64_t ms);

  // Real time a socket is waited for before simulated time moves on.
  int real_wait_ms = 100;

 private:
  class SimWatch;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vireluz::testing
