#include "mime/html_text.h"

#include "mime/text_case.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

namespace bc {
namespace {

constexpr std::size_t npos = std::string_view::npos;

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    cp = 0xFFFD;
  }
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Entity names of U+00A0 to U+00FF, in code point order.
constexpr std::array<std::string_view, 96> kLatin1Names = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",
    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn",
    "sup2",   "sup3",   "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",
    "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde",
    "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave",
    "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde",
    "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",
    "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",
    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
    "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};

struct NamedEntity {
  std::string_view name;
  std::uint32_t cp;
};
constexpr NamedEntity kOtherNames[] = {
    {"amp", '&'},       {"lt", '<'},        {"gt", '>'},       {"quot", '"'},
    {"apos", '\''},     {"OElig", 0x152},   {"oelig", 0x153},  {"Scaron", 0x160},
    {"scaron", 0x161},  {"Yuml", 0x178},    {"fnof", 0x192},   {"circ", 0x2C6},
    {"tilde", 0x2DC},   {"ensp", 0x2002},   {"emsp", 0x2003},  {"thinsp", 0x2009},
    {"zwnj", 0x200C},   {"zwj", 0x200D},    {"lrm", 0x200E},   {"rlm", 0x200F},
    {"ndash", 0x2013},  {"mdash", 0x2014},  {"lsquo", 0x2018}, {"rsquo", 0x2019},
    {"sbquo", 0x201A},  {"ldquo", 0x201C},  {"rdquo", 0x201D}, {"bdquo", 0x201E},
    {"dagger", 0x2020}, {"Dagger", 0x2021}, {"bull", 0x2022},  {"hellip", 0x2026},
    {"permil", 0x2030}, {"prime", 0x2032},  {"Prime", 0x2033}, {"lsaquo", 0x2039},
    {"rsaquo", 0x203A}, {"euro", 0x20AC},   {"trade", 0x2122}, {"larr", 0x2190},
    {"rarr", 0x2192},   {"uarr", 0x2191},   {"darr", 0x2193},  {"hearts", 0x2665}};

std::optional<std::uint32_t> LookUpEntity(std::string_view name) {
  for (std::size_t i = 0; i < kLatin1Names.size(); ++i) {
    if (kLatin1Names[i] == name) {
      return static_cast<std::uint32_t>(0xA0 + i);
    }
  }
  for (const NamedEntity& e : kOtherNames) {
    if (e.name == name) {
      return e.cp;
    }
  }
  return std::nullopt;
}

// Cuts text before the first needle found past position 0, dropping the character
// (a whole UTF-8 sequence) just before it as well.
void CutBefore(std::string& text, std::string_view needle) {
  std::size_t pos = text.find(needle);
  if (pos == npos || pos == 0) {
    return;
  }
  std::size_t cut = pos - 1;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
    --cut;
  }
  text.resize(cut);
}

void RemoveAll(std::string& text, std::string_view needle) {
  std::size_t pos = text.find(needle);
  if (pos == npos) {
    return;
  }
  std::string out;
  out.reserve(text.size());
  std::size_t from = 0;
  while (pos != npos) {
    out.append(text, from, pos - from);
    from = pos + needle.size();
    pos = text.find(needle, from);
  }
  out.append(text, from);
  text.swap(out);
}

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// When the tag at lt opens an element whose contents nobody reads (a comment,
// style, script or head), the position just past its end; npos otherwise.
std::size_t SkipUnreadElement(std::string_view text, std::size_t lt) {
  if (text.compare(lt, 4, "<!--") == 0) {
    std::size_t end = text.find("-->", lt + 4);
    return end == npos ? text.size() : end + 3;
  }
  std::size_t nameEnd = lt + 1;
  while (nameEnd < text.size() && IsNameChar(text[nameEnd])) {
    ++nameEnd;
  }
  std::string name = ToLowerAscii(text.substr(lt + 1, nameEnd - lt - 1));
  if (name != "style" && name != "script" && name != "head") {
    return npos;
  }
  std::size_t close = FindIgnoreAsciiCase(text, "</" + name, nameEnd);
  if (name == "head") {
    // A head left open ends where the body starts.
    std::size_t body = FindIgnoreAsciiCase(text, "<body", nameEnd);
    if (body != npos && (close == npos || body < close)) {
      return body;
    }
  }
  if (close == npos) {
    return text.size();
  }
  std::size_t gt = text.find('>', close);
  return gt == npos ? text.size() : gt + 1;
}

