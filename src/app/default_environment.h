#pragma once

#include "mail/check_cycle.h"

namespace bc {

/// Where the installed program's check passes write and take their passwords
/// from: the command trace and the deleted-mail logs in the XDG folders, and
/// the passwords from the desktop keyring where it keeps them. Both programs
/// are given it here, where they are made; the mail library itself knows no
/// keyring.
[[nodiscard]] MailEnvironment DefaultMailEnvironment();

}  // namespace bc
