#include "web/web_server_qt.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace vireluz {
namespace {

constexpr qint64 kFileChunk = 64 * 1024;
constexpr int kRefusedGraceMs = 2000;
constexpr quint64 kMaxIncomingFrame = 1024;

std::int64_t monotonic_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

QByteArray qb(const std::string& s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }

// The address of a peer as the login limit counts it (an IPv4 peer of an IPv6
// socket as plain IPv4).
std::string peer_of(const QTcpSocket* s) {
  QHostAddress a = s->peerAddress();
  bool v4 = false;
  const quint32 ip4 = a.toIPv4Address(&v4);
  if (v4) a = QHostAddress(ip4);
  return a.toString().toStdString();
}

// The listening socket: it keeps each connection until its request head has
// passed the gate, then hands it over to Qt HttpServer (which binds to it) or
// to the WebSocket server.
class GateServer : public QTcpServer {
 public:
  std::function<void(qintptr)> on_incoming;
  void hand_over(QTcpSocket* socket) {
    addPendingConnection(socket);
    Q_EMIT newConnection();
  }

 protected:
  void incomingConnection(qintptr fd) override { on_incoming(fd); }
};

}  // namespace

struct QtWebServer::Impl {
  QObject context;  // every connection below dies with it
  WebSite* site = nullptr;
  std::unique_ptr<QHttpServer> http;
  GateServer* gate = nullptr;  // owned by http
  std::unique_ptr<QWebSocketServer> ws;
  std::vector<QPointer<QWebSocket>> pages;
  std::optional<QSslConfiguration> tls;
  // The connections counted against the limit (those handed over to the
  // WebSocket server included). Pointers, not a count kept by signals: Qt
  // HttpServer drops every connection of a socket whose request it cannot
  // parse.
  std::vector<QPointer<QTcpSocket>> connections;
  // The connection whose request Qt HttpServer is answering, and whether its
  // answer goes on after the handler (a file).
  QTcpSocket* answering = nullptr;
  bool streaming = false;
  // Measures how late a 5 ms timer fires, for the load tests
  // (VIRELUZ_WEB_STALL_FILE names the file that gets the longest delay of
  // every second).
  std::unique_ptr<QTimer> stall_timer;
  QElapsedTimer stall_clock;
  qint64 stall_max_ms = 0, stall_last_ms = 0;
  QByteArray stall_file;

  int open_connections();
  void incoming(qintptr fd);
  void read_head(QTcpSocket* socket);
  void refuse(QTcpSocket* socket, const GateVerdict& verdict);
  void to_http(QTcpSocket* socket);
  void to_stream(QTcpSocket* socket);
  void page_connected();
  void routes();
  void reply(QHttpServerResponder& r, int status, const QByteArray& type, const QByteArray& body,
             const HeaderFields& extra = {});
  void send_file(QHttpServerResponder& r, const WebSite::Download& d);
  void start_stall_probe();
};

QtWebServer::QtWebServer() : impl_(std::make_unique<Impl>()) {}
QtWebServer::~QtWebServer() { stop(); }

int QtWebServer::port() const { return impl_->gate ? impl_->gate->serverPort() : 0; }

int QtWebServer::pages() const {
  return static_cast<int>(std::count_if(impl_->pages.begin(), impl_->pages.end(),
                                        [](const QPointer<QWebSocket>& p) { return !p.isNull(); }));
}

void QtWebServer::stop() {
  Impl& d = *impl_;
  // The pages first: their sockets may still be children of the gate.
  for (const auto& p : d.pages) delete p.data();
  d.pages.clear();
  d.ws.reset();
  d.http.reset();  // the gate and every socket still in it go with it
  d.gate = nullptr;
  d.stall_timer.reset();
  d.tls.reset();
  d.site = nullptr;
}

