// The libcurl mail client against a real SMTP server on 127.0.0.1
// (smtp_peer.py, started and stopped by each test), on a Qt event loop:
// contents, STARTTLS, AUTH and certificates.
#include "alerts/smtp_curl.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "alerts/alert_engine.h"
#include "alerts/mime.h"
#include "common/error.h"
#include "common/sim_scheduler.h"
#include "net_support/qt_net_loop.h"
#include "upload/http_curl.h"

namespace vireluz {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using json = nlohmann::json;

bool can_connect(int port) {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  close(s);
  return ok;
}

// A listening socket on a free port of 127.0.0.1 (-1 on failure).
int listen_socket(int& port) {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, 4) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    close(s);
    return -1;
  }
  port = ntohs(a.sin_port);
  return s;
}

std::string read_all(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The Python SMTP server, for the lifetime of the object.
class SmtpPeer {
 public:
  explicit SmtpPeer(const std::string& mode, std::vector<std::string> options = {}) {
    static int count = 0;
    dir_ = fs::path(VIRELUZ_BINARY_DIR) /
           ("smtp_peer_" + mode + "_" + std::to_string(getpid()) + "_" + std::to_string(++count));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    const std::string port_file = (dir_ / "port").string();
    const std::string log = (dir_ / "peer.log").string();
    pid_ = fork();
    if (pid_ == 0) {
      const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd >= 0) {
        dup2(fd, 1);
        dup2(fd, 2);
      }
      std::vector<std::string> args = {VIRELUZ_SMTP_PYTHON, VIRELUZ_SMTP_PEER, mode, dir_.string(), port_file};
      args.insert(args.end(), options.begin(), options.end());
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(VIRELUZ_SMTP_PYTHON, argv.data());
      _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        error_ = "the SMTP peer ended at start: " + read_all(log);
        return;
      }
      if (fs::exists(port_file)) {
        port_ = std::stoi(read_all(port_file));
        if (can_connect(port_)) return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    error_ = "the SMTP peer did not start: " + read_all(log);
  }
  ~SmtpPeer() {
    stop();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    bool ended = false;
    for (int i = 0; i < 60 && !ended; ++i) {
      ended = waitpid(pid_, nullptr, WNOHANG) == pid_;
      if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!ended) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
  }
  bool ok() const { return error_.empty() && port_ > 0; }
  const std::string& error() const { return error_; }
  int port() const { return port_; }
  std::vector<json> messages() const {
    std::vector<json> out;
    for (int n = 0; fs::exists(dir_ / (std::to_string(n) + ".json")); ++n)
      out.push_back(json::parse(read_all(dir_ / (std::to_string(n) + ".json"))));
    return out;
  }
  std::string raw(int n) const { return read_all(dir_ / (std::to_string(n) + ".eml")); }
  // The commands the peer noted (STARTTLS, AUTH, MAIL), one per line.
  std::string commands() const { return read_all(dir_ / "commands.log"); }

 private:
  fs::path dir_;
  pid_t pid_ = -1;
  int port_ = 0;
  std::string error_;
};

class SmtpTest : public ::testing::Test {
 protected:
  SmtpTest()
      : sched(DateTime{2026, 12, 7, 10, 15, 30, 0}),
        sender(sched, loop.multi),
        engine(settings, measures, sched, sender, sched, messages) {
    settings.mail.ACTIF = 1;
    settings.mail.TLS = 0;  // plain SMTP ("Aucun"), unless a test says otherwise
    settings.mail.TABLEAU_VIDE = "NON";
    settings.mail.ENTETE = w("Alerte entête Maison");
    settings.mail.EMETTEUR = "vireluz@maison.fr";
    settings.mail.DESTINATAIRE = " a@x.fr, ,b@y.fr,,  c@z.fr ";
    settings.mail.SMTP = "127.0.0.1";
    settings.mail.PASSWORD = "secret";
    AlertRule r;
    r[alert_col::kMessage] = w("Courant élevé: %V A");
    r[alert_col::kCpt] = "0";
    r[alert_col::kVar] = "0";
    r[alert_col::kSigne] = "3";
    r[alert_col::kSeuil] = "30";
    r[alert_col::kHeureReactivation] = "0";
    r[alert_col::kReactivation] = "0";
    settings.alert_table = {r};
    settings.AlertRowCount = 1;
    measures.at(MeasureKind::IINST, 1) = 35;
    engine.reset_memo();
  }
  void use(const SmtpPeer& peer) { settings.mail.PORT_SMTP = std::to_string(peer.port()); }
  // Runs the event loop until no alert mail is on its way.
  void settle() {
    loop.run_until([&] { return !engine.mail_in_flight(); });
  }
  // The test mail of the alert window, to its end.
  void test_mail() {
    bool done = false;
    engine.test_mail([&](const std::optional<Text>&) { done = true; });
    loop.run_until([&] { return done; });
  }
  // One message straight through the client; the error text, or "" when sent.
  std::string send_now(const MailMessage& msg, const SmtpSettings& smtp) {
    bool done = false;
    std::string result;
    const RequestHandle mail = sender.send(msg, smtp, [&](const std::optional<Text>& e) {
      done = true;
      result = e ? cp1252_to_utf8(*e) : "";
    });
    loop.run_until([&] { return done; });
    return done ? result : "no answer";
  }
  // The text of the last message shown, UTF-8.
  std::string last_message() const {
    return messages.messages.empty() ? "" : cp1252_to_utf8(messages.messages.back().text);
  }

  testing::QtNetLoop loop;
  Settings settings;
  MeasureTable measures;
  SimScheduler sched;
  RecordingMessages messages;
  CurlMailSender sender;
  AlertEngine engine;
};

TEST_F(SmtpTest, AlertMailArrivesWithItsHeaderAndBody) {
  SmtpPeer peer("plain");
  ASSERT_TRUE(peer.ok()) << peer.error();
  use(peer);
  engine.mail_alerte();  // a password is set, but this server offers no AUTH
  settle();
  const auto got = peer.messages();
  ASSERT_EQ(got.size(), 1u);
  const json& m = got[0];
  EXPECT_EQ(m["mail_from"], "vireluz@maison.fr");
  EXPECT_THAT(m["rcpt_tos"].get<std::vector<std::string>>(), ElementsAre("a@x.fr", "b@y.fr", "c@z.fr"));
  EXPECT_THAT(m["to"].get<std::vector<std::string>>(), ElementsAre("a@x.fr", "b@y.fr", "c@z.fr"));
  EXPECT_EQ(m["from"], "vireluz@maison.fr");
  EXPECT_EQ(m["subject"], "Alerte entête Maison");
  EXPECT_EQ(m["x_priority"], "1");
  EXPECT_EQ(m["content_type"], "text/plain");
  EXPECT_EQ(m["charset"], "utf-8");
  EXPECT_TRUE(m["login"].is_null());
  EXPECT_TRUE(m["defects"].empty()) << m["defects"];
  EXPECT_THAT(m["body_lines"].get<std::vector<std::string>>(),
              ElementsAre("Alerte entête Maison", "Courant élevé: 35 A", ""));
  const auto names = m["header_names"].get<std::vector<std::string>>();
  for (const char* h : {"Date", "Message-ID", "MIME-Version", "Content-Transfer-Encoding"})
    EXPECT_THAT(names, ::testing::Contains(h));

  const std::string raw = peer.raw(0);
  for (std::size_t i = raw.find('\n'); i != std::string::npos; i = raw.find('\n', i + 1))
    ASSERT_TRUE(i > 0 && raw[i - 1] == '\r') << "bare LF at " << i;
  EXPECT_THAT(raw, HasSubstr("Date: Mon, 07 Dec 2026 10:15:30 +0100\r\n"));
  EXPECT_THAT(engine.Memo_alerte, ElementsAre(settings.mail.ENTETE));
}

TEST_F(SmtpTest, LongAccentedLinesAndLeadingDotsComeBackUnchanged) {
  SmtpPeer peer("plain");
  ASSERT_TRUE(peer.ok()) << peer.error();
  Text long_line;
  for (int i = 0; i < 40; ++i) long_line += w("é=è ");
  long_line += " ";
  MailMessage msg{"v@m.fr", {"a@x.fr"}, "Sujet simple", {".", ".point", long_line, "", "fin\t"}};
  EXPECT_EQ(send_now(msg, SmtpSettings{"127.0.0.1", std::to_string(peer.port()), "v@m.fr", "", MailTls::kIfOffered, ""}), "");
  const auto got = peer.messages();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0]["subject"], "Sujet simple");
  EXPECT_THAT(got[0]["body_lines"].get<std::vector<std::string>>(),
              ElementsAre(".", ".point", cp1252_to_utf8(long_line), "", "fin\t", ""));
  std::istringstream lines(peer.raw(0));
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 78u) << line;
}

