#include "recording/record_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "common/sim_scheduler.h"
#include "recording/daily_file.h"
#include "support/files.h"

namespace vireluz {
namespace {

using testing::exists;
using testing::read_bytes;
using testing::TempDir;
using testing::write_bytes;

MeterSlot hc_meter() {
  MeterSlot m;
  m.tariff_kind = TariffKind::HC;
  m.ADCO = "012345678901";
  m.ISOUSC = "45";
  m.HCHP = "012345678";
  m.HCHC = "008765432";
  m.IINST = "5";
  m.PAPP = "01150";
  m.PTEC = "HP..";
  return m;
}

MeterSlot base_meter() {
  MeterSlot m;
  m.tariff_kind = TariffKind::BASE;
  m.ADCO = "098765432109";
  m.ISOUSC = "30";
  m.BASE = "000123456";
  m.IINST = "1";
  m.PAPP = "00230";
  m.PTEC = "TH..";
  return m;
}

class RecorderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    s.prg.REPERTOIR_ENR = dir.path();
    s.prg.MODE_INTERFACE = 0;
    s.prg.ENTETE_CSV = 1;
    m[0] = hc_meter();
    m[1] = base_meter();
    win[FieldId::Edit_optarif].text = "Option Heures Creuses";
  }

  // The recorder, wired as the interface controller does: a module reset
  // stops and starts reading again, which re-arms the record.
  Recorder& start() {
    rec = std::make_unique<Recorder>(s, m, win, sim, timers, Recorder::Hooks{[this] {
                                       ++resets;
                                       rec->fin_lecture();
                                       rec->debut_lecture();
                                     }});
    rec->debut_lecture();
    return *rec;
  }

  std::string record() const { return read_bytes(dir / "enregistrements.csv"); }

  TempDir dir;
  SimScheduler sim{DateTime{2026, 12, 7, 10, 0, 0, 0}};
  // The tick's errors are collected where the program's guard shows them.
  GuardedTimerFactory timers{sim, [this](const std::function<void()>& tick) {
                               try {
                                 tick();
                               } catch (const VireluzError& e) {
                                 errors.push_back(e.what());
                               }
                             }};
  Settings s;
  std::array<MeterSlot, 2> m;
  MainWindowState win;
  std::unique_ptr<Recorder> rec;
  int resets = 0;
  std::vector<std::string> errors;
};

TEST_F(RecorderTest, NewFileGetsTitlesAndColumnHeaderThenOneRowPerTick) {
  s.prg.ENTETE_CSV = 0;
  s.prg.MODE_INTERFACE = 1;
  s.prg.PTEC_A_ENREGISTRER = 1;
  start();
  sim.advance(60000);
  EXPECT_EQ(
      record(),
      "VIRELUZ 2 compteurs V 1.43J\r\n"
      "ADCO cpt1: 012345678901 - Intensit\xE9 souscrite: 45 A - Type d'abonnement: Option Heures Creuses"
      " -  ADCO cpt2: 098765432109 - Type d'abonnement: Base\r\n"
      "date,hh:mm:ss,HP,HC,I,Pap VA,PTEC,BASE2,I2,Pap VA cpt2,PTEC\r\n"
      "07/12/2026,10:01:00,012345678,008765432,5,01150,HP..,000123456,1,00230,TH..\r\n");
  EXPECT_TRUE(errors.empty());
}

TEST_F(RecorderTest, WithoutTitlesTheFirstHeaderStaysAndANewLayoutGetsItsOwnHeaderLine) {
  start();
  sim.advance(60000);
  m[0].PAPP = "01200";
  m[0].tariff_kind = TariffKind::BASE;  // decoded only after the file was created
  m[0].BASE = "000000007";
  sim.advance(60000);
  m[0].PAPP = "01300";
  sim.advance(60000);
  EXPECT_EQ(record(),
            "date,hh:mm:ss,HP,HC,I,Pap VA\r\n"
            "07/12/2026,10:01:00,012345678,008765432,5,01150\r\n"
            "date,hh:mm:ss,BASE,I,Pap VA\r\n"
            "07/12/2026,10:02:00,000000007,5,01200\r\n"
            "07/12/2026,10:03:00,000000007,5,01300\r\n");
}