std::string QtWebServer::start(const Listen& l, WebSite& site) {
  stop();
  Impl& d = *impl_;
  if (!l.certificate.empty()) {
    if (!QSslSocket::supportsSsl()) return "HTTPS indisponible : la bibliothèque TLS manque.";
    QFile cf(QString::fromStdString(l.certificate));
    const QList<QSslCertificate> chain = cf.open(QIODevice::ReadOnly)
                                             ? QSslCertificate::fromData(cf.readAll(), QSsl::Pem)
                                             : QList<QSslCertificate>();
    if (chain.isEmpty())
      return "certificat « " + l.certificate + " » introuvable ou illisible (PEM attendu).";
    QFile kf(QString::fromStdString(l.key));
    const QByteArray key_pem = kf.open(QIODevice::ReadOnly) ? kf.readAll() : QByteArray();
    QSslKey key(key_pem, QSsl::Rsa, QSsl::Pem);
    if (key.isNull()) key = QSslKey(key_pem, QSsl::Ec, QSsl::Pem);
    if (key.isNull()) return "clé « " + l.key + " » introuvable ou illisible (PEM non chiffré attendu).";
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.setLocalCertificateChain(chain);
    conf.setPrivateKey(key);
    conf.setPeerVerifyMode(QSslSocket::VerifyNone);
    d.tls = conf;
  }
  d.site = &site;
  d.http = std::make_unique<QHttpServer>();
  d.gate = new GateServer;
  d.gate->on_incoming = [&d](qintptr fd) { d.incoming(fd); };
  const QHostAddress address(QString::fromStdString(l.address));
  if (!d.gate->listen(address, static_cast<quint16>(l.port))) {
    const std::string why = d.gate->errorString().toStdString();
    delete d.gate;
    d.gate = nullptr;
    d.http.reset();
    d.site = nullptr;
    return "impossible d'écouter sur " + l.address + " port " + std::to_string(l.port) +
           " (port déjà pris, ou adresse d'une autre machine) : " + why;
  }
  d.http->bind(d.gate);
  d.routes();
  d.ws = std::make_unique<QWebSocketServer>(QStringLiteral("VIRELUZ"), QWebSocketServer::NonSecureMode);
  d.ws->setHandshakeTimeout(kRequestTimeoutMs);
  QObject::connect(d.ws.get(), &QWebSocketServer::newConnection, &d.context, [&d] { d.page_connected(); });
  if (!qEnvironmentVariableIsEmpty("VIRELUZ_WEB_STALL_FILE")) d.start_stall_probe();
  return {};
}

int QtWebServer::Impl::open_connections() {
  std::erase_if(connections, [](const QPointer<QTcpSocket>& c) {
    return c.isNull() || c->state() == QAbstractSocket::UnconnectedState;
  });
  return static_cast<int>(connections.size());
}

void QtWebServer::Impl::incoming(qintptr fd) {
  QTcpSocket* s = tls ? new QSslSocket(gate) : new QTcpSocket(gate);
  if (!s->setSocketDescriptor(fd)) {
    delete s;
    return;
  }
  s->setReadBufferSize(static_cast<qint64>(kMaxHeadBytes) * 2);
  auto* deadline = new QTimer(s);
  deadline->setObjectName("deadline");
  deadline->setSingleShot(true);
  QObject::connect(deadline, &QTimer::timeout, s, [s] {
    s->abort();
    s->deleteLater();
  });
  QObject::connect(s, &QAbstractSocket::disconnected, s, &QObject::deleteLater);
  if (open_connections() >= kMaxConnections) {
    // One more than the limit: told so, and gone shortly whatever it does.
    GateVerdict v;
    v.status = 503;
    v.text = "Trop de connexions à la fois : réessayez dans un instant.";
    v.headers = {{"Retry-After", "5"}};
    deadline->start(kRefusedGraceMs);
    QObject::connect(s, &QIODevice::readyRead, s, [s] { s->readAll(); });
    s->write(qb(refusal_response(v)));
    s->disconnectFromHost();
    return;
  }
  connections.emplace_back(s);
  deadline->start(kRequestTimeoutMs);
  if (auto* ssl = qobject_cast<QSslSocket*>(s)) {
    ssl->setSslConfiguration(*tls);
    QObject::connect(ssl, &QSslSocket::sslErrors, ssl, [ssl] { ssl->abort(); });
    ssl->startServerEncryption();
  }
  QObject::connect(s, &QIODevice::readyRead, &context, [this, s] { read_head(s); });
}

