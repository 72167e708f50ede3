#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace bc {

class Clock;
struct Envelope;

/// Appends one line (cut to 89998 bytes) and a line end to a text file, opening
/// and closing it for each line so nothing is lost when the program ends. Control
/// characters (C0, DEL, C1, and the Unicode line and paragraph separators) become
/// blanks: a subject or user name cannot write lines of its own. The file is
/// made readable by its owner only (it holds senders, subjects and the server's
/// words).
/// Links are never followed: a log that is a symbolic link (or no regular file),
/// or lies in a folder that is one (its own folder and, inside the program's
/// state folder, every folder up to that one), is not written, and the first
/// such refusal for a path is said once on standard error. Returns whether the
/// line was written; logging never stops mail handling.
bool AppendLogLine(const std::string& path, std::string_view line);

/// The line as AppendLogLine writes it, without its line end.
[[nodiscard]] std::string LogSafeText(std::string_view line);

/// Creates a log folder when missing and makes it the owner's alone (0700);
/// a folder that is a symbolic link (as AppendLogLine judges) is neither
/// followed nor changed, and false says so.
bool PrepareLogDir(const std::string& dir);

/// The command trace of the check pass: "[MM/DD/YY HH:MM:SS] <user> step" lines
/// appended to command.log, only while enabled (LogDeleted).
class CommandTrace {
 public:
  CommandTrace(std::string path, bool enabled, const Clock& clock);
  void Write(std::string_view userName, std::string_view step) const;
  [[nodiscard]] bool enabled() const { return enabled_; }

 private:
  std::string path_;
  bool enabled_;
  const Clock& clock_;
};

/// The daily deleted-mail log file of an account: "<UserName><year>-<month>-<day>.log"
/// without leading zeros, in `logDir`. Characters of the user name that would
/// leave the folder ("/" and NUL) are replaced by "_".
[[nodiscard]] std::string DeletedLogPath(const std::string& logDir, std::string_view userName,
                                         const std::tm& localDate);

/// The deleted-mail log line: from, subject, address, received, size and account
/// separated by two blanks.
[[nodiscard]] std::string DeletedLogLine(std::string_view from, std::string_view subject,
                                         std::string_view address, std::string_view received,
                                         std::string_view size, std::string_view account);

/// Logs a message the server removed (spam, or the Delete command) in the
/// account's deleted-mail log of today, making the folder when missing.
bool LogDeletedMessage(const std::string& logDir, std::string_view userName, const Clock& clock,
                       const Envelope& message);

}  // namespace bc
