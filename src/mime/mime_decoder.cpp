#include "mime/mime_decoder.h"

#include "mime/charset.h"
#include "mime/text_case.h"
#include "mime/transfer_encoding.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace bc {
namespace {

constexpr std::size_t npos = std::string_view::npos;

// Outlook and Outlook Express name their boundaries with this marker; the walk uses
// it to stop inside a nested multipart section it does not follow by boundary.
constexpr std::string_view kNextPart = "------=_NextPart";

// Line limits of the walk: a message that exceeds one ends with false.
constexpr int kMaxBlankLinesBeforeBody = 101;
constexpr int kMaxEmptyLinesInSinglePart = 21;  // the 22nd ends the body
constexpr int kMaxPreambleLines = 1000;
constexpr int kMaxParts = 1000;
constexpr int kMaxPartHeaderLines = 1000;
constexpr int kMaxContinuationLines = 1000;
constexpr int kMaxBlankLinesAfterPartHeaders = 1001;
constexpr int kMaxTextPartLines = 1001;
constexpr int kMaxAttachmentPartLines = 1000;
constexpr int kMaxEpilogueLines = 1000;

// Room made for the top-level header lines at once: real mail carries 15 to 40,
// and growing the list one doubling at a time cost an allocation per step.
constexpr std::size_t kTypicalHeaderLines = 32;
constexpr std::size_t kTypicalHeaderBytes = 4096;

// GetContentTypeParamRaw of a Content-Type value, as a view into it.
std::string_view ContentTypeParamOf(std::string_view value, std::string_view param);

// Whether needle (not empty) occurs in text: candidates found by its first byte.
bool Contains(std::string_view text, std::string_view needle) {
  std::size_t from = 0;
  while (text.size() - from >= needle.size()) {
    const std::size_t at =
        FindByte(text.substr(from, text.size() - from - needle.size() + 1), needle.front());
    if (at == npos) {
      return false;
    }
    if (text.compare(from + at, needle.size(), needle) == 0) {
      return true;
    }
    from += at + 1;
  }
  return false;
}

// All three markers a text line is tested for hold a '-': one search for it
// clears most lines of all three.
bool HasDash(std::string_view line) {
  return FindByte(line, '-') != npos;
}

// Lines the walk never takes for readable text: empty ones and the header and
// marker lines of sections it reads as text. `dash`: HasDash(line).
bool IsReadableLine(std::string_view line, bool dash) {
  if (line.empty()) {
    return false;
  }
  if (!dash) {
    return true;
  }
  return !Contains(line, kNextPart) && !Contains(line, "Content-Type:") &&
         !Contains(line, "Content-Transfer-Encoding:");
}

// EqualsIgnoreAsciiCase with its length test here, where it inlines: the walk
// compares every line with the boundary, and nearly all differ in length.
bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && EqualsIgnoreAsciiCase(a, b);
}

// Whether the line may open with a Content- header, by its first letter.
bool MayBeContentHeader(std::string_view line) {
  return !line.empty() && (line.front() == 'C' || line.front() == 'c');
}

std::string_view TrimWhite(std::string_view s) {
  auto white = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && white(s.front())) {
    s.remove_prefix(1);
  }
  while (!s.empty() && white(s.back())) {
    s.remove_suffix(1);
  }
  return s;
}

// The line without the blanks it starts with.
std::string_view SkipWhite(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n')) {
    ++i;
  }
  return s.substr(i);
}

struct HeaderField {
  std::string_view name;
  std::string_view value;
};

// "Name: value" split at the first ":"; a line without ":" has neither.
HeaderField SplitHeader(std::string_view line) {
  std::size_t colon = FindByte(line, ':');
  if (colon == npos) {
    return {};
  }
  return {TrimWhite(line.substr(0, colon)), TrimWhite(line.substr(colon + 1))};
}

// How the lines of one text section are to be decoded.
struct SectionFormat {
  TransferEncoding encoding = TransferEncoding::Identity;
  std::string charset;
  // Only text (or untyped) sections are transfer-decoded: an inline image without
  // a name stays as the lines it was sent as rather than becoming binary noise.
  bool text = true;
};

// As MediaTypeOf(value) is empty or "text/...", without making the lowered copy.
bool IsTextType(std::string_view contentTypeValue) {
  std::string_view media = TrimWhite(contentTypeValue.substr(0, FindByte(contentTypeValue, ';')));
  return media.empty() || StartsWithIgnoreAsciiCase(media, "text/");
}

