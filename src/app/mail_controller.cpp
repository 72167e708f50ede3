#include "app/mail_controller.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include "speech/mail_announcer.h"

namespace bc {
namespace {

constexpr const char* kTitle = "Brindlecast";
constexpr const char* kDeletingTitle = "Brindlecast Deleting Email...";
constexpr int kAnimationStepMs = 500;

}  // namespace

// The workers' way back to the controller: runs calls on the UI thread while
// the controller exists, and nothing once it has been cut at shutdown.
class MailController::Link {
 public:
  explicit Link(MailController* controller) : controller_(controller) {}

  void Cut() {
    std::lock_guard lock(mutex_);
    controller_ = nullptr;
  }

  void Post(std::function<void(MailController&)> call) {
    std::lock_guard lock(mutex_);
    if (MailController* c = controller_) {
      QMetaObject::invokeMethod(c, [c, call = std::move(call)] { call(*c); }, Qt::QueuedConnection);
    }
  }

  // Runs the call on the UI thread and waits for it.
  void Send(std::function<void(MailController&)> call) {
    MailController* c = nullptr;
    {
      std::lock_guard lock(mutex_);
      c = controller_;
    }
    if (!c) {
      return;
    }
    if (QThread::currentThread() == c->thread()) {
      call(*c);
      return;
    }
    QMetaObject::invokeMethod(c, [c, &call] { call(*c); }, Qt::BlockingQueuedConnection);
  }

 private:
  std::mutex mutex_;
  MailController* controller_;
};

namespace {

// Forwards a pass's reports to the UI thread; the announcement runs here, on
// the worker, with the worker's copy of the options.
class WorkerObserver final : public CheckObserver {
 public:
  using Link = std::function<void(std::function<void(MailView&)>)>;

  WorkerObserver(std::function<void(std::function<void(MailView&)>)> post,
                 std::function<void(Settings&)> askForAccount, MailAnnouncer* announcer,
                 const AppOptions& options, std::atomic<int>& largest)
      : post_(std::move(post)),
        askForAccount_(std::move(askForAccount)),
        announcer_(announcer),
        options_(options),
        largest_(largest) {}

  void SetTitle(const std::string& title) override {
    post_([title](MailView& v) { v.SetTitle(title); });
  }
  void SetAccountsProgress(int position, int maximum) override {
    post_([=](MailView& v) { v.SetAccountsProgress(position, maximum); });
  }
  void SetEmailsProgress(int position, int maximum) override {
    post_([=](MailView& v) { v.SetEmailsProgress(position, maximum); });
  }
  void SetTrayIcon(TrayState icon) override {
    post_([icon](MailView& v) { v.SetTrayIcon(icon); });
  }
  void SetTrayTooltip(const std::string& text) override {
    post_([text](MailView& v) { v.SetTrayToolTip(text); });
  }
  void ListCleared() override {
    post_([](MailView& v) { v.ClearList(); });
  }
  void EnvelopeAccepted(int index, const Envelope& envelope) override {
    post_([index, envelope](MailView& v) { v.AppendEnvelope(index, envelope); });
    if (announcer_) {
      announcer_->AnnounceMessage(options_, envelope);
    }
  }
  void StorageAlert(const std::string& text) override {
    post_([text](MailView& v) { v.ShowStorageNotice(text); });
  }
  void NoAccountConfigured(Settings& settings) override { askForAccount_(settings); }
  void PassFinished(int largestMailbox) override {
    largest_ = largestMailbox;
    post_([](MailView& v) { v.RebuildList(); });
  }
  void AccountFinished(const AccountOutcome& outcome) override {
    // The reason goes where the user looks, not only into the command trace.
    if (!outcome.error.empty()) {
      problems_.push_back("'" + outcome.userName + "': " + outcome.error);
    }
  }
  [[nodiscard]] const std::vector<std::string>& problems() const { return problems_; }

 private:
  std::function<void(std::function<void(MailView&)>)> post_;
  std::function<void(Settings&)> askForAccount_;
  MailAnnouncer* announcer_;
  const AppOptions& options_;
  std::atomic<int>& largest_;
  std::vector<std::string> problems_;
};

}  // namespace

MailController::MailController(Settings& settings, MailView& view, MailAnnouncer* announcer,
                               std::function<bool()> voiceBusy, MailEnvironment environment,
                               const Clock& clock, QObject* parent)
    : QObject(parent),
      settings_(settings),
      view_(view),
      announcer_(announcer),
      voiceBusy_(std::move(voiceBusy)),
      environment_(std::move(environment)),
      store_(std::make_shared<EnvelopeStore>()),
      link_(std::make_shared<Link>(this)),
      scheduler_(*this, clock) {
  if (!environment_.clock) {
    environment_.clock = &clock;
  }
  animation_.setInterval(kAnimationStepMs);
  connect(&animation_, &QTimer::timeout, this, &MailController::AnimationTick);
}

MailController::~MailController() { Shutdown(); }

void MailController::Start() {
  ApplyPeriod(false);
  busy_ = false;
  scheduler_.Restart();
  scheduler_.Start();
}

void MailController::Shutdown() {
  scheduler_.Stop();
  link_->Cut();
  animation_.stop();
  std::lock_guard lock(workersMutex_);
  // Workers still running end with the process; they no longer report.
  if (checkThread_.joinable()) {
    checkRunning_ ? checkThread_.detach() : checkThread_.join();
  }
  if (deleteThread_.joinable()) {
    deleteRunning_ ? deleteThread_.detach() : deleteThread_.join();
  }
}

void MailController::ApplyPeriod(bool whateverCheckMail) {
  checkMailOn_ = settings_.options.CheckMail != 0;
  if (whateverCheckMail || checkMailOn_) {
    if (const auto period = CheckPeriodSeconds(settings_.options)) {
      period_ = *period;
    }
  }
  scheduler_.Arm(period_);
}

void MailController::ArmChecking() {
  ApplyPeriod(false);
  busy_ = false;
}

void MailController::RestartAfterExitDeclined() {
  ApplyPeriod(true);
  busy_ = false;
}

void MailController::JoinFinished() {
  if (checkThread_.joinable() && !checkRunning_) {
    checkThread_.join();
  }
  if (deleteThread_.joinable() && !deleteRunning_) {
    deleteThread_.join();
  }
}

void MailController::StartCheck() {
  if (QThread::currentThread() != thread()) {
    // From the scheduler: the start happens on the UI thread, which owns the
    // settings the worker copies. Never wait for it here: the UI thread may be
    // stopping the scheduler at this very moment. CheckMail is read there as the
    // user last set it: the scheduler's copy is only renewed when the period is.
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (settings_.options.CheckMail != 0) {
            StartCheck();
          }
        },
        Qt::QueuedConnection);
    return;
  }
  std::lock_guard lock(workersMutex_);
  if (checkRunning_ || deleteRunning_) {
    return;
  }
  JoinFinished();
  checkRunning_ = true;
  // The worker's own copy: the property sheet's edits never reach a pass under way.
  checkThread_ = std::thread(&MailController::RunCheckWorker, this, settings_, link_);
}

