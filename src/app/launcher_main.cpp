// The program `brindlecast`. Without a command, and with a display, it carries
// on as the desktop program at once; `check` and `watch` carry on as the mail
// commands' program at once; everything else is in the commands module
// (commands_main.cpp), loaded here. The launcher itself links the C library
// alone: Qt and the speech libraries load in the process that uses them, and
// never twice on the way to the desktop program's window.
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "app/have_display.h"

namespace {

// Where the package keeps its private programs and the commands module,
// relative to the folder of the running program (set by the install layout).
#ifndef BC_PRIVATE_DIR_FROM_BINDIR
#define BC_PRIVATE_DIR_FROM_BINDIR "."
#endif

using Entry = int (*)(int, char**);

// `name` beside the running program (the build tree) or in the package's
// private folder; false when neither holds it. Fixed buffers, no allocation.
bool FindPrivateFile(const char* name, char (&path)[PATH_MAX]) {
  char exe[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (length <= 0) {
    return false;
  }
  exe[length] = '\0';
  char* slash = std::strrchr(exe, '/');
  if (slash == nullptr) {
    return false;
  }
  *slash = '\0';
  for (const char* folder : {"", "/" BC_PRIVATE_DIR_FROM_BINDIR}) {
    const int written = std::snprintf(path, sizeof path, "%s%s/%s", exe, folder, name);
    if (written > 0 && static_cast<size_t>(written) < sizeof path && access(path, F_OK) == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 1) {
    // Started with no words at all, not even its name: the commands read
    // their words from past the name.
    std::fputs("brindlecast: started without a program name\n", stderr);
    return 2;
  }
  char path[PATH_MAX];
  if (argc == 1 && bc::HaveDisplay() && FindPrivateFile(BC_DESKTOP_PROGRAM, path)) {
    execv(path, argv);
    // Not started: the commands module says why.
  }
  // The mail commands run in a program of their own: loading the commands
  // module (Qt, espeak-ng) on the way there cost as much as a check of an
  // unchanged mailbox's list.
  if (argc >= 2 && (std::strcmp(argv[1], "check") == 0 || std::strcmp(argv[1], "watch") == 0) &&
      FindPrivateFile(BC_CHECK_PROGRAM, path)) {
    execv(path, argv);
  }
  if (!FindPrivateFile(BC_COMMANDS_MODULE, path)) {
    std::fprintf(stderr, "brindlecast: the module %s is not installed.\n", BC_COMMANDS_MODULE);
    return 1;
  }
  // Never closed: the commands' code runs until the program exits. Lazy
  // binding, as for the libraries of a program linked at start-up.
  void* module = dlopen(path, RTLD_LAZY | RTLD_LOCAL);
  auto entry = module ? reinterpret_cast<Entry>(dlsym(module, "bc_commands_main")) : nullptr;
  if (entry == nullptr) {
    const char* why = dlerror();
    std::fprintf(stderr, "brindlecast: cannot load %s: %s\n", path, why ? why : "no entry point");
    return 1;
  }
  return entry(argc, argv);
}
