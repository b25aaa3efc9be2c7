// vireluz-tic simulate, run as a user would.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "support/tic_check.h"

using simtest::parse_frame;
using simtest::split_frames;

namespace {

struct CmdResult {
  std::string out;
  int status = -1;
};

CmdResult run(const std::string& args) {
  const std::string cmd = std::string(VIRELUZ_BINARY_DIR) + "/vireluz-tic simulate " + args + " 2>/dev/null";
  CmdResult r;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

}  // namespace

TEST(CmdSimulate, WritesTheRequestedFramesDeterministically) {
  const CmdResult a = run("--frames 5 --seed 9 --start '2026-01-20 21:59:55'");
  ASSERT_EQ(a.status, 0);
  const auto frames = split_frames(a.out);
  ASSERT_EQ(frames.size(), 5u);
  EXPECT_EQ(a.out.front(), '\x02');
  EXPECT_EQ(a.out.back(), '\x03');
  for (const auto& f : frames) EXPECT_TRUE(parse_frame(f).all_ok());
  // Time advances by the transmission time: the third frame is past 22:00.
  EXPECT_EQ(parse_frame(frames[0]).value("PTEC"), "HP..");
  EXPECT_EQ(parse_frame(frames[4]).value("PTEC"), "HC..");
  EXPECT_EQ(run("--frames 5 --seed 9 --start '2026-01-20 21:59:55'").out, a.out);

  const CmdResult s = run("--mode standard --option prod --tri --frames 3 --start '2026-07-01 13:00:00'");
  ASSERT_EQ(s.status, 0);
  const auto sf = split_frames(s.out);
  ASSERT_EQ(sf.size(), 3u);
  const auto p = parse_frame(sf[2]);
  EXPECT_TRUE(p.all_ok());
  EXPECT_EQ(p.value("NGTF"), "   PRODUCTEUR   ");
  EXPECT_NE(p.find("IRMS3"), nullptr);
  // The third frame is dated by the time the first two took at 9600 baud
  // (10 bits a byte, 29 byte times of silence after each frame).
  const std::size_t slots = sf[0].size() + sf[1].size() + 2 * 29;
  EXPECT_EQ(p.find("DATE")->date, "E2607011300" + std::string(1, '0' + static_cast<char>(slots / 960 / 10)) +
                                      std::string(1, '0' + static_cast<char>(slots / 960 % 10)));

  const CmdResult c = run("--frames 40 --corruption 0.02 --start '2026-01-20 12:00:00'");
  int bad = 0;
  for (const auto& f : split_frames(c.out)) bad += parse_frame(f).all_ok() ? 0 : 1;
  EXPECT_GT(bad, 10);
}

TEST(CmdSimulate, RealtimeFollowsTheBaudRate) {
  const auto t0 = std::chrono::steady_clock::now();
  const CmdResult r =
      run("--realtime --frames 1 --mode standard --option base --start '2026-01-20 12:00:00'");
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  ASSERT_EQ(r.status, 0);
  ASSERT_EQ(split_frames(r.out).size(), 1u);
  EXPECT_GT(s, r.out.size() / 960.0 * 0.8);
}

TEST(CmdSimulate, RejectsBadArguments) {
  for (const char* bad : {"--mode turbo", "--option nuit", "--frames x", "--corruption 3",
                          "--start 2026-13-01", "--start '2026-02-30 10:00:00'", "--bogus", "--frames"})
    EXPECT_EQ(run(bad).status, 2) << bad;
}
