#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "config/setting_values.h"

namespace bc {

/// What a transport needs besides host and port.
struct TransportOptions {
  Security security = Security::None;
  int timeoutMs = 60000;  // connect, each read and each write
  std::string caFile;     // extra trusted CA certificates (PEM), may be empty
  std::string
      certFingerprint;  // SHA-256 of the server certificate (hex, ':' optional), may be empty
};

enum class ReadStatus {
  Data,      // at least one byte was appended
  Closed,    // the peer closed the connection; nothing more will come
  TimedOut,  // nothing arrived within the time limit
  Failed,    // a socket or TLS error
};

/// The byte stream under a POP3 session. Blocking: every call returns when it
/// has done its work, failed, or run out of time. Owned by one thread.
class Pop3Transport {
 public:
  virtual ~Pop3Transport() = default;

  /// Opens the connection; with Security::Tls the TLS handshake is part of it.
  virtual bool Open(const std::string& host, int port) = 0;
  /// Turns the open plain connection into TLS (after the server accepted STLS).
  virtual bool StartTls() = 0;
  /// Appends what has arrived (at most `maxBytes`) to `out`, waiting for data when
  /// none is buffered.
  virtual ReadStatus Read(std::string& out, size_t maxBytes) = 0;
  /// The next Read waits at most this long for data (and never longer than the
  /// transport's own time limit): the session's reply deadline is running out.
  virtual void SetWaitLimit(int /*ms*/) {}
  /// Sends all of `data`; false when it could not be sent in time.
  virtual bool Write(std::string_view data) = 0;
  virtual void Close() = 0;
  /// Why the last call failed, in words for the trace and the user.
  [[nodiscard]] virtual std::string ErrorText() const = 0;
  /// The connection's socket descriptor, or -1: another thread may shut it
  /// down (::shutdown) to end a long wait at once.
  [[nodiscard]] virtual intptr_t Descriptor() const { return -1; }

  /// From now on every wait gives up soon after `cancel` turns true (the
  /// program is ending), failing the call as if the connection had failed.
  void SetCancel(std::shared_ptr<const std::atomic<bool>> cancel) { cancel_ = std::move(cancel); }

 protected:
  [[nodiscard]] bool Cancelled() const { return cancel_ && cancel_->load(); }
  [[nodiscard]] bool HasCancel() const { return cancel_ != nullptr; }

 private:
  std::shared_ptr<const std::atomic<bool>> cancel_;
};

/// A transport over a blocking Qt socket (plain, TLS or STARTTLS), verifying the
/// server certificate and host name against the system store, the account's extra
/// CA file, or a pinned fingerprint. Create and use it on one thread; a
/// QCoreApplication must exist.
[[nodiscard]] std::unique_ptr<Pop3Transport> MakeSocketTransport(const TransportOptions& options);

}  // namespace bc