TEST_F(RecorderTest, AFileFromAnEarlierRunKeepsItsLastHeaderWhenTheLayoutIsTheSame) {
  start();
  sim.advance(60000);
  m[0].PAPP = "01200";
  Recorder again(s, m, win, sim, sim, {});  // a new run appending to the same file
  again.debut_lecture();
  sim.advance(60000);
  const std::string text = record();
  EXPECT_EQ(text.find("date,hh:mm:ss,"), text.rfind("date,hh:mm:ss,"));
}

TEST_F(RecorderTest, PerDayFilesSplitAtMidnightInBothDateFormats) {
  s.prg.TYPE_NOM_FICHIER = 1;
  for (int format : {1, 0}) {
    TempDir d;
    s.prg.REPERTOIR_ENR = d.path();
    s.prg.FORMAT_DATE = format;
    SimScheduler night{DateTime{2026, 12, 7, 23, 58, 30, 0}};
    Recorder r(s, m, win, night, night, {});
    r.debut_lecture();
    night.advance(60000);  // 23:59:30
    m[0].PAPP = "00999";
    night.advance(60000);  // 00:00:30 the next day
    const std::string day1 = format == 1 ? "vireluz2026-12-07.csv" : "vireluz07122026.csv";
    const std::string day2 = format == 1 ? "vireluz2026-12-08.csv" : "vireluz08122026.csv";
    EXPECT_EQ(read_bytes(d / day1),
              "date,hh:mm:ss,HP,HC,I,Pap VA\r\n07/12/2026,23:59:30,012345678,008765432,5,01150\r\n");
    EXPECT_EQ(read_bytes(d / day2),
              "date,hh:mm:ss,HP,HC,I,Pap VA\r\n08/12/2026,00:00:30,012345678,008765432,5,00999\r\n");
    EXPECT_EQ(r.RecordFileStem, format == 1 ? "/vireluz2026-12-08" : "/vireluz08122026");
    m[0] = hc_meter();
  }
}

TEST_F(RecorderTest, OnTheHourModeRecordsAtEveryFullHour) {
  sim.advance_to_local(DateTime{2026, 12, 7, 10, 17, 30, 0});
  s.prg.PERIODE_ENR = 6;
  s.RecordPeriodMs = 1;
  Recorder& r = start();
  EXPECT_EQ(r.Timer_sauv().interval(), 2550000);
  EXPECT_TRUE(r.FirstHourTickPending);
  sim.advance(2549999);
  EXPECT_FALSE(exists(dir / "enregistrements.csv"));
  sim.advance(1);
  EXPECT_EQ(r.Timer_sauv().interval(), 3600000);
  EXPECT_FALSE(r.FirstHourTickPending);
  m[0].PAPP = "00001";
  sim.advance(3600000);
  m[0].PAPP = "00002";
  sim.advance(3600000);
  EXPECT_EQ(record(),
            "date,hh:mm:ss,HP,HC,I,Pap VA\r\n"
            "07/12/2026,11:00:00,012345678,008765432,5,01150\r\n"
            "07/12/2026,12:00:00,012345678,008765432,5,00001\r\n"
            "07/12/2026,13:00:00,012345678,008765432,5,00002\r\n");
  EXPECT_EQ(resets, 0);
}