TEST_F(SmtpTest, ServerOfferingAuthGetsTheSenderAsLogin) {
  SmtpPeer peer("auth");
  ASSERT_TRUE(peer.ok()) << peer.error();
  use(peer);
  engine.mail_alerte();
  settle();
  settings.mail.PASSWORD.clear();
  test_mail();
  const auto got = peer.messages();
  ASSERT_EQ(got.size(), 2u);
  ASSERT_TRUE(got[0]["login"].is_object());
  EXPECT_EQ(got[0]["login"]["user"], "vireluz@maison.fr");
  EXPECT_EQ(got[0]["login"]["password"], "secret");
  EXPECT_TRUE(got[1]["login"].is_null());  // no password: no login
}

TEST_F(SmtpTest, RefusedRecipientKeepsTheBufferForTheNextMail) {
  SmtpPeer peer("refuse");
  ASSERT_TRUE(peer.ok()) << peer.error();
  use(peer);
  settings.mail.DESTINATAIRE = "inconnu@x.fr";
  engine.mail_alerte();
  settle();
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_THAT(last_message(), HasSubstr("Erreur d'envoi du Mail"));
  EXPECT_THAT(last_message(), HasSubstr("550"));
  EXPECT_THAT(engine.Memo_alerte, ElementsAre(settings.mail.ENTETE, w("Courant élevé: 35 A")));
  EXPECT_TRUE(peer.messages().empty());

  settings.mail.DESTINATAIRE = "a@x.fr";
  engine.envoie_mail();
  settle();
  ASSERT_EQ(peer.messages().size(), 1u);
  EXPECT_THAT(peer.messages()[0]["body_lines"].get<std::vector<std::string>>(),
              ElementsAre("Alerte entête Maison", "Courant élevé: 35 A", ""));
}

