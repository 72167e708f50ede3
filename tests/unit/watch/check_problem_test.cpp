#include "watch/check_problem.h"

#include <gtest/gtest.h>

namespace bc {
namespace {

using Status = AccountOutcome::Status;

// What failed, our words for it, and the plain words the user reads first.
TEST(PlainProblemText, SaysWhatWentWrongInPlainWordsThenTheDetail) {
  struct Row {
    const char* step;
    const char* error;
    const char* plain;
  };
  const Row rows[] = {
      {"PASS", "server said: -ERR [AUTH] Authentication failed.",
       "The server refused the password for alice@pop.example.org"},
      {"PASS", "server said: -ERR [IN-USE] Mailbox is locked",
       "The mailbox of alice@pop.example.org is in use by another mail program"},
      {"USER", "server said: -ERR no such user",
       "The server refused the user name for alice@pop.example.org"},
      {"connect", "connection to pop.example.org:995 failed: Connection refused",
       "The mail server pop.example.org could not be reached on port 995"},
      {"connect", "connection to pop.example.org:995 failed: Host not found",
       "The mail server pop.example.org could not be found; check the server name"},
      {"connect", "no answer from the server within 60000 ms",
       "The mail server pop.example.org did not answer in time"},
      {"connect", "server said: -ERR go away",
       "The mail server pop.example.org turned the connection away"},
      {"connect",
       "TLS connection to pop.example.org failed: The host name did not match any of the valid "
       "hosts for this certificate",
       "A secure connection to pop.example.org could not be made"},
      {"connect", "TLS connection to pop.example.org failed: Connection refused",
       "The mail server pop.example.org could not be reached on port 995"},
      {"connect", "TLS is not available on this system",
       "A secure connection to pop.example.org could not be made"},
      {"STLS", "the server refused STARTTLS (server said: -ERR)",
       "pop.example.org does not offer a secure connection (STARTTLS)"},
      {"STLS", "STARTTLS handshake failed: The certificate is self-signed, and untrusted",
       "A secure connection to pop.example.org could not be made"},
      {"password", "the keyring is locked",
       "The password for alice@pop.example.org could not be read from the keyring"},
      {"Security", "the Security value \"7\" is not one of \"\", 0, 1, 2",
       "The security setting of alice@pop.example.org is not one this program knows"},
      {"PASS", "the user name or password contains a line break; refused to send it",
       "The user name or password of alice@pop.example.org contains a line break"},
      {"LIST", "server said: -ERR", "The mailbox of alice@pop.example.org could not be read"},
      {"RETR", "the server closed the connection", "Checking alice@pop.example.org failed"},
  };
  MailAccount account;
  account.UserName = "alice";
  account.POP3Server = "pop.example.org";
  account.POP3Port = StoredPort::FromText("995");
  for (const Row& row : rows) {
    AccountOutcome outcome;
    outcome.status = Status::Failed;
    outcome.failedStep = row.step;
    outcome.error = row.error;
    EXPECT_EQ(PlainProblemText(outcome, account), std::string(row.plain) + " (" + row.error + ")")
        << row.step << ": " << row.error;
    EXPECT_TRUE(IsFailing(outcome));
  }

  AccountOutcome outcome;
  outcome.status = Status::Incomplete;
  outcome.error = "message 3 could not be read";
  account.UserName = "alice@example.org";  // an address already: no second "@"
  EXPECT_EQ(PlainProblemText(outcome, account),
            "Some messages of alice@example.org on pop.example.org could not be checked (message "
            "3 could not be read)");
  EXPECT_FALSE(IsFailing(outcome));
  outcome.status = Status::Checked;
  outcome.error.clear();
  EXPECT_EQ(PlainProblemText(outcome, account), "");
}

}  // namespace
}  // namespace bc
