#include "extras/regex_matcher.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace bc {
namespace {

bool IsSpace(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// One conversion of a scanf format ("%5d", "%*s", "%[a-z]").
struct Conversion {
  bool suppress = false;
  std::size_t width = 0;  // 0: no width given
  char kind = 0;          // d i u o x X f e g E G a A F s c [ n
  std::string set;        // members of a "[...]" set
  bool negated = false;
};

// Parses the conversion after a "%" at f; advances f. False for a malformed one.
bool ParseConversion(const char*& f, Conversion& conversion) {
  if (*f == '*') {
    conversion.suppress = true;
    ++f;
  }
  while (*f >= '0' && *f <= '9') {
    if (conversion.width < 1'000'000) {
      conversion.width = conversion.width * 10 + static_cast<std::size_t>(*f - '0');
    }
    ++f;
  }
  while (*f != '\0' && std::strchr("hlLjztq", *f) != nullptr) {
    ++f;
  }
  if (*f == '\0') {
    return false;
  }
  conversion.kind = *f++;
  if (conversion.kind == '[') {
    if (*f == '^') {
      conversion.negated = true;
      ++f;
    }
    if (*f == ']') {
      conversion.set += *f++;
    }
    while (*f != '\0' && *f != ']') {
      if (*f == '-' && !conversion.set.empty() && f[1] != ']' && f[1] != '\0') {
        auto from = static_cast<unsigned char>(conversion.set.back());
        auto to = static_cast<unsigned char>(f[1]);
        for (unsigned c = from + 1u; c <= to; ++c) {
          conversion.set += static_cast<char>(c);
        }
        f += 2;
      } else {
        conversion.set += *f++;
      }
    }
    if (*f != ']') {
      return false;
    }
    ++f;
  }
  return std::strchr("diuoxXfeEgGaAFsc[n", conversion.kind) != nullptr;
}

template <typename T>
bool StoreInteger(const ScanTarget& target, T value) {
  return std::visit(
      [&](auto* place) {
        using Place = std::remove_pointer_t<decltype(place)>;
        if constexpr (std::is_integral_v<Place>) {
          *place = static_cast<Place>(value);
          return true;
        } else {
          return false;
        }
      },
      target);
}

bool StoreFloating(const ScanTarget& target, double value) {
  return std::visit(
      [&](auto* place) {
        using Place = std::remove_pointer_t<decltype(place)>;
        if constexpr (std::is_floating_point_v<Place>) {
          *place = static_cast<Place>(value);
          return true;
        } else {
          return false;
        }
      },
      target);
}

bool StoreText(const ScanTarget& target, std::string_view value) {
  if (auto* const* place = std::get_if<std::string*>(&target)) {
    (*place)->assign(value);
    return true;
  }
  return false;
}

}  // namespace

int CountScanConversions(const char* format) {
  int count = 0;
  for (const char* f = format; *f != '\0';) {
    if (*f++ != '%') {
      continue;
    }
    if (*f == '%') {
      ++f;
      continue;
    }
    Conversion conversion;
    if (!ParseConversion(f, conversion)) {
      break;
    }
    if (!conversion.suppress) {
      ++count;
    }
  }
  return count;
}

int ScanValues(std::string_view input, const char* format, std::span<const ScanTarget> outputs) {
  if (static_cast<std::size_t>(CountScanConversions(format)) > outputs.size()) {
    return 0;
  }
  std::size_t in = 0;
  std::size_t next = 0;
  int stored = 0;
  auto at = [&](std::size_t i) { return i < input.size() ? input[i] : '\0'; };
  auto skipSpace = [&] {
    while (in < input.size() && IsSpace(input[in])) {
      ++in;
    }
  };
  for (const char* f = format; *f != '\0';) {
    if (IsSpace(*f)) {
      while (IsSpace(*f)) {
        ++f;
      }
      skipSpace();
      continue;
    }
    if (*f != '%' || f[1] == '%') {
      if (*f == '%') {
        ++f;
        skipSpace();
      }
      if (at(in) != *f) {
        return stored;
      }
      ++in;
      ++f;
      continue;
    }
    ++f;
    Conversion c;
    if (!ParseConversion(f, c)) {
      return stored;
    }
    if (c.kind == 'n') {
      if (!c.suppress) {
        if (next >= outputs.size() || !StoreInteger(outputs[next++], in)) {
          return stored;
        }
      }
      continue;
    }
    if (c.kind != 'c' && c.kind != '[') {
      skipSpace();
    }
    if (in >= input.size()) {
      return stored;
    }
    std::size_t limit = c.width == 0 ? input.size() - in : std::min(c.width, input.size() - in);
    std::size_t end = in;
    bool ok = true;
    if (c.kind == 's') {
      while (end < in + limit && !IsSpace(input[end])) {
        ++end;
      }
      ok = end > in && (c.suppress || StoreText(outputs[next++], input.substr(in, end - in)));
    } else if (c.kind == 'c') {
      std::size_t count = c.width == 0 ? 1 : c.width;
      if (input.size() - in < count) {
        return stored;
      }
      end = in + count;
      ok = c.suppress || StoreText(outputs[next++], input.substr(in, count));
    } else if (c.kind == '[') {
      while (end < in + limit && (c.set.find(input[end]) != std::string::npos) != c.negated) {
        ++end;
      }
      ok = end > in && (c.suppress || StoreText(outputs[next++], input.substr(in, end - in)));
    } else if (std::strchr("diuoxX", c.kind) != nullptr) {
      int base = c.kind == 'o' ? 8 : (c.kind == 'x' || c.kind == 'X') ? 16 : c.kind == 'i' ? 0 : 10;
      std::string token;
      if (end < in + limit && (input[end] == '+' || input[end] == '-')) {
        token += input[end++];
      }
      if ((base == 16 || base == 0) && end + 1 < in + limit && input[end] == '0' &&
          (input[end + 1] == 'x' || input[end + 1] == 'X')) {
        token += "0x";
        end += 2;
        base = 16;
      } else if (base == 0) {
        base = (end < in + limit && input[end] == '0') ? 8 : 10;
      }
      std::size_t digitsStart = end;
      while (end < in + limit) {
        char ch = input[end];
        int value = std::isdigit(static_cast<unsigned char>(ch)) ? ch - '0'
                    : std::isxdigit(static_cast<unsigned char>(ch))
                        ? std::tolower(static_cast<unsigned char>(ch)) - 'a' + 10
                        : 99;
        if (value >= base) {
          break;
        }
        token += ch;
        ++end;
      }
      if (end == digitsStart) {
        return stored;
      }
      if (!c.suppress) {
        bool isSigned = c.kind == 'd' || c.kind == 'i';
        ok = isSigned ? StoreInteger(outputs[next++], std::strtoll(token.c_str(), nullptr, base))
                      : StoreInteger(outputs[next++], std::strtoull(token.c_str(), nullptr, base));
      }
    } else {
      std::string token;
      auto digits = [&] {
        std::size_t start = end;
        while (end < in + limit && std::isdigit(static_cast<unsigned char>(input[end]))) {
          token += input[end++];
        }
        return end - start;
      };
      if (end < in + limit && (input[end] == '+' || input[end] == '-')) {
        token += input[end++];
      }
      std::size_t count = digits();
      if (end < in + limit && input[end] == '.') {
        token += input[end++];
        count += digits();
      }
      if (count == 0) {
        return stored;
      }
      if (end + 1 < in + limit && (input[end] == 'e' || input[end] == 'E') &&
          (std::isdigit(static_cast<unsigned char>(input[end + 1])) ||
           ((input[end + 1] == '+' || input[end + 1] == '-') && end + 2 < in + limit &&
            std::isdigit(static_cast<unsigned char>(input[end + 2]))))) {
        token += input[end++];
        if (input[end] == '+' || input[end] == '-') {
          token += input[end++];
        }
        digits();
      }
      ok = c.suppress || StoreFloating(outputs[next++], std::strtod(token.c_str(), nullptr));
    }
    if (!ok) {
      return stored;
    }
    if (!c.suppress) {
      ++stored;
    }
    in = end;
  }
  return stored;
}

}  // namespace bc
