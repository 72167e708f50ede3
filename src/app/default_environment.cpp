#include "app/default_environment.h"

#include "config/paths.h"
#include "keyring/account_password.h"

namespace bc {

MailEnvironment DefaultMailEnvironment() {
  MailEnvironment environment;
  environment.commandLogPath = CommandLogPath();
  environment.deletedLogDir = DeletedLogDir();
  environment.password = KeptPassword;
  return environment;
}

}  // namespace bc
