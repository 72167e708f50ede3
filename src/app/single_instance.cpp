#include "app/single_instance.h"

#include "config/paths.h"

#include <unistd.h>

#include <QCryptographicHash>
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
  // One instance per user and settings file: two instances must never save
  // over each other's settings, while a test run with its own settings folder
  // does not meet the user's program.
  const QByteArray settings = QByteArray::fromStdString(SettingsFilePath());
  return QStringLiteral("brindlecast-%1-%2")
      .arg(static_cast<qulonglong>(::getuid()))
      .arg(QString::fromLatin1(
          QCryptographicHash::hash(settings, QCryptographicHash::Sha1).toHex().left(12)));
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
