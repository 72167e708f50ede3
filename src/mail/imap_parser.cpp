#include "mail/imap_parser.h"

#include <algorithm>
#include <cctype>

namespace bc {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return out;
}

// The length of a literal marker "{n}" or "{n+}" ending `line`, or nullopt when
// the line does not end in one. `tooLong` is set when n has too many digits.
std::optional<size_t> LiteralAtEnd(std::string_view line, bool& tooLong) {
  tooLong = false;
  if (line.empty() || line.back() != '}') {
    return std::nullopt;
  }
  const size_t open = line.rfind('{');
  if (open == std::string_view::npos) {
    return std::nullopt;
  }
  std::string_view digits = line.substr(open + 1, line.size() - open - 2);
  if (!digits.empty() && digits.back() == '+') {
    digits.remove_suffix(1);
  }
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(), IsDigit)) {
    return std::nullopt;
  }
  if (digits.size() > 12) {
    tooLong = true;
    return std::nullopt;
  }
  size_t n = 0;
  for (char c : digits) {
    n = n * 10 + static_cast<size_t>(c - '0');
  }
  return n;
}

// Atom characters: anything printable but the specials ("\" starts a flag). "]"
// ends an atom only where no "[" opened a section inside it.
bool IsAtomChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u > 0x20 && u != 0x7f && c != '(' && c != ')' && c != '{' && c != '"' && c != ']';
}

class ValueParser {
 public:
  ValueParser(std::string_view text, const std::vector<std::string>& literals, size_t& literalIndex,
              int maxDepth)
      : text_(text), literals_(literals), literalIndex_(literalIndex), maxDepth_(maxDepth) {}

  bool ParseAll(std::vector<ImapValue>& out, std::string& error) {
    const bool ok = ParseList(out, 0, false);
    if (!ok) {
      error = error_;
    }
    return ok;
  }

 private:
  bool ParseList(std::vector<ImapValue>& out, int depth, bool closed) {
    for (;;) {
      while (at_ < text_.size() && text_[at_] == ' ') {
        ++at_;
      }
      if (at_ == text_.size()) {
        return !closed || Fail("a list is not closed");
      }
      const char c = text_[at_];
      if (c == ')') {
        if (!closed) {
          return Fail("a ')' closes no list");
        }
        ++at_;
        return true;
      }
      ImapValue value;
      if (c == '(') {
        if (depth + 1 >= maxDepth_) {
          return Fail("lists are nested too deeply");
        }
        ++at_;
        value.kind = ImapValue::Kind::List;
        if (!ParseList(value.items, depth + 1, true)) {
          return false;
        }
      } else if (c == '"') {
        if (!ParseQuoted(value)) {
          return false;
        }
      } else if (c == '{') {
        if (!ParseLiteral(value)) {
          return false;
        }
      } else if (!ParseAtom(value)) {
        return false;
      }
      out.push_back(std::move(value));
    }
  }

  bool ParseQuoted(ImapValue& value) {
    value.kind = ImapValue::Kind::String;
    for (++at_; at_ < text_.size(); ++at_) {
      char c = text_[at_];
      if (c == '"') {
        ++at_;
        return true;
      }
      if (c == '\\') {
        if (++at_ == text_.size()) {
          break;
        }
        c = text_[at_];
      }
      value.text += c;
    }
    return Fail("a quoted string is not closed");
  }

  bool ParseLiteral(ImapValue& value) {
    const size_t close = text_.find('}', at_);
    if (close == std::string_view::npos) {
      return Fail("a literal marker is not closed");
    }
    // The reader took the literal's bytes when the marker ended a line.
    if (literalIndex_ >= literals_.size()) {
      return Fail("a literal marker has no literal");
    }
    value.kind = ImapValue::Kind::String;
    value.text = literals_[literalIndex_++];
    at_ = close + 1;
    return true;
  }

