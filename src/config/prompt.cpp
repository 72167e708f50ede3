#include "config/prompt.h"

#include <iostream>

namespace bc {

void ConsolePrompt::ShowMessage(const std::string& text) {
  std::cerr << "Brindlecast: " << text << '\n';
}

bool ConsolePrompt::AskYesNo(const std::string& text) {
  std::cerr << "Brindlecast: " << text << " (answered No)\n";
  return false;
}

}  // namespace bc
