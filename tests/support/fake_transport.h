#pragma once

#include <deque>
#include <string>

#include "mail/pop3_transport.h"

namespace bc::test {

/// A transport that replays what a server sends, one queued chunk per read, and
/// records everything the client sends. When the queue runs dry it answers with
/// `whenDry` (a closed connection unless the test says the server stalls).
class FakeTransport final : public Pop3Transport {
 public:
  struct Log {
    std::string sent;
    bool opened = false;
    bool tlsStarted = false;
    bool closed = false;
    std::string host;
    int port = 0;
  };

  explicit FakeTransport(Log& log) : log_(log) {}

  /// Queues server bytes: each call is one read's worth.
  FakeTransport& Serve(std::string chunk) {
    if (!chunk.empty()) {
      chunks_.push_back(std::move(chunk));
    }
    return *this;
  }

  bool openFails = false;
  bool tlsFails = false;
  ReadStatus whenDry = ReadStatus::Closed;

  bool Open(const std::string& host, int port) override {
    log_.host = host;
    log_.port = port;
    if (openFails) {
      error_ = "connection refused";
      return false;
    }
    log_.opened = true;
    return true;
  }
  bool StartTls() override {
    if (tlsFails) {
      error_ = "STARTTLS handshake failed: the certificate is self-signed";
      return false;
    }
    log_.tlsStarted = true;
    return true;
  }
  ReadStatus Read(std::string& out, size_t maxBytes) override {
    if (chunks_.empty()) {
      error_ = whenDry == ReadStatus::TimedOut ? "no answer from the server" : "closed";
      return whenDry;
    }
    std::string& front = chunks_.front();
    const size_t n = std::min(maxBytes, front.size());
    out.append(front, 0, n);
    front.erase(0, n);
    if (front.empty()) {
      chunks_.pop_front();
    }
    return ReadStatus::Data;
  }
  bool Write(std::string_view data) override {
    if (log_.closed) {
      error_ = "the connection is closed";
      return false;
    }
    log_.sent += data;
    return true;
  }
  void Close() override { log_.closed = true; }
  std::string ErrorText() const override { return error_; }

 private:
  Log& log_;
  std::deque<std::string> chunks_;
  std::string error_;
};

}  // namespace bc::test