// The charset parameter of a Content-Type value; empty when there is none.
std::string CharsetOf(std::string_view contentTypeValue) {
  return FindHeaderParameter(contentTypeValue, "charset").value_or("");
}

SectionFormat FormatOf(std::string_view contentType, std::string_view transferEncoding) {
  SectionFormat format;
  format.text = IsTextType(contentType);
  format.charset = CharsetOf(contentType);
  format.encoding =
      format.text ? ParseTransferEncoding(transferEncoding) : TransferEncoding::Identity;
  return format;
}

// Calls `take` with every non-empty line of `text` (lines end at CR or LF).
template <typename Take>
void ForEachLine(std::string_view text, Take take) {
  LineBreaks breaks;
  breaks.Reset(text);
  std::size_t from = 0;
  while (from < text.size()) {
    const std::size_t end = breaks.Next(from);
    if (end > from) {
      take(text.substr(from, end - from));
    }
    from = end + 1;
  }
}

void AppendLines(std::string_view text, TextLines& out) {
  ForEachLine(text, [&out](std::string_view line) { out.push_back(line); });
}

// An ASCII line, as nearly all are, is its own UTF-8: tested here, where it
// inlines, rather than by the general check a call away.
void AddUtf8OrWindows1252(TextLines& lines, std::string_view line) {
  if (IsAscii(line)) {
    lines.push_back(line);
    return;
  }
  lines.AddLine([line](std::string& text) { AppendUtf8OrWindows1252(text, line); });
}

// Collects the readable lines of one section and decodes them into body lines when
// the section ends or its format changes.
class SectionText {
 public:
  // lines and bytes: room for the work, empty, kept by the decoder from one
  // section and message to the next.
  SectionText(TextLines& bodyLines, bool collect, std::vector<std::string_view>& lines,
              std::string& bytes, std::string& converted)
      : bodyLines_(bodyLines),
        collect_(collect),
        lines_(lines),
        bytes_(bytes),
        converted_(converted) {}

  [[nodiscard]] const SectionFormat& Format() const { return format_; }
  void SetFormat(SectionFormat format) {
    Flush();
    format_ = std::move(format);
    utf8_ = IsUtf8Charset(format_.charset);
    plain_ = (!format_.text || format_.encoding == TransferEncoding::Identity) && utf8_;
  }

  void Add(std::string_view line) {
    if (!collect_) {
      return;
    }
    if (plain_) {
      AddUtf8OrWindows1252(bodyLines_, line);
    } else {
      lines_.push_back(line);
    }
  }
  // A line that is not part of the encoded text (a folded header line read as text).
  void AddUnencoded(std::string_view line) {
    if (!collect_) {
      return;
    }
    Flush();
    AddUtf8OrWindows1252(bodyLines_, line);
  }

  void Flush() {
    if (lines_.empty()) {
      return;
    }
    std::string& bytes = bytes_;
    bytes.clear();
    if (format_.text && format_.encoding == TransferEncoding::QuotedPrintable) {
      AppendQuotedPrintableLines(bytes, lines_);
    } else if (format_.text && format_.encoding == TransferEncoding::Base64) {
      AppendBase64(bytes, lines_);
    } else {
      for (std::string_view line : lines_) {
        bytes += line;
        bytes += '\n';
      }
    }
    lines_.clear();
    if (utf8_) {
      // Per line, so one stray byte does not turn a whole UTF-8 text to Windows-1252.
      ForEachLine(bytes, [this](std::string_view line) { AddUtf8OrWindows1252(bodyLines_, line); });
    } else {
      converted_.clear();
      AppendCharsetToUtf8(converted_, bytes, format_.charset);
      AppendLines(converted_, bodyLines_);
    }
  }

 private:
  TextLines& bodyLines_;
  const bool collect_;
  SectionFormat format_;
  // Of format_, worked out once per section rather than once per line.
  bool utf8_ = true;
  bool plain_ = true;
  std::vector<std::string_view>& lines_;
  std::string& bytes_;
  std::string& converted_;  // bytes_ as UTF-8
};