void QtWebServer::Impl::read_head(QTcpSocket* s) {
  const QByteArray seen = s->peek(static_cast<qint64>(kMaxHeadBytes) + 1);
  const std::string_view bytes(seen.constData(), static_cast<std::size_t>(seen.size()));
  const std::size_t length = head_length(bytes.substr(0, std::min(bytes.size(), kMaxHeadBytes)));
  if (length == 0) {
    if (bytes.size() > kMaxHeadBytes) {
      GateVerdict v;
      v.status = 431;
      v.text = "En-têtes trop longs (8 Kio au plus).";
      refuse(s, v);
    }
    return;
  }
  const auto head = parse_head(bytes.substr(0, length));
  if (!head) {
    GateVerdict v;
    v.status = 400;
    v.text = "Requête mal formée.";
    refuse(s, v);
    return;
  }
  const auto extra = static_cast<std::size_t>(s->bytesAvailable()) - length;
  const GateVerdict v = site->check(*head, extra, peer_of(s), monotonic_ms());
  switch (v.kind) {
    case GateVerdict::Kind::kRefuse:
      refuse(s, v);
      break;
    case GateVerdict::Kind::kPage:
      to_http(s);
      break;
    case GateVerdict::Kind::kStream:
      to_stream(s);
      break;
  }
}

void QtWebServer::Impl::refuse(QTcpSocket* s, const GateVerdict& v) {
  QObject::disconnect(s, &QIODevice::readyRead, &context, nullptr);
  // What it sent is dropped, so that closing does not reset the connection
  // before the answer is read; the deadline still ends a peer that never reads.
  s->readAll();
  QObject::connect(s, &QIODevice::readyRead, s, [s] { s->readAll(); });
  s->write(qb(refusal_response(v)));
  s->disconnectFromHost();
}

void QtWebServer::Impl::to_http(QTcpSocket* s) {
  QObject::disconnect(s, &QIODevice::readyRead, &context, nullptr);
  answering = s;
  streaming = false;
  gate->hand_over(s);
  // The head is already read in: Qt HttpServer answers it now.
  Q_EMIT s->readyRead();
  answering = nullptr;
  if (!streaming) s->disconnectFromHost();
}

void QtWebServer::Impl::to_stream(QTcpSocket* s) {
  QObject::disconnect(s, nullptr, &context, nullptr);
  QObject::disconnect(s, &QAbstractSocket::disconnected, s, nullptr);
  delete s->findChild<QTimer*>("deadline", Qt::FindDirectChildrenOnly);
  s->setReadBufferSize(0);
  ws->handleConnection(s);
  Q_EMIT s->readyRead();
}

void QtWebServer::Impl::page_connected() {
  while (ws && ws->hasPendingConnections()) {
    QWebSocket* p = ws->nextPendingConnection();
    p->setParent(&context);
    p->setMaxAllowedIncomingFrameSize(kMaxIncomingFrame);
    p->setMaxAllowedIncomingMessageSize(kMaxIncomingFrame);
    QObject::connect(p, &QWebSocket::disconnected, p, &QObject::deleteLater);
    // The page's first message holds everything; the next ones what changed.
    const std::string first = site->page_opened();
    std::erase_if(pages, [](const QPointer<QWebSocket>& x) { return x.isNull(); });
    pages.emplace_back(p);
    p->sendTextMessage(QString::fromStdString(first));
  }
}

void QtWebServer::broadcast(const std::string& message) {
  const QString text = QString::fromStdString(message);
  for (const QPointer<QWebSocket>& p : impl_->pages) {
    if (!p || p->state() != QAbstractSocket::ConnectedState) continue;
    if (p->bytesToWrite() > kMaxPendingBytes) {
      p->abort();
      continue;
    }
    p->sendTextMessage(text);
  }
}

void QtWebServer::Impl::reply(QHttpServerResponder& r, int status, const QByteArray& type,
                              const QByteArray& body, const HeaderFields& extra) {
  r.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(status));
  for (const auto& [k, v] : security_headers()) r.writeHeader(qb(k), qb(v));
  for (const auto& [k, v] : extra) r.writeHeader(qb(k), qb(v));
  r.writeHeader("Content-Type", type);
  r.writeHeader("Content-Length", QByteArray::number(body.size()));
  r.writeBody(body);
}

