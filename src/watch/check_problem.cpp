#include "watch/check_problem.h"

namespace bc {
namespace {

bool Has(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// Whether the socket never got as far as a conversation (Qt's words for it).
bool NotReached(const std::string& error) {
  return Has(error, "refused") || Has(error, "timed out") || Has(error, "unreachable") ||
         Has(error, "Host not found");
}

std::string Who(const MailAccount& account) {
  if (account.POP3Server.empty()) {
    return account.UserName;
  }
  // A user name that is an address already reads badly with another "@".
  const char* joint = account.UserName.find('@') == std::string::npos ? "@" : " on ";
  return account.UserName + joint + account.POP3Server;
}

std::string Reached(const MailAccount& account, const std::string& error) {
  const std::string& host = account.POP3Server;
  if (Has(error, "Host not found")) {
    return "The mail server " + host + " could not be found; check the server name";
  }
  if (Has(error, "no answer from the server") || Has(error, "timed out")) {
    return "The mail server " + host + " did not answer in time";
  }
  return "The mail server " + host + " could not be reached on port " +
         std::to_string(account.POP3Port.value());
}

std::string PlainWords(const AccountOutcome& outcome, const MailAccount& account) {
  const std::string& step = outcome.failedStep;
  const std::string& error = outcome.error;
  const std::string& host = account.POP3Server;
  if (outcome.status == AccountOutcome::Status::Incomplete) {
    return "Some messages of " + Who(account) + " could not be checked";
  }
  if (step == "password") {
    return "The password for " + Who(account) + " could not be read from the keyring";
  }
  if (step == "Security") {
    return "The security setting of " + Who(account) + " is not one this program knows";
  }
  if (Has(error, "contains a line break")) {
    return "The user name or password of " + Who(account) + " contains a line break";
  }
  if (Has(error, "is not a TCP port")) {
    return "The port of " + Who(account) + " is not a port number";
  }
  const bool serverSaid = Has(error, "server said:");
  if (step == "PASS" && serverSaid) {
    if (Has(error, "[IN-USE]")) {
      return "The mailbox of " + Who(account) + " is in use by another mail program";
    }
    return "The server refused the password for " + Who(account);
  }
  if (step == "USER" && serverSaid) {
    return "The server refused the user name for " + Who(account);
  }
  if (step == "STLS") {
    if (Has(error, "refused STARTTLS")) {
      return host + " does not offer a secure connection (STARTTLS)";
    }
    return "A secure connection to " + host + " could not be made";
  }
  if (step == "connect") {
    if (serverSaid) {
      return "The mail server " + host + " turned the connection away";
    }
    if (Has(error, "TLS") || Has(error, "certificate")) {
      return NotReached(error) ? Reached(account, error)
                               : "A secure connection to " + host + " could not be made";
    }
    return Reached(account, error);
  }
  if (Has(error, "no answer from the server")) {
    return "The mail server " + host + " did not answer in time";
  }
  if (step == "STAT" || step == "LIST" || step == "UIDL") {
    return "The mailbox of " + Who(account) + " could not be read";
  }
  return "Checking " + Who(account) + " failed";
}

}  // namespace

std::string PlainProblemText(const AccountOutcome& outcome, const MailAccount& account) {
  if (outcome.error.empty() || (outcome.status != AccountOutcome::Status::Failed &&
                                outcome.status != AccountOutcome::Status::Incomplete)) {
    return {};
  }
  return PlainWords(outcome, account) + " (" + outcome.error + ")";
}

std::string RememberedMailText(const AccountOutcome& outcome, const MailAccount& account) {
  if (outcome.memoryNote.empty()) {
    return {};
  }
  return "Remembered mail for " + Who(account) + ": " + outcome.memoryNote;
}

}  // namespace bc
