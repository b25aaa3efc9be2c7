// Fuzz target: the alert table and the Cosm table as stored in their INI
// grids, loaded, then used: the alert evaluation with its re-arm timer on a
// fixed simulated clock, and the Cosm upload pass, both with senders that do
// nothing (or fail, as the input decides).
//
// The input drives a FuzzedDataProvider: it chooses the [GENERAL] counts
// (COLCOUNT, ROWCOUNT as numbers of every shape), the column sections and
// their row keys, the cells (numbers, times of day, free text), the measured
// values, the time of day, and a short script of evaluation steps. The mail
// addresses, the Cosm key, server and one more identifier are fuzzed text:
// the fake clients check that nothing which reaches them could end an
// envelope address or break the request line (a blank, a control
// character, an angle bracket, a dot segment in the path).
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "alerts/alert_engine.h"
#include "alerts/mail_sender.h"
#include "common/error.h"
#include "common/sim_scheduler.h"
#include "config/config_files.h"
#include "config/settings.h"
#include "meter/meter_slot.h"
#include "upload/cosm.h"
#include "upload/http_client.h"

namespace {

using namespace vireluz;

// The folder lives until the process ends (never destroyed, so the exit hook
// that removes it can still read its name).
const std::string& work_dir() {
  static const std::string& dir = *new std::string([] {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vireluz_fuzz_tables_XXXXXX").string();
    if (!mkdtemp(tmpl.data())) std::abort();
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(work_dir(), ec);
    });
    return tmpl + "/";
  }());
  return dir;
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) std::abort();
}

// A number as a damaged or hand-edited file may hold it. With `large` false
// it is never above small_max (a row count: the loader clamps a large one, a
// unit test covers that, and tables of thousands of rows made each such input
// cost hundreds of milliseconds).
std::string number_text(FuzzedDataProvider& p, int small_max, bool large = true) {
  if (!large) {
    const int v = p.ConsumeIntegralInRange(0, 3) == 0 ? p.ConsumeIntegral<std::int32_t>() % (small_max + 1)
                                                      : p.ConsumeIntegralInRange(-3, small_max);
    switch (p.ConsumeIntegralInRange(0, 4)) {
      case 0:
        return " " + std::to_string(v) + " ";
      case 1:
        return "00" + std::to_string(v);
      case 2:
        return p.ConsumeRandomLengthString(2);
      default:
        return std::to_string(v);
    }
  }
  switch (p.ConsumeIntegralInRange(0, 9)) {
    case 0:
    case 1:
    case 2:
      return std::to_string(p.ConsumeIntegralInRange(-3, small_max));
    case 3:
      return std::to_string(p.ConsumeIntegralInRange(-3, 12000));
    case 4:
      return std::to_string(p.ConsumeIntegral<std::int32_t>());
    case 5:
      return " " + std::to_string(p.ConsumeIntegralInRange(0, small_max)) + " ";
    case 6:
      return "00" + std::to_string(p.ConsumeIntegralInRange(0, small_max));
    case 7:
      return "+" + std::to_string(p.ConsumeIntegralInRange(0, small_max));
    case 8:
      return "9999999999999999999" + std::to_string(p.ConsumeIntegralInRange(0, 9));
    default:
      return p.ConsumeRandomLengthString(12);
  }
}

std::string time_text(FuzzedDataProvider& p) {
  if (p.ConsumeBool()) return p.ConsumeRandomLengthString(10);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", p.ConsumeIntegralInRange(-1, 25),
                p.ConsumeIntegralInRange(-1, 61), p.ConsumeIntegralInRange(-1, 61));
  return buf;
}

std::string alert_cell(FuzzedDataProvider& p, int col) {
  namespace c = alert_col;
  switch (col) {
    case c::kCpt:
      return number_text(p, 2);
    case c::kVar:
      return number_text(p, 8);
    case c::kSigne:
      return number_text(p, 6);
    case c::kSeuil:
      return number_text(p, 100000);
    case c::kHeureReactivation:
      return p.ConsumeBool() ? "0" : time_text(p);
    case c::kActiver:
    case c::kReactivation:
    case c::kHoraire:
      return number_text(p, 2);
    case c::kDebut:
    case c::kFin:
      return time_text(p);
    default:
      return p.ConsumeRandomLengthString(20);
  }
}

std::string cosm_cell(FuzzedDataProvider& p, int col) {
  if (col == 3) return number_text(p, 2);
  if (col == 4) return number_text(p, 6);
  return p.ConsumeRandomLengthString(16);
}

// [GENERAL] and the column sections of one grid.
template <class CellFn>
std::string grid(FuzzedDataProvider& p, int columns, CellFn cell) {
  std::string g = "[GENERAL]\r\n";
  if (p.ConsumeIntegralInRange(0, 15) != 0) g += "COLCOUNT=" + number_text(p, columns + 3) + "\r\n";
  if (p.ConsumeIntegralInRange(0, 15) != 0) g += "ROWCOUNT=" + number_text(p, 40, false) + "\r\n";
  const int sections = p.ConsumeIntegralInRange(0, columns + 3);
  for (int i = 0; i < sections; ++i) {
    const int col = p.ConsumeIntegralInRange(0, columns + 2);
    g +=
        "[" + (p.ConsumeIntegralInRange(0, 7) != 0 ? std::to_string(col) : number_text(p, columns)) + "]\r\n";
    const int keys = p.ConsumeIntegralInRange(0, 40);
    for (int k = 0; k < keys; ++k) {
      const std::string key = p.ConsumeIntegralInRange(0, 7) != 0 ? std::to_string(k) : number_text(p, 40);
      g += key + "=" + cell(p, col) + "\r\n";
    }
  }
  return g;
}