void QtWebServer::Impl::send_file(QHttpServerResponder& r, const WebSite::Download& d) {
  auto* file = new QFile(QString::fromStdString(d.path));
  QTcpSocket* s = answering;
  if (!s || !file->open(QIODevice::ReadOnly)) {
    delete file;
    reply(r, 404, "text/plain; charset=utf-8", "Fichier absent.\n");
    return;
  }
  // The length as it is now: rows appended meanwhile wait for the next download.
  auto left = std::make_shared<qint64>(file->size());
  r.writeStatusLine(QHttpServerResponder::StatusCode::Ok);
  for (const auto& [k, v] : security_headers()) r.writeHeader(qb(k), qb(v));
  r.writeHeader("Content-Type", "text/csv; charset=windows-1252");
  r.writeHeader("Content-Disposition", "attachment; filename=\"" + qb(d.file_name) + "\"");
  r.writeHeader("Content-Length", QByteArray::number(*left));
  r.writeBody("", 0);
  file->setParent(s);
  streaming = true;
  auto* deadline = s->findChild<QTimer*>("deadline", Qt::FindDirectChildrenOnly);
  // Fed as the peer takes it, a chunk at a time; a peer that takes nothing for
  // the request's time is cut off.
  auto feed = [s, file, left, deadline] {
    if (deadline) deadline->start(kRequestTimeoutMs);
    while (*left > 0 && s->bytesToWrite() < kFileChunk) {
      const QByteArray chunk = file->read(std::min(*left, kFileChunk));
      if (chunk.isEmpty()) {
        s->abort();
        return;
      }
      *left -= chunk.size();
      s->write(chunk);
    }
    if (*left == 0) s->disconnectFromHost();
  };
  QObject::connect(s, &QIODevice::bytesWritten, file, feed);
  feed();
}

void QtWebServer::Impl::routes() {
  auto resource = [this](const char* name, const QByteArray& type) {
    return [this, name, type](const QHttpServerRequest&, QHttpServerResponder&& r) {
      QFile f(QString(":/web/") + name);
      if (f.open(QIODevice::ReadOnly))
        reply(r, 200, type, f.readAll());
      else
        reply(r, 500, "text/plain; charset=utf-8", "Page absente du programme.\n");
    };
  };
  http->route("/", resource("index.html", "text/html; charset=utf-8"));
  http->route("/app.js", resource("app.js", "text/javascript; charset=utf-8"));
  http->route("/style.css", resource("style.css", "text/css; charset=utf-8"));
  http->route("/favicon.svg", resource("favicon.svg", "image/svg+xml"));
  http->route("/api/state", [this](const QHttpServerRequest&, QHttpServerResponder&& r) {
    reply(r, 200, "application/json", qb(site->api_state()));
  });
  http->route("/fichiers/<arg>",
              [this](const QString& name, const QHttpServerRequest&, QHttpServerResponder&& r) {
                const auto d = site->download(name.toStdString());
                if (d)
                  send_file(r, *d);
                else
                  reply(r, 404, "text/plain; charset=utf-8", "Fichier absent.\n");
              });
  http->setMissingHandler([this](const QHttpServerRequest&, QHttpServerResponder&& r) {
    reply(r, 404, "text/plain; charset=utf-8", "Page introuvable.\n");
  });
}

void QtWebServer::Impl::start_stall_probe() {
  stall_file = qgetenv("VIRELUZ_WEB_STALL_FILE");
  stall_timer = std::make_unique<QTimer>();
  stall_timer->setTimerType(Qt::PreciseTimer);
  stall_timer->setInterval(5);
  stall_clock.start();
  stall_last_ms = 0;
  QObject::connect(stall_timer.get(), &QTimer::timeout, &context, [this] {
    const qint64 now = stall_clock.elapsed();
    stall_max_ms = std::max(stall_max_ms, now - stall_last_ms - 5);
    // Each second, one line: the seconds since the start and the longest
    // delay within that second.
    if (now / 1000 != stall_last_ms / 1000) {
      if (std::FILE* f = std::fopen(stall_file.constData(), "a")) {
        std::fprintf(f, "%lld %lld\n", static_cast<long long>(now / 1000),
                     static_cast<long long>(stall_max_ms));
        std::fclose(f);
      }
      stall_max_ms = 0;
    }
    stall_last_ms = now;
  });
  stall_timer->start();
}

}  // namespace vireluz