bool MailController::StartDelete(DeletionRows& rows) {
  std::lock_guard lock(workersMutex_);
  if (checkRunning_ || deleteRunning_) {
    return false;
  }
  JoinFinished();
  deleteRunning_ = true;
  deleteThread_ = std::thread(&MailController::RunDeleteWorker, this, settings_, &rows, link_);
  return true;
}

void MailController::RunCheckWorker(Settings settings, std::shared_ptr<Link> link) {
  auto post = [link](std::function<void(MailView&)> call) {
    link->Post([call = std::move(call)](MailController& c) { call(c.view_); });
  };
  animating_ = true;
  link->Post([](MailController& c) { c.StartAnimation(); });
  post([](MailView& v) { v.SetWorkerRunning(true); });

  if (!suspended_) {
    WorkerObserver observer(
        post,
        [link](Settings& workerSettings) {
          link->Send([&workerSettings](MailController& c) {
            c.view_.OpenPropertiesForFirstAccount();
            workerSettings = c.settings_;
          });
        },
        announcer_, settings.options, largestMailbox_);
    RunCheck(settings, *store_, observer, environment_);
    post([problems = observer.problems()](MailView& v) { v.ShowCheckProblems(problems); });
  }

  post([](MailView& v) {
    v.SetTitle(kTitle);
    v.SetWorkerRunning(false);
    v.SetEmailsProgress(0, 0);
    v.SetAccountsProgress(0, 0);
  });
  checkRunning_ = false;
  animating_ = false;
}

void MailController::RunDeleteWorker(Settings settings, DeletionRows* rows,
                                     std::shared_ptr<Link> link) {
  auto post = [link](std::function<void(MailView&)> call) {
    link->Post([call = std::move(call)](MailController& c) { call(c.view_); });
  };
  animating_ = true;
  link->Post([](MailController& c) { c.StartAnimation(); });
  post([](MailView& v) {
    v.SetTitle(kDeletingTitle);
    v.SetWorkerRunning(true);
  });

  DeleteSelected(settings, *store_, *rows, environment_,
                 [&post](const Envelope& envelope, const DeleteOutcome& outcome) {
                   if (outcome.refused) {
                     const std::string text = "The message \"" + envelope.subject +
                                              "\" was not deleted: " + outcome.error +
                                              ". Refresh the list and try again.";
                     post([text](MailView& v) { v.ShowBackgroundMessage(text); });
                   }
                 });

  post([](MailView& v) {
    v.SetWorkerRunning(false);
    v.SetTitle(kTitle);
  });
  deleteRunning_ = false;
  animating_ = false;
}

void MailController::ToggleSuspend() {
  if (suspended_) {
    suspended_ = false;
    view_.ShowSuspended(false);
    if (settings_.options.CheckMail != 0) {
      ArmChecking();
    }
    view_.SetTrayIcon(TrayState::Idle);
  } else {
    view_.ShowSuspended(true);
    suspended_ = true;
    view_.SetTrayIcon(TrayState::Disconnected);
  }
}

void MailController::StartAnimation() {
  if (animation_.isActive()) {
    return;
  }
  animationTick_ = 0;
  AnimationTick();
  animation_.start();
}

void MailController::AnimationTick() {
  if (!animating_) {
    animation_.stop();
    view_.SetTrayIcon(largestMailbox_ != 0 ? TrayState::MailPresent : TrayState::Idle);
    return;
  }
  // Idle, mail present, checking, and the checking picture once more.
  switch (animationTick_) {
    case 0: view_.SetTrayIcon(TrayState::Idle); break;
    case 1: view_.SetTrayIcon(TrayState::MailPresent); break;
    case 2: view_.SetTrayIcon(TrayState::Checking); break;
    default: break;
  }
  animationTick_ = (animationTick_ + 1) % 4;
}

bool MailController::WaitForWorkers(int milliseconds) {
  QDeadlineTimer deadline(milliseconds);
  while (checkRunning_ || deleteRunning_ || animation_.isActive()) {
    if (deadline.hasExpired()) {
      return false;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(1);
  }
  QCoreApplication::processEvents();
  return true;
}

}  // namespace bc
