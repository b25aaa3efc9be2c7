// The libcurl mail client in simulated time: an SMTP server run by the test's
// own loop on 127.0.0.1 answers, stays silent, floods or refuses; every time
// limit, the reply cap, cancelling and the retries of the alert engine are
// checked against the simulated clock, with no wall-clock wait.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "alerts/alert_engine.h"
#include "alerts/smtp_curl.h"
#include "net_support/loop_peer.h"
#include "net_support/sim_io_loop.h"

namespace vireluz {
namespace {

using ::testing::HasSubstr;
using testing::LoopPeer;
using testing::SimIoLoop;

class SmtpLimits : public ::testing::Test {
 protected:
  SmtpLimits() {
    loop.real_wait_ms = 2;  // the server runs on this loop: nothing to wait for
    serve();
  }

  // The server: a greeting on each connection, then one reply per command
  // line, from `replies` by verb ("MAIL", "RCPT", "DATA", "." for the end of
  // the data...) or 250; an empty reply says nothing. `delay_ms` holds each
  // reply back in simulated time.
  void serve(std::map<std::string, std::string> replies = {}, std::int64_t delay_ms = 0) {
    replies_ = std::move(replies);
    delay_ms_ = delay_ms;
    peer.on_accept = [this](int conn) {
      accepted_at.push_back(loop.now_ms());
      in_data_ = false;
      answer(conn, "greeting", "220 essai\r\n");
    };
    peer.on_data = [this](int conn, std::string& in) {
      for (std::size_t eol; (eol = in.find("\r\n")) != std::string::npos;) {
        const std::string line = in.substr(0, eol);
        in.erase(0, eol + 2);
        if (in_data_) {
          in_data_ = line != ".";
          if (!in_data_) answer(conn, ".", "250 OK\r\n");
          continue;
        }
        const std::string verb = line.substr(0, 4);
        if (verb == "DATA") in_data_ = true;
        answer(conn, verb, verb == "DATA" ? "354 go\r\n" : verb == "QUIT" ? "221 bye\r\n" : "250 OK\r\n");
      }
    };
  }
  void answer(int conn, const std::string& verb, const std::string& fallback) {
    const auto it = replies_.find(verb);
    const std::string reply = it == replies_.end() ? fallback : it->second;
    if (reply.empty()) return;
    if (delay_ms_ == 0) return peer.send(conn, reply);
    auto held = std::shared_ptr<IoLoop::Alarm>(loop.alarm([this, conn, reply] { peer.send(conn, reply); }));
    held->start(delay_ms_);
    held_.push_back(held);
  }

  SmtpSettings server(const std::string& host = "127.0.0.1") const {
    return SmtpSettings{host, std::to_string(peer.port()), "v@m.fr", "", MailTls::kNone, ""};
  }

  // One mail; the error text (UTF-8), "" when sent; `elapsed` is the
  // simulated time it took.
  std::string send(const SmtpSettings& smtp, std::int64_t* elapsed = nullptr) {
    const std::int64_t start = loop.now_ms();
    std::optional<std::optional<Text>> result;
    const RequestHandle mail = sender.send(message, smtp, [&](const std::optional<Text>& e) { result = e; });
    loop.run_until([&] { return result.has_value(); }, 120000);
    if (elapsed) *elapsed = loop.now_ms() - start;
    if (!result) return "no answer";
    return *result ? cp1252_to_utf8(**result) : "";
  }

  SimScheduler sched{DateTime{2026, 12, 7, 10, 15, 30, 0}};
  SimIoLoop loop{sched};
  CurlMulti multi{loop};
  CurlMailSender sender{sched, multi};
  LoopPeer peer{loop};
  MailMessage message{"v@m.fr", {"a@x.fr"}, "Sujet", {"Ligne"}};
  std::vector<std::int64_t> accepted_at;

