#include "app/AlpacaServer.h"

#include <QAbstractHttpServer>
#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QNetworkDatagram>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>
#include <future>

#include "common/Clock.h"

namespace quorvel {

namespace {

// Accepts connections up to a limit and watches each one: a client that
// sends more than the request limit or takes longer than the time limit for
// one request is cut off, so slow or flooding clients cannot hold memory or
// connections for ever.
class TGuardedTcpServer final : public QTcpServer {
 public:
  TGuardedTcpServer(const TAlpacaServerConfig& config, QObject* parent)
      : QTcpServer(parent), config_(config) {}
  // Called when the HTTP side has answered a request on `socket`.
  static void RequestDone(QTcpSocket* socket) {
    socket->setProperty("quorvelBytes", 0);
    if (auto* t = socket->findChild<QTimer*>("quorvelDeadline")) t->start();
  }

 protected:
  void incomingConnection(qintptr descriptor) override {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
      delete socket;
      return;
    }
    if (open_ >= config_.maxConnections) {
      socket->abort();
      socket->deleteLater();
      return;
    }
    ++open_;
    connect(socket, &QObject::destroyed, this, [this] { --open_; });
    // Qt reads at most this much ahead of the parser.
    socket->setReadBufferSize(16 * 1024);
    socket->setProperty("quorvelBytes", 0);
    auto* deadline = new QTimer(socket);
    deadline->setObjectName("quorvelDeadline");
    deadline->setSingleShot(true);
    deadline->setInterval(config_.requestTimeoutMs);
    connect(deadline, &QTimer::timeout, socket, [socket] { socket->abort(); });
    deadline->start();
    // Connected before the HTTP server's own handler, so it runs first.
    connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
      const qint64 seen = socket->property("quorvelBytes").toLongLong() + socket->bytesAvailable();
      socket->setProperty("quorvelBytes", seen);
      if (seen > config_.maxRequestBytes) socket->abort();
    });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    addPendingConnection(socket);
  }

 private:
  const TAlpacaServerConfig& config_;
  int open_ = 0;
};

class THttpFront final : public QAbstractHttpServer {
 public:
  THttpFront(TAlpacaServer& owner, QObject* parent) : QAbstractHttpServer(parent), owner_(owner) {}

 protected:
  bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
    TAlpacaRequest r;
    switch (request.method()) {
      case QHttpServerRequest::Method::Get:
        r.method = "GET";
        break;
      case QHttpServerRequest::Method::Put:
        r.method = "PUT";
        break;
      default:
        r.method = "OTHER";
    }
    const QUrl url = request.url();
    r.path = url.path(QUrl::FullyEncoded).toStdString();
    r.query = url.query(QUrl::FullyEncoded).toStdString();
    const QByteArray body = request.body();
    r.body.assign(body.constData(), static_cast<std::size_t>(body.size()));
    const TAlpacaResponse out = owner_.Handle(r);
    auto responder = makeResponder(request, socket);
    responder.write(QByteArray::fromStdString(out.body), QByteArray::fromStdString(out.contentType),
                    static_cast<QHttpServerResponder::StatusCode>(out.status));
    TGuardedTcpServer::RequestDone(socket);
    return true;
  }
  void missingHandler(const QHttpServerRequest&, QTcpSocket*) override {}

 private:
  TAlpacaServer& owner_;
};

}  // namespace

// The server's thread with its event loop and its objects.
class TAlpacaServer::TThread {
 public:
  explicit TThread(TAlpacaServer& owner) : owner_(owner) {}
  ~TThread() { Stop(); }