TEST_F(RecorderTest, FailedFirstHourTickStaysOnTheFullHour) {
  sim.advance_to_local(DateTime{2026, 12, 7, 10, 17, 30, 0});
  s.RecordPeriodMs = 1;
  s.prg.PERIODE_ENR = 6;
  s.prg.REPERTOIR_ENR = dir / "later";
  Recorder& r = start();
  sim.advance(2550000);  // 11:00:00, no folder yet
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(r.FirstHourTickPending);
  ASSERT_EQ(mkdir((dir / "later").c_str(), 0755), 0);
  sim.advance(3599999);
  EXPECT_FALSE(exists(dir / "later/enregistrements.csv"));
  sim.advance(1);
  EXPECT_EQ(read_bytes(dir / "later/enregistrements.csv"),
            "date,hh:mm:ss,HP,HC,I,Pap VA\r\n07/12/2026,12:00:00,012345678,008765432,5,01150\r\n");
  EXPECT_FALSE(r.FirstHourTickPending);
  EXPECT_EQ(r.Timer_sauv().interval(), 3600000);
}

TEST_F(RecorderTest, UnchangedDataResetsTheModuleExceptInTheTenSecondMode) {
  start();
  sim.advance(4 * 60000);
  // Rows 2 and 4 repeat the data of the row before; the reset in between
  // empties the stored data, so row 3 is compared with nothing.
  EXPECT_EQ(resets, 2);
  const std::string rows = record();
  EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 5);

  TempDir d;
  s.prg.REPERTOIR_ENR = d.path();
  s.prg.PERIODE_ENR = 7;
  s.RecordPeriodMs = 10000;
  resets = 0;
  start();
  sim.advance(4 * 10000);
  EXPECT_EQ(resets, 0);
  EXPECT_EQ(rec->LastRecordData, "012345678,008765432,5,01150");
}

TEST_F(RecorderTest, MeterOfKindNoneRecordsItsCurrentsUnderTheHeader) {
  s.prg.MODE_INTERFACE = 1;
  m[0].tariff_kind = TariffKind::NONE;
  m[1].tariff_kind = TariffKind::NONE;
  start();
  sim.advance(60000);
  m[0].PAPP = "01151";
  sim.advance(60000);
  EXPECT_EQ(record(),
            "date,hh:mm:ss,I,Pap VA,I2,Pap VA cpt2\r\n"
            "07/12/2026,10:01:00,5,01150,1,00230\r\n"
            "07/12/2026,10:02:00,5,01151,1,00230\r\n");
  EXPECT_EQ(resets, 0);  // the data changed: the interface works
}

TEST_F(RecorderTest, HeaderAndRowHaveTheSameColumnsForEveryKindAndPhaseMode) {
  const TariffKind kinds[] = {TariffKind::HC,   TariffKind::BASE,  TariffKind::EJP, TariffKind::TEMPO,
                              TariffKind::PROD, TariffKind::JAUNE, TariffKind::NONE};
  const PhaseMode phases[] = {PhaseMode::MONO, PhaseMode::TRI, PhaseMode::PAPP_ONLY};
  auto columns = [](const Text& t) { return std::count(t.begin(), t.end(), ',') + 1; };
  for (TariffKind k1 : kinds)
    for (PhaseMode p1 : phases)
      for (TariffKind k2 : kinds)
        for (int two : {0, 1})
          for (int ptec : {0, 1}) {
            s.prg.MODE_INTERFACE = two;
            s.prg.PTEC_A_ENREGISTRER = ptec;
            m[0].tariff_kind = k1;
            m[0].phase_mode = p1;
            m[1].tariff_kind = k2;
            m[1].phase_mode = PhaseMode::TRI;
            const Text header = record_column_header(s, m);
            const Text data = ligne_donnees(s, m);
            EXPECT_EQ(columns(header) - 2, columns(data))
                << header << " / " << data << " kind " << static_cast<int>(k1) << " phase "
                << static_cast<int>(p1);
          }
}

