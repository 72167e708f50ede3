#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <optional>

class QLocalServer;

namespace bc {

/// What a later start asks of the running instance: show its window (where a
/// notification area exists, toggle it), using the desktop's activation token
/// the later start was given, if any.
struct ShowRequest {
  QString activationToken;
};

/// The line a later start sends: "show", then a space and the token if any.
[[nodiscard]] QByteArray ShowRequestLine(const QString& activationToken);

/// The request in `line`, or nothing when it is not one. A token that is too
/// long or not printable ASCII is dropped: the window still comes forward.
[[nodiscard]] std::optional<ShowRequest> ParseShowRequest(const QByteArray& line);

/// Keeps one desktop instance per user and settings file. The first start
/// listens on a per-user local socket; a later start finds it, asks it to show
/// its main window and ends. Unlike a window title, the socket is there
/// whatever the running instance is doing.
class SingleInstance final : public QObject {
  Q_OBJECT
 public:
  explicit SingleInstance(QString name = DefaultName(), QObject* parent = nullptr);
  ~SingleInstance() override;

  /// True when this process is now the one instance. False when another one
  /// runs: it has been asked to show its window, with `activationToken`.
  bool Claim(const QString& activationToken = {});

  /// The socket name of the current user and settings file.
  [[nodiscard]] static QString DefaultName();

 Q_SIGNALS:
  /// A later start asked this instance to show its main window.
  void ShowRequested(const QString& activationToken);

 private:
  QString name_;
  QLocalServer* server_ = nullptr;
};

}  // namespace bc
