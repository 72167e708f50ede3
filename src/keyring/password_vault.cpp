#include "keyring/password_vault.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <future>
#include <memory>
#include <optional>

#include <qt6keychain/keychain.h>

namespace bc {
namespace {

// Bus names of the keyrings the keychain library can talk to.
constexpr const char* kKeyringNames[] = {"org.freedesktop.secrets", "org.kde.kwalletd6",
                                         "org.kde.kwalletd5"};
constexpr int kBusQuestionMs = 2000;

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// Runs `call` on the main thread: at once when already there, else queued.
void OnMainThread(std::function<void()> call) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) {
    call();  // nothing to queue to; the keyring then answers NoService
    return;
  }
  if (QThread::currentThread() == app->thread()) {
    call();
    return;
  }
  QMetaObject::invokeMethod(app, std::move(call), Qt::QueuedConnection);
}

enum class Operation { Read, Write, Erase };

VaultAnswer Translate(QKeychain::Job& job, Operation operation) {
  VaultAnswer answer;
  const QKeychain::Error error = job.error();
  answer.reason = job.errorString().toStdString();
  switch (error) {
    case QKeychain::NoError:
      answer.status = VaultStatus::Ok;
      answer.reason.clear();
      if (operation == Operation::Read) {
        answer.password = static_cast<QKeychain::ReadPasswordJob&>(job).textData().toStdString();
      }
      return answer;
    case QKeychain::EntryNotFound:
      if (operation == Operation::Erase) {
        answer.status = VaultStatus::Ok;  // nothing to erase is what erasing wants
        answer.reason.clear();
        return answer;
      }
      answer.status = KeyringLocked() ? VaultStatus::Locked : VaultStatus::NotFound;
      return answer;
    case QKeychain::AccessDeniedByUser:
      answer.status = VaultStatus::Refused;
      return answer;
    case QKeychain::NoBackendAvailable:
      answer.status = VaultStatus::NoService;
      return answer;
    default:
      break;
  }
  if (KeyringLocked()) {
    answer.status = VaultStatus::Locked;
  } else if (error == QKeychain::AccessDenied) {
    answer.status = VaultStatus::Refused;
  } else {
    answer.status = KeyringAvailable() ? VaultStatus::Failed : VaultStatus::NoService;
  }
  return answer;
}

// Starts `job` on the main thread and hands its answer to `done` there.
void Run(std::function<QKeychain::Job*()> makeJob, Operation operation, VaultDone done) {
  OnMainThread([makeJob = std::move(makeJob), operation, done = std::move(done)] {
    if (!KeyringAvailable()) {
      done({VaultStatus::NoService, {}, {}});
      return;
    }
    QKeychain::Job* job = makeJob();
    job->setAutoDelete(true);
    // Never the library's own fallback to a plain text file: the settings file
    // is the one fallback, and only where no keyring exists.
    job->setInsecureFallback(false);
    QObject::connect(
        job, &QKeychain::Job::finished, job,
        [operation, done](QKeychain::Job* finished) { done(Translate(*finished, operation)); });
    job->start();
  });
}

VaultAnswer Wait(const std::function<void(VaultDone)>& start, std::chrono::milliseconds patience,
                 const std::atomic<bool>* cancel = nullptr) {
  const VaultAnswer late{
      VaultStatus::Failed,
      {},
      "no answer within " +
          std::to_string(std::chrono::duration_cast<std::chrono::seconds>(patience).count()) +
          " seconds"};
  QCoreApplication* app = QCoreApplication::instance();
  if (app && QThread::currentThread() == app->thread()) {
    // The job runs on this very thread: turn the event loop until it answers.
    auto answer = std::make_shared<std::optional<VaultAnswer>>();
    QEventLoop loop;
    QPointer<QEventLoop> waiting(&loop);
    start([answer, waiting](VaultAnswer got) {
      *answer = std::move(got);
      if (waiting) {
        waiting->quit();
      }
    });
    if (!*answer) {
      QTimer::singleShot(patience, &loop, &QEventLoop::quit);
      loop.exec();
    }
    return answer->value_or(late);
  }
  // A worker: the job runs on the main thread while this thread waits. The
  // promise is shared, so an answer that comes too late lands harmlessly.
  auto promise = std::make_shared<std::promise<VaultAnswer>>();
  std::future<VaultAnswer> future = promise->get_future();
  start([promise](VaultAnswer got) { promise->set_value(std::move(got)); });
  // In slices, so a program that is ending (and no longer turns its event loop
  // to answer) does not keep the worker waiting.
  constexpr std::chrono::milliseconds kSlice{100};
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (future.wait_for(kSlice) != std::future_status::ready) {
    if (cancel && cancel->load()) {
      return {VaultStatus::Failed, {}, "the program is ending"};
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return late;
    }
  }
  return future.get();
}

}  // namespace

