#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bc {

/// How large one IMAP server response may grow. A response is its lines and
/// the literals `{n}` between them; each bound, once passed, fails the reader
/// for good: the server's text is untrusted, and a response that never ends must
/// not grow the process without end.
struct ImapLimits {
  size_t maxLine = 256 * 1024;       // one line between literals, without CR LF
  size_t maxLiteral = 1024 * 1024;   // one literal (the session lowers it per command)
  size_t maxResponse = 4096 * 1024;  // lines and literals of one response together
  int maxDepth = 32;                 // nested parenthesised lists
};

/// One whole response as it came: its lines joined without their line ends (a
/// literal's `{n}` marker stays in place) and the literals in order.
struct ImapResponse {
  std::string line;
  std::vector<std::string> literals;
};

/// Cuts the server's byte stream into whole responses, however it is split
/// across reads. Feed bytes, then Take until it says NeedMore.
class ImapResponseReader {
 public:
  explicit ImapResponseReader(ImapLimits limits = {}) : limits_(limits) {}

  enum class Result { Response, NeedMore, Error };

  void Feed(std::string_view bytes) { buffer_.append(bytes); }
  /// The next whole response into `out`; Error (for good) when a bound was passed.
  Result Take(ImapResponse& out);
  /// Literals of the responses still to come may be at most this long.
  void SetLiteralLimit(size_t bytes) { limits_.maxLiteral = bytes; }
  [[nodiscard]] const ImapLimits& limits() const { return limits_; }
  /// Bytes fed and not yet part of a taken response.
  [[nodiscard]] size_t Buffered() const { return buffer_.size() - consumed_ + partialBytes_; }
  [[nodiscard]] const std::string& error() const { return error_; }

 private:
  Result Fail(std::string why);

  ImapLimits limits_;
  std::string buffer_;
  size_t consumed_ = 0;
  ImapResponse partial_;
  std::string lineSoFar_;   // the current line while its end has not come
  size_t literalLeft_ = 0;  // bytes of the current literal still to come
  bool inLiteral_ = false;
  size_t partialBytes_ = 0;  // bytes of the response so far
  std::string error_;
};

/// A value of a response: an atom (numbers, flags and section names like
/// "BODY[HEADER.FIELDS (FROM)]" included), a string (quoted or literal), a
/// parenthesised list or NIL.
struct ImapValue {
  enum class Kind { Atom, String, List, Nil };
  Kind kind = Kind::Nil;
  std::string text;
  std::vector<ImapValue> items;

  [[nodiscard]] bool IsAtom(std::string_view name) const;
  /// The text of an atom or string; empty for NIL and lists.
  [[nodiscard]] const std::string& Text() const { return text; }
  /// A non-negative decimal atom below 2^63, else nullopt.
  [[nodiscard]] std::optional<int64_t> Number() const;
};

/// Reads the values of `text` (a part of a response line) with the response's
/// literals; false with `error` set when the text is not a run of values.
bool ParseImapValues(std::string_view text, const std::vector<std::string>& literals,
                     size_t& literalIndex, std::vector<ImapValue>& out, std::string& error,
                     int maxDepth = 32);

/// A response sorted out: which kind it is and its parts.
struct ImapParsed {
  enum class Kind {
    Status,        // "<tag> OK|NO|BAD ..." or "* OK|NO|BAD|BYE|PREAUTH ..."
    Continuation,  // "+ ..."
    Numbered,      // "* <n> EXISTS|RECENT|EXPUNGE|FETCH ..."
    Data,          // "* CAPABILITY ...", "* FLAGS ...", "* LIST ...", ...
    Malformed,
  };
  Kind kind = Kind::Malformed;
  std::string tag;     // "*", "+" or the command's tag
  std::string name;    // OK, NO, BAD, BYE, PREAUTH; EXISTS, FETCH...; CAPABILITY... (upper case)
  int64_t number = 0;  // Numbered: the message sequence number or count
  std::string code;    // Status: the response code in brackets, without them
  std::string text;    // Status and Continuation: the human text; Data: the rest
  std::string rest;    // Numbered: the text after the name
};

/// Sorts a response out; never fails (a response it cannot read is Malformed).
[[nodiscard]] ImapParsed ParseImapResponse(const ImapResponse& response);

/// The atoms of a CAPABILITY list (upper case).
[[nodiscard]] std::vector<std::string> ImapWords(std::string_view text);

/// A string as an IMAP quoted string, or nullopt when it must go as a literal
/// (line ends, NUL or 8-bit bytes).
[[nodiscard]] std::optional<std::string> ImapQuoted(std::string_view text);

}  // namespace bc
