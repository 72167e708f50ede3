#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace bc {

/// Keeps one desktop instance per user and settings file. The first start listens on a per-user
/// local socket; a later start finds it, asks it to hide its main window (as
/// closing the window would) and ends. Unlike a window title, the socket is
/// there whatever the running instance is doing.
class SingleInstance final : public QObject {
  Q_OBJECT
 public:
  explicit SingleInstance(QString name = DefaultName(), QObject* parent = nullptr);
  ~SingleInstance() override;

  /// True when this process is now the one instance. False when another one
  /// runs: it has been asked to hide its window.
  bool Claim();

  /// The socket name of the current user and settings file.
  [[nodiscard]] static QString DefaultName();

 Q_SIGNALS:
  /// A later start asked this instance to hide its main window.
  void CloseRequested();

 private:
  QString name_;
  QLocalServer* server_ = nullptr;
};

}  // namespace bc
