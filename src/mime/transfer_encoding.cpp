#include "mime/transfer_encoding.h"

#include "mime/text_case.h"

#include <array>

namespace bc {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  return -1;
}

// Appends text with "=XX" escapes decoded; underscoreIsSpace for encoded words.
void AppendQuotedPrintable(std::string& out, std::string_view text, bool underscoreIsSpace) {
  out.reserve(out.size() + text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    // Copy the run up to the next character that needs work in one go.
    std::size_t special =
        underscoreIsSpace ? text.find_first_of("=_", i) : FindByte(text.substr(i), '=');
    if (!underscoreIsSpace && special != std::string_view::npos) {
      special += i;
    }
    if (special == std::string_view::npos) {
      special = text.size();
    }
    out.append(text.data() + i, special - i);
    i = special;
    if (i == text.size()) {
      break;
    }
    if (text[i] == '_') {
      out += ' ';
      ++i;
      continue;
    }
    if (i + 2 < text.size()) {
      const int hi = HexValue(text[i + 1]);
      const int lo = HexValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 3;
        continue;
      }
    }
    out += '=';
    ++i;
  }
}

constexpr std::array<signed char, 256> MakeBase64Table() {
  std::array<signed char, 256> table{};
  for (auto& v : table) {
    v = -1;
  }
  constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (int i = 0; i < 64; ++i) {
    table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
  }
  return table;
}
constexpr std::array<signed char, 256> kBase64 = MakeBase64Table();

}  // namespace

TransferEncoding ParseTransferEncoding(std::string_view value) {
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
    value.remove_prefix(1);
  }
  if (StartsWithIgnoreAsciiCase(value, "quoted-printable")) {
    return TransferEncoding::QuotedPrintable;
  }
  if (StartsWithIgnoreAsciiCase(value, "base64")) {
    return TransferEncoding::Base64;
  }
  return TransferEncoding::Identity;
}

std::string DecodeQuotedPrintable(const std::vector<std::string_view>& lines) {
  std::string out;
  AppendQuotedPrintableLines(out, lines);
  return out;
}

void AppendQuotedPrintableLines(std::string& out, std::span<const std::string_view> lines) {
  for (std::string_view line : lines) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) {
      line.remove_suffix(1);
    }
    bool soft = !line.empty() && line.back() == '=';
    if (soft) {
      line.remove_suffix(1);
    }
    AppendQuotedPrintable(out, line, false);
    if (!soft) {
      out += '\n';
    }
  }
}

std::string DecodeQEncoding(std::string_view text) {
  std::string out;
  AppendQuotedPrintable(out, text, true);
  return out;
}

std::string DecodeBase64(std::string_view text) {
  std::string out;
  AppendBase64(out, {&text, 1});
  return out;
}

void AppendBase64(std::string& out, std::span<const std::string_view> pieces) {
  std::size_t size = 0;
  for (std::string_view piece : pieces) {
    size += piece.size();
  }
  // Written through a pointer into room made at once: a growing string
  // checked its capacity for every byte.
  const std::size_t start = out.size();
  out.resize(start + size / 4 * 3 + 3);
  char* to = out.data() + start;
  unsigned int bits = 0;
  int count = 0;
  for (std::string_view piece : pieces) {
    for (char c : piece) {
      const int v = kBase64[static_cast<unsigned char>(c)];
      if (v < 0) {
        continue;
      }
      bits = (bits << 6) | static_cast<unsigned int>(v);
      count += 6;
      if (count >= 8) {
        count -= 8;
        *to++ = static_cast<char>((bits >> count) & 0xFF);
      }
    }
  }
  out.resize(static_cast<std::size_t>(to - out.data()));
}

}  // namespace bc
