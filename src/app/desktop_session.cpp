#include "app/desktop_session.h"

#include <QApplication>
#include <QUrl>
#include <cstdio>

#include "config/settings_store.h"
#include "extras/update_check.h"
#include "extras/update_site.h"
#include "keyring/account_password.h"
#include "keyring/password_vault.h"
#include "mail/mail_memory.h"
#include "speech/audio_outputs.h"
#include "ui/about_box.h"
#include "ui/pages/email_list.h"
#include "ui/update_presenter.h"
#include "ui/window/main_window.h"

namespace bc {

void WarnOnConsole(const std::string& text) {
  std::fprintf(stderr, "brindlecast: %s\n", text.c_str());
}

DesktopSession::DesktopSession(SessionSetup setup)
    : store_(setup.store),
      warn_(std::move(setup.warn)),
      // Written once the window is up (FinishStart): writing a new file waits
      // for the disk.
      settings_(LoadSettings(store_, false)),
      speech_(SpeechEngine::StoredDefaultVoice(store_), setup.silentAudio),
      sound_(setup.silentAudio),
      controller_(
          settings_, nullptr, [this] { return speech_.IsVoiceBusy(); },
          std::move(setup.environment), setup.clock ? *setup.clock : systemClock_),
      announcer_(speech_, sound_, controller_.store(),
                 [this](const Notice& notice) { RequestNotice(notice); }) {
  controller_.SetAnnouncer(&announcer_);
  KeepPasswordsInKeyring();
  window_ = std::make_unique<MainWindow>(
      MainWindowParts{store_, settings_, speech_, sound_, controller_, announcer_,
                      [this] { return SaveSettings(); }, setup.silentAudio, setup.prompt});
  StartUpdateChecks();
  QObject::connect(window_.get(), &MainWindow::LatestVersionRequested, window_.get(),
                   [this] { updateCheck_->Request(true); });
  QObject::connect(window_.get(), &MainWindow::ExitConfirmed, window_.get(), [this] { End(); });
  controller_.AttachView(window_.get());
  announcer_.SetList(&window_->emailList());
  controller_.Start();
  announcer_.SetWindowReady(true);
}

DesktopSession::~DesktopSession() {
  controller_.Shutdown();
  speech_.StopSpeaking();
  // The update check's dialogs and worker end first; then nothing reaches
  // the window any more when it goes.
  updateCheck_.reset();
  updatePresenter_.reset();
  controller_.AttachView(nullptr);
  announcer_.SetWindowReady(false);
  announcer_.SetList(nullptr);
  window_.reset();
}

void DesktopSession::FinishStart() {
  window_->ShowProgramIcon();
  store_.Commit();
  PrepareDeviceOutputs();
  speech_.FindAudioDevice();
  sound_.FindAudioDevice();
}

bool DesktopSession::SaveSettings() {
  const bool saved = bc::SaveSettings(store_, settings_);
  KeepPasswordsInKeyring();  // a new password moves on
  if (saved) {
    // A removed account's remembered mail goes with it.
    ForgetRemovedAccounts(MailMemoryDir(), settings_.accounts);
  }
  return saved;
}

void DesktopSession::KeepPasswordsInKeyring() {
  if (!passwordMover_) {
    // Without accounts there is nothing to place, and asking the session bus
    // for the keyring costs the window's start a round trip (or a failed connect).
    FindPasswordHomes(settings_, !settings_.accounts.empty() && KeyringAvailable());
    passwordMover_ = std::make_unique<PasswordMover>(store_, settings_, warn_);
  }
  passwordMover_->Start();
}

void DesktopSession::StartUpdateChecks() {
  UpdateSiteSetting site = UpdateSiteFromEnvironment(QUrl(QString::fromLatin1(kProductWebSite)));
  if (!site.warning.empty()) {
    warn_(site.warning);
  }
  updatePresenter_ = std::make_unique<QtUpdatePresenter>(window_.get());
  updateCheck_ = std::make_unique<UpdateCheck>(
      std::move(site.site), *updatePresenter_,
      [scheduler = &controller_.scheduler()] { scheduler->UpdateCheckEnded(); });
  // Set before the scheduler's thread starts; it calls this from that thread.
  controller_.SetUpdateCheckStarter([check = updateCheck_.get()] { check->Request(false); });
}

// Called on a check worker too. The window exists by then: notices are asked
// for only once it is ready, and it goes only after the workers have ended.
void DesktopSession::RequestNotice(const Notice& notice) {
  if (MainWindow* window = window_.get()) {
    QMetaObject::invokeMethod(
        window, [window, notice] { window->ShowNewMailNotice(notice); }, Qt::QueuedConnection);
  }
}

void DesktopSession::End() {
  bc::SaveSettings(store_, settings_);
  controller_.Shutdown();
  speech_.StopSpeaking();
  sound_.StopSound();
  QApplication::quit();
}

}  // namespace bc
