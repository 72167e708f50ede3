#include "mime/charset.h"

#include "mime/text_case.h"

#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <vector>

namespace bc {
namespace {

// Code points of the bytes 0x80 to 0x9F; the rest of the code page is Latin-1.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The charset name without the blanks and quotes around it; names are then
// compared without regard to ASCII case (no copy is made in lower case).
std::string_view TrimCharset(std::string_view charset) {
  while (!charset.empty() && (charset.front() == ' ' || charset.front() == '"' ||
                              charset.front() == '\'' || charset.front() == '\t')) {
    charset.remove_prefix(1);
  }
  while (!charset.empty() && (charset.back() == ' ' || charset.back() == '"' ||
                              charset.back() == '\'' || charset.back() == '\t')) {
    charset.remove_suffix(1);
  }
  return charset;
}

bool IsOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
  return std::any_of(names.begin(), names.end(),
                     [name](std::string_view n) { return EqualsIgnoreAsciiCase(name, n); });
}

// Charsets whose pure-ASCII bytes may still mean something else: escape-based
// (ISO-2022 uses ESC, which is ASCII) and the wide or 7-bit Unicode forms.
bool AsciiIsItself(std::string_view name) {
  return !StartsWithIgnoreAsciiCase(name, "utf-16") && !StartsWithIgnoreAsciiCase(name, "utf-32") &&
         !StartsWithIgnoreAsciiCase(name, "ucs") && !EqualsIgnoreAsciiCase(name, "utf-7") &&
         !StartsWithIgnoreAsciiCase(name, "hz");
}

bool IsPlainAscii(std::string_view bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) {
    auto u = static_cast<unsigned char>(c);
    return u < 0x80 && u != 0x1B;
  });
}

void AppendWindows1252ToUtf8(std::string& out, std::string_view bytes) {
  out.reserve(out.size() + bytes.size() + bytes.size() / 4);
  std::size_t run = 0;  // where the ASCII not yet copied begins: copied a run at a time
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto u = static_cast<unsigned char>(bytes[i]);
    if (u < 0x80) {
      continue;
    }
    out.append(bytes.substr(run, i - run));
    run = i + 1;
    if (u < 0xA0) {
      AppendUtf8(out, kWindows1252High[u - 0x80]);
    } else {
      AppendUtf8(out, u);
    }
  }
  out.append(bytes.substr(run));
}

// The decoder for a charset name (normalized), made once per thread: opening
// one (ICU looks the name up among its aliases and loads the table) cost
// several times the conversion of a whole message text. The few most recently
// used are kept, an invalid one too, so an unknown name is not looked up again.
QStringDecoder MakeDecoder(const char* name) {
  return QStringDecoder(name, QStringConverter::Flag::Stateless);
}

struct CachedDecoder {
  std::string name;  // lower case
  QStringDecoder decoder;
};
CachedDecoder& DecoderFor(std::string_view name) {
  constexpr std::size_t kKept = 8;
  using Entry = CachedDecoder;
  thread_local std::vector<Entry> recent;  // most recently used first
  auto found = std::find_if(recent.begin(), recent.end(), [name](const Entry& entry) {
    return EqualsIgnoreAsciiCase(entry.name, name);
  });
  if (found == recent.end()) {
    if (recent.size() == kKept) {
      recent.pop_back();
    }
    std::string lower = ToLowerAscii(name);
    QStringDecoder decoder = MakeDecoder(lower.c_str());
    recent.insert(recent.begin(), Entry{std::move(lower), std::move(decoder)});
  } else if (found != recent.begin()) {
    std::rotate(recent.begin(), found, found + 1);
  }
  return recent.front();
}

// What decoder made of text, with its error flag. Qt keeps a decoder's error
// through resetState(): once one text in a charset was broken, every later
// one would count as broken too and be read as Windows-1252. A decoder that
// met an error is therefore made anew.
bool DecodeWithoutError(QStringDecoder& decoder, const char* name, QByteArrayView text,
                        std::u16string& out) {
  decoder.resetState();
  const QString decoded = decoder.decode(text);
  out.assign(reinterpret_cast<const char16_t*>(decoded.utf16()),
             static_cast<std::size_t>(decoded.size()));
  if (decoder.hasError()) {
    decoder = MakeDecoder(name);
    return false;
  }
  return true;
}

// Shift_JIS and ISO-2022-JP, the charsets of most Japanese mail, read through
// tables made once from ICU's own converters: ICU took longer for a short
// text than the whole rest of the message's walk. A table holds what ICU
// makes of each character alone; a text with anything the tables do not hold
// (a code ICU does not map, an escape other than to ASCII or JIS X 0208, a
// line break or the end of the text inside a double-byte run) goes to ICU.
constexpr char16_t kUnmapped = 0xFFFF;

