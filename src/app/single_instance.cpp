#include "app/single_instance.h"

#include "config/paths.h"

#include <unistd.h>

#include <algorithm>

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>
#include <QVariant>

namespace bc {
namespace {

constexpr int kTimeoutMs = 2000;
constexpr char kShowWord[] = "show";
// Activation tokens are short; a longer line is not from this program.
constexpr qsizetype kMaxTokenLength = 512;
constexpr qsizetype kMaxLineLength = kMaxTokenLength + 16;

// Asks a running instance to show its window; false when none answers.
bool AskRunningInstance(const QString& name, const QString& activationToken) {
  QLocalSocket socket;
  socket.connectToServer(name);
  if (!socket.waitForConnected(kTimeoutMs)) {
    return false;
  }
  socket.write(ShowRequestLine(activationToken));
  socket.waitForBytesWritten(kTimeoutMs);
  socket.disconnectFromServer();
  return true;
}

bool IsPrintableToken(const QByteArray& token) {
  return token.size() <= kMaxTokenLength &&
         std::all_of(token.begin(), token.end(), [](char c) { return c > ' ' && c < 0x7f; });
}

}  // namespace

QByteArray ShowRequestLine(const QString& activationToken) {
  QByteArray line(kShowWord);
  const QByteArray token = activationToken.toLatin1();
  if (!token.isEmpty() && IsPrintableToken(token)) {
    line += ' ' + token;
  }
  return line + '\n';
}

std::optional<ShowRequest> ParseShowRequest(const QByteArray& line) {
  const QByteArray text = line.endsWith('\n') ? line.chopped(1) : line;
  const qsizetype space = text.indexOf(' ');
  if ((space < 0 ? text : text.left(space)) != kShowWord) {
    return std::nullopt;
  }
  ShowRequest request;
  if (space >= 0) {
    const QByteArray token = text.mid(space + 1);
    if (IsPrintableToken(token)) {
      request.activationToken = QString::fromLatin1(token);
    }
  }
  return request;
}

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

bool SingleInstance::Claim(const QString& activationToken) {
  if (AskRunningInstance(name_, activationToken)) {
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
      // The line may come in pieces; one line is all a later start sends.
      connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        QByteArray line = socket->property("line").toByteArray() + socket->readAll();
        if (line.size() > kMaxLineLength) {
          socket->abort();
          return;
        }
        socket->setProperty("line", line);
        if (!line.contains('\n')) {
          return;
        }
        socket->setProperty("line", QByteArray());
        if (const std::optional<ShowRequest> request =
                ParseShowRequest(line.left(line.indexOf('\n')))) {
          Q_EMIT ShowRequested(request->activationToken);
        }
      });
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
  });
  return true;
}

}  // namespace bc