std::string AttachmentName(std::string_view contentTypeValue) {
  std::optional<std::string> name = FindHeaderParameter(contentTypeValue, "name");
  if (!name || name->empty()) {
    name = DecodeHeaderText(GetContentTypeParamRaw("Content-Type", contentTypeValue, "name"));
  }
  return ToUpperUtf8(*name);
}

}  // namespace

// One walk over one message: the steps of Decode with their working values.
class MimeDecoder::Walk {
 public:
  Walk(MimeDecoder& decoder, DecodedMessage& out)
      : d_(decoder),
        out_(out),
        section_(out.bodyLines, decoder.collectBody_, decoder.sectionLines_, decoder.sectionBytes_,
                 decoder.sectionText_),
        closeDelimiter_(decoder.closeDelimiter_),
        pendingValue_(decoder.pendingValue_),
        partHeaderLine_(decoder.partHeaderLine_),
        partContentType_(decoder.partContentType_),
        partTransferEncoding_(decoder.partTransferEncoding_) {}

  bool Run() {
    bool result = RunSteps();
    section_.Flush();
    return result;
  }

 private:
  bool RunSteps() {
    ReadTopHeaders();
    if (d_.EndOfMessage()) {
      return true;
    }
    int blanks = 0;
    while (d_.PeekLine().empty()) {
      if (++blanks > kMaxBlankLinesBeforeBody) {
        return false;
      }
      d_.TakeLine();
      if (d_.EndOfMessage()) {
        return true;
      }
    }
    return multipart_ ? MultipartBody() : SinglePartBody();
  }

  // Top-level headers: no limit, folded lines joined, the last Content-Type decides
  // the boundary.
  void ReadTopHeaders() {
    // The lines of the last fields read, by number: the list's text may move
    // while it grows, so no view is kept.
    std::size_t contentType = kNone;
    std::size_t transferEncoding = kNone;
    d_.headerLines_ = true;
    // The header's own size when its end is among the lines found ahead: a
    // guess too large for a short message cost an allocation of its own kind.
    const auto [lines, bytes] = d_.LinesBeforeEmptyLine();
    if (lines != npos) {
      out_.headerLines.reserve(out_.headerLines.size() + lines, out_.headerLines.bytes() + bytes);
    } else {
      out_.headerLines.reserve(
          out_.headerLines.size() + kTypicalHeaderLines,
          out_.headerLines.bytes() + std::min(d_.text_.size() - d_.pos_, kTypicalHeaderBytes));
    }
    do {
      std::string_view first = d_.TakeLine();
      if (d_.EndOfMessage()) {
        break;
      }
      out_.headerLines.AddLine([&](std::string& text) {
        const std::size_t from = text.size();
        text += first;
        while (IsContinuationLine(d_.PeekLine())) {
          text += d_.TakeLine();
        }
        // A lone CR inside the field: only a line joined across one holds a CR.
        if (const std::size_t cr = d_.joinedTaken_ ? text.find('\r', from) : npos; cr != npos) {
          std::replace(text.begin() + static_cast<std::ptrdiff_t>(cr), text.end(), '\r', ' ');
        }
      });
      const std::string_view line = out_.headerLines.back();
      if (!MayBeContentHeader(SkipWhite(line))) {
        continue;  // neither field the walk reads
      }
      HeaderField field = SplitHeader(line);
      if (SameIgnoringCase(field.name, "content-type")) {
        contentType = out_.headerLines.size() - 1;
      } else if (SameIgnoringCase(field.name, "content-transfer-encoding")) {
        transferEncoding = out_.headerLines.size() - 1;
      }
    } while (!d_.EndOfMessage() && !d_.PeekLine().empty());
    d_.headerLines_ = false;
    const std::string_view contentTypeValue = HeaderValueAt(contentType);
    // Views into the header lines, which do not change from here on; the
    // format they give is worked out only for a single-part body.
    topContentType_ = contentTypeValue;
    topTransferEncoding_ = HeaderValueAt(transferEncoding);
    const std::string_view boundary = ContentTypeParamOf(contentTypeValue, "BOUNDARY");
    multipart_ = !boundary.empty();
    closeDelimiter_.assign("--").append(boundary).append("--");
    delimiter_ = std::string_view(closeDelimiter_).substr(0, closeDelimiter_.size() - 2);
  }