// Replaces each comment and each style, script and head element by an empty tag
// "<>", which still separates the text around it like any other tag. Done before
// the cuts, so that "-----" in a style sheet does not cut the message.
std::string DropUnreadElements(std::string_view text) {
  if (text.find('<') == npos) {
    return std::string(text);
  }
  std::string out;
  out.reserve(text.size());
  std::size_t from = 0;
  for (std::size_t lt = text.find('<'); lt != npos; lt = text.find('<', from)) {
    std::size_t end = SkipUnreadElement(text, lt);
    if (end == npos) {
      out.append(text.substr(from, lt + 1 - from));
      from = lt + 1;
      continue;
    }
    out.append(text.substr(from, lt - from));
    out += "<>";
    from = end;
  }
  out.append(text.substr(from));
  return out;
}

}  // namespace

std::string DecodeHtmlEntities(std::string_view text) {
  std::size_t amp = text.find('&');
  if (amp == npos) {
    return std::string(text);
  }
  std::string out;
  out.reserve(text.size());
  std::size_t from = 0;
  while (amp != npos) {
    out.append(text.substr(from, amp - from));
    from = amp;
    std::size_t semi = text.find(';', amp + 1);
    // Entity names are short; a far ";" belongs to other text.
    if (semi != npos && semi - amp <= 12 && semi > amp + 1) {
      std::string_view body = text.substr(amp + 1, semi - amp - 1);
      std::optional<std::uint32_t> cp;
      if (body[0] == '#') {
        bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
        std::string_view digits = body.substr(hex ? 2 : 1);
        if (!digits.empty() && digits.size() <= 8) {
          std::uint32_t value = 0;
          bool ok = true;
          for (char c : digits) {
            int d = (c >= '0' && c <= '9')          ? c - '0'
                    : (hex && c >= 'a' && c <= 'f') ? c - 'a' + 10
                    : (hex && c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                    : -1;
            if (d < 0) {
              ok = false;
              break;
            }
            value = value * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
          }
          if (ok) {
            cp = value;
          }
        }
      } else {
        cp = LookUpEntity(body);
      }
      if (cp) {
        AppendUtf8(out, *cp);
        from = semi + 1;
      }
    }
    if (from == amp) {
      out += '&';
      from = amp + 1;
    }
    amp = text.find('&', from);
  }
  out.append(text.substr(from));
  return out;
}

void StripHtmlInPlace(std::string& text) {
  // Each step copies the text only when it has something to change: a large
  // plain body stays one string.
  if (text.find('<') != npos) {
    text = DropUnreadElements(text);
  }
  CutBefore(text, "-----");
  CutBefore(text, "<hr");
  RemoveAll(text, "&nbsp;");
  if (text.find('<') != npos) {
    std::string_view w = text;
    std::string result;
    result.reserve(text.size());
    std::size_t pos = 0;
    while (pos < w.size()) {
      std::size_t lt = w.find('<', pos);
      std::size_t gt = w.find('>', pos);
      if (lt == npos || gt == npos) {
        result.append(w.substr(pos));
        break;
      }
      if (lt < gt) {
        if (lt > pos) {
          result.append(w.substr(pos, lt - pos));
          result += ' ';
        }
      } else {
        // A ">" with no "<" before it is text, such as the quote marks of a reply.
        result.append(w.substr(pos, gt + 1 - pos));
      }
      pos = gt + 1;
    }
    text.swap(result);
  }
  if (text.find('&') != npos) {
    text = DecodeHtmlEntities(text);
  }
}

std::string StripHtml(std::string_view input) {
  std::string text(input);
  StripHtmlInPlace(text);
  return text;
}

}  // namespace bc