TEST_F(SmtpTest, LineBreaksCannotAddHeaderLines) {
  SmtpPeer peer("plain");
  ASSERT_TRUE(peer.ok()) << peer.error();
  use(peer);
  settings.mail.DESTINATAIRE = "a@x.fr";
  settings.mail.ENTETE = "Alerte\r\nBcc: evil@x.fr\nX-Injected: 1";
  engine.reset_memo();
  engine.mail_alerte();
  settle();
  auto got = peer.messages();
  ASSERT_EQ(got.size(), 1u);
  const auto names = got[0]["header_names"].get<std::vector<std::string>>();
  EXPECT_THAT(names, ::testing::Not(::testing::Contains("Bcc")));
  EXPECT_THAT(names, ::testing::Not(::testing::Contains("X-Injected")));
  EXPECT_THAT(got[0]["rcpt_tos"].get<std::vector<std::string>>(), ElementsAre("a@x.fr"));
  EXPECT_THAT(got[0]["subject"].get<std::string>(), HasSubstr("Bcc: evil@x.fr"));

  // An address with a line break, a blank, '>' or nothing at all is refused
  // before anything is sent, with a message.
  const std::vector<std::pair<Text, Text>> bad = {{"v@m.fr\r\nRCPT TO:<evil@x.fr>", "a@x.fr"},
                                                  {"v@m.fr", "a@x.fr\nBcc: evil@x.fr"},
                                                  {"v@m.fr", "me@home.fr> NOTIFY=NEVER ORCPT=rfc822;x@y"},
                                                  {"v@m.fr", "<me@home.fr> NOTIFY=NEVER"},
                                                  {"v@m.fr", "me @home.fr"},
                                                  {"", "a@x.fr"},
                                                  {"Nom <>", "a@x.fr"}};
  for (const auto& [from, to] : bad) {
    settings.mail.EMETTEUR = from;
    settings.mail.DESTINATAIRE = to;
    const std::size_t shown = messages.messages.size();
    test_mail();
    ASSERT_EQ(messages.messages.size(), shown + 1) << from << " / " << to;
    EXPECT_THAT(last_message(), HasSubstr("Adresse Mail")) << from << " / " << to;
  }
  EXPECT_EQ(peer.messages().size(), 1u);
  // A display name with the address between angle brackets is fine.
  settings.mail.EMETTEUR = "Vireluz <v@m.fr>";
  settings.mail.DESTINATAIRE = "Moi <a@x.fr>";
  test_mail();
  ASSERT_EQ(peer.messages().size(), 2u);
  EXPECT_EQ(peer.messages()[1]["mail_from"], "v@m.fr");
}