TEST(RecordColumns, JauneTriAndTempoHeadersAndTitles) {
  Settings s;
  std::array<MeterSlot, 2> m;
  MainWindowState win;
  win[FieldId::Edit_optarif].text = "Tarification JAUNE";
  win[FieldId::Edit_optarif_cpt2].text = "Tarification JAUNE 2";
  m[0].tariff_kind = TariffKind::JAUNE;
  m[0].phase_mode = PhaseMode::PAPP_ONLY;
  m[1].tariff_kind = TariffKind::TEMPO;
  m[1].phase_mode = PhaseMode::TRI;
  s.prg.MODE_INTERFACE = 1;
  EXPECT_EQ(
      record_column_header(s, m),
      "date,hh:mm:ss,HPH(PM),HCH(HH),HPE,HCE,Pap VA,BBRHCJB2,BBRHPJB2,BBRHCJW2,BBRHPJW2,BBRHCJR2,BBRHPJR2,"
      "I2 ph 1,I2 ph 2,I2 ph 3,Pap VA cpt2");
  m[1].ADCO = "041234567890";
  EXPECT_EQ(
      record_title2(s, m, win),
      "cpt1 Type d'abonnement: Tarification JAUNE -  ADCO cpt2: 041234567890 - Type d'abonnement: TEMPO");
  m[1].tariff_kind = TariffKind::JAUNE;
  EXPECT_EQ(record_title2(s, m, win),
            "cpt1 Type d'abonnement: Tarification JAUNE - cpt2 Type d'abonnement: Tarification JAUNE 2");
  m[0].tariff_kind = TariffKind::EJP;
  m[0].phase_mode = PhaseMode::TRI;
  s.prg.MODE_INTERFACE = 0;
  EXPECT_EQ(record_column_header(s, m), "date,hh:mm:ss,EJPHN,EJPHPM,I ph 1,I ph 2,I ph 3,Pap VA");
  EXPECT_EQ(record_title2(s, m, win), w("ADCO cpt1:  - Intensité souscrite:  A - Type d'abonnement: "
                                        "Tarification JAUNE"));
}

TEST_F(RecorderTest, StandardModeIndexesAreQuotedAsOneField) {
  m[0].tariff_kind = TariffKind::BASE;
  m[0].BASE = "12345,678";
  m[0].PAPP = "1150";
  start();
  sim.advance(60000);
  EXPECT_EQ(record(), "date,hh:mm:ss,BASE,I,Pap VA\r\n07/12/2026,10:01:00,\"12345,678\",5,1150\r\n");
  EXPECT_EQ(csv_field("a\"b"), "\"a\"\"b\"");
  EXPECT_EQ(csv_field("HP.."), "HP..");
  EXPECT_EQ(csv_field(""), "");
}

TEST_F(RecorderTest, ProductionFileFromTheChosenMetersInjection) {
  sim.advance_to_local(DateTime{2026, 12, 7, 13, 59, 0, 0});
  s.prg.FICHIER_PROD_CSV = 1;
  s.prg.CPT_PROD = 2;
  s.prg.MODE_INTERFACE = 1;
  m[1].tariff_kind = TariffKind::PROD;
  m[1].EAIT = "5432100";
  start();
  sim.advance(60000);
  m[1].EAIT = "5432200";
  sim.advance(60000);
  EXPECT_EQ(read_bytes(dir / "prod/prod.csv"),
            "horloge ; PROD\r\n07/12/2026 14:00:00;5432100\r\n07/12/2026 14:01:00;5432200\r\n");

  // Any other meter number writes nothing.
  TempDir d;
  s.prg.REPERTOIR_ENR = d.path();
  s.prg.CPT_PROD = 3;
  start();
  sim.advance(60000);
  EXPECT_TRUE(exists(d / "enregistrements.csv"));
  EXPECT_FALSE(exists(d / "prod/prod.csv"));
}

