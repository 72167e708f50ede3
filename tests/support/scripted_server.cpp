#include "support/scripted_server.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <memory>

namespace bc::test {
namespace {

// Hands out every accepted connection as a QSslSocket, so STARTTLS can follow.
class TlsCapableServer final : public QTcpServer {
 protected:
  void incomingConnection(qintptr descriptor) override {
    auto* socket = new QSslSocket(this);
    socket->setSocketDescriptor(descriptor);
    QFile certFile(QString::fromStdString(TestCertPath()));
    QFile keyFile(QString::fromStdString(TestKeyPath()));
    certFile.open(QIODevice::ReadOnly);
    keyFile.open(QIODevice::ReadOnly);
    socket->setLocalCertificate(QSslCertificate(&certFile, QSsl::Pem));
    socket->setPrivateKey(QSslKey(&keyFile, QSsl::Rsa, QSsl::Pem));
    addPendingConnection(socket);
  }
};

}  // namespace

std::string TestCertPath() {
  return std::string(BC_TEST_DATA_DIR) + "/tls/cert.pem";
}
std::string TestKeyPath() {
  return std::string(BC_TEST_DATA_DIR) + "/tls/key.pem";
}

ScriptedServer::ScriptedServer(std::vector<Step> steps, bool implicitTls)
    : steps_(std::move(steps)), implicitTls_(implicitTls) {
  std::promise<int> ready;
  auto port = ready.get_future();
  thread_ = std::thread([this, &ready] { Run(ready); });
  port_ = port.get();
}

ScriptedServer::~ScriptedServer() {
  Finish();
}

bool ScriptedServer::Finish() {
  if (thread_.joinable()) {
    thread_.join();
  }
  std::lock_guard lock(mutex_);
  return matched_;
}

std::vector<std::string> ScriptedServer::Received() {
  std::lock_guard lock(mutex_);
  return received_;
}

void ScriptedServer::Run(std::promise<int>& ready) {
  TlsCapableServer server;
  server.listen(QHostAddress::LocalHost, 0);
  ready.set_value(server.serverPort());
  QSslSocket* socket = nullptr;
  const auto accept = [&] {
    if (!server.waitForNewConnection(10000)) {
      std::lock_guard lock(mutex_);
      matched_ = false;
      return false;
    }
    socket = static_cast<QSslSocket*>(server.nextPendingConnection());
    if (implicitTls_) {
      socket->startServerEncryption();
      socket->waitForEncrypted(10000);
    }
    return true;
  };
  if (!accept()) {
    return;
  }
  for (const Step& step : steps_) {
    switch (step.kind) {
      case Step::Kind::Accept:
        if (socket->state() != QAbstractSocket::UnconnectedState) {
          socket->waitForDisconnected(10000);
        }
        if (!accept()) {
          return;
        }
        break;
      case Step::Kind::Send:
        socket->write(step.text.data(), static_cast<qint64>(step.text.size()));
        while (socket->bytesToWrite() > 0 && socket->waitForBytesWritten(10000)) {
        }
        socket->flush();
        break;
      case Step::Kind::Expect: {
        while (!socket->canReadLine() && socket->waitForReadyRead(10000)) {
        }
        std::string line = socket->readLine().toStdString();
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
          line.pop_back();
        }
        std::lock_guard lock(mutex_);
        received_.push_back(line);
        matched_ = matched_ && line == step.text;
        break;
      }
      case Step::Kind::Pause:
        std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
        break;
      case Step::Kind::StallUntilClosed:
        if (socket->state() != QAbstractSocket::UnconnectedState) {
          socket->waitForDisconnected(10000);
        }
        break;
      case Step::Kind::Close:
        socket->disconnectFromHost();
        if (socket->state() != QAbstractSocket::UnconnectedState) {
          socket->waitForDisconnected(2000);
        }
        break;
      case Step::Kind::Endless:
        for (size_t sent = 0;
             sent < kEndlessCap && socket->state() == QAbstractSocket::ConnectedState;
             sent += step.text.size()) {
          socket->write(step.text.data(), static_cast<qint64>(step.text.size()));
          while (socket->bytesToWrite() > (1 << 20) && socket->waitForBytesWritten(10000)) {
          }
        }
        socket->waitForBytesWritten(1000);
        socket->disconnectFromHost();
        break;
      case Step::Kind::Drip:
        for (char c : step.text) {
          if (socket->state() != QAbstractSocket::ConnectedState) {
            break;
          }
          socket->write(&c, 1);
          socket->waitForBytesWritten(1000);
          // Notices a client that closed while it waited.
          socket->waitForReadyRead(step.ms);
        }
        break;
      case Step::Kind::StartTls:
        socket->startServerEncryption();
        socket->waitForEncrypted(10000);
        break;
    }
  }
  if (socket->state() != QAbstractSocket::UnconnectedState) {
    socket->waitForDisconnected(2000);
  }
}

}  // namespace bc::test
