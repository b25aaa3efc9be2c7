#include "recording/daily_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/sim_scheduler.h"
#include "support/files.h"

namespace vireluz {
namespace {

using testing::exists;
using testing::read_bytes;
using testing::TempDir;

class DailyFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    s.prg.REPERTOIR_ENR = dir.path();
    s.prg.MODE_INTERFACE = 0;
    m[0].tariff_kind = TariffKind::BASE;
    m[0].ISOUSC = "30";
    m[0].BASE = "012345678";
  }

  // The daily timer created at `launch`; its first tick falls 60 s later.
  DailyFile& launch(const DateTime& at) {
    sim = std::make_unique<SimScheduler>(at);
    DailyFile::Hooks h;
    h.ResetAfterDailyFile = [this] { return reset_after; };
    h.reset_module = [this] { log.push_back(exists(path(2026)) ? "reset" : "reset before the line"); };
    h.clear_graph = [this](int g) { log.push_back("clear" + std::to_string(g)); };
    h.envoie_BDPV = [this] { log.push_back("bdpv " + long_time(sim->local_now())); };
    h.send_Cosm = [this] {
      log.push_back("cosm " + long_time(sim->local_now()));
      if (cosm_fails) throw VireluzError("réseau");
    };
    // The tick's errors are collected where the program's guard shows them.
    timers = std::make_unique<GuardedTimerFactory>(*sim, [this](const std::function<void()>& tick) {
      try {
        tick();
      } catch (const VireluzError& e) {
        errors.push_back(e.what());
      }
    });
    daily = std::make_unique<DailyFile>(s, m, *sim, *timers, h, dir.path());
    return *daily;
  }

  std::string path(int year) const { return dir / (std::to_string(year) + "vireluz.csv"); }

  TempDir dir;
  Settings s;
  std::array<MeterSlot, 2> m;
  std::unique_ptr<SimScheduler> sim;
  std::unique_ptr<GuardedTimerFactory> timers;
  std::unique_ptr<DailyFile> daily;
  bool reset_after = false;
  bool cosm_fails = false;
  std::vector<std::string> log;
  std::vector<std::string> errors;
};

TEST_F(DailyFileTest, OneBaseMeterAtTheLastMinuteOfTheYear) {
  launch(DateTime{2026, 12, 31, 23, 58, 30, 0});
  sim->advance(60000);  // 23:59:30
  EXPECT_EQ(read_bytes(path(2026)), "BAS,1,30,pas de CPT2\r\n12,31,012345678\r\n");
  EXPECT_EQ(log, std::vector<std::string>{"clear1"});
  sim->advance(10 * 60000);
  EXPECT_EQ(read_bytes(path(2026)), "BAS,1,30,pas de CPT2\r\n12,31,012345678\r\n");
}

TEST_F(DailyFileTest, TwoMetersHeaderAndDayLines) {
  s.prg.MODE_INTERFACE = 1;
  m[0] = MeterSlot{};
  m[0].tariff_kind = TariffKind::HC;
  m[0].ISOUSC = "45";
  m[0].HCHP = "012345678";
  m[0].HCHC = "008765432";
  m[1].tariff_kind = TariffKind::BASE;
  m[1].BASE = "000123456";
  launch(DateTime{2026, 6, 14, 23, 58, 45, 0});
  sim->advance(60000);
  m[1].tariff_kind = TariffKind::TEMPO;  // the header stays as the file was created
  m[1].BBRHCJB = "000000001";
  m[1].BBRHPJB = "000000002";
  m[1].BBRHCJW = "000000003";
  m[1].BBRHPJW = "000000004";
  m[1].BBRHCJR = "000000005";
  m[1].BBRHPJR = "000000006";
  m[0].phase_mode = PhaseMode::TRI;
  sim->advance(24 * 60 * 60000);
  EXPECT_EQ(read_bytes(path(2026)),
            "HC.,1,45,CPT2 actif,BAS\r\n"
            "06,14,012345678,008765432,000123456\r\n"
            "06,15,012345678,008765432,000000001,000000002,000000003,000000004,000000005,000000006\r\n");
  EXPECT_EQ(log, (std::vector<std::string>{"clear1", "clear2", "clear1", "clear2"}));

  // The header of a new file shows the configuration of its creation.
  std::remove(path(2026).c_str());
  m[1].tariff_kind = TariffKind::JAUNE;
  EXPECT_EQ(daily_header(s, m), "HC.,3,45,CPT2 actif,HPH(PM),HCH(HH),HPE,HCE");
  m[0].tariff_kind = TariffKind::JAUNE;
  m[0].ENERG = {"1", "2", "3", "4"};
  m[1].tariff_kind = TariffKind::NONE;
  EXPECT_EQ(daily_header(s, m), "JAUNE,CPT2 actif");
  EXPECT_EQ(daily_line(s, m, sim->local_now()), "06,15,1,2,3,4");
}

TEST_F(DailyFileTest, NoLineWhenNoTickFallsInTheLastMinute) {
  launch(DateTime{2026, 12, 7, 23, 58, 59, 900});
  daily->Timer_donnees_jour().set_enabled(false);  // ticks driven by hand
  daily->Timer_donnees_jourTimer();
  sim->advance_to_local(DateTime{2026, 12, 8, 0, 0, 0, 0});
  daily->Timer_donnees_jourTimer();
  EXPECT_FALSE(exists(path(2026)));
  EXPECT_TRUE(log.empty());
}