  bool SinglePartBody() {
    section_.SetFormat(FormatOf(topContentType_, topTransferEncoding_));
    int empties = 0;
    while (true) {
      std::string_view line = d_.TakeLine();
      if (d_.EndOfMessage()) {
        return true;
      }
      if (line.empty()) {
        if (empties == kMaxEmptyLinesInSinglePart) {
          return true;
        }
        ++empties;
        continue;
      }
      const bool dash = HasDash(line);
      if (dash && Contains(line, kNextPart)) {
        if (++nextPartCount_ >= 2) {
          return true;
        }
        section_.SetFormat(SectionFormat{});
        continue;
      }
      ReadTextLine(line, dash);
    }
  }

  bool MultipartBody() {
    int preamble = 0;
    while (!IsDelimiter(d_.PeekLine())) {
      if (++preamble > kMaxPreambleLines) {
        return false;
      }
      d_.TakeLine();
      if (d_.EndOfMessage()) {
        return true;
      }
    }
    int parts = 0;
    while (true) {
      if (IsCloseDelimiter(d_.PeekLine())) {
        return Epilogue();
      }
      d_.TakeLine();  // normally the delimiter
      if (d_.EndOfMessage()) {
        return true;
      }
      if (++parts > kMaxParts) {
        return false;
      }
      std::string& contentType = partContentType_;
      std::string& transferEncoding = partTransferEncoding_;
      contentType.clear();
      transferEncoding.clear();
      int headers = 0;
      while (!d_.PeekLine().empty()) {
        std::string_view first = d_.TakeLine();
        if (d_.EndOfMessage()) {
          return true;
        }
        if (++headers > kMaxPartHeaderLines) {
          return false;
        }
        std::string& line = partHeaderLine_;
        line.assign(first);
        int continuations = 0;
        while (IsContinuationLine(d_.PeekLine())) {
          if (++continuations > kMaxContinuationLines) {
            return false;
          }
          line += d_.TakeLine();
        }
        if (!MayBeContentHeader(SkipWhite(line))) {
          continue;  // neither field the walk reads
        }
        HeaderField field = SplitHeader(line);
        if (SameIgnoringCase(field.name, "content-type")) {
          // Upper case is empty only when the name is.
          if (!ContentTypeParamOf(field.value, "name").empty()) {
            out_.attachmentNames.push_back(AttachmentName(field.value));
            attachmentSeen_ = true;
          }
          contentType = field.value;
        } else if (SameIgnoringCase(field.name, "content-transfer-encoding")) {
          transferEncoding = field.value;
        }
      }
      int blanks = 0;
      while (d_.PeekLine().empty()) {
        if (++blanks > kMaxBlankLinesAfterPartHeaders) {
          return false;
        }
        d_.TakeLine();
        if (d_.EndOfMessage()) {
          return true;
        }
      }
      // Once a part has carried a name, it and every later part are attachments.
      int lines = 0;
      if (attachmentSeen_) {
        while (!IsPartEnd(d_.PeekLine())) {
          d_.TakeLine();
          if (d_.EndOfMessage()) {
            return true;
          }
          if (++lines > kMaxAttachmentPartLines) {
            return false;
          }
        }
        continue;
      }
      section_.SetFormat(FormatOf(contentType, transferEncoding));
      while (!IsPartEnd(d_.PeekLine())) {
        std::string_view line = d_.TakeLine();
        if (d_.EndOfMessage()) {
          return true;
        }
        if (++lines > kMaxTextPartLines) {
          return false;
        }
        const bool dash = HasDash(line);
        if (dash && Contains(line, kNextPart)) {
          ++nextPartCount_;
          section_.SetFormat(SectionFormat{});
        }
        // The marker count is never reset: past the second marker of a nested
        // section, each text part ends at its first line.
        if (nextPartCount_ >= 2) {
          break;
        }
        ReadTextLine(line, dash);
      }
      section_.Flush();
    }
  }

  bool Epilogue() {
    int lines = 0;
    while (true) {
      d_.TakeLine();
      if (d_.EndOfMessage()) {
        return true;
      }
      if (++lines > kMaxEpilogueLines) {
        return false;
      }
    }
  }

