// Entry point. `brindlecast COMMAND ...` runs a headless command; with no command
// the program loads the settings (creating them on a first start) and tells
// where its files live.
#include <QCoreApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "config/paths.h"
#include "config/prompt.h"
#include "config/settings.h"
#include "config/settings_store.h"

namespace {

void PrintUsage(std::FILE* out) {
  std::fputs(
      "Usage: brindlecast [COMMAND [ARGS...]] | --help | --version\n"
      "\n"
      "Watches POP3 mailboxes and announces new mail. Without a command it loads\n"
      "the settings (creating them on a first start) and prints where the settings\n"
      "file and the logs live.\n",
      out);
  if (!bc::cli::Commands().empty()) {
    std::fputs("\nCommands (each takes --help):\n", out);
    for (const auto& command : bc::cli::Commands()) {
      std::fprintf(out, "  %-8s %s\n", command.name, command.summary);
    }
  }
}

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
  const std::vector<std::string> words(argv + 1, argv + argc);
  if (!words.empty()) {
    if (words[0] == "--help" || words[0] == "-h") {
      PrintUsage(stdout);
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
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Brindlecast"));
  return RunDefault();
}
