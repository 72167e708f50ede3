#pragma once

#include "mime/header_text.h"
#include "mime/html_text.h"
#include "mime/line_breaks.h"
#include "mime/text_lines.h"

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace bc {

/// What the decoder makes of one retrieved message.
struct DecodedMessage {
  TextLines headerLines;  // unfolded top-level header lines, status line first (raw text)
  TextLines bodyLines;    // decoded UTF-8 text lines, no empty lines
  std::vector<std::string> attachmentNames;  // decoded UTF-8, upper case
};

/// Splits the raw text of one RETR reply into header lines, readable body lines and
/// attachment names. A line-oriented, forgiving walk rather than a full MIME parser:
/// it follows only the top-level boundary, stops at fixed line limits, and treats a
/// part (and every later part) as an attachment once a part's Content-Type carries a
/// name. Text sections are decoded (quoted-printable, base64, charset) to UTF-8.
/// The message text is untrusted; nothing in it can make the walk fail other than
/// by a line limit. One decoder walks one message at a time.
class MimeDecoder {
 public:
  /// Walks messageText: the status line ("+OK ..."), header lines, an empty line,
  /// the body and the terminator line ".", with dot-stuffing. Lines end at CR LF, a
  /// bare LF, a run of CRs before an LF (CR CR LF) or, outside the top-level
  /// header, a lone CR. In that header a lone CR is a blank inside its field.
  /// Appends to the lists of out (the caller passes them empty). Returns false when
  /// a line limit was exceeded; the lists keep what was collected either way. The
  /// terminator never enters the lists, and a stuffed body line ("..") is read as
  /// the line it stands for (".").
  bool Decode(std::string_view messageText, DecodedMessage& out);

  /// Whether Decode fills bodyLines (the default). A caller that will not read
  /// the body text switches it off: the walk, its limits, the header lines and
  /// the attachment names stay exactly the same, only the text is not decoded.
  void SetCollectBody(bool collect) { collectBody_ = collect; }

  /// Makes text the remaining text for TakeLine and PeekLine and clears
  /// EndOfMessage. The text must outlive the lines taken from it.
  void Start(std::string_view text);
  /// Removes the next line from the remaining text and returns it without its
  /// line end, with the leading dot of a stuffed line removed. The terminator line
  /// (the last line, ".") comes back as "." and raises
  /// EndOfMessage. An empty remaining text gives an empty line.
  [[gnu::always_inline]] std::string_view TakeLine() {
    const Line& next = NextLine();
    std::string_view line = text_.substr(next.from, next.length);
    const bool terminator = next.next == text_.size() && line == ".";
    pos_ = next.next;
    if (next.joined) {
      SkipJoinedLines();
    } else {
      ++at_;
    }
    if (terminator) {
      endOfMessage_ = true;
      return line;
    }
    // The server doubled the leading dot of every line starting with one.
    if (!line.empty() && line.front() == '.') {
      line.remove_prefix(1);
    }
    return line;
  }
  /// The line TakeLine would return, without removing it; the terminator line and
  /// a bare "." are returned as an empty line.
  [[nodiscard, gnu::always_inline]] std::string_view PeekLine() const {
    const Line& next = NextLine();
    std::string_view line = text_.substr(next.from, next.length);
    if (!line.empty() && line.front() == '.') {
      line.remove_prefix(1);
    }
    return line;
  }
  [[nodiscard]] bool EndOfMessage() const { return endOfMessage_; }

 private:
  class Walk;

  // One line of the text: where it starts, its length without its line end and
  // where the line after it starts.
  struct Line {
    std::size_t from;
    std::size_t length;
    std::size_t next;
    bool loneCr;  // it ends at a CR that no LF follows at once
    bool joined;  // header lines joined across lone CRs (not in lines_)
  };
  // How many lines ahead are found at once: enough that finding them costs one
  // tight loop per many lines, few enough that a walk that stops early has not
  // searched far past its end.
  static constexpr std::size_t kLinesAtOnce = 128;

  // The line at pos_. The lines ahead are found together, a batch at a time,
  // in one pass over the text: found one by one as the walk asked for them,
  // finding them cost as much as the rest of the walk.
  [[nodiscard, gnu::always_inline]] const Line& NextLine() const {
    if (at_ == lineCount_) {
      FindLines();
    }
    const Line& line = lines_[at_];
    if (line.loneCr && headerLines_) {
      return HeaderLineAcrossCr(line);
    }
    return line;
  }
  void FindLines() const;
  [[nodiscard]] const Line& HeaderLineAcrossCr(const Line& line) const;
  void SkipJoinedLines();
  // How many lines come before the next empty one and their length in all,
  // when that one is among the lines found; npos lines when it is not.
  [[nodiscard]] std::pair<std::size_t, std::size_t> LinesBeforeEmptyLine() const;

  std::string_view text_;  // the text given to Start
  std::size_t pos_ = 0;    // where the remaining text starts in text_
  mutable LineBreaks breaks_;
  mutable std::array<Line, kLinesAtOnce> lines_;  // the lines from pos_ on found so far
  mutable std::size_t lineCount_ = 0;
  mutable std::size_t at_ = 0;      // the line at pos_ in lines_
  mutable Line joinedLine_;         // of HeaderLineAcrossCr
  mutable std::size_t lastLf_ = 0;  // the last LF of text_ (its size when none), once needed
  mutable bool lastLfFound_ = false;
  bool joinedTaken_ = false;  // TakeLine has given a line joined across a lone CR
  bool endOfMessage_ = false;
  bool headerLines_ = false;  // the walk is in the top-level header
  bool collectBody_ = true;
  // Room for a text section's encoded lines and decoded bytes, kept from one
  // message to the next.
  std::vector<std::string_view> sectionLines_;
  std::string sectionBytes_;
  std::string sectionText_;
  // The walk's working text (delimiter, a part's header line and fields, a
  // nested header's value), kept likewise.
  std::string closeDelimiter_;
  std::string pendingValue_;
  std::string partHeaderLine_;
  std::string partContentType_;
  std::string partTransferEncoding_;
};

/// True when the line starts with a space or a tab (a folded header's continuation).
[[nodiscard]] inline bool IsContinuationLine(std::string_view line) {
  return !line.empty() && (line.front() == ' ' || line.front() == '\t');
}

/// The value of parameter param of a Content-Type header, in upper case; empty when
/// name is not "Content-Type" (any case) or the parameter is absent. The parameter
/// is found as a plain substring of the value (so "NAME" is also found in
/// "FILENAME"), its value runs from the next "=" to the next ";", blanks are trimmed
/// and a value in double quotes loses its first and last character.
[[nodiscard]] std::string GetContentTypeParam(std::string_view name, std::string_view value,
                                              std::string_view param);

/// As GetContentTypeParam, but the value keeps its case (base64 in an encoded file
/// name, boundaries compared without regard to case anyway).
[[nodiscard]] std::string GetContentTypeParamRaw(std::string_view name, std::string_view value,
                                                 std::string_view param);

}  // namespace bc