TEST_F(DailyFileTest, NewYearGoesToANewFileWithItsOwnHeader) {
  launch(DateTime{2026, 12, 31, 23, 58, 30, 0});
  sim->advance(60000);
  m[0].BASE = "012399999";
  m[0].ISOUSC = "36";
  sim->advance_to_local(DateTime{2027, 1, 1, 23, 59, 31, 0});
  EXPECT_EQ(read_bytes(path(2026)), "BAS,1,30,pas de CPT2\r\n12,31,012345678\r\n");
  EXPECT_EQ(read_bytes(path(2027)), "BAS,1,36,pas de CPT2\r\n01,01,012399999\r\n");
}

TEST_F(DailyFileTest, ResetAfterTheLineAndGraphClearing) {
  reset_after = true;
  launch(DateTime{2026, 12, 7, 23, 58, 30, 0});
  sim->advance(60000);
  EXPECT_EQ(log, (std::vector<std::string>{"reset", "clear1"}));
  EXPECT_TRUE(exists(path(2026)));
}

TEST_F(DailyFileTest, NothingKnownForMeterOneWritesNothing) {
  m[0].BASE.clear();  // reading never started since launch
  launch(DateTime{2026, 12, 7, 23, 58, 30, 0});
  sim->advance(60000);
  EXPECT_FALSE(exists(path(2026)));
  m[0].BASE = "1";
  m[0].tariff_kind = TariffKind::NONE;
  EXPECT_EQ(daily_header(s, m), "");
  EXPECT_EQ(daily_line(s, m, sim->local_now()), "");
  EXPECT_EQ(log, std::vector<std::string>{"clear1"});
}

TEST_F(DailyFileTest, StandardModeIndexesAreQuoted) {
  s.prg.MODE_INTERFACE = 1;
  m[0].BASE = "12345,678";
  m[1].tariff_kind = TariffKind::PROD;
  m[1].EAIT = "5432100";
  launch(DateTime{2026, 12, 7, 23, 58, 30, 0});
  sim->advance(60000);
  EXPECT_EQ(read_bytes(path(2026)), "BAS,1,30,CPT2 actif,PROD\r\n12,07,\"12345,678\",5432100\r\n");
}

TEST_F(DailyFileTest, MissingFolderIsReportedAfterTheOtherDutiesOfTheMinute) {
  s.prg.REPERTOIR_ENR = dir / "absent";
  s.bdpv.BDPV_actif = 1;  // default time 23:59
  launch(DateTime{2026, 12, 7, 23, 58, 30, 0});
  sim->advance(60000);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "Invalid filename : " + dir.path() + "/absent/2026vireluz.csv (dossier introuvable)");
  EXPECT_EQ(log, (std::vector<std::string>{"clear1", "bdpv 23:59:30"}));
  EXPECT_FALSE(exists(dir / "absent"));
}

TEST_F(DailyFileTest, EmptyFolderSettingUsesTheProgramFolder) {
  s.prg.REPERTOIR_ENR.clear();
  launch(DateTime{2026, 12, 7, 23, 58, 30, 0});
  sim->advance(60000);
  EXPECT_EQ(read_bytes(path(2026)), "BAS,1,30,pas de CPT2\r\n12,07,012345678\r\n");
}

TEST_F(DailyFileTest, BdpvAtItsMinuteOnly) {
  s.bdpv.BDPV_actif = 1;
  s.BdpvHour = 12;
  s.BdpvMinute = 30;
  launch(DateTime{2026, 12, 7, 12, 28, 10, 0});
  sim->advance(5 * 60000);
  EXPECT_EQ(log, std::vector<std::string>{"bdpv 12:30:10"});
}

TEST_F(DailyFileTest, CosmEveryIntervalAndRecoveryFromACountPastIt) {
  s.cosm.COSM_actif = 1;
  s.CosmIntervalMinutes = 5;
  launch(DateTime{2026, 12, 7, 10, 0, 0, 0});
  sim->advance(10 * 60000);
  EXPECT_EQ(log, (std::vector<std::string>{"cosm 10:05:00", "cosm 10:10:00"}));

  // The interval shortened in the settings window while the count was at 7.
  log.clear();
  s.CosmIntervalMinutes = 10;
  sim->advance(7 * 60000);
  EXPECT_EQ(daily->CosmMinuteCount, 7);
  s.CosmIntervalMinutes = 5;
  sim->advance(6 * 60000);
  EXPECT_EQ(log, (std::vector<std::string>{"cosm 10:18:00", "cosm 10:23:00"}));

  // A failing upload is tried again one interval later, not at every minute.
  log.clear();
  cosm_fails = true;
  sim->advance(10 * 60000);
  EXPECT_EQ(log, (std::vector<std::string>{"cosm 10:28:00", "cosm 10:33:00"}));
  EXPECT_EQ(errors.size(), 2u);
}

}  // namespace
}  // namespace vireluz
