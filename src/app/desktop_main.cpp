// The desktop program, started by `brindlecast` without a command once it has
// found a display: one per user, living in the notification area.
#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWindow>
#include <functional>
#include <utility>

#include "app/desktop_session.h"
#include "app/single_instance.h"
#include "config/paths.h"
#include "config/settings_store.h"
#include "speech/audio_outputs.h"
#include "ui/drawn_arrow_style.h"
#include "ui/tip_of_day_dialog.h"
#include "ui/window/main_window.h"
#include "ui/window/qt_prompt.h"

namespace {

// Runs work once the window has shown its first frame: what the window does
// not need to be seen waits until it is. A window the desktop does not show
// at once (mapped on another workspace, say) gets the work a little later all
// the same.
class AfterFirstFrame final : public QObject {
 public:
  AfterFirstFrame(QWidget& window, std::function<void()> work)
      : QObject(&window), window_(window.windowHandle()), work_(std::move(work)) {
    if (window_ != nullptr && !window_->isExposed()) {
      window_->installEventFilter(this);
      QTimer::singleShot(kLongestWaitMs, this, [this] { Run(); });
    } else {
      QTimer::singleShot(0, this, [this] { Run(); });
    }
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == window_ && event->type() == QEvent::Expose && window_->isExposed()) {
      window_->removeEventFilter(this);
      // After the frame this exposure paints.
      QTimer::singleShot(0, this, [this] { Run(); });
    }
    return false;
  }

 private:
  static constexpr int kLongestWaitMs = 2000;

  void Run() {
    if (std::function<void()> work = std::exchange(work_, nullptr)) {
      if (window_ != nullptr) {
        window_->removeEventFilter(this);
      }
      work();
    }
  }

  QPointer<QWindow> window_;  // the widget may remake its native window
  std::function<void()> work_;
};

int RunDesktop(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Brindlecast"));
  QApplication::setDesktopFileName(QString::fromLatin1(bc::kDesktopEntryId));
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setStyle(new bc::DrawnArrowStyle);  // the application owns it
  bc::SingleInstance instance;
  if (!instance.Claim(qEnvironmentVariable("XDG_ACTIVATION_TOKEN"))) {
    return 0;  // the running instance shows its window
  }
  bc::QtPrompt prompt;
  // The session starts the checks before anything is shown: a program started
  // at login watches the mail while the tip waits to be read.
  bc::SettingsStore store(bc::SettingsFilePath(), prompt);
  bc::DesktopSession session(bc::SessionSetup{store});
  bc::MainWindow& window = session.window();
  prompt.SetParent(&window);
  QObject::connect(&instance, &bc::SingleInstance::ShowRequested, &window,
                   &bc::MainWindow::AnswerSecondStart);
  window.show();
  // After the window's first frame: the rest of the start (the first
  // announcement finds the sound ready), and the tip, whose building takes as
  // long as the rest of the window's first frame.
  new AfterFirstFrame(window, [&session, &window, &prompt] {
    session.FinishStart();
    bc::ShowStartupTip(&window, prompt);
  });
  // Exit has removed the icon, and the session has saved the settings and
  // cancelled and joined a check or deletion still under way.
  return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
  const int status = RunDesktop(argc, argv);
  bc::WaitForClosedStreams();
  return status;
}
