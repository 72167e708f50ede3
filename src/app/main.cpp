// Entry point. With no command the program loads the settings (creating them on
// a first start) and tells where its files live.
#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/paths.h"
#include "config/prompt.h"
#include "config/settings.h"
#include "config/settings_store.h"

namespace {

constexpr const char* kUsage =
    "Usage: brindlecast [--help | --version]\n"
    "\n"
    "Watches POP3 mailboxes and announces new mail.\n"
    "Loads the settings (creating them on a first start) and prints where the\n"
    "settings file and the logs live.\n";

int RunDefault() {
  bc::ConsolePrompt prompt;
  bc::SettingsStore store(bc::SettingsFilePath(), prompt);
  const bc::Settings settings = bc::LoadSettings(store);
  std::printf("Settings file:     %s\n", bc::SettingsFilePath().c_str());
  std::printf("Command trace:     %s\n", bc::CommandLogPath().c_str());
  std::printf("Deleted-mail logs: %s/\n", bc::DeletedLogDir().c_str());
  std::printf("Accounts:          %zu\n", settings.accounts.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Brindlecast"));
  if (argc > 1) {
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
      std::puts("Brindlecast Version 2.01");
      return 0;
    }
    std::fprintf(stderr, "brindlecast: unknown argument '%s'\n\n%s", argv[1], kUsage);
    return 2;
  }
  return RunDefault();
}
