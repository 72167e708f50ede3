// In a file of its own: the check command's program uses it without linking
// the other commands.
#include "cli/commands.h"

namespace bc::cli {

CommandApplication::CommandApplication() {
  QCoreApplication::setApplicationName(QStringLiteral("Brindlecast"));
}

}  // namespace bc::cli
