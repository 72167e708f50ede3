// Entry point. `brindlecast COMMAND ...` runs a headless command; with no command
// the desktop program starts (one per user) and lives in the notification area.
#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/desktop_session.h"
#include "app/single_instance.h"
#include "cli/commands.h"
#include "config/paths.h"
#include "config/prompt.h"
#include "config/settings.h"
#include "config/settings_store.h"
#include "ui/tip_of_day_dialog.h"
#include "ui/window/main_window.h"
#include "ui/window/qt_prompt.h"

namespace {

void PrintUsage(std::FILE* out) {
  std::fputs(
      "Usage: brindlecast [COMMAND [ARGS...]] | --paths | --help | --version\n"
      "\n"
      "Watches POP3 mailboxes and announces new mail. Without a command the desktop\n"
      "program starts in the notification area; a second start asks the running one\n"
      "to hide its window. Exit status 0, or 1 when there is no display.\n",
      out);
  std::fputs("\nCommands (each takes --help), and their exit statuses:\n", out);
  for (const auto& command : bc::cli::Commands()) {
    std::fprintf(out, "  %-8s %s\n", command.name, command.summary);
    // Each line of the statuses goes under the summary.
    std::string exits = command.exits;
    for (size_t start = 0, end; start < exits.size(); start = end + 1) {
      end = exits.find('\n', start);
      end = end == std::string::npos ? exits.size() : end;
      std::fprintf(out, "  %-8s   %s\n", "", exits.substr(start, end - start).c_str());
    }
  }
  std::fputs(
      "\n"
      "  --paths    print where the settings and logs live (exit status 0)\n"
      "  --version  print the program's version (exit status 0)\n"
      "\n"
      "Exit status 2: a command or option used wrongly. See brindlecast(1).\n",
      out);
}

void PrintPaths() {
  std::printf("Settings file:     %s\n", bc::SettingsFilePath().c_str());
  std::printf("Command trace:     %s\n", bc::CommandLogPath().c_str());
  std::printf("Deleted-mail logs: %s/\n", bc::DeletedLogDir().c_str());
}

bool HaveDisplay() {
  auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
  };
  return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

int RunDesktop(int argc, char** argv) {
  if (!HaveDisplay()) {
    std::fputs(
        "brindlecast: no display to show the window on (DISPLAY and WAYLAND_DISPLAY are "
        "not set).\nRun `brindlecast check` for one headless pass.\n\n",
        stderr);
    PrintPaths();
    return 1;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Brindlecast"));
  QApplication::setDesktopFileName(QString::fromLatin1(bc::kDesktopEntryId));
  QApplication::setQuitOnLastWindowClosed(false);
  bc::SingleInstance instance;
  if (!instance.Claim()) {
    return 0;  // the running instance hides its window
  }
  bc::QtPrompt prompt;
  {
    // The tip comes first; the tips file is read (and its place stored) even
    // when the user turned the start-up tips off.
    bc::CTipOfDayDlg tips(nullptr, prompt);
    if (tips.model().showAtStartup()) {
      tips.exec();
    }
  }
  bc::SettingsStore store(bc::SettingsFilePath(), prompt);
  bc::DesktopSession session(bc::SessionSetup{store});
  bc::MainWindow& window = session.window();
  prompt.SetParent(&window);
  QObject::connect(&instance, &bc::SingleInstance::CloseRequested, &window, &QWidget::hide);
  window.show();
  // Exit has removed the icon, and the session has saved the settings and
  // cancelled and joined a check or deletion still under way.
  return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> words(argv + 1, argv + argc);
  if (!words.empty()) {
    if (words[0] == "--help" || words[0] == "-h") {
      PrintUsage(stdout);
      return 0;
    }
    if (words[0] == "--paths") {
      PrintPaths();
      return 0;
    }
    if (words[0] == "--version") {
      std::puts("Brindlecast Version 2.01");
      return 0;
    }
    const bc::cli::Command* command = bc::cli::FindCommand(words[0]);
    if (!command) {
      std::fprintf(stderr, "brindlecast: unknown command '%s'\n\n", words[0].c_str());
      PrintUsage(stderr);
      return bc::cli::kUsageError;
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Brindlecast"));
    return command->run(std::vector<std::string>(words.begin() + 1, words.end()));
  }
  return RunDesktop(argc, argv);
}