  // A line of a text section. The headers of a nested section arrive here as text:
  // they are left out of the body, but their charset and transfer encoding apply to
  // the lines that follow them.
  void ReadTextLine(std::string_view line, bool dash) {
    const bool header = MayBeContentHeader(line);
    if (header && StartsWithIgnoreAsciiCase(line, "Content-Type:")) {
      pendingHeader_ = PendingHeader::ContentType;
      pendingValue_ = line.substr(13);
      ApplyNestedHeader();
    } else if (header && StartsWithIgnoreAsciiCase(line, "Content-Transfer-Encoding:")) {
      pendingHeader_ = PendingHeader::TransferEncoding;
      pendingValue_ = line.substr(26);
      ApplyNestedHeader();
    } else if (pendingHeader_ != PendingHeader::None && IsContinuationLine(line)) {
      pendingValue_ += line;
      ApplyNestedHeader();
      // The walk keeps a folded header continuation as a body line.
      section_.AddUnencoded(line);
      return;
    } else {
      pendingHeader_ = PendingHeader::None;
    }
    if (IsReadableLine(line, dash)) {
      section_.Add(line);
    }
  }

  void ApplyNestedHeader() {
    SectionFormat format = section_.Format();
    if (pendingHeader_ == PendingHeader::ContentType) {
      format.text = IsTextType(pendingValue_);
      format.charset = CharsetOf(pendingValue_);
    } else {
      format.encoding = ParseTransferEncoding(pendingValue_);
    }
    section_.SetFormat(std::move(format));
  }

  // The value of top-level header line `index`; empty for kNone.
  [[nodiscard]] std::string_view HeaderValueAt(std::size_t index) const {
    return index == kNone ? std::string_view() : SplitHeader(out_.headerLines[index]).value;
  }

  [[nodiscard]] bool IsDelimiter(std::string_view line) const {
    return SameIgnoringCase(line, delimiter_);
  }
  [[nodiscard]] bool IsCloseDelimiter(std::string_view line) const {
    return SameIgnoringCase(line, closeDelimiter_);
  }
  [[nodiscard]] bool IsPartEnd(std::string_view line) const {
    return IsDelimiter(line) || IsCloseDelimiter(line);
  }

  enum class PendingHeader { None, ContentType, TransferEncoding };

  MimeDecoder& d_;
  DecodedMessage& out_;
  SectionText section_;
  std::string_view topContentType_;  // the top-level fields' values
  std::string_view topTransferEncoding_;
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  bool multipart_ = false;       // the top-level Content-Type names a boundary
  std::string& closeDelimiter_;  // "--" boundary "--"
  std::string_view delimiter_;   // "--" boundary, in closeDelimiter_
  int nextPartCount_ = 0;
  bool attachmentSeen_ = false;
  PendingHeader pendingHeader_ = PendingHeader::None;
  std::string& pendingValue_;
  // A part's header line and fields.
  std::string& partHeaderLine_;
  std::string& partContentType_;
  std::string& partTransferEncoding_;
};

namespace {

constexpr std::size_t kReserveFrom = 256 * 1024;
constexpr std::size_t kShortLine = 24;

// The LF bytes of `text`, eight at a time: a byte-wise count took as long as
// the whole walk.
std::size_t CountLineFeeds(std::string_view text) {
  constexpr std::uint64_t kLow7 = 0x7f7f7f7f7f7f7f7fULL;
  constexpr std::uint64_t kLineFeeds = 0x0a0a0a0a0a0a0a0aULL;
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  std::size_t count = 0;
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, sizeof word);
    const std::uint64_t x = word ^ kLineFeeds;  // a zero byte where there was an LF
    // The top bit of each zero byte, then their sum in the top byte (no popcount
    // instruction is assumed).
    const std::uint64_t zero = ~((((x & kLow7) + kLow7) | x) | kLow7);
    count += static_cast<std::size_t>(((zero >> 7) * kOnes) >> 56);
  }
  for (; i < text.size(); ++i) {
    count += text[i] == '\n';
  }
  return count;
}

}  // namespace

bool MimeDecoder::Decode(std::string_view messageText, DecodedMessage& out) {
  if (collectBody_ && messageText.size() > kReserveFrom) {
    // At most one body line per line end: reserving it spares a large message the
    // copies of a doubling list (its text is mostly attachments, left to grow).
    out.bodyLines.reserve(out.bodyLines.size() + 1 + CountLineFeeds(messageText));
  } else if (collectBody_) {
    // A small message's text is at most its own size, and its lines rarely
    // shorter than kShortLine: each growing step cost as much as a few lines.
    out.bodyLines.reserve(out.bodyLines.size() + messageText.size() / kShortLine,
                          out.bodyLines.bytes() + messageText.size());
  }
  Start(messageText);
  sectionLines_.clear();  // nothing of an earlier walk that did not end
  Walk walk(*this, out);
  return walk.Run();
}

