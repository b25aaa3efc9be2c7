#include "alerts/alert_engine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/error.h"
#include "common/sim_scheduler.h"
#include "recording_sender.h"

namespace vireluz {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
namespace col = alert_col;

// A rule as "Valider Alerte" stores it (the columns the evaluation reads).
AlertRule make_rule(int meter, MeasureKind kind, int sign, const Text& threshold, const Text& message,
                    bool manual = false) {
  AlertRule r;
  r[col::kCptLibelle] = meter == 0 ? "Compteur 1" : "Compteur 2";
  r[col::kMessage] = message;
  r[col::kCpt] = std::to_string(meter);
  r[col::kVar] = std::to_string(static_cast<int>(kind));
  r[col::kSigne] = std::to_string(sign);
  r[col::kSeuil] = threshold;
  r[col::kHeureReactivation] = "0";
  r[col::kReactivation] = manual ? "1" : "0";
  r[col::kEtatLibelle] = manual ? "Actif" : " ";
  r[col::kActiver] = manual ? "1" : "";
  r[col::kHoraire] = "0";
  return r;
}

AlertRule with_window(AlertRule r, const Text& start, const Text& end) {
  r[col::kHoraire] = "1";
  r[col::kDebut] = start;
  r[col::kFin] = end;
  return r;
}

DateTime at(int h, int m, int s, int ms = 0, int day = 7) { return DateTime{2026, 12, day, h, m, s, ms}; }

class AlertEngineTest : public ::testing::Test {
 protected:
  AlertEngineTest() : sched(at(7, 0, 0)), engine(settings, measures, sched, sender, sched, messages) {
    settings.mail.ACTIF = 1;
    settings.mail.TABLEAU_VIDE = "NON";
    settings.mail.ENTETE = "H";
    settings.mail.EMETTEUR = "vireluz@maison.fr";
    settings.mail.DESTINATAIRE = "a@x.fr, ,b@y.fr,";
    settings.mail.SMTP = "smtp.maison.fr";
    settings.mail.PASSWORD = "secret";
    engine.reset_memo();
  }
  void set_rules(std::vector<AlertRule> rules) {
    settings.alert_table = std::move(rules);
    settings.AlertRowCount = static_cast<int>(settings.alert_table.size());
  }
  const Text& cell(int row, int c) { return settings.alert_table[static_cast<std::size_t>(row)][c]; }
  // One frame at the given local time.
  void frame_at(const DateTime& t) {
    sched.advance_to_local(t);
    engine.mail_alerte();
  }

