#include "https_test_server.h"

#include <QTimer>

#include <QSslSocket>
#include <QTcpServer>
#include <cstdlib>

namespace bc::test {

ThrowawayCa::ThrowawayCa() {
  const std::string d = dir.path();
  WriteFile(dir.File("server.ext"),
            "subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n"
            "extendedKeyUsage=serverAuth\n");
  const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
  const std::string script =
      "cd '" + d + "' && openssl req -x509" + ec +
      " -keyout ca.key -out ca.pem -days 2 -subj '/CN=Brindlecast Test CA'"
      " -addext basicConstraints=critical,CA:TRUE"
      " -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null"
      " && openssl req" +
      ec +
      " -keyout server.key -out server.csr -subj /CN=127.0.0.1 2>/dev/null"
      " && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial"
      " -out server.pem -days 2 -extfile server.ext 2>/dev/null";
  if (std::system(script.c_str()) != 0) {
    return;
  }
  caFile = dir.File("ca.pem");
  const auto cas = QSslCertificate::fromPath(QString::fromStdString(caFile));
  const auto servers = QSslCertificate::fromPath(QString::fromStdString(dir.File("server.pem")));
  if (cas.isEmpty() || servers.isEmpty()) {
    return;
  }
  ca = cas.front();
  serverCertificate = servers.front();
  serverKey = QSslKey(QByteArray::fromStdString(ReadFile(dir.File("server.key"))), QSsl::Ec);
}

class HttpsTestServer::Impl final : public QTcpServer {
 public:
  Impl(const ThrowawayCa& ca, int status, std::string body, std::chrono::milliseconds dripEvery)
      : certificate_(ca.serverCertificate),
        key_(ca.serverKey),
        status_(status),
        body_(std::move(body)),
        dripEvery_(dripEvery) {}

  std::string lastRequestLine() const {
    std::lock_guard lock(mutex_);
    return lastRequestLine_;
  }

 protected:
  void incomingConnection(qintptr descriptor) override {
    auto* socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
      delete socket;
      return;
    }
    socket->setLocalCertificate(certificate_);
    socket->setPrivateKey(key_);
    auto request = std::make_shared<QByteArray>();
    connect(socket, &QSslSocket::readyRead, socket, [this, socket, request] {
      request->append(socket->readAll());
      const qsizetype end = request->indexOf("\r\n\r\n");
      if (end < 0) {
        return;
      }
      {
        std::lock_guard lock(mutex_);
        lastRequestLine_ = request->left(request->indexOf("\r\n")).toStdString();
      }
      const QByteArray reply = "HTTP/1.1 " + QByteArray::number(status_) +
                               (status_ == 200 ? " OK" : " Not Found") +
                               "\r\nContent-Type: text/plain\r\nContent-Length: " +
                               QByteArray::number(static_cast<qsizetype>(body_.size())) +
                               "\r\nConnection: close\r\n\r\n";
      if (dripEvery_.count() == 0) {
        socket->write(reply + QByteArray::fromStdString(body_));
        socket->disconnectFromHost();
        return;
      }
      socket->write(reply);
      auto* drip = new QTimer(socket);
      connect(drip, &QTimer::timeout, socket, [this, socket, sent = size_t{0}]() mutable {
        if (sent < body_.size()) {
          socket->write(body_.data() + sent++, 1);
        }
      });
      drip->start(static_cast<int>(dripEvery_.count()));
    });
    connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
    // A client that refuses the certificate just goes away.
    connect(socket, &QSslSocket::errorOccurred, socket, &QObject::deleteLater);
    socket->startServerEncryption();
  }

 private:
  QSslCertificate certificate_;
  QSslKey key_;
  int status_;
  std::string body_;
  std::chrono::milliseconds dripEvery_;
  mutable std::mutex mutex_;
  std::string lastRequestLine_;
};

HttpsTestServer::HttpsTestServer(const ThrowawayCa& ca, int status, std::string body,
                                 std::chrono::milliseconds dripEvery) {
  impl_ = new Impl(ca, status, std::move(body), dripEvery);
  impl_->moveToThread(&thread_);
  QObject::connect(&thread_, &QThread::finished, impl_, &QObject::deleteLater);
  thread_.start();
  QMetaObject::invokeMethod(
      impl_, [this] { impl_->listen(QHostAddress::LocalHost, 0); }, Qt::BlockingQueuedConnection);
  port_ = impl_->serverPort();
}

HttpsTestServer::~HttpsTestServer() {
  thread_.quit();
  thread_.wait();
}

std::string HttpsTestServer::base() const {
  return "https://127.0.0.1:" + std::to_string(port_) + "/";
}

std::string HttpsTestServer::lastRequestLine() const {
  return impl_->lastRequestLine();
}

}  // namespace bc::test
