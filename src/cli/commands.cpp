#include "cli/commands.h"

#include <array>

namespace bc::cli {
namespace {

// One entry per command; each command lives in its own file.
constexpr std::array<Command, 0> kCommands = {{}};

}  // namespace

std::span<const Command> Commands() { return kCommands; }

const Command* FindCommand(const std::string& name) {
  for (const Command& command : kCommands) {
    if (name == command.name) {
      return &command;
    }
  }
  return nullptr;
}

}  // namespace bc::cli