// A certificate authority and certificates made for the test with the
// openssl tool: a server certificate signed by the CA and a self-signed one,
// both for 127.0.0.1.
struct TestCa {
  fs::path dir;
  bool ok = false;
  TestCa() {
    dir = fs::path(VIRELUZ_BINARY_DIR) / ("smtp_ca_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string d = dir.string();
    std::ofstream(dir / "san.ext") << "subjectAltName=IP:127.0.0.1,DNS:localhost\n";
    const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ";
    const std::string cmd =
        "cd '" + d + "' && (openssl req -x509" + ec + "-keyout ca.key -out ca.pem -days 2 -subj '/CN=Essai CA' &&" +
        " openssl req" + ec + "-keyout srv.key -out srv.csr -subj '/CN=127.0.0.1' &&" +
        " openssl x509 -req -in srv.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out srv.pem -days 2" +
        " -extfile san.ext && openssl req -x509" + ec +
        "-keyout self.key -out self.pem -days 2 -subj '/CN=127.0.0.1' -addext " +
        "'subjectAltName=IP:127.0.0.1') > openssl.log 2>&1";
    ok = std::system(cmd.c_str()) == 0;
  }
  ~TestCa() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::string cert() const { return "cert=" + (dir / "srv.pem").string(); }
  std::string key() const { return "key=" + (dir / "srv.key").string(); }
  std::string self_cert() const { return "cert=" + (dir / "self.pem").string(); }
  std::string self_key() const { return "key=" + (dir / "self.key").string(); }
  Text ca() const { return (dir / "ca.pem").string(); }
};

const TestCa& test_ca() {
  static const TestCa ca;
  return ca;
}

// Real providers: STARTTLS then AUTH, a greeting and a reply that take their
// time, implicit TLS on a port of its own; the certificate is verified with
// the CA named in the settings. An upload to a server that never answers
// goes on at the same time; a timer notes how long the loop was held.
TEST_F(SmtpTest, TlsProvidersWithSlowRepliesDeliverWithoutHoldingTheLoop) {
  const TestCa& ca = test_ca();
  ASSERT_TRUE(ca.ok) << "openssl failed, see " << (ca.dir / "openssl.log");
  settings.mail.TLS = -1;  // the default: a password is set, so TLS is required
  settings.mail.CA = ca.ca();
  settings.mail.DESTINATAIRE = "a@x.fr";

  struct Case {
    std::vector<std::string> options;
    bool implicit;
  };
  const std::vector<Case> cases = {
      {{ca.cert(), ca.key(), "greeting_delay=0.5", "data_delay=0.5"}, false},
      {{ca.cert(), ca.key(), "greeting_delay=3", "data_delay=0"}, false},
      {{ca.cert(), ca.key(), "greeting_delay=0", "data_delay=3"}, false},
      {{ca.cert(), ca.key(), "implicit=1", "greeting_delay=0.5"}, true},
  };
  for (const Case& c : cases) {
    SmtpPeer peer("auth", c.options);
    ASSERT_TRUE(peer.ok()) << peer.error();
    use(peer);
    settings.mail.SMTP = c.implicit ? "smtps://127.0.0.1" : "127.0.0.1";
    int port = 0;
    const int silent = listen_socket(port);
    ASSERT_GE(silent, 0);
    CurlHttpClient http(loop.multi, {5000, 300, 4000});
    bool upload_done = false;
    const RequestHandle upload =
        http.send(HttpRequest{"GET", "127.0.0.1", port, "/", {}, ""}, [&](const HttpResult&) { upload_done = true; });
    const auto start = std::chrono::steady_clock::now();
    engine.mail_alerte();
    loop.run_until([&] { return upload_done && !engine.mail_in_flight(); });
    close(silent);
    const std::string name = c.options[2] + " " + c.options[3];
    const auto got = peer.messages();
    ASSERT_EQ(got.size(), 1u) << name << ": " << last_message();
    ASSERT_TRUE(got[0]["login"].is_object()) << peer.commands();
    EXPECT_EQ(got[0]["login"]["password"], "secret");
    if (!c.implicit) {
      EXPECT_EQ(peer.commands().rfind("STARTTLS\n", 0), 0u) << peer.commands();
    }
    EXPECT_TRUE(messages.messages.empty()) << last_message();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    // No wait holds the loop: not the greeting's, not the reply to the end
    // of the data (3 s here).
    EXPECT_LT(loop.longest_stall_ms, 1000) << name;
    std::printf("%s: longest event-loop stall %lld ms\n", name.c_str(),
                static_cast<long long>(loop.longest_stall_ms));
    settings.alert_table[0][alert_col::kHeureReactivation] = "0";
  }
}

// The password never crosses the network in clear and never goes to a server
// whose certificate cannot be verified; a home relay without password keeps
// working with its own certificate.
TEST_F(SmtpTest, PasswordOnlyOverVerifiedTlsAndHomeRelaysStillWork) {
  const TestCa& ca = test_ca();
  ASSERT_TRUE(ca.ok);
  settings.mail.TLS = -1;
  settings.mail.DESTINATAIRE = "a@x.fr";
  {
    // No STARTTLS offered (a machine in between may have removed it).
    SmtpPeer peer("auth");
    ASSERT_TRUE(peer.ok()) << peer.error();
    use(peer);
    engine.mail_alerte();
    settle();
    EXPECT_TRUE(peer.messages().empty());
    EXPECT_EQ(peer.commands().find("AUTH"), std::string::npos) << peer.commands();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_THAT(last_message(), HasSubstr("ne propose pas STARTTLS : le mot de passe n'est pas envoyé"));
    // "Si proposé" does not send it in clear either.
    settings.mail.TLS = 1;
    test_mail();
    EXPECT_EQ(peer.commands().find("AUTH"), std::string::npos) << peer.commands();
    EXPECT_EQ(messages.messages.size(), 2u);
  }
  {
    // A self-signed certificate and a password: refused before AUTH.
    settings.mail.TLS = -1;
    SmtpPeer peer("auth", {ca.self_cert(), ca.self_key()});
    ASSERT_TRUE(peer.ok()) << peer.error();
    use(peer);
    test_mail();
    EXPECT_TRUE(peer.messages().empty());
    EXPECT_EQ(peer.commands().find("AUTH"), std::string::npos) << peer.commands();
    ASSERT_EQ(messages.messages.size(), 3u);
    EXPECT_THAT(last_message(), HasSubstr("certificat du serveur non vérifié"));
  }
  {
    // The same relay without password: delivered over its unverified TLS.
    settings.mail.PASSWORD.clear();
    SmtpPeer peer("plain", {ca.self_cert(), ca.self_key()});
    ASSERT_TRUE(peer.ok()) << peer.error();
    use(peer);
    test_mail();
    ASSERT_EQ(peer.messages().size(), 1u) << last_message();
    EXPECT_EQ(peer.commands().rfind("STARTTLS\n", 0), 0u);
    // "Obligatoire" verifies even without a password.
    settings.mail.TLS = 2;
    test_mail();
    EXPECT_EQ(peer.messages().size(), 1u);
    EXPECT_THAT(last_message(), HasSubstr("certificat du serveur non vérifié"));
  }
}

TEST(SmtpSubject, LongPlainSubjectIsFoldedWithinTheLineLimits) {
  Text words;
  for (int i = 0; words.size() < 5000; ++i) words += "mot" + std::to_string(i) + " ";
  // The second has a word too long to fold: encoded words instead.
  for (const Text& s : {words, words + std::string(1200, 'x')}) {
    const std::string m =
        build_mime_message(MailMessage{"v@m.fr", {"a@x.fr"}, s, {"b"}}, DateTime{2026, 12, 7}, 60, "id@m.fr");
    const std::string head = m.substr(0, m.find("\r\n\r\n") + 2);
    std::istringstream lines(head);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 79u) << line.substr(0, 40);
    if (s == words) {
      // Unfolded, it is the subject as typed.
      const auto at = head.find("Subject: ") + 9;
      std::string value = head.substr(at, head.find("\r\nX-Priority") - at);
      for (std::size_t p; (p = value.find("\r\n")) != std::string::npos;) value.erase(p, 2);
      EXPECT_EQ(value, s);
    }
  }
}

TEST(SmtpSettingsCheck, BadServerOrPortIsRefused) {
  SimScheduler clock;
  testing::QtNetLoop loop;
  CurlMailSender sender(clock, loop.multi);
  const MailMessage msg{"v@m.fr", {"a@x.fr"}, "s", {"b"}};
  const auto none = [](const std::optional<Text>&) {};
  EXPECT_THROW(sender.send(msg, {"", "25", "", "", MailTls::kNone, ""}, none), VireluzError);
  EXPECT_THROW(sender.send(msg, {"smtp.x.fr/evil", "25", "", "", MailTls::kNone, ""}, none), VireluzError);
  EXPECT_THROW(sender.send(msg, {"127.0.0.1", "abc", "", "", MailTls::kNone, ""}, none), VireluzError);
  EXPECT_THROW(sender.send(msg, {"127.0.0.1", "70000", "", "", MailTls::kNone, ""}, none), VireluzError);
  EXPECT_THROW(sender.send(MailMessage{"v@m.fr", {}, "s", {}}, {"127.0.0.1", "25", "", "", MailTls::kNone, ""}, none),
               VireluzError);
}

}  // namespace
}  // namespace vireluz