void MimeDecoder::Start(std::string_view text) {
  text_ = text;
  pos_ = 0;
  breaks_.Reset(text);
  lineCount_ = 0;
  at_ = 0;
  lastLfFound_ = false;
  joinedTaken_ = false;
  endOfMessage_ = false;
  headerLines_ = false;
}

namespace {

constexpr std::size_t kBlock = 64;

// The LFs and CRs of the 64 bytes at `at` (bit i: at[i]), from one load of each 16.
struct BlockBreaks {
  std::uint64_t lineFeeds = 0;
  std::uint64_t crs = 0;
};
[[gnu::always_inline]] inline BlockBreaks MarkBlock(const char* at) {
  BlockBreaks marks;
#if defined(__SSE2__)
  // Written out for the four 16-byte pieces: as a loop it shifted by a count
  // held in a register.
  const __m128i lineFeeds = _mm_set1_epi8('\n');
  const __m128i crs = _mm_set1_epi8('\r');
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16));
  const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 32));
  const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 48));
  auto mask = [](__m128i chunk, __m128i wanted) {
    return static_cast<std::uint64_t>(
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, wanted))));
  };
  marks.lineFeeds = mask(a, lineFeeds) | mask(b, lineFeeds) << 16 | mask(c, lineFeeds) << 32 |
                    mask(d, lineFeeds) << 48;
  marks.crs = mask(a, crs) | mask(b, crs) << 16 | mask(c, crs) << 32 | mask(d, crs) << 48;
#else
  for (std::size_t i = 0; i < kBlock; ++i) {
    marks.lineFeeds |= static_cast<std::uint64_t>(at[i] == '\n') << i;
    marks.crs |= static_cast<std::uint64_t>(at[i] == '\r') << i;
  }
#endif
  return marks;
}

}  // namespace

// Lines end at CR LF, a bare LF and a lone CR: mail stored by Unix tools and
// relayed by lax servers keeps bare LF, and reading such a message as one line
// would lose every header. A run of CRs before an LF is one line end: servers
// that add a CR to lines stored with CR LF send CR CR LF.
// Most blocks of 64 bytes hold no CR but before an LF: their lines end at
// their LFs, found from one mask. A block with a lone CR, and the end of the
// text, are cut line by line.
void MimeDecoder::FindLines() const {
  at_ = 0;
  const std::size_t size = text_.size();
  std::size_t from = pos_;
  if (from >= size) {
    lines_[0] = Line{size, 0, size, false, false};  // an empty remaining text: an empty line
    lineCount_ = 1;
    return;
  }
  // Written field by field through a pointer: a Line made whole and copied in
  // stalled on its own stores.
  Line* line = lines_.data();
  Line* const last = line + kLinesAtOnce;
  const char* data = text_.data();
  std::size_t block = from;
  while (line != last && from < size) {
    const std::size_t left = size - block;
    BlockBreaks marks;
    bool breakAfter = false;  // the byte after the block is a CR or an LF
    if (left > kBlock) {
      marks = MarkBlock(data + block);
      breakAfter = data[block + kBlock] == '\n' || data[block + kBlock] == '\r';
    } else {  // the last block, marked in a copy padded with zeros
      char padded[kBlock] = {};
      std::memcpy(padded, data + block, left);
      marks = MarkBlock(padded);
    }
    // A CR followed by neither a CR nor an LF ends a line of its own.
    const std::uint64_t followers =
        (marks.lineFeeds | marks.crs) >> 1 | static_cast<std::uint64_t>(breakAfter) << (kBlock - 1);
    if ((marks.crs & ~followers) == 0) {
      std::uint64_t lineFeeds = marks.lineFeeds;
      for (; lineFeeds != 0 && line != last; lineFeeds &= lineFeeds - 1) {
        const std::size_t lf = block + static_cast<std::size_t>(std::countr_zero(lineFeeds));
        std::size_t end = lf;
        if (end > from && data[end - 1] == '\r') {  // CR LF; rarely more CRs before it
          --end;
          while (end > from && data[end - 1] == '\r') {
            --end;
          }
        }
        line->from = from;
        line->length = end - from;
        line->next = lf + 1;
        line->loneCr = false;
        line->joined = false;
        ++line;
        from = lf + 1;
      }
      if (left <= kBlock && lineFeeds == 0 && line != last && from < size) {
        *line++ = Line{from, size - from, size, false, false};  // a last line without an end
        from = size;
      }
      block += kBlock;
      continue;
    }
    // Line by line, up to the end of this block.
    const std::size_t blockEnd = std::min(block + kBlock, size);
    while (from < blockEnd && line != last) {
      const std::size_t end = breaks_.Next(from);
      std::size_t next = end;
      bool loneCr = false;
      if (end < size) {
        if (data[end] == '\n') {
          next = end + 1;
        } else {
          std::size_t after = end + 1;  // past the run of CRs
          while (after < size && data[after] == '\r') {
            ++after;
          }
          loneCr = after == size || data[after] != '\n';
          next = loneCr ? end + 1 : after + 1;
        }
      }
      line->from = from;
      line->length = end - from;
      line->next = next;
      line->loneCr = loneCr;
      line->joined = false;
      ++line;
      from = next;
    }
    block = from;
  }
  lineCount_ = static_cast<std::size_t>(line - lines_.data());
}