  bool ParseAtom(ImapValue& value) {
    const size_t start = at_;
    int brackets = 0;
    while (at_ < text_.size()) {
      const char c = text_[at_];
      if (c == '[') {
        ++brackets;
      } else if (c == ']' && brackets > 0) {
        --brackets;
      } else if (brackets == 0 && !IsAtomChar(c)) {
        break;
      } else if (brackets > 0 && (c == '\r' || c == '\n')) {
        break;
      }
      ++at_;
    }
    if (at_ == start) {
      return Fail(std::string("unexpected character '") + text_[at_] + "'");
    }
    value.text = std::string(text_.substr(start, at_ - start));
    value.kind = Upper(value.text) == "NIL" ? ImapValue::Kind::Nil : ImapValue::Kind::Atom;
    if (value.kind == ImapValue::Kind::Nil) {
      value.text.clear();
    }
    return true;
  }

  bool Fail(std::string why) {
    error_ = std::move(why);
    return false;
  }

  std::string_view text_;
  const std::vector<std::string>& literals_;
  size_t& literalIndex_;
  int maxDepth_;
  size_t at_ = 0;
  std::string error_;
};

// Splits "[CODE args] text" into code and text.
void SplitCode(std::string_view rest, std::string& code, std::string& text) {
  if (!rest.empty() && rest.front() == '[') {
    const size_t close = rest.find(']');
    if (close != std::string_view::npos) {
      code = std::string(rest.substr(1, close - 1));
      rest.remove_prefix(close + 1);
      if (!rest.empty() && rest.front() == ' ') {
        rest.remove_prefix(1);
      }
    }
  }
  text = std::string(rest);
}

bool IsStatusName(std::string_view name) {
  return name == "OK" || name == "NO" || name == "BAD" || name == "BYE" || name == "PREAUTH";
}

}  // namespace

ImapResponseReader::Result ImapResponseReader::Fail(std::string why) {
  error_ = std::move(why);
  return Result::Error;
}

ImapResponseReader::Result ImapResponseReader::Take(ImapResponse& out) {
  if (!error_.empty()) {
    return Result::Error;
  }
  for (;;) {
    if (consumed_ == buffer_.size()) {
      buffer_.clear();
      consumed_ = 0;
      return Result::NeedMore;
    }
    if (inLiteral_) {
      const size_t n = std::min(literalLeft_, buffer_.size() - consumed_);
      partial_.literals.back().append(buffer_, consumed_, n);
      consumed_ += n;
      literalLeft_ -= n;
      inLiteral_ = literalLeft_ > 0;
      continue;
    }
    const size_t end = buffer_.find('\n', consumed_);
    const size_t take = (end == std::string::npos ? buffer_.size() : end) - consumed_;
    if (lineSoFar_.size() + take > limits_.maxLine + 1) {
      return Fail("the server sent a line longer than " + std::to_string(limits_.maxLine) +
                  " bytes");
    }
    lineSoFar_.append(buffer_, consumed_, take);
    partialBytes_ += take;
    if (partialBytes_ > limits_.maxResponse) {
      return Fail("the server sent a response larger than " + std::to_string(limits_.maxResponse) +
                  " bytes");
    }
    if (end == std::string::npos) {
      consumed_ = buffer_.size();
      continue;
    }
    consumed_ = end + 1;
    ++partialBytes_;
    if (!lineSoFar_.empty() && lineSoFar_.back() == '\r') {
      lineSoFar_.pop_back();
    }
    if (lineSoFar_.size() > limits_.maxLine) {
      return Fail("the server sent a line longer than " + std::to_string(limits_.maxLine) +
                  " bytes");
    }
    bool tooLong = false;
    const std::optional<size_t> literal = LiteralAtEnd(lineSoFar_, tooLong);
    partial_.line += lineSoFar_;
    lineSoFar_.clear();
    if (tooLong || (literal && *literal > limits_.maxLiteral)) {
      return Fail("the server announced a literal larger than " +
                  std::to_string(limits_.maxLiteral) + " bytes");
    }
    if (literal) {
      if (partialBytes_ + *literal > limits_.maxResponse) {
        return Fail("the server sent a response larger than " +
                    std::to_string(limits_.maxResponse) + " bytes");
      }
      partialBytes_ += *literal;
      partial_.literals.emplace_back();
      partial_.literals.back().reserve(std::min<size_t>(*literal, 64 * 1024));
      literalLeft_ = *literal;
      inLiteral_ = literalLeft_ > 0;
      continue;
    }
    out = std::move(partial_);
    partial_ = {};
    partialBytes_ = 0;
    if (consumed_ > 64 * 1024 && consumed_ * 2 > buffer_.size()) {
      buffer_.erase(0, consumed_);
      consumed_ = 0;
    }
    return Result::Response;
  }
}

