// Test helper: saves generation after generation of a large settings set until
// it is killed. Every value of one generation carries the generation number, so
// the parent can tell a torn file from a whole one.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/prompt.h"
#include "config/settings_store.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: settings_save_child FILE\n");
    return 2;
  }
  bc::ConsolePrompt prompt;
  bc::SettingsStore store(argv[1], prompt);
  const std::string filler(3000, 'x');
  for (long generation = 1;; ++generation) {
    const std::string tag = std::to_string(generation);
    for (int key = 0; key < 50; ++key) {
      store.WriteValue("UserAccounts\\user" + std::to_string(key % 20 + 1),
                       "Value" + std::to_string(key), tag + ":" + filler);
    }
    store.WriteValue("", "Generation", tag);
    if (!store.Commit()) {
      return 1;
    }
    if (generation == 1) {
      std::puts("saved");
      std::fflush(stdout);
    }
  }
}
