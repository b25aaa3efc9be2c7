#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/event.h"
#include "common/io_loop.h"

using namespace vireluz;

// Subscribers may leave, their own call included, and may leave others; the
// event itself may go while it is being delivered.
TEST(Event, SubscribersComeAndGoDuringADelivery) {
  std::vector<std::string> log;
  auto ev = std::make_unique<Event<int>>();
  Subscription a, b, c, late;
  a = ev->subscribe([&](int v) {
    log.push_back("a" + std::to_string(v));
    a.reset();  // itself
    b.reset();  // one not called yet
    late = ev->subscribe([&](int w) { log.push_back("late" + std::to_string(w)); });
  });
  b = ev->subscribe([&](int v) { log.push_back("b" + std::to_string(v)); });
  c = ev->subscribe([&](int v) {
    log.push_back("c" + std::to_string(v));
    ev.reset();  // the owner goes
  });
  (*ev)(1);
  EXPECT_EQ(log, (std::vector<std::string>{"a1", "c1"}));
  late.reset();  // after the event is gone: nothing happens
}

// Alarms in due order; one destroyed or re-armed from its own callback; one
// re-armed for 0 ms waits for the next pass, so the loop gets back to its
// sockets.
TEST(AlarmList, OwnCallbackMayDestroyOrRearmItsAlarm) {
  std::int64_t now = 0;
  std::vector<std::int64_t> rearms;
  AlarmList list([&] { return now; },
                 [&](std::optional<std::int64_t> next) { rearms.push_back(next.value_or(-1)); });
  std::vector<std::string> log;
  std::unique_ptr<IoLoop::Alarm> once, again, later;
  once = list.make([&] {
    log.push_back("once");
    once.reset();
  });
  int n = 0;
  again = list.make([&] {
    log.push_back("again");
    if (++n < 3) again->start(0);
  });
  later = list.make([&] { log.push_back("later"); });
  later->start(50);
  again->start(10);
  once->start(10);
  EXPECT_EQ(list.next_due(), 10);
  now = 10;
  list.run_due();
  EXPECT_EQ(log, (std::vector<std::string>{"again", "once"}));
  EXPECT_EQ(list.next_due(), 10);  // "again", for the next pass
  list.run_due();
  list.run_due();
  EXPECT_EQ(n, 3);
  EXPECT_EQ(list.next_due(), 50);
  later.reset();
  EXPECT_EQ(list.next_due(), std::nullopt);
  EXPECT_EQ(rearms.back(), -1);
}