bool ImapValue::IsAtom(std::string_view name) const {
  return kind == Kind::Atom && Upper(text) == Upper(name);
}

std::optional<int64_t> ImapValue::Number() const {
  if (kind != Kind::Atom || text.empty() || text.size() > 18 ||
      !std::all_of(text.begin(), text.end(), IsDigit)) {
    return std::nullopt;
  }
  int64_t n = 0;
  for (char c : text) {
    n = n * 10 + (c - '0');
  }
  return n;
}

bool ParseImapValues(std::string_view text, const std::vector<std::string>& literals,
                     size_t& literalIndex, std::vector<ImapValue>& out, std::string& error,
                     int maxDepth) {
  return ValueParser(text, literals, literalIndex, maxDepth).ParseAll(out, error);
}

ImapParsed ParseImapResponse(const ImapResponse& response) {
  ImapParsed parsed;
  std::string_view line = response.line;
  const size_t space = line.find(' ');
  parsed.tag = std::string(line.substr(0, space));
  std::string_view rest = space == std::string_view::npos ? "" : line.substr(space + 1);
  if (parsed.tag == "+") {
    parsed.kind = ImapParsed::Kind::Continuation;
    parsed.text = std::string(rest);
    return parsed;
  }
  if (parsed.tag.empty() || space == std::string_view::npos) {
    return parsed;
  }
  const size_t nameEnd = rest.find(' ');
  std::string first = Upper(rest.substr(0, nameEnd));
  std::string_view after = nameEnd == std::string_view::npos ? "" : rest.substr(nameEnd + 1);
  if (IsStatusName(first)) {
    if (parsed.tag != "*" && (first == "BYE" || first == "PREAUTH")) {
      return parsed;
    }
    parsed.kind = ImapParsed::Kind::Status;
    parsed.name = std::move(first);
    SplitCode(after, parsed.code, parsed.text);
    return parsed;
  }
  if (parsed.tag != "*") {
    return parsed;
  }
  if (!first.empty() && std::all_of(first.begin(), first.end(), IsDigit)) {
    if (first.size() > 10) {
      return parsed;
    }
    const size_t nameEnd2 = after.find(' ');
    parsed.kind = ImapParsed::Kind::Numbered;
    parsed.number = std::stoll(first);
    parsed.name = Upper(after.substr(0, nameEnd2));
    parsed.rest = nameEnd2 == std::string_view::npos ? "" : std::string(after.substr(nameEnd2 + 1));
    if (parsed.name.empty()) {
      parsed.kind = ImapParsed::Kind::Malformed;
    }
    return parsed;
  }
  parsed.kind = ImapParsed::Kind::Data;
  parsed.name = std::move(first);
  parsed.text = std::string(after);
  return parsed;
}

std::vector<std::string> ImapWords(std::string_view text) {
  std::vector<std::string> words;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = std::min(text.find(' ', at), text.size());
    if (end > at) {
      words.push_back(Upper(text.substr(at, end - at)));
    }
    at = end + 1;
  }
  return words;
}

std::optional<std::string> ImapQuoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u >= 0x7f) {
      return std::nullopt;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
    }
    out += c;
  }
  return out + "\"";
}

}  // namespace bc