 private:
  std::map<std::string, std::string> replies_;
  std::int64_t delay_ms_ = 0;
  bool in_data_ = false;
  std::vector<std::shared_ptr<IoLoop::Alarm>> held_;
};

TEST_F(SmtpLimits, EachTimeLimitEndsTheMailAtItsOwnDurationAndSaysSo) {
  EXPECT_EQ(send(server()), "");
  std::int64_t took = 0;
  // No greeting: the reply limit of the set-up, not the whole exchange's.
  serve({{"greeting", ""}});
  EXPECT_THAT(send(server(), &took), HasSubstr("le serveur ne répond pas (délai de 10 s dépassé"));
  EXPECT_NEAR(took, 10000, 50);
  // Silent after MAIL FROM.
  serve({{"MAIL", ""}});
  EXPECT_THAT(send(server(), &took), HasSubstr("le serveur ne répond pas (délai de 10 s dépassé"));
  EXPECT_NEAR(took, 10000, 50);
  // Every reply within its limit, the whole exchange too long.
  serve({}, 9000);
  EXPECT_THAT(send(server(), &took), HasSubstr("échange trop long avec le serveur (délai de 30 s dépassé"));
  EXPECT_NEAR(took, 30000, 50);
  serve();
  // A name whose lookup takes 6 s, and one that does not exist.
  loop.script_name("smtp.lent.test", {{"127.0.0.1"}, ""}, 6000);
  EXPECT_THAT(send(server("smtp.lent.test"), &took),
              HasSubstr("résolution du nom du serveur trop longue (délai de 5 s dépassé)"));
  EXPECT_NEAR(took, 5000, 50);
  EXPECT_THAT(send(server("smtp.inconnu.test")), HasSubstr("nom du serveur introuvable (nom inconnu)"));
  // A name found in time is used.
  loop.script_name("smtp.maison.test", {{"127.0.0.1"}, ""}, 4000);
  EXPECT_EQ(send(server("smtp.maison.test"), &took), "");
  EXPECT_GE(took, 4000);
  // A connection that never completes: a server whose queue is full.
  LoopPeer full(loop, false, 0);
  const int queued = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(full.port()));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(queued, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  SmtpSettings hung = server();
  hung.port = std::to_string(full.port());
  EXPECT_THAT(send(hung, &took), HasSubstr("connexion TCP non établie (délai de 300 ms dépassé)"));
  EXPECT_NEAR(took, 300, 50);
  close(queued);
}

TEST_F(SmtpLimits, ReplyOverTheCapEndsTheMailInOneBurstOrInMany) {
  std::string line = "250-" + std::string(1018, 'x') + "\r\n";  // 1 KiB
  std::string burst;
  for (int i = 0; i < 10 * 1024; ++i) burst += line;  // 10 MiB, then the end of the reply
  serve({{"MAIL", burst + "250 OK\r\n"}});
  const std::string too_long = "réponse du serveur trop longue (plus de 64 Kio)";
  EXPECT_THAT(send(server()), HasSubstr(too_long));
  EXPECT_EQ(peer.received(1).find("RCPT"), std::string::npos);

  // The same lines one at a time, 20 ms apart: ended at the cap, long before the last.
  serve({{"MAIL", ""}});
  std::unique_ptr<IoLoop::Alarm> drip;
  int sent = 0;
  drip = loop.alarm([&] {
    peer.send(2, line);
    if (++sent < 1000) drip->start(20);
  });
  const auto base = peer.on_data;
  peer.on_data = [&, base](int conn, std::string& in) {
    if (in.rfind("MAIL", 0) == 0) drip->start(20);
    base(conn, in);
  };
  std::int64_t took = 0;
  EXPECT_THAT(send(server(), &took), HasSubstr(too_long));
  EXPECT_LT(sent, 70);
  EXPECT_NEAR(took, 65 * 20, 100);
  loop.run_for(100);
  EXPECT_EQ(peer.open(), 0);  // the connection was closed
}

// Destroying the handle closes the connection, from outside or from the
// mail's own callback, and nothing is called back afterwards.
TEST_F(SmtpLimits, DroppedHandleClosesTheConnectionWithNoCallbackAfter) {
  serve({{"RCPT", ""}});
  bool called = false;
  RequestHandle mail = sender.send(message, server(), [&](const std::optional<Text>&) { called = true; });
  loop.run_until([&] { return peer.received(1).find("RCPT") != std::string::npos; }, 5000);
  mail.reset();
  loop.run_for(60000);
  EXPECT_FALSE(called);
  EXPECT_EQ(peer.open(), 0);

  // Dropped by its own callback, after success and after a refusal.
  for (const std::string mail_reply : {"250 OK\r\n", "550 non\r\n"}) {
    serve({{"MAIL", mail_reply}});
    std::optional<std::optional<Text>> result;
    mail = sender.send(message, server(), [&](const std::optional<Text>& e) {
      mail.reset();
      result = e;
    });
    loop.run_until([&] { return result.has_value(); }, 60000);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->has_value(), mail_reply[0] == '5');
    loop.run_for(1000);
    EXPECT_EQ(peer.open(), 0);
  }
  EXPECT_THAT(peer.received(2), HasSubstr("\r\n.\r\nQUIT\r\n"));  // QUIT went before the close
}

// The alert engine with the real client on simulated time: a server that
// refuses three times gets the mail at the fourth try, 1, 2 and 4 minutes
// apart, each failure shown once.
TEST_F(SmtpLimits, RefusedMailIsRetriedWithBackOff) {
  Settings settings;
  MeasureTable measures;
  RecordingMessages messages;
  settings.mail.ACTIF = 1;
  settings.mail.TLS = 0;
  settings.mail.TABLEAU_VIDE = "NON";
  settings.mail.ENTETE = "Alerte";
  settings.mail.EMETTEUR = "v@m.fr";
  settings.mail.DESTINATAIRE = "a@x.fr";
  settings.mail.SMTP = "127.0.0.1";
  settings.mail.PORT_SMTP = std::to_string(peer.port());
  AlertEngine engine(settings, measures, sched, sender, sched, messages);
  engine.reset_memo();
  engine.Memo_alerte.push_back("P=3000 VA");
  int refusals = 3;
  serve();
  const auto base = peer.on_data;
  peer.on_data = [&](int conn, std::string& in) {
    if (in.rfind("MAIL", 0) == 0 && refusals > 0) {
      --refusals;
      in.clear();
      return peer.send(conn, "451 plus tard\r\n");
    }
    base(conn, in);
  };
  engine.envoie_mail();
  loop.run_until([&] { return refusals == 0 && !engine.mail_in_flight() && engine.failures() == 0; }, 600000);
  ASSERT_EQ(accepted_at.size(), 4u);
  for (std::size_t i = 1; i < 4; ++i)
    EXPECT_NEAR(accepted_at[i] - accepted_at[i - 1], 60000 << (i - 1), 100) << i;
  ASSERT_EQ(messages.messages.size(), 3u);
  EXPECT_THAT(cp1252_to_utf8(messages.messages[0].text), HasSubstr("451"));
  EXPECT_EQ(engine.Memo_alerte.size(), 1u);
  EXPECT_THAT(peer.received(4), HasSubstr("P=3D3000 VA"));
}

}  // namespace
}  // namespace vireluz
