#include "mime/header_text.h"

#include "mime/charset.h"
#include "mime/text_case.h"
#include "mime/transfer_encoding.h"

#include <algorithm>
#include <map>

namespace bc {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) {
    s.remove_prefix(1);
  }
  while (!s.empty() && IsBlank(s.back())) {
    s.remove_suffix(1);
  }
  return s;
}

// Text that DecodeHeaderText returns as it is: ASCII without a line break or
// the start of an encoded word, as nearly every parameter value is. One pass
// over it, where the general test took three.
bool IsPlainHeaderText(std::string_view text) {
  bool equals = false;  // the byte before was '='
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80 || c == '\r' || c == '\n' || (equals && c == '?')) {
      return false;
    }
    equals = c == '=';
  }
  return true;
}

struct EncodedWord {
  std::size_t end = 0;  // one past "?="
  std::string charset;
  std::string bytes;
};

// Parses "=?charset?E?text?=" starting at pos (which holds "=?").
std::optional<EncodedWord> ParseEncodedWord(std::string_view text, std::size_t pos) {
  std::size_t charsetStart = pos + 2;
  std::size_t q1 = text.find('?', charsetStart);
  if (q1 == std::string_view::npos || q1 == charsetStart || q1 + 3 > text.size() ||
      text[q1 + 2] != '?') {
    return std::nullopt;
  }
  std::string_view charset = text.substr(charsetStart, q1 - charsetStart);
  if (std::any_of(charset.begin(), charset.end(), IsBlank)) {
    return std::nullopt;
  }
  char encoding = text[q1 + 1];
  std::size_t textStart = q1 + 3;
  std::size_t close = text.find("?=", textStart);
  if (close == std::string_view::npos) {
    return std::nullopt;
  }
  std::string_view payload = text.substr(textStart, close - textStart);
  if (std::any_of(payload.begin(), payload.end(), IsBlank)) {
    return std::nullopt;
  }
  EncodedWord word;
  // RFC 2231 allows a language after the charset: "utf-8*en".
  word.charset = std::string(charset.substr(0, charset.find('*')));
  if (encoding == 'B' || encoding == 'b') {
    word.bytes = DecodeBase64(payload);
  } else if (encoding == 'Q' || encoding == 'q') {
    word.bytes = DecodeQEncoding(payload);
  } else {
    return std::nullopt;
  }
  word.end = close + 2;
  return word;
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      auto hex = [](char c) {
        if (c >= '0' && c <= '9')
          return c - '0';
        if (c >= 'a' && c <= 'f')
          return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
          return c - 'A' + 10;
        return -1;
      };
      int hi = hex(text[i + 1]);
      int lo = hex(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

// Calls visit(name, value) with each parameter of 'type/sub; a=1; b="x;y"' in
// order (the media type is skipped): name trimmed in its sent case, value a
// callable that makes the unquoted value. visit returns false to stop. Making
// the value only on demand lets a search for one parameter copy nothing else.
template <typename Visit>
void VisitParameters(std::string_view value, Visit visit) {
  std::size_t pos = FindByte(value, ';');
  if (pos == std::string_view::npos) {
    return;  // a media type alone
  }
  if (FindByte(value.substr(0, pos), '"') != std::string_view::npos) {
    pos = 0;  // a quote in the media type: skip it as quoted text
  }
  // Skip the media type.
  while (pos < value.size() && value[pos] != ';') {
    if (value[pos] == '"') {
      std::size_t close = value.find('"', pos + 1);
      pos = close == std::string_view::npos ? value.size() : close;
    }
    ++pos;
  }
  while (pos < value.size()) {
    ++pos;  // the ';'
    std::size_t eq = pos;
    while (eq < value.size() && value[eq] != '=' && value[eq] != ';') {
      ++eq;
    }
    const std::string_view name = Trim(value.substr(pos, eq - pos));
    if (eq >= value.size() || value[eq] == ';') {
      pos = eq;
      continue;
    }
    std::size_t v = eq + 1;
    while (v < value.size() && IsBlank(value[v])) {
      ++v;
    }
    bool more = true;
    if (v < value.size() && value[v] == '"') {
      const std::size_t from = v + 1;
      ++v;
      while (v < value.size() && value[v] != '"') {
        if (value[v] == '\\' && v + 1 < value.size()) {
          ++v;
        }
        ++v;
      }
      const std::string_view quoted = value.substr(from, v - from);
      more = visit(name, [quoted] {
        if (quoted.find('\\') == std::string_view::npos) {
          return std::string(quoted);  // nothing escaped: the usual case
        }
        std::string text;
        for (std::size_t i = 0; i < quoted.size(); ++i) {
          if (quoted[i] == '\\' && i + 1 < quoted.size()) {
            ++i;
          }
          text += quoted[i];
        }
        return text;
      });
      // Skip the closing quote and anything up to the next ';'.
      while (v < value.size() && value[v] != ';') {
        ++v;
      }
    } else {
      std::size_t end = value.find(';', v);
      if (end == std::string_view::npos) {
        end = value.size();
      }
      const std::string_view plain = Trim(value.substr(v, end - v));
      more = visit(name, [plain] { return std::string(plain); });
      v = end;
    }
    if (!more) {
      return;
    }
    pos = v;
  }
}

// 'charset'language'percent-text' of an RFC 2231 extended value.
std::string DecodeExtendedValue(std::string_view value, std::string* charsetOut) {
  std::size_t q1 = value.find('\'');
  std::size_t q2 = q1 == std::string_view::npos ? q1 : value.find('\'', q1 + 1);
  if (q2 == std::string_view::npos) {
    return PercentDecode(value);
  }
  if (charsetOut) {
    *charsetOut = std::string(value.substr(0, q1));
  }
  return PercentDecode(value.substr(q2 + 1));
}

// The value of a parameter as VisitParameters would make it, read straight
// from where its name was first found (at) when that is plainly a parameter's
// name: no quote before it, so every ';' up to there ends a parameter and the
// one before the name starts this one; blanks either side of the name; then
// '='. Being the first mention, no parameter before can bear the name. A quoted
// value with an escape, and anything else, is left to the walk (nothing).
// Most parameters have this form, and the walk cost several times as much.
std::optional<std::string_view> PlainParameterAt(std::string_view value, std::size_t at,
                                                 std::string_view name) {
  if (name.empty() || std::any_of(name.begin(), name.end(), [](char c) {
        return c == ';' || c == '=' || c == '"' || IsBlank(c);
      })) {
    return std::nullopt;
  }
  std::size_t before = at;
  while (before > 0 && IsBlank(value[before - 1])) {
    --before;
  }
  if (before == 0 || value[before - 1] != ';' ||
      FindByte(value.substr(0, before), '"') != std::string_view::npos) {
    return std::nullopt;
  }
  std::size_t v = at + name.size();
  while (v < value.size() && IsBlank(value[v])) {
    ++v;
  }
  if (v == value.size() || value[v] != '=') {
    return std::nullopt;
  }
  ++v;
  while (v < value.size() && IsBlank(value[v])) {
    ++v;
  }
  if (v < value.size() && value[v] == '"') {
    const std::size_t close = value.find('"', v + 1);
    if (close == std::string_view::npos) {
      return std::nullopt;
    }
    const std::string_view quoted = value.substr(v + 1, close - v - 1);
    if (FindByte(quoted, '\\') != std::string_view::npos) {
      return std::nullopt;
    }
    return quoted;
  }
  const std::size_t end = FindByte(value.substr(v), ';');
  return Trim(value.substr(v, end == std::string_view::npos ? std::string_view::npos : end));
}

}  // namespace

std::string DecodeHeaderText(std::string_view rawValue) {
  if (IsPlainHeaderText(rawValue)) {
    return std::string(rawValue);
  }
  if (rawValue.find("=?") == std::string_view::npos &&
      std::none_of(rawValue.begin(), rawValue.end(),
                   [](char c) { return c == '\r' || c == '\n'; })) {
    return Utf8OrWindows1252(rawValue);  // no word, no line break
  }
  std::string out;
  std::string pendingCharset;
  std::string pendingBytes;
  bool pending = false;
  auto flush = [&] {
    if (pending) {
      out += CharsetToUtf8(pendingBytes, pendingCharset);
      pendingBytes.clear();
      pending = false;
    }
  };
  std::string plain;
  auto appendPlain = [&](std::string_view text) {
    plain.clear();
    for (char c : text) {
      if (c != '\r' && c != '\n') {
        plain += c;
      }
    }
    out += Utf8OrWindows1252(plain);
  };

  std::size_t pos = 0;
  std::size_t search = 0;
  bool lastWasWord = false;
  while (true) {
    std::size_t start = rawValue.find("=?", search);
    if (start == std::string_view::npos) {
      break;
    }
    std::optional<EncodedWord> word = ParseEncodedWord(rawValue, start);
    if (!word) {
      search = start + 2;
      continue;
    }
    std::string_view between = rawValue.substr(pos, start - pos);
    bool onlyBlanks = std::all_of(between.begin(), between.end(), IsBlank);
    if (!(lastWasWord && onlyBlanks)) {
      flush();
      appendPlain(between);
    }
    if (pending && (!EqualsIgnoreAsciiCase(pendingCharset, word->charset) ||
                    IsStatefulCharset(word->charset))) {
      flush();
    }
    pendingCharset = word->charset;
    pendingBytes += word->bytes;
    pending = true;
    lastWasWord = true;
    pos = search = word->end;
  }
  flush();
  appendPlain(rawValue.substr(pos));
  return out;
}

std::optional<std::string> FindHeaderParameter(std::string_view value, std::string_view parameter) {
  // Every name of the parameter, in any of its forms, holds it.
  const std::size_t first = FindIgnoreAsciiCase(value, parameter);
  if (first == std::string_view::npos) {
    return std::nullopt;
  }
  if (FindByte(value, '*') == std::string_view::npos) {
    // No extended or continued parameter can be present: the first of that
    // name is the answer, found without splitting the rest.
    if (const std::optional<std::string_view> simple = PlainParameterAt(value, first, parameter)) {
      return IsPlainHeaderText(*simple) ? std::string(*simple) : DecodeHeaderText(*simple);
    }
    std::optional<std::string> found;
    VisitParameters(value, [&](std::string_view name, auto makeValue) {
      if (!EqualsIgnoreAsciiCase(name, parameter)) {
        return true;
      }
      std::string text = makeValue();
      found = IsPlainHeaderText(text) ? std::move(text) : DecodeHeaderText(text);
      return false;
    });
    return found;
  }
  // One walk over the parameters, copying only those of this name: the first
  // extended form (name*) wins over all else; then continuations (name*0,
  // name*1*, ...) joined in numeric order, the charset given by the first
  // section when it is extended; then the plain form.
  std::optional<std::string> whole;
  std::optional<std::string> plain;
  std::map<int, std::string> sections;
  std::string charset;
  VisitParameters(value, [&](std::string_view name, auto makeValue) {
    if (!StartsWithIgnoreAsciiCase(name, parameter)) {
      return true;
    }
    if (name.size() == parameter.size()) {
      if (!plain) {
        plain = makeValue();
      }
      return true;
    }
    if (name[parameter.size()] != '*') {
      return true;
    }
    std::string_view rest = name.substr(parameter.size() + 1);
    if (rest.empty()) {
      std::string wholeCharset;
      const std::string bytes = DecodeExtendedValue(makeValue(), &wholeCharset);
      whole = CharsetToUtf8(bytes, wholeCharset);
      return false;
    }
    const bool extended = rest.back() == '*';
    if (extended) {
      rest.remove_suffix(1);
    }
    if (rest.empty() || rest.size() > 3 ||
        !std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return true;
    }
    const int index = std::stoi(std::string(rest));
    if (!extended) {
      sections[index] = makeValue();
    } else if (index == 0) {
      sections[index] = DecodeExtendedValue(makeValue(), &charset);
    } else {
      sections[index] = PercentDecode(makeValue());
    }
    return true;
  });
  if (whole) {
    return whole;
  }
  if (!sections.empty()) {
    std::string joined;
    for (const auto& [index, text] : sections) {
      joined += text;
    }
    return charset.empty() ? DecodeHeaderText(joined) : CharsetToUtf8(joined, charset);
  }
  if (plain) {
    return DecodeHeaderText(*plain);
  }
  return std::nullopt;
}

std::string MediaTypeOf(std::string_view contentTypeValue) {
  return ToLowerAscii(Trim(contentTypeValue.substr(0, contentTypeValue.find(';'))));
}

}  // namespace bc
