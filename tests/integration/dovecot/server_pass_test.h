// What the tests against real mail servers share: a pass over one account with
// its command trace and deleted-mail logs in a folder of the test's own, and
// the outcome of each account it checked.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "mail/check_cycle.h"
#include "support/test_env.h"

namespace bc {

class ServerPassTest : public ::testing::Test {
 protected:
  void SetUp() override {
    environment_.commandLogPath = dir_.File("command.log");
    environment_.deletedLogDir = dir_.File("Log");
  }
  /// One pass over `account` alone; its outcome is the last of observer_.all.
  CheckSummary CheckAccount(const MailAccount& account) {
    settings_.accounts = {account};
    return RunCheck(settings_, store_, observer_, environment_);
  }

  struct Outcomes final : CheckObserver {
    std::vector<AccountOutcome> all;
    void AccountFinished(const AccountOutcome& o) override { all.push_back(o); }
  };

  test::TempDir dir_;
  MailEnvironment environment_;
  Settings settings_;
  EnvelopeStore store_;
  Outcomes observer_;
};

// Stable test names for CTest.
inline void PrintTo(Security security, std::ostream* out) {
  *out << (security == Security::None ? "plain" : security == Security::Tls ? "tls" : "starttls");
}

}  // namespace bc