  // Listens on the thread; returns the bound port (0: failed).
  std::uint16_t Start() {
    std::promise<std::uint16_t> bound;
    auto result = bound.get_future();
    thread_ = std::thread([this, &bound] { Run(bound); });
    return result.get();
  }
  void Stop() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (loop_) QMetaObject::invokeMethod(loop_, "quit", Qt::QueuedConnection);
      stop_ = true;
    }
    thread_.join();
  }

 private:
  void Run(std::promise<std::uint16_t>& bound) {
    const TAlpacaServerConfig& c = owner_.Config();
    QEventLoop loop;
    const QHostAddress address = c.bind.empty() ? QHostAddress(QHostAddress::Any)
                                                : QHostAddress(QString::fromStdString(c.bind));
    auto* tcp = new TGuardedTcpServer(c, &loop);
    tcp->setMaxPendingConnections(c.maxConnections);
    const std::string where =
        (c.bind.empty() ? std::string("*") : c.bind) + ":" + std::to_string(c.port);
    if (address.isNull()) {
      owner_.Log("Alpaca device not started : the address '" + c.bind + "' is not an IP address");
      bound.set_value(0);
      return;
    }
    if (!tcp->listen(address, c.port)) {
      owner_.Log("Alpaca device not started : cannot listen on " + where + " (" +
                 tcp->errorString().toStdString() + ")");
      bound.set_value(0);
      return;
    }
    auto* http = new THttpFront(owner_, &loop);
    http->bind(tcp);
    const std::uint16_t port = tcp->serverPort();
    QUdpSocket* udp = nullptr;
    if (c.discoveryPort != 0) {
      udp = new QUdpSocket(&loop);
      if (!udp->bind(address, c.discoveryPort, QUdpSocket::ShareAddress)) {
        owner_.Log("Alpaca discovery not started : cannot listen on UDP port " +
                   std::to_string(c.discoveryPort) + " (" + udp->errorString().toStdString() +
                   "); the device answers on TCP port " + std::to_string(port));
      } else {
        QObject::connect(udp, &QUdpSocket::readyRead, udp, [udp, port] {
          // A bounded amount per wake-up; the rest waits for the next one.
          for (int i = 0; i < 64 && udp->hasPendingDatagrams(); ++i) {
            const QNetworkDatagram d = udp->receiveDatagram(256);
            const QByteArray data = d.data();
            if (!IsAlpacaDiscovery(data.constData(), static_cast<std::size_t>(data.size())))
              continue;
            udp->writeDatagram(QByteArray::fromStdString(AlpacaDiscoveryAnswer(port)),
                               d.senderAddress(), static_cast<quint16>(d.senderPort()));
          }
        });
      }
    }
    owner_.Log("Alpaca device listening on " + (c.bind.empty() ? std::string("*") : c.bind) + ":" +
               std::to_string(port) +
               (udp && udp->state() == QAbstractSocket::BoundState
                    ? ", discovery on UDP port " + std::to_string(c.discoveryPort)
                    : std::string()));
    {
      std::lock_guard<std::mutex> lock(mutex_);
      loop_ = &loop;
      if (stop_) {
        loop_ = nullptr;
        bound.set_value(port);
        return;
      }
    }
    bound.set_value(port);
    loop.exec();
    std::lock_guard<std::mutex> lock(mutex_);
    loop_ = nullptr;
  }

  TAlpacaServer& owner_;
  std::thread thread_;
  std::mutex mutex_;
  QEventLoop* loop_ = nullptr;
  bool stop_ = false;
};

TAlpacaServer::TAlpacaServer(TAlpacaServerConfig config,
                             std::function<void(const std::string&)> log)
    : config_(std::move(config)), log_(std::move(log)), device_(config_.info) {}

TAlpacaServer::~TAlpacaServer() {
  Stop();
}

bool TAlpacaServer::Start() {
  if (thread_) return boundPort_ != 0;
  thread_ = std::make_unique<TThread>(*this);
  boundPort_ = thread_->Start();
  return boundPort_ != 0;
}

void TAlpacaServer::Stop() {
  thread_.reset();
}

void TAlpacaServer::Publish(const TSnapshotPtr& snapshot) {
  std::lock_guard<std::mutex> lock(mutex_);
  values_.Note(*snapshot);
}

TAlpacaResponse TAlpacaServer::Handle(const TAlpacaRequest& request) {
  TAlpacaValues values;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    values = values_;
  }
  return device_.Handle(request, values, CurrentClock().UtcMs());
}

}  // namespace quorvel