// In the top-level header only an LF ends a line: a lone CR there is part of
// the field (the walk makes it a blank), so "Name\r<address>" keeps its
// address. A text with no LF after the CR still breaks at it.
const MimeDecoder::Line& MimeDecoder::HeaderLineAcrossCr(const Line& line) const {
  if (!lastLfFound_) {
    lastLf_ = text_.rfind('\n');
    lastLfFound_ = true;
  }
  const std::size_t cr = line.from + line.length;
  if (lastLf_ == std::string_view::npos || lastLf_ < cr) {
    return line;
  }
  const std::size_t lf = text_.find('\n', cr);
  std::size_t runAt = lf;  // where the CRs just before the LF begin
  while (runAt > cr && text_[runAt - 1] == '\r') {
    --runAt;
  }
  joinedLine_ = Line{line.from, runAt - line.from, lf + 1, false, true};
  return joinedLine_;
}

std::pair<std::size_t, std::size_t> MimeDecoder::LinesBeforeEmptyLine() const {
  if (at_ == lineCount_) {
    FindLines();
  }
  std::size_t bytes = 0;
  for (std::size_t i = at_; i < lineCount_; ++i) {
    if (lines_[i].length == 0) {
      return {i - at_, bytes};
    }
    bytes += lines_[i].length;
  }
  return {npos, 0};
}

void MimeDecoder::SkipJoinedLines() {
  joinedTaken_ = true;
  while (at_ < lineCount_ && lines_[at_].from < pos_) {
    ++at_;
  }
  if (at_ < lineCount_ && lines_[at_].from != pos_) {
    at_ = lineCount_;  // found again from pos_
  }
}

std::string GetContentTypeParamRaw(std::string_view name, std::string_view value,
                                   std::string_view param) {
  if (!EqualsIgnoreAsciiCase(name, "content-type")) {
    return {};
  }
  return std::string(ContentTypeParamOf(value, param));
}

namespace {

std::string_view ContentTypeParamOf(std::string_view value, std::string_view param) {
  std::size_t found = FindIgnoreAsciiCase(value, param);
  if (param.empty() || found == npos) {
    return {};
  }
  std::size_t equals = value.find('=', found);
  std::size_t start = equals == npos ? 0 : equals + 1;
  std::size_t semicolon = value.find(';', start);
  std::string_view result = (semicolon != npos && semicolon > start)
                                ? value.substr(start, semicolon - start)
                                : value.substr(start);
  while (!result.empty() && result.front() == ' ') {
    result.remove_prefix(1);
  }
  while (!result.empty() && result.back() == ' ') {
    result.remove_suffix(1);
  }
  if (!result.empty() && result.front() == '"') {
    result = result.size() >= 2 ? result.substr(1, result.size() - 2) : std::string_view{};
  }
  return result;
}

}  // namespace

std::string GetContentTypeParam(std::string_view name, std::string_view value,
                                std::string_view param) {
  return ToUpperUtf8(GetContentTypeParamRaw(name, value, param));
}

}  // namespace bc
