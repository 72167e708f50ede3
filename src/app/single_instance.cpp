#include "app/single_instance.h"

#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>

namespace bc {
namespace {

constexpr int kTimeoutMs = 2000;
constexpr char kCloseRequest[] = "close\n";

// Asks a running instance to hide its window; false when none answers.
bool AskRunningInstance(const QString& name) {
  QLocalSocket socket;
  socket.connectToServer(name);
  if (!socket.waitForConnected(kTimeoutMs)) {
    return false;
  }
  socket.write(kCloseRequest);
  socket.waitForBytesWritten(kTimeoutMs);
  socket.disconnectFromServer();
  return true;
}

}  // namespace

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::DefaultName() {
  return QStringLiteral("brindlecast-%1").arg(static_cast<qulonglong>(::getuid()));
}

bool SingleInstance::Claim() {
  if (AskRunningInstance(name_)) {
    return false;
  }
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(name_)) {
    // A socket left behind by an instance that died: nobody answered above.
    QLocalServer::removeServer(name_);
    if (!server_->listen(name_)) {
      return true;  // run without the guard rather than not at all
    }
  }
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
      connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        if (socket->readAll().contains("close")) {
          Q_EMIT CloseRequested();
        }
      });
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
  });
  return true;
}

}  // namespace bc