std::string VaultKeyWithoutPort(const std::string& userName, const std::string& server) {
  std::string escaped;
  for (const char c : server) {
    if (c == '%') {
      escaped += "%25";
    } else if (c == '@') {
      escaped += "%40";
    } else {
      escaped += c;
    }
  }
  return userName + "@" + escaped;
}

std::string VaultKey(const std::string& userName, const std::string& server, int port) {
  return VaultKeyWithoutPort(userName, server) + ":" + std::to_string(port);
}

// The keychain library reports a locked Secret Service as a missing entry or a
// plain access error; the default collection's Locked property tells them apart.
bool KeyringLocked() {
  QDBusMessage ask = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.secrets"),
      QStringLiteral("/org/freedesktop/secrets/aliases/default"),
      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  ask << QStringLiteral("org.freedesktop.Secret.Collection") << QStringLiteral("Locked");
  const QDBusMessage reply = QDBusConnection::sessionBus().call(ask, QDBus::Block, kBusQuestionMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    return false;
  }
  return reply.arguments().first().value<QDBusVariant>().variant().toBool();
}

bool KeyringSwitchedOff() {
  return qEnvironmentVariable("BRINDLECAST_KEYRING")
             .trimmed()
             .compare(QStringLiteral("off"), Qt::CaseInsensitive) == 0;
}

bool KeyringAvailable() {
  if (KeyringSwitchedOff()) {
    return false;
  }
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || !bus.interface()) {
    return false;
  }
  QDBusConnectionInterface* daemon = bus.interface();
  for (const char* name : kKeyringNames) {
    if (daemon->isServiceRegistered(QString::fromLatin1(name))) {
      return true;
    }
  }
  const QDBusReply<QStringList> startable = daemon->activatableServiceNames();
  if (!startable.isValid()) {
    return false;
  }
  for (const char* name : kKeyringNames) {
    if (startable.value().contains(QString::fromLatin1(name))) {
      return true;
    }
  }
  return false;
}

void ReadPassword(const std::string& key, VaultDone done) {
  Run(
      [key] {
        auto* job = new QKeychain::ReadPasswordJob(QString::fromLatin1(kVaultService));
        job->setKey(Q(key));
        return job;
      },
      Operation::Read, std::move(done));
}

void WritePassword(const std::string& key, const std::string& password, VaultDone done) {
  Run(
      [key, password] {
        auto* job = new QKeychain::WritePasswordJob(QString::fromLatin1(kVaultService));
        job->setKey(Q(key));
        job->setTextData(Q(password));
        return job;
      },
      Operation::Write, std::move(done));
}

void ErasePassword(const std::string& key, VaultDone done) {
  Run(
      [key] {
        auto* job = new QKeychain::DeletePasswordJob(QString::fromLatin1(kVaultService));
        job->setKey(Q(key));
        return job;
      },
      Operation::Erase, std::move(done));
}

VaultAnswer ReadPasswordNow(const std::string& key, std::chrono::milliseconds patience,
                            const std::atomic<bool>* cancel) {
  return Wait([&key](VaultDone done) { ReadPassword(key, std::move(done)); }, patience, cancel);
}

VaultAnswer WritePasswordNow(const std::string& key, const std::string& password,
                             std::chrono::milliseconds patience) {
  return Wait([&](VaultDone done) { WritePassword(key, password, std::move(done)); }, patience);
}

std::string VaultProblem(const VaultAnswer& answer) {
  switch (answer.status) {
    case VaultStatus::Ok:
      return {};
    case VaultStatus::NotFound:
      return "the desktop keyring holds no password for this account; enter it again in "
             "Properties";
    case VaultStatus::NoService:
      return "the desktop keyring that holds the password is not available";
    case VaultStatus::Locked:
      return "the desktop keyring is locked";
    case VaultStatus::Refused:
      return "the desktop keyring refused access to the password";
    case VaultStatus::Failed:
      break;
  }
  return "the desktop keyring failed" + (answer.reason.empty() ? "" : ": " + answer.reason);
}

}  // namespace bc