TEST_F(RecorderTest, ProductionFileBaseVariantDropsLeadingZerosAndSkipsUnknownIndex) {
  sim.advance_to_local(DateTime{2026, 12, 7, 13, 59, 0, 0});
  s.prg.FICHIER_PROD_CSV = 1;
  s.prg.CPT_PROD = 1;  // not looked at in this variant
  start();
  sim.advance(60000);
  m[1].BASE = "";  // not received: no line
  sim.advance(60000);
  m[1].BASE = "12,345";  // standard mode, kWh
  sim.advance(60000);
  EXPECT_EQ(read_bytes(dir / "prod/prod.csv"),
            "horloge ; base\r\n07/12/2026 14:00:00;123456\r\n07/12/2026 14:02:00;12,345\r\n");
  m[1].BASE = "garbage";
  EXPECT_TRUE(production_line(s, m, sim.local_now()).line.empty());
  m[1].BASE = "000000000";
  EXPECT_EQ(production_line(s, m, sim.local_now()).line, "07/12/2026 14:02:00;0");
}

TEST_F(RecorderTest, MissingFolderEndsTheTickAndTheNextTickWritesWhenItAppears) {
  const std::string folder = dir / "absent";
  s.prg.REPERTOIR_ENR = folder;
  s.prg.FICHIER_PROD_CSV = 1;
  m[0].EAIT = "1";
  s.prg.CPT_PROD = 1;
  Recorder& r = start();
  sim.advance(2 * 60000);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0], "Invalid filename : " + folder + "/enregistrements.csv (dossier introuvable)");
  EXPECT_EQ(resets, 0);
  EXPECT_EQ(r.LastRecordData, "");
  EXPECT_FALSE(exists(folder));
  EXPECT_THROW(r.Sauv_Timer(), VireluzError);

  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  sim.advance(60000);
  EXPECT_EQ(errors.size(), 2u);
  EXPECT_EQ(read_bytes(folder + "/enregistrements.csv"),
            "date,hh:mm:ss,HP,HC,I,Pap VA\r\n07/12/2026,10:03:00,012345678,008765432,5,01150\r\n");
  EXPECT_EQ(read_bytes(folder + "/prod/prod.csv"), "horloge ; PROD\r\n07/12/2026 10:03:00;1\r\n");
}

TEST_F(RecorderTest, TornLastLineIsClosedBeforeTheNextRow) {
  const std::string header = "date,hh:mm:ss,HP,HC,I,Pap VA\r\n";
  const std::string row = "07/12/2026,10:01:00,012345678,008765432,5,01150\r\n";
  write_bytes(dir / "enregistrements.csv", header + "07/12/2026,10:00:00,0123");
  start();
  sim.advance(60000);
  EXPECT_EQ(record(), header + "07/12/2026,10:00:00,0123\r\n" + row);

  write_bytes(dir / "enregistrements.csv", header + "07/12/2026,10:00:00,01150\r");
  rec->Sauv_Timer();
  EXPECT_EQ(record(), header + "07/12/2026,10:00:00,01150\r\n" + row);

  // A file left empty by a crash right after its creation gets its header.
  write_bytes(dir / "enregistrements.csv", "");
  rec->Sauv_Timer();
  EXPECT_EQ(record(), header + row);
}

TEST_F(RecorderTest, WriteFailuresAreReportedWithTheirCause) {
  ASSERT_EQ(mkdir((dir / "enregistrements.csv").c_str(), 0755), 0);
  start();
  sim.advance(60000);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], w("Impossible d'écrire le fichier : ") + dir.path() +
                           w("/enregistrements.csv (ce nom désigne un dossier)"));

  // A full disk: the file stands for a device that refuses every write.
  TempDir full;
  ASSERT_EQ(symlink("/dev/full", (full / "enregistrements.csv").c_str()), 0);
  s.prg.REPERTOIR_ENR = full.path();
  sim.advance(60000);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[1],
            w("Impossible d'écrire le fichier : ") + full.path() + "/enregistrements.csv (disque plein)");
  EXPECT_EQ(resets, 0);
}

