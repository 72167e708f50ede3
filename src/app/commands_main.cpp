// The commands of `brindlecast COMMAND ...`, a module the program loads
// (launcher_main.cpp) unless it starts the desktop program: `say` and the other
// headless commands, --help, --paths, --version, and the message when there is
// no display for the desktop program.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/have_display.h"
#include "bc_version.h"
#include "cli/commands.h"
#include "config/paths.h"
#include "speech/audio_outputs.h"

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

// Carries on as the private program `name` with the same words; returns only
// when it cannot be started.
int RunPrivateProgram(const char* name, char** argv) {
  const std::string program = bc::PrivateProgramPath(name);
  if (program.empty()) {
    std::fprintf(stderr, "brindlecast: the program %s is not installed.\n", name);
    return 1;
  }
  execv(program.c_str(), argv);
  std::fprintf(stderr, "brindlecast: cannot start %s: %s\n", program.c_str(), std::strerror(errno));
  return 1;
}

// The desktop program is a second executable: the commands here link only
// what they need, and start as fast as the espeak-ng command line.
int RunDesktop(char** argv) {
  if (!bc::HaveDisplay()) {
    std::fputs(
        "brindlecast: no display to show the window on (DISPLAY and WAYLAND_DISPLAY are "
        "not set).\nRun `brindlecast check` for one headless pass.\n\n",
        stderr);
    PrintPaths();
    return 1;
  }
  // The same process carries on as the desktop program, with the same words.
  return RunPrivateProgram(bc::kDesktopProgramName, argv);
}

}  // namespace

// The module's entry point: main() of the program, with the same words.
extern "C" __attribute__((visibility("default"))) int bc_commands_main(int argc, char** argv) {
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
      std::puts(bc::kProgramVersionLine);
      std::puts(bc::kProgramLicenseLine);
      return 0;
    }
    const bc::cli::Command* command = bc::cli::FindCommand(words[0]);
    if (!command) {
      std::fprintf(stderr, "brindlecast: unknown command '%s'\n\n", words[0].c_str());
      PrintUsage(stderr);
      return bc::cli::kUsageError;
    }
    if (!command->run) {
      return RunPrivateProgram(command->program, argv);
    }
    // No command of this program checks mail. Each makes Qt's application
    // object itself if it needs one.
    const int status = command->run(std::vector<std::string>(words.begin() + 1, words.end()), {});
    bc::WaitForClosedStreams();
    return status;
  }
  return RunDesktop(argv);
}