// What ICU makes of `bytes` in the charset `name` when that is one UTF-16
// unit without an error; kUnmapped otherwise.
char16_t OneUnit(QStringDecoder& decoder, const char* name, std::string_view bytes) {
  std::u16string text;
  if (!decoder.isValid() ||
      !DecodeWithoutError(decoder, name,
                          QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
                          text) ||
      text.size() != 1) {
    return kUnmapped;
  }
  return text.front();
}

// What ICU makes of each single byte below std::size(table).
template <std::size_t N>
void MapSingleBytes(char16_t (&table)[N], QStringDecoder& decoder, const char* name) {
  for (std::size_t b = 0; b < N; ++b) {
    table[b] = OneUnit(decoder, name, std::string(1, static_cast<char>(b)));
  }
}

class ShiftJisTable {
 public:
  static constexpr const char* kName = "shift_jis";

  ShiftJisTable() {
    QStringDecoder decoder = MakeDecoder(kName);
    MapSingleBytes(single_, decoder, kName);
    for (int lead = 0; lead < kLeads; ++lead) {
      for (int trail = 0; trail < kTrails; ++trail) {
        const char pair[2] = {static_cast<char>(LeadByte(lead)),
                              static_cast<char>(kFirstTrail + trail)};
        pairs_[lead][trail] = OneUnit(decoder, kName, {pair, 2});
      }
    }
  }

  // bytes as UTF-16 appended to out; false when a byte or pair is not held.
  bool Decode(std::string_view bytes, std::u16string& out) const {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t size = bytes.size();
    for (std::size_t i = 0; i < size; ++i) {
      const int lead = LeadIndex(p[i]);
      char16_t unit;
      if (lead < 0) {
        unit = single_[p[i]];
      } else if (i + 1 < size && p[i + 1] >= kFirstTrail && p[i + 1] < kFirstTrail + kTrails) {
        unit = pairs_[lead][p[i + 1] - kFirstTrail];
        ++i;
      } else {
        return false;
      }
      if (unit == kUnmapped) {
        return false;
      }
      out += unit;
    }
    return true;
  }

 private:
  // Lead bytes 0x81-0x9F and 0xE0-0xFC; trail bytes 0x40-0xFC.
  static constexpr int kLeads = 31 + 29;
  static constexpr int kFirstTrail = 0x40;
  static constexpr int kTrails = 0xFD - kFirstTrail;
  static int LeadByte(int index) { return index < 31 ? 0x81 + index : 0xE0 + index - 31; }
  static int LeadIndex(unsigned char b) {
    if (b >= 0x81 && b <= 0x9F) {
      return b - 0x81;
    }
    if (b >= 0xE0 && b <= 0xFC) {
      return 31 + b - 0xE0;
    }
    return -1;
  }

  char16_t single_[256];
  char16_t pairs_[kLeads][kTrails];
};

class Iso2022JpTable {
 public:
  static constexpr const char* kName = "iso-2022-jp";

  Iso2022JpTable() {
    QStringDecoder decoder = MakeDecoder(kName);
    MapSingleBytes(ascii_, decoder, kName);
    for (int first = 0; first < kSide; ++first) {
      for (int second = 0; second < kSide; ++second) {
        const char text[] = {
            '\x1b', '$', 'B', static_cast<char>(0x21 + first), static_cast<char>(0x21 + second),
            '\x1b', '(', 'B'};
        jis_[first][second] = OneUnit(decoder, kName, {text, sizeof text});
      }
    }
  }

  // bytes as UTF-16 appended to out; false when they hold what is not held.
  bool Decode(std::string_view bytes, std::u16string& out) const {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t size = bytes.size();
    bool doubleByte = false;   // after ESC $ B, until ESC ( B
    bool afterEscape = false;  // ICU refuses an escape right after another
    for (std::size_t i = 0; i < size; ++i) {
      if (p[i] == 0x1B) {
        if (afterEscape) {
          return false;
        }
        afterEscape = true;
        // Only escapes that change the state: ICU refuses some that do not.
        if (i + 2 < size && p[i + 1] == '$' && p[i + 2] == 'B' && !doubleByte) {
          doubleByte = true;
        } else if (i + 2 < size && p[i + 1] == '(' && p[i + 2] == 'B' && doubleByte) {
          doubleByte = false;
        } else {
          return false;
        }
        i += 2;
        continue;
      }
      char16_t unit;
      if (!doubleByte) {
        if (p[i] >= 0x80) {
          return false;
        }
        unit = ascii_[p[i]];
      } else if (i + 1 < size && InSide(p[i]) && InSide(p[i + 1])) {
        unit = jis_[p[i] - 0x21][p[i + 1] - 0x21];
        ++i;
      } else {
        return false;
      }
      if (unit == kUnmapped) {
        return false;
      }
      out += unit;
      afterEscape = false;
    }
    return !doubleByte;
  }

 private:
  static constexpr int kSide = 94;  // rows and cells 0x21-0x7E
  static bool InSide(unsigned char b) { return b >= 0x21 && b <= 0x7E; }