bool unsafe_in_address(unsigned char c) { return c <= 0x20 || c == 0x7f || c == '<' || c == '>'; }

// "MAIL FROM:<a>" / "RCPT TO:<a>": the address must be one clean token.
void check_envelope_address(const Text& item) {
  const Text a = envelope_address(item);
  if (a.empty()) std::abort();
  for (unsigned char c : a)
    if (unsafe_in_address(c)) std::abort();
}

class Sender : public MailSender {
 public:
  bool fail = false;
  int sent = 0;
  RequestHandle send(const MailMessage& m, const SmtpSettings&, Done done) override {
    if (fail) throw VireluzError("Echec de connexion au serveur SMTP");
    check_envelope_address(m.from);
    if (m.to.empty()) std::abort();
    for (const Text& r : m.to) check_envelope_address(r);
    sent += static_cast<int>(m.body.size() & 1);
    done(std::nullopt);
    return nullptr;
  }
};

// The request line "METHOD target HTTP/1.1" and the Host header built from
// the settings.
class Http : public HttpClient {
 public:
  int status = 200;
  RequestHandle send(const HttpRequest& r, Done done) override {
    if (r.target.empty() || r.target[0] != '/') std::abort();
    for (unsigned char c : r.target)
      if (c <= 0x20 || c == 0x7f || c == '#') std::abort();
    const std::string path = r.target.substr(0, r.target.find('?'));
    std::size_t pos = 0;
    while (pos != std::string::npos) {
      const std::size_t next = path.find('/', pos + 1);
      const std::string segment = path.substr(pos + 1, next == std::string::npos ? next : next - pos - 1);
      if (segment == "." || segment == "..") std::abort();
      pos = next;
    }
    if (r.host.empty()) std::abort();
    for (unsigned char c : r.host)
      if (!std::isalnum(c) && c != '-' && c != '.') std::abort();
    for (const auto& [name, value] : r.headers)
      for (unsigned char c : name + value)
        if (c < 0x20 || c == 0x7f) std::abort();
    done(HttpResult{HttpResponse{status, r.target}, {}});
    return nullptr;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider p(data, size);
  const std::string& dir = work_dir();

  std::string alert = "[CONFIG_MAIL]\r\nACTIF=1\r\nEMETTEUR=a@b\r\nDESTINATAIRE=c@d, e@f\r\n";
  alert += std::string("TABLEAU VIDE=") + (p.ConsumeIntegralInRange(0, 7) != 0 ? "NON" : "OUI") + "\r\n";
  alert += "[CONFIG_ALERTE]\r\nREACTIVATION=" + number_text(p, 1500) + "\r\n";
  alert += grid(p, AlertRule::kColumns, alert_cell);
  std::string cfg = "[CONFIG_COSM]\r\nCOSM actif=1\r\nfeed=" + number_text(p, 100000) + "\r\nkey=abc\r\n";
  cfg += "Interval envoi=" + number_text(p, 6) + "\r\n";
  cfg += std::string("TABLEAU VIDE=") + (p.ConsumeIntegralInRange(0, 7) != 0 ? "NON" : "OUI") + "\r\n";
  cfg += grid(p, CosmDatastream::kColumns, cosm_cell);
  write_file(dir + kAlertFileName, alert);
  write_file(dir + kConfigFileName, cfg);

  Settings s;
  s.ConfigDir = dir;
  lire_configuration(s);

  MeasureTable measures;
  for (auto& v : measures.v)
    v = p.ConsumeBool() ? p.ConsumeIntegralInRange(-2, 100) : p.ConsumeIntegral<std::int32_t>();
  SimScheduler sched(DateTime{2026, 12, 7, p.ConsumeIntegralInRange(0, 23), p.ConsumeIntegralInRange(0, 59),
                              p.ConsumeIntegralInRange(0, 59), 0});
  if (p.ConsumeBool()) s.mail.EMETTEUR = p.ConsumeRandomLengthString(40);
  if (p.ConsumeBool()) s.mail.DESTINATAIRE = p.ConsumeRandomLengthString(60);
  Sender sender;
  RecordingMessages messages;
  AlertEngine engine(s, measures, sched, sender, sched, messages);
  engine.reading_started();

  const int steps = p.ConsumeIntegralInRange(1, 24);
  for (int i = 0; i < steps && p.remaining_bytes() > 0; ++i) {
    sender.fail = p.ConsumeIntegralInRange(0, 5) == 0;
    try {
      switch (p.ConsumeIntegralInRange(0, 6)) {
        case 0:
        case 1:
          engine.mail_alerte();
          break;
        case 2:
          sched.advance(p.ConsumeIntegralInRange(0, 120000));
          break;
        case 3:
          if (!s.alert_table.empty())
            engine.verifie_alerte(p.ConsumeIntegralInRange(0, static_cast<int>(s.alert_table.size()) - 1),
                                  p.ConsumeIntegral<std::int32_t>());
          break;
        case 4:
          measures.v[p.ConsumeIntegralInRange<std::size_t>(0, measures.v.size() - 1)] =
              p.ConsumeIntegral<std::int32_t>();
          break;
        case 5:
          engine.test_mail();
          break;
        default:
          engine.restart_mail(sched.local_now());
          break;
      }
    } catch (const VireluzError&) {
    }
  }

  Http http;
  http.status = p.ConsumeBool() ? 200 : 500;
  if (p.ConsumeBool()) s.cosm.key = p.ConsumeRandomLengthString(20);
  if (p.ConsumeBool()) s.cosm.serveur = p.ConsumeRandomLengthString(30);
  CosmUploader cosm(s, measures, sched, http, messages);
  cosm.send_Cosm();
  try {
    cosm.commandeCosm(p.ConsumeRandomLengthString(20), 1);
  } catch (const VireluzError&) {
  }
  return 0;
}
