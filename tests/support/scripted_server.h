#pragma once

#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace bc::test {

/// A POP3 server on 127.0.0.1 (port chosen by the system) that plays a script on
/// one connection, on a thread of its own: for testing what needs real sockets
/// (split writes, stalls, closes, TLS) and for playing a hostile server: replies
/// that never end, replies dripped a byte at a time, clear text injected after
/// STLS.
class ScriptedServer {
 public:
  struct Step {
    enum class Kind {
      Send,
      Expect,
      Pause,
      StallUntilClosed,
      Close,
      StartTls,
      Endless,
      Drip,
      Accept
    } kind;
    std::string text;  // Send, Endless, Drip: bytes; Expect: the line the client sends
                       // (without CR LF)
    int ms = 0;        // Pause; Drip: between two bytes
  };
  static Step Send(std::string bytes) { return {Step::Kind::Send, std::move(bytes), 0}; }
  static Step Expect(std::string line) { return {Step::Kind::Expect, std::move(line), 0}; }
  static Step Pause(int ms) { return {Step::Kind::Pause, {}, ms}; }
  static Step StallUntilClosed() { return {Step::Kind::StallUntilClosed, {}, 0}; }
  static Step Close() { return {Step::Kind::Close, {}, 0}; }
  static Step StartTls() { return {Step::Kind::StartTls, {}, 0}; }
  /// Waits for the client to close this connection, then for its next one; the
  /// script goes on there.
  static Step Accept() { return {Step::Kind::Accept, {}, 0}; }
  /// Sends `bytes` again and again until the client closes (or kEndlessCap bytes).
  static Step Endless(std::string bytes) { return {Step::Kind::Endless, std::move(bytes), 0}; }
  /// Sends `bytes` one at a time, `ms` apart, until done or the client closes.
  static Step Drip(std::string bytes, int ms) { return {Step::Kind::Drip, std::move(bytes), ms}; }
  /// Where an endless reply gives up, so a client that never stops reading
  /// fails its test instead of hanging it.
  static constexpr size_t kEndlessCap = size_t{64} << 20;

  /// `implicitTls`: the connection is TLS from the first byte. The certificate
  /// and key are the test ones in tests/data/tls.
  ScriptedServer(std::vector<Step> steps, bool implicitTls = false);
  ~ScriptedServer();

  [[nodiscard]] int port() const { return port_; }
  /// Waits for the script to end; true when every Expect matched.
  bool Finish();
  /// The lines the client sent, in order.
  [[nodiscard]] std::vector<std::string> Received();

 private:
  void Run(std::promise<int>& ready);

  std::vector<Step> steps_;
  bool implicitTls_;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> received_;
  bool matched_ = true;
  bool finished_ = false;
};

[[nodiscard]] std::string TestCertPath();
[[nodiscard]] std::string TestKeyPath();

}  // namespace bc::test
