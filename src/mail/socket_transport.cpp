#include <QByteArray>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>
#include <QStringList>
#include <QTcpSocket>
#include <algorithm>
#include <cctype>
#include <memory>

#include "mail/pop3_transport.h"

namespace bc {
namespace {

// How often a wait looks at the cancel flag.
constexpr int kCancelCheckMs = 100;

QByteArray NormaliseFingerprint(const std::string& text) {
  QByteArray hex;
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c))) {
      hex += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  return hex;
}

class SocketTransport final : public Pop3Transport {
 public:
  explicit SocketTransport(TransportOptions options) : options_(std::move(options)) {
    // A plain connection never starts the TLS library: that costs more than a
    // check pass over an unchanged mailbox.
    if (options_.security == Security::None) {
      socket_ = std::make_unique<QTcpSocket>();
      return;
    }
    auto ssl = std::make_unique<QSslSocket>();
    ssl_ = ssl.get();
    QObject::connect(ssl_, &QSslSocket::sslErrors, ssl_,
                     [this](const QList<QSslError>& errors) { OnSslErrors(errors); });
    socket_ = std::move(ssl);
  }

  bool Open(const std::string& host, int port) override {
    if (Cancelled()) {
      return Cancel();
    }
    if (port <= 0 || port > 65535) {
      error_ = "port " + std::to_string(port) + " is not a TCP port";
      return false;
    }
    if (options_.security != Security::None && !PrepareTls()) {
      return false;
    }
    const QString name = QString::fromStdString(host);
    if (options_.security == Security::Tls) {
      ssl_->connectToHostEncrypted(name, static_cast<quint16>(port));
      if (!ssl_->waitForEncrypted(options_.timeoutMs)) {
        return Fail("TLS connection to " + host + " failed");
      }
      return true;
    }
    socket_->connectToHost(name, static_cast<quint16>(port));
    if (!socket_->waitForConnected(options_.timeoutMs)) {
      return Fail("connection to " + host + ":" + std::to_string(port) + " failed");
    }
    return true;
  }

  bool StartTls() override {
    // Clear text that arrived after the STLS reply would be read as if it came
    // through TLS: a man in the middle's answers. Nothing may be waiting.
    if (socket_->bytesAvailable() > 0) {
      error_ =
          "the server sent more data after accepting STARTTLS; the connection may be "
          "under attack";
      return false;
    }
    if (ssl_ == nullptr) {
      error_ = "STARTTLS was asked of a connection made without TLS";
      return false;
    }
    ssl_->startClientEncryption();
    if (!ssl_->waitForEncrypted(options_.timeoutMs)) {
      return Fail("STARTTLS handshake failed");
    }
    return true;
  }

  ReadStatus Read(std::string& out, size_t maxBytes) override {
    if (socket_->bytesAvailable() == 0) {
      if (socket_->state() != QAbstractSocket::ConnectedState) {
        error_ = "the server closed the connection";
        return ReadStatus::Closed;
      }
      // A timeout leaves the socket usable: it is our time limit, not a dead socket.
      const int wait = std::min(options_.timeoutMs, waitLimitMs_);
      waitLimitMs_ = options_.timeoutMs;
      if (!WaitInSlices([this](int ms) { return socket_->waitForReadyRead(ms); }, wait) &&
          socket_->bytesAvailable() == 0) {
        if (Cancelled()) {
          Cancel();
          return ReadStatus::Failed;
        }
        if (socket_->error() == QAbstractSocket::SocketTimeoutError) {
          error_ = "no answer from the server within " + std::to_string(wait) + " ms";
          return ReadStatus::TimedOut;
        }
        if (socket_->error() == QAbstractSocket::RemoteHostClosedError ||
            socket_->state() != QAbstractSocket::ConnectedState) {
          error_ = "the server closed the connection";
          return ReadStatus::Closed;
        }
        Fail("reading from the server failed");
        return ReadStatus::Failed;
      }
    }
    const size_t old = out.size();
    const auto available = static_cast<size_t>(socket_->bytesAvailable());
    const size_t want = std::min(maxBytes, available);
    out.resize(old + want);
    const qint64 got = socket_->read(out.data() + old, static_cast<qint64>(want));
    if (got <= 0) {
      out.resize(old);
      Fail("reading from the server failed");
      return ReadStatus::Failed;
    }
    out.resize(old + static_cast<size_t>(got));
    return ReadStatus::Data;
  }

