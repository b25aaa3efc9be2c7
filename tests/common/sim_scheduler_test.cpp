#include <gtest/gtest.h>

#include <vector>

#include "common/sim_scheduler.h"
#include "common/text.h"

using namespace vireluz;

TEST(SimScheduler, TimersFireInTimeOrderAndRestartOnIntervalChange) {
  SimScheduler s(DateTime{2026, 12, 7, 10, 17, 30, 0}, 60);
  std::vector<std::string> log;
  auto a = s.create_timer("a", 1000);
  auto b = s.create_timer("b", 1500);
  a->set_handler([&] { log.push_back("a" + std::to_string(s.local_now().ms_of_day() % 60000)); });
  b->set_handler([&] { log.push_back("b" + std::to_string(s.local_now().ms_of_day() % 60000)); });
  a->set_enabled(true);
  b->set_enabled(true);
  s.advance(3000);
  EXPECT_EQ(log, (std::vector<std::string>{"a31000", "b31500", "a32000", "b33000", "a33000"}));
  log.clear();
  a->set_interval(5000);  // restarts from now (10:17:33)
  s.advance(5000);
  EXPECT_EQ(log, (std::vector<std::string>{"b34500", "b36000", "b37500", "a38000"}));
}

TEST(SimScheduler, HandlerMayDisableOrResetItsOwnTimer) {
  SimScheduler s;
  int n = 0;
  auto t = s.create_timer("t", 100);
  t->set_handler([&] {
    if (++n == 3) t->set_enabled(false);
  });
  t->set_enabled(true);
  s.advance(10000);
  EXPECT_EQ(n, 3);
}

TEST(SimScheduler, LocalTimeUsesTheOffset) {
  SimScheduler s(DateTime{2026, 12, 31, 23, 59, 30, 0}, 60);
  EXPECT_EQ(short_date(s.local_now()), "31/12/2026");
  EXPECT_EQ(long_time(s.local_now()), "23:59:30");
  EXPECT_EQ(long_time(s.utc_now()), "22:59:30");
  s.advance(31000);
  EXPECT_EQ(short_date(s.local_now()), "01/01/2027");
  EXPECT_EQ(long_time(s.local_now()), "00:00:01");
}

TEST(Text, Windows1252RoundTripAndStrictIntegers) {
  const Text t = w("entête €");
  EXPECT_EQ(t, "ent\xEAte \x80");
  EXPECT_EQ(cp1252_to_utf8(t), "entête €");
  EXPECT_EQ(utf8_to_cp1252("\xE6\x97\xA5"), "?");  // not in the code page
  EXPECT_EQ(parse_int("0042"), 42);
  EXPECT_EQ(parse_int("-7"), -7);
  EXPECT_FALSE(parse_int(" 1"));
  EXPECT_FALSE(parse_int("1a"));
  EXPECT_FALSE(parse_int(""));
  EXPECT_FALSE(parse_int("99999999999"));
}