  char16_t ascii_[0x80];
  char16_t jis_[kSide][kSide];
};

// bytes decoded by a table when the charset has one and it holds them all.
bool DecodeByTable(std::string_view name, std::string_view bytes, std::u16string& out) {
  if (EqualsIgnoreAsciiCase(name, Iso2022JpTable::kName)) {
    static const Iso2022JpTable table;
    return table.Decode(bytes, out);
  }
  if (EqualsIgnoreAsciiCase(name, ShiftJisTable::kName)) {
    static const ShiftJisTable table;
    return table.Decode(bytes, out);
  }
  return false;
}

}  // namespace

std::string Windows1252ToUtf8(std::string_view bytes) {
  std::string out;
  AppendWindows1252ToUtf8(out, bytes);
  return out;
}

std::string Utf8OrWindows1252(std::string_view bytes) {
  if (IsValidUtf8(bytes)) {
    return std::string(bytes);
  }
  return Windows1252ToUtf8(bytes);
}

void AppendUtf8OrWindows1252(std::string& out, std::string_view bytes) {
  if (IsValidUtf8(bytes)) {
    out += bytes;
  } else {
    AppendWindows1252ToUtf8(out, bytes);
  }
}

bool IsStatefulCharset(std::string_view charset) {
  const std::string_view name = TrimCharset(charset);
  return !AsciiIsItself(name) || StartsWithIgnoreAsciiCase(name, "iso-2022") ||
         StartsWithIgnoreAsciiCase(name, "csiso2022");
}

bool IsUtf8Charset(std::string_view charset) {
  return IsOneOf(TrimCharset(charset),
                 {"", "utf-8", "utf8", "us-ascii", "ascii", "ansi_x3.4-1968"});
}

std::string CharsetToUtf8(std::string_view bytes, std::string_view charset) {
  std::string out;
  AppendCharsetToUtf8(out, bytes, charset);
  return out;
}

namespace {

// UTF-16 text appended to out as UTF-8; false (out unchanged) when it holds a
// surrogate that is not half of a pair, which QString's rules decide.
bool AppendUtf16AsUtf8(std::string& out, std::u16string_view text) {
  const std::size_t start = out.size();
  out.resize(start + text.size() * 3);  // at most three bytes per unit
  char* to = out.data() + start;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit < 0x80) {
      *to++ = static_cast<char>(unit);
    } else if (unit < 0x800) {
      *to++ = static_cast<char>(0xC0 | (unit >> 6));
      *to++ = static_cast<char>(0x80 | (unit & 0x3F));
    } else if (unit < 0xD800 || unit > 0xDFFF) {
      *to++ = static_cast<char>(0xE0 | (unit >> 12));
      *to++ = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
      *to++ = static_cast<char>(0x80 | (unit & 0x3F));
    } else if (unit < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
               text[i + 1] <= 0xDFFF) {
      const char32_t cp = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                          (static_cast<char32_t>(text[i + 1]) - 0xDC00);
      ++i;
      *to++ = static_cast<char>(0xF0 | (cp >> 18));
      *to++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      *to++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *to++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out.resize(start);
      return false;
    }
  }
  out.resize(static_cast<std::size_t>(to - out.data()));
  return true;
}

}  // namespace

void AppendCharsetToUtf8(std::string& out, std::string_view bytes, std::string_view charset) {
  const std::string_view name = TrimCharset(charset);
  if (IsPlainAscii(bytes) && AsciiIsItself(name)) {
    out += bytes;
    return;
  }
  if (IsUtf8Charset(name)) {
    AppendUtf8OrWindows1252(out, bytes);
    return;
  }
  // Mail labelled Latin-1 is nearly always really Windows-1252 (curly quotes,
  // euro sign), and the superset reads true Latin-1 text the same way.
  if (IsOneOf(name, {"windows-1252", "cp1252", "iso-8859-1", "iso8859-1", "latin1", "latin-1",
                     "iso_8859-1", "l1"})) {
    AppendWindows1252ToUtf8(out, bytes);
    return;
  }
  // Decoded into room kept from one text to the next, then written as UTF-8
  // straight into out: a QString and its UTF-8 copy cost an allocation each.
  thread_local std::u16string units;
  units.clear();
  if (!DecodeByTable(name, bytes, units)) {
    CachedDecoder& cached = DecoderFor(name);
    if (!cached.decoder.isValid() ||
        !DecodeWithoutError(cached.decoder, cached.name.c_str(),
                            QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
                            units)) {
      AppendUtf8OrWindows1252(out, bytes);
      return;
    }
  }
  const std::u16string_view text(units);
  if (!AppendUtf16AsUtf8(out, text)) {
    const QByteArray utf8 = QStringView(text.data(), static_cast<qsizetype>(text.size())).toUtf8();
    out.append(utf8.constData(), static_cast<std::size_t>(utf8.size()));
  }
}

}  // namespace bc