TEST_F(RecorderTest, ReadOnlyFolderIsReportedAsAccessDenied) {
  start();
  TempDir ro;
  ASSERT_EQ(chmod(ro.path().c_str(), 0555), 0);
  s.prg.REPERTOIR_ENR = ro.path();
  // Permissions do not hold back root: as root the tick runs in a child
  // process that has given up its rights.
  auto tick_error = [&]() -> std::string {
    try {
      rec->Sauv_Timer();
    } catch (const VireluzError& e) {
      return e.what();
    }
    return "no error";
  };
  std::string error;
  if (geteuid() != 0) {
    error = tick_error();
  } else {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
      close(fds[0]);
      if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
      const std::string e = tick_error();
      _exit(write(fds[1], e.data(), e.size()) < 0 ? 4 : 0);
    }
    close(fds[1]);
    char buf[512];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) error.append(buf, static_cast<std::size_t>(n));
    close(fds[0]);
    waitpid(pid, nullptr, 0);
  }
  EXPECT_NE(error.find(w("(dossier ") + ro.path() + w(" non accessible en écriture : accès refusé)")),
            std::string::npos)
      << error;
  chmod(ro.path().c_str(), 0755);
}

TEST_F(RecorderTest, ATickWithinASecondOfTheLastRowWritesNothing) {
  start();
  sim.advance(60000);  // 10:01:00.000
  m[0].PAPP = "01151";
  // The late tick has written; the one on schedule follows a few ms after.
  sim.advance(5);
  rec->Sauv_Timer();
  sim.advance(990);
  rec->Sauv_Timer();
  EXPECT_EQ(rec->LastRecordData, "012345678,008765432,5,01150");
  sim.advance(5);  // 10:01:01.000
  rec->Sauv_Timer();
  EXPECT_EQ(record(),
            "date,hh:mm:ss,HP,HC,I,Pap VA\r\n"
            "07/12/2026,10:01:00,012345678,008765432,5,01150\r\n"
            "07/12/2026,10:01:01,012345678,008765432,5,01151\r\n");
  EXPECT_EQ(resets, 0);
}

// A line feed or another control byte inside a value whose checksum holds
// (standard-mode ADSC, NGTF shown as the option text, an index) becomes a
// blank in every line of the record, production and daily files.
TEST_F(RecorderTest, ControlCharactersInValuesNeverSplitALine) {
  s.prg.ENTETE_CSV = 0;
  s.prg.FICHIER_PROD_CSV = 1;
  s.prg.CPT_PROD = 1;
  m[0].ADCO = "0123\n45678901";
  m[0].ISOUSC = "4\r5";
  m[0].HCHP = "012\r\n345678";
  m[0].PTEC = "H\x01P\x7F.";
  m[0].EAIT = "54\n32";
  win[FieldId::Edit_optarif].text = "H PLEINE\n/CREUSE";
  s.prg.PTEC_A_ENREGISTRER = 1;
  start();
  sim.advance(60000);
  EXPECT_EQ(
      record(),
      "VIRELUZ 2 compteurs V 1.43J\r\n"
      "ADCO cpt1: 0123 45678901 - Intensit\xE9 souscrite: 4 5 A - Type d'abonnement: H PLEINE /CREUSE\r\n"
      "date,hh:mm:ss,HP,HC,I,Pap VA,PTEC\r\n"
      "07/12/2026,10:01:00,012  345678,008765432,5,01150,H P .\r\n");
  EXPECT_EQ(read_bytes(dir / "prod/prod.csv"), "horloge ; PROD\r\n07/12/2026 10:01:00;54 32\r\n");
  EXPECT_EQ(daily_line(s, m, sim.local_now()), "12,07,012  345678,008765432");
  EXPECT_EQ(daily_header(s, m), "HC.,1,4 5,pas de CPT2");
}

TEST_F(RecorderTest, EmptyFolderSettingFallsBackToTheProgramFolder) {
  s.prg.REPERTOIR_ENR.clear();
  Recorder r(s, m, win, sim, sim, {}, dir.path() + "/");
  r.debut_lecture();
  sim.advance(60000);
  EXPECT_TRUE(exists(dir / "enregistrements.csv"));
}

}  // namespace
}  // namespace vireluz