  void SetWaitLimit(int ms) override { waitLimitMs_ = std::max(ms, 1); }

  bool Write(std::string_view data) override {
    if (socket_->state() != QAbstractSocket::ConnectedState) {
      error_ = "the connection is closed";
      return false;
    }
    if (socket_->write(data.data(), static_cast<qint64>(data.size())) !=
        static_cast<qint64>(data.size())) {
      return Fail("sending to the server failed");
    }
    QDeadlineTimer deadline(options_.timeoutMs);
    while (socket_->bytesToWrite() > 0) {
      const auto left = static_cast<int>(deadline.remainingTime());
      if (!WaitInSlices([this](int ms) { return socket_->waitForBytesWritten(ms); }, left)) {
        return Cancelled() ? Cancel() : Fail("sending to the server failed");
      }
    }
    return true;
  }

  void Close() override { socket_->abort(); }

  std::string ErrorText() const override { return error_; }

  intptr_t Descriptor() const override { return socket_->socketDescriptor(); }

 private:
  bool PrepareTls() {
    if (!QSslSocket::supportsSsl()) {
      error_ = "TLS is not available on this system";
      return false;
    }
    if (!options_.caFile.empty()) {
      const auto certificates =
          QSslCertificate::fromPath(QString::fromStdString(options_.caFile), QSsl::Pem);
      if (certificates.isEmpty()) {
        error_ = "no certificate could be read from the CA file " + options_.caFile;
        return false;
      }
      QSslConfiguration configuration = ssl_->sslConfiguration();
      configuration.addCaCertificates(certificates);
      ssl_->setSslConfiguration(configuration);
    }
    return true;
  }

  void OnSslErrors(const QList<QSslError>& errors) {
    const QByteArray pinned = NormaliseFingerprint(options_.certFingerprint);
    if (!pinned.isEmpty()) {
      const QByteArray actual = ssl_->peerCertificate().digest(QCryptographicHash::Sha256).toHex();
      if (actual == pinned) {
        // The user vouched for exactly this certificate; nothing else is needed.
        ssl_->ignoreSslErrors();
        return;
      }
      sslErrors_ = "the server certificate's SHA-256 fingerprint " + actual.toStdString() +
                   " is not the pinned one";
      return;
    }
    QStringList texts;
    for (const QSslError& error : errors) {
      texts << error.errorString();
    }
    sslErrors_ = texts.join(QStringLiteral("; ")).toStdString();
  }

  // Waits with `wait(milliseconds)` for at most the time limit, in short slices
  // (when there is a cancel flag) so that a cancel is seen soon. A slice that runs out leaves the
  // socket as it was; any other failure ends the wait at once.
  template <typename Wait>
  bool WaitInSlices(Wait wait, int limitMs) {
    QDeadlineTimer deadline(limitMs);
    for (;;) {
      if (Cancelled()) {
        return false;
      }
      // Without a cancel flag there is nothing to look at between slices: a
      // long wait (an IDLE) sleeps in one piece.
      const auto left = deadline.remainingTime();
      if (wait(static_cast<int>(HasCancel() ? std::min<qint64>(left, kCancelCheckMs) : left))) {
        return true;
      }
      if (deadline.hasExpired() || socket_->error() != QAbstractSocket::SocketTimeoutError ||
          socket_->state() != QAbstractSocket::ConnectedState) {
        return false;
      }
    }
  }

  bool Cancel() {
    error_ = "the check was cancelled: the program is ending";
    socket_->abort();
    return false;
  }

  bool Fail(const std::string& what) {
    error_ = what + ": " + socket_->errorString().toStdString();
    if (!sslErrors_.empty() && error_.find(sslErrors_) == std::string::npos) {
      error_ += " (" + sslErrors_ + ")";
    }
    return false;
  }

  TransportOptions options_;
  int waitLimitMs_ = options_.timeoutMs;  // for the next Read only
  std::unique_ptr<QTcpSocket> socket_;
  QSslSocket* ssl_ = nullptr;  // socket_, when the account asks for TLS
  std::string error_;
  std::string sslErrors_;
};

}  // namespace

std::unique_ptr<Pop3Transport> MakeSocketTransport(const TransportOptions& options) {
  return std::make_unique<SocketTransport>(options);
}

}  // namespace bc
