// The desktop program, started by `brindlecast` without a command once it has
// found a display: one per user, living in the notification area.
#include <QApplication>
#include <QTimer>

#include "app/desktop_session.h"
#include "app/single_instance.h"
#include "config/paths.h"
#include "config/settings_store.h"
#include "speech/audio_outputs.h"
#include "ui/tip_of_day_dialog.h"
#include "ui/window/main_window.h"
#include "ui/window/qt_prompt.h"

namespace {

int RunDesktop(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Brindlecast"));
  QApplication::setDesktopFileName(QString::fromLatin1(bc::kDesktopEntryId));
  QApplication::setQuitOnLastWindowClosed(false);
  bc::SingleInstance instance;
  if (!instance.Claim(qEnvironmentVariable("XDG_ACTIVATION_TOKEN"))) {
    return 0;  // the running instance shows its window
  }
  // The sound server answers while the settings load and the window is made:
  // the voice and the sound player wait for its answer before the window shows.
  bc::PrepareDeviceOutputs();
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
  // The tip after the window's first frame: building it takes as long as the
  // rest of the window's first frame.
  QTimer::singleShot(0, &window, [&window, &prompt] { bc::ShowStartupTip(&window, prompt); });
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