  Settings settings;
  MeasureTable measures;
  SimScheduler sched;
  RecordingSender sender;
  RecordingMessages messages;
  AlertEngine engine;
};

TEST_F(AlertEngineTest, ExampleMailListsFiredRulesInRowOrderAndSilencesThem) {
  const Text m0 = w("Courant élevé: %V A");
  set_rules({make_rule(0, MeasureKind::IINST, 3, "30", m0),
             make_rule(0, MeasureKind::PAPP, 3, "9000", "not firing"),
             make_rule(0, MeasureKind::DEMAIN, 2, "2", "M1 %V", true)});
  measures.at(MeasureKind::IINST, 1) = 35;
  measures.at(MeasureKind::PAPP, 1) = 8000;
  measures.at(MeasureKind::DEMAIN, 1) = 2;
  frame_at(at(10, 15, 30));

  ASSERT_EQ(sender.sent.size(), 1u);
  const MailMessage& m = sender.sent[0];
  EXPECT_EQ(m.subject, "H");
  EXPECT_EQ(m.from, "vireluz@maison.fr");
  EXPECT_THAT(m.to, ElementsAre("a@x.fr", "b@y.fr"));
  EXPECT_THAT(m.body, ElementsAre("H", w("Courant élevé: 35 A"), "M1 %V"));
  EXPECT_EQ(sender.servers[0].host, "smtp.maison.fr");
  EXPECT_EQ(sender.servers[0].port, "25");
  EXPECT_EQ(sender.servers[0].user, "vireluz@maison.fr");
  EXPECT_EQ(sender.servers[0].password, "secret");

  EXPECT_EQ(cell(0, col::kHeureReactivation), "11:15:30");
  EXPECT_EQ(cell(2, col::kEtatLibelle), "Inactif");
  EXPECT_EQ(cell(2, col::kActiver), "0");
  EXPECT_THAT(engine.Memo_alerte, ElementsAre("H"));

  // Both rules are silent now.
  frame_at(at(10, 15, 31));
  EXPECT_EQ(sender.sent.size(), 1u);
}

TEST_F(AlertEngineTest, TimeWindowIsStrictAndNeverCrossesMidnight) {
  set_rules({with_window(make_rule(0, MeasureKind::IINST, 4, "0", "day"), "08:00:00", "20:00:00"),
             with_window(make_rule(0, MeasureKind::IINST, 4, "0", "night"), "22:00:00", "06:00:00")});
  frame_at(at(8, 0, 0, 0));
  EXPECT_THAT(sender.sent, IsEmpty());
  frame_at(at(8, 0, 0, 500));
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_THAT(sender.sent[0].body, ElementsAre("H", "day"));

  settings.alert_table[0][col::kHeureReactivation] = "0";
  frame_at(at(20, 0, 0, 0));
  frame_at(at(21, 0, 0));
  frame_at(at(23, 0, 0));
  frame_at(at(3, 0, 0, 0, 8));
  EXPECT_EQ(sender.sent.size(), 1u);
  EXPECT_EQ(cell(1, col::kHeureReactivation), "0");  // outside its window nothing changes
}

TEST_F(AlertEngineTest, DelayedRuleRearmsWhenTheTimerSeesItsTime) {
  settings.alerte.REACTIVATION = "60";
  set_rules({make_rule(0, MeasureKind::IINST, 3, "30", "I=%V")});
  measures.at(MeasureKind::IINST, 1) = 35;
  engine.start_timer();
  frame_at(at(10, 15, 30, 200));
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_EQ(cell(0, col::kHeureReactivation), "11:15:30");

  frame_at(at(11, 15, 29, 900));
  EXPECT_EQ(sender.sent.size(), 1u);
  frame_at(at(11, 15, 30, 100));  // the tick of 11:15:30.000 has re-armed it
  ASSERT_EQ(sender.sent.size(), 2u);
  EXPECT_EQ(cell(0, col::kHeureReactivation), "12:15:30");
}

TEST_F(AlertEngineTest, RearmTimeOfASkippedSecondIsNotMissed) {
  set_rules({make_rule(0, MeasureKind::IINST, 3, "30", "x")});
  settings.alert_table[0][col::kHeureReactivation] = "11:15:30";
  sched.advance_to_local(at(11, 15, 29, 990));
  engine.Timer_mailTimer();
  EXPECT_EQ(cell(0, col::kHeureReactivation), "11:15:30");
  sched.advance_to_local(at(11, 15, 31, 10));  // a late tick: 11:15:30 never seen
  engine.Timer_mailTimer();
  EXPECT_EQ(cell(0, col::kHeureReactivation), "0");
}

TEST_F(AlertEngineTest, FullDayDelayWaitsForTheNextDay) {
  settings.alerte.REACTIVATION = "1440";
  set_rules({make_rule(0, MeasureKind::IINST, 3, "30", "x")});
  measures.at(MeasureKind::IINST, 1) = 35;
  sched.advance_to_local(at(10, 15, 29, 900));
  engine.Timer_mailTimer();
  frame_at(at(10, 15, 30, 200));
  EXPECT_EQ(cell(0, col::kHeureReactivation), "10:15:30");
  sched.advance_to_local(at(10, 15, 30, 900));  // same second as the firing
  engine.Timer_mailTimer();
  sched.advance_to_local(at(10, 15, 31, 900));
  engine.Timer_mailTimer();
  EXPECT_EQ(cell(0, col::kHeureReactivation), "10:15:30");
  sched.advance_to_local(at(10, 15, 30, 0, 8));
  engine.Timer_mailTimer();
  EXPECT_EQ(cell(0, col::kHeureReactivation), "0");
}

TEST_F(AlertEngineTest, NotEqualRuleFiresAtMostOncePerDelay) {
  settings.alerte.REACTIVATION = "60";
  set_rules({make_rule(1, MeasureKind::PAPP, 5, "0", "PAPP %V VA")});
  engine.start_timer();
  for (int s = 0; s < 600; ++s) frame_at(at(10, s / 60, s % 60, 300));
  EXPECT_THAT(sender.sent, IsEmpty());  // meter 2's PAPP is 0
  measures.at(MeasureKind::PAPP, 2) = 1500;
  for (int s = 0; s < 90 * 60; s += 2) frame_at(at(11, s / 60, s % 60, 300));
  ASSERT_EQ(sender.sent.size(), 2u);
  EXPECT_THAT(sender.sent[1].body, ElementsAre("H", "PAPP 1500 VA"));
}

TEST_F(AlertEngineTest, ValueReplacementIsCaseSensitive) {
  set_rules({make_rule(0, MeasureKind::IINST, 4, "0", "%V et %V"),
             make_rule(0, MeasureKind::IINST, 4, "0", "%v"),
             make_rule(0, MeasureKind::IINST, 4, "0", "sans valeur")});
  measures.at(MeasureKind::IINST, 1) = 12;
  frame_at(at(10, 0, 0));
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_THAT(sender.sent[0].body, ElementsAre("H", "12 et 12", "%v", "sans valeur"));
}

TEST_F(AlertEngineTest, ManualRuleFiresOnceUntilEnabledAgain) {
  set_rules({make_rule(0, MeasureKind::IINST, 4, "0", "manuel", true)});
  engine.start_timer();
  for (int s = 0; s < 30; ++s) frame_at(at(10, 0, s, 500));
  sched.advance(3600 * 1000);
  engine.mail_alerte();
  EXPECT_EQ(sender.sent.size(), 1u);
  settings.alert_table[0][col::kActiver] = "1";  // "Valider Alerte" with "Activer"
  engine.mail_alerte();
  EXPECT_EQ(sender.sent.size(), 2u);
}

TEST_F(AlertEngineTest, NothingRunsWithAlertsOffOrASavedEmptyTable) {
  set_rules({make_rule(0, MeasureKind::IINST, 4, "0", "x")});
  settings.alert_table[0][col::kHeureReactivation] = "10:00:01";
  settings.mail.TABLEAU_VIDE = "OUI";
  engine.start_timer();
  frame_at(at(10, 0, 5));
  EXPECT_EQ(cell(0, col::kHeureReactivation), "10:00:01");  // no re-arm either
  settings.mail.TABLEAU_VIDE = "NON";
  settings.mail.ACTIF = 0;
  engine.mail_alerte();
  EXPECT_THAT(sender.sent, IsEmpty());
}

TEST_F(AlertEngineTest, RowsWithoutACompleteRuleAreSkipped) {
  AlertRule point = make_rule(0, MeasureKind::IINST, 4, "12.5", "point");
  AlertRule meter = make_rule(0, MeasureKind::IINST, 4, "0", "meter");
  meter[col::kCpt] = "2";
  AlertRule kind = make_rule(0, MeasureKind::IINST, 4, "0", "kind");
  kind[col::kVar] = "8";
  AlertRule sign = make_rule(0, MeasureKind::IINST, 4, "0", "sign");
  sign[col::kSigne] = "6";
  set_rules({AlertRule{}, point, meter, kind, sign,
             with_window(make_rule(0, MeasureKind::IINST, 4, "0", "bad window"), "8h", "20:00:00"),
             make_rule(0, MeasureKind::IINST, 4, "0", "ok")});
  settings.AlertRowCount = 50;  // more rows announced than present
  frame_at(at(10, 0, 0));
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_THAT(sender.sent[0].body, ElementsAre("H", "ok"));
  EXPECT_FALSE(engine.verifie_alerte(99, 0));
}

TEST_F(AlertEngineTest, EjpNoticeRuleFiresWhileTheNoticeIsAnnounced) {
  set_rules({make_rule(1, MeasureKind::PEJP, 2, "0", w("Préavis EJP"), true)});
  frame_at(at(10, 0, 0));
  EXPECT_THAT(sender.sent, IsEmpty());
  measures.at(MeasureKind::PEJP, 2) = 1;
  frame_at(at(10, 0, 1));
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_THAT(sender.sent[0].body, ElementsAre("H", w("Préavis EJP")));
}

TEST_F(AlertEngineTest, FailedMailKeepsTheBufferForTheNextMail) {
  set_rules({make_rule(0, MeasureKind::IINST, 3, "30", "first %V"),
             make_rule(0, MeasureKind::IINST, 3, "40", "second %V")});
  measures.at(MeasureKind::IINST, 1) = 35;
  sender.fail = true;
  sched.advance_to_local(at(10, 0, 0));
  EXPECT_NO_THROW(engine.mail_alerte());
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(messages.messages[0].text, "Erreur d'envoi du Mail d'alerte : connexion refusée");
  EXPECT_THAT(engine.Memo_alerte, ElementsAre("H", "first 35"));
  EXPECT_EQ(cell(0, col::kHeureReactivation), "11:00:00");  // the fired rule keeps its state

  // The failing server is not asked again at every frame: the lines wait for
  // the retry, one minute later, and the message is not repeated meanwhile.
  sender.fail = false;
  measures.at(MeasureKind::IINST, 1) = 45;
  for (int s = 1; s < 60; ++s) frame_at(at(10, 0, s));
  EXPECT_EQ(sender.attempts, 1);
  EXPECT_EQ(messages.messages.size(), 1u);
  EXPECT_THAT(engine.Memo_alerte, ElementsAre("H", "first 35", "second 45"));
  sched.advance_to_local(at(10, 1, 0));
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_THAT(sender.sent[0].body, ElementsAre("H", "first 35", "second 45"));
  EXPECT_THAT(engine.Memo_alerte, ElementsAre("H"));
}

TEST_F(AlertEngineTest, LinesFiredWhileAMailIsOnItsWayGoToTheNextOne) {
  set_rules({make_rule(0, MeasureKind::IINST, 3, "30", "first %V"),
             make_rule(0, MeasureKind::IINST, 3, "40", "second %V")});
  sender.later = &sched;
  sender.delay_ms = 5000;
  measures.at(MeasureKind::IINST, 1) = 35;
  frame_at(at(10, 0, 0));
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_TRUE(engine.mail_in_flight());
  EXPECT_THAT(engine.Memo_alerte, ElementsAre("H"));
  measures.at(MeasureKind::IINST, 1) = 45;
  frame_at(at(10, 0, 2));
  frame_at(at(10, 0, 3));
  EXPECT_EQ(sender.sent.size(), 1u);  // one exchange at a time
  EXPECT_THAT(engine.Memo_alerte, ElementsAre("H", "second 45"));
  sched.advance_to_local(at(10, 0, 5));  // the first mail is through: the next one leaves
  ASSERT_EQ(sender.sent.size(), 2u);
  EXPECT_THAT(sender.sent[0].body, ElementsAre("H", "first 35"));
  EXPECT_THAT(sender.sent[1].body, ElementsAre("H", "second 45"));

  // A failure comes back after newer lines fired: its lines go first; each
  // failed attempt shows one message, and the retries back off (1, 2, 4 min).
  sched.advance_to_local(at(10, 0, 10));
  sender.fail = true;
  settings.alert_table[0][col::kHeureReactivation] = "0";
  frame_at(at(10, 0, 11));
  engine.Memo_alerte.push_back("newer");
  sched.advance_to_local(at(10, 0, 16));
  EXPECT_THAT(engine.Memo_alerte, ElementsAre("H", "first 45", "newer"));
  EXPECT_EQ(messages.messages.size(), 1u);
  sched.advance_to_local(at(10, 7, 32));
  EXPECT_EQ(sender.attempts, 6);  // 2 mails, then 10:00:11, 10:01:16, 10:03:21 and 10:07:26
  EXPECT_EQ(messages.messages.size(), 4u);
}

TEST_F(AlertEngineTest, RestartMailIsSentOncePerRun) {
  settings.alerte.REDEMARRAGE_PC = 1;
  engine.Memo_alerte.clear();
  EXPECT_TRUE(engine.restart_mail(at(9, 5, 7)));
  EXPECT_FALSE(engine.restart_mail(at(9, 6, 0)));
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_THAT(sender.sent[0].body, ElementsAre("H", w("Redémarrage automatique de l'ordinateur !"),
                                               w("le 07/12/2026 à 09:05:07")));

  AlertEngine other(settings, measures, sched, sender, sched, messages);
  settings.alerte.REDEMARRAGE_PC = 0;
  EXPECT_FALSE(other.restart_mail(at(9, 5, 7)));
}

TEST_F(AlertEngineTest, TestMailTextAndFailure) {
  settings.mail.PORT_SMTP = "587";
  engine.test_mail();
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_THAT(sender.sent[0].body,
              ElementsAre("H", "Test de la configuration des alertes Mail de Vireluz 2 compteurs", "",
                          "Emetteur    : vireluz@maison.fr", "Destinataire: a@x.fr, ,b@y.fr,",
                          "Serveur SMTP: smtp.maison.fr", "Port SMTP   : 587"));
  EXPECT_THAT(engine.Memo_alerte, ElementsAre("H"));

  engine.Memo_alerte.push_back("pending alert");
  sender.fail = true;
  EXPECT_NO_THROW(engine.test_mail());
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0].icon, MessageIcon::Error);
  EXPECT_THAT(engine.Memo_alerte, ElementsAre("H", "pending alert"));
}

