#pragma once

#include <QSslCertificate>
#include <QSslKey>
#include <QThread>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "support/test_env.h"

namespace bc::test {

/// A throwaway certificate authority and a server certificate it signed for
/// 127.0.0.1, made with the openssl tool in a temporary folder.
class ThrowawayCa {
 public:
  ThrowawayCa();
  [[nodiscard]] bool ok() const { return !ca.isNull() && !serverKey.isNull(); }

  TempDir dir;
  std::string caFile;  // PEM of the authority
  QSslCertificate ca;
  QSslCertificate serverCertificate;
  QSslKey serverKey;
};

/// An HTTPS server on 127.0.0.1 (a port of its own) on a thread of its own,
/// answering every GET with one scripted reply; with `dripEvery`, the body
/// comes one byte at a time at that pace, as a server that stalls on purpose.
class HttpsTestServer {
 public:
  HttpsTestServer(const ThrowawayCa& ca, int status, std::string body,
                  std::chrono::milliseconds dripEvery = {});
  ~HttpsTestServer();

  [[nodiscard]] quint16 port() const { return port_; }
  [[nodiscard]] std::string base() const;
  /// The request line of the last request ("GET /version_BC.txt HTTP/1.1").
  [[nodiscard]] std::string lastRequestLine() const;

  class Impl;

 private:
  QThread thread_;
  Impl* impl_ = nullptr;
  quint16 port_ = 0;
};

}  // namespace bc::test
