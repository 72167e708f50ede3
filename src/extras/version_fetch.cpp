#include "extras/version_fetch.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QTimer>
#include <string>

namespace bc {
namespace {

constexpr int kCancelPollMs = 100;
constexpr int kMaxRedirects = 5;

// The desktop's proxy settings for this manager alone, without changing the
// process-wide default that the POP3 sockets use.
class SystemProxyFactory final : public QNetworkProxyFactory {
 public:
  QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override {
    return systemProxyForQuery(query);
  }
};

// Errors below the HTTP range are failures to talk to the server at all.
bool IsTransportError(QNetworkReply::NetworkError error) {
  return error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied;
}

}  // namespace

VersionFetch FetchVersionFile(const UpdateSite& site, const std::atomic<bool>* cancel,
                              std::chrono::milliseconds timeout) {
  QNetworkAccessManager manager;
  manager.setProxyFactory(new SystemProxyFactory);  // the manager owns it
  manager.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);

  QNetworkRequest request(site.VersionFileUrl());
  request.setHeader(QNetworkRequest::ContentTypeHeader,
                    QByteArrayLiteral("application/x-www-form-urlencoded"));
  request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("My Session"));
  request.setMaximumRedirectsAllowed(kMaxRedirects);
  request.setTransferTimeout(static_cast<int>(timeout.count()));
  QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
  ssl.setPeerVerifyMode(QSslSocket::VerifyPeer);
  if (!site.extraAuthorities.isEmpty()) {
    ssl.addCaCertificates(site.extraAuthorities);
  }
  request.setSslConfiguration(ssl);

  QNetworkReply* reply = manager.get(request);
  // Stop pulling from the network once the part we read has arrived.
  reply->setReadBufferSize(static_cast<qint64>(kVersionFileReadLimit));

  QEventLoop loop;
  bool enough = false;
  QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
    if (reply->bytesAvailable() >= static_cast<qint64>(kVersionFileReadLimit)) {
      enough = true;
      loop.quit();
    }
  });
  QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (cancel && cancel->load()) {
      reply->abort();
    }
  });
  poll.start(kCancelPollMs);
  // The transfer timeout above only measures silence: a server that sends a
  // byte now and then would hold the fetch for ever. The whole fetch, from the
  // request on, gets one deadline.
  bool late = false;
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
    late = true;
    reply->abort();
  });
  deadline.start(static_cast<int>(timeout.count()));
  if (!reply->isFinished()) {
    loop.exec();
  }
  poll.stop();
  deadline.stop();

  VersionFetch fetch;
  const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
  const bool cancelled = cancel && cancel->load();
  if (late && !enough) {
    fetch.networkError = true;
    fetch.error =
        "no complete answer within " +
        std::to_string(std::chrono::duration_cast<std::chrono::seconds>(timeout).count()) +
        " seconds";
  } else if (cancelled || !status.isValid() || (!enough && IsTransportError(reply->error()))) {
    fetch.networkError = true;
    fetch.error = cancelled ? std::string("cancelled") : reply->errorString().toStdString();
  } else {
    fetch.status = status.toInt();
    if (fetch.status == 200) {
      fetch.body = reply->read(static_cast<qint64>(kVersionFileReadLimit)).toStdString();
    }
  }
  reply->abort();
  delete reply;
  return fetch;
}

}  // namespace bc