TEST_F(AlertEngineTest, StartOfReadingRearmsEveryRuleAndStartsTheTimer) {
  set_rules({make_rule(0, MeasureKind::IINST, 3, "30", "a"), make_rule(0, MeasureKind::IINST, 3, "30", "b")});
  settings.alert_table[0][col::kHeureReactivation] = "12:00:00";
  settings.alert_table[1][col::kHeureReactivation] = "13:00:00";
  settings.mail.ACTIF = 0;
  engine.reading_started();
  EXPECT_EQ(cell(0, col::kHeureReactivation), "12:00:00");
  EXPECT_FALSE(engine.timer().enabled());
  settings.mail.ACTIF = 1;
  engine.reading_started();
  EXPECT_EQ(cell(0, col::kHeureReactivation), "0");
  EXPECT_EQ(cell(1, col::kHeureReactivation), "0");
  EXPECT_TRUE(engine.timer().enabled());
  EXPECT_EQ(engine.timer().interval(), 1000);
}

TEST(AlertHelpers, AddressListAndTimes) {
  EXPECT_THAT(split_address_list(" a@x.fr ,, b@y.fr , "), ElementsAre("a@x.fr", "b@y.fr"));
  EXPECT_THAT(split_address_list(""), IsEmpty());
  EXPECT_EQ(parse_time_of_day("08:00:01"), 28801000);
  EXPECT_EQ(parse_time_of_day("24:00:00"), std::nullopt);
  EXPECT_EQ(parse_time_of_day("08:00"), std::nullopt);
  EXPECT_EQ(reactivation_minutes("abc"), 60);
  EXPECT_EQ(reactivation_minutes("0"), 1);
  EXPECT_EQ(reactivation_minutes("5000"), 1440);
}

}  // namespace
}  // namespace vireluz
