#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace bc {

/// Receives the text of every error of the pattern matcher ("unmatched ()",
/// "NULL parameter", ...). Without a hook errors are silent: only the failed result
/// reaches the caller.
using RegexErrorHook = std::function<void(std::string_view message)>;

inline constexpr int kRegexGroups = 10;  // the whole match and groups 1 to 9

/// A compiled pattern. The program starts with the check byte 156, followed by
/// nodes of one opcode byte, a 16-bit next offset (high byte first, 0 for none,
/// counted backwards for Back) and, for some opcodes, a NUL-terminated operand.
struct CompiledPattern {
  /// Offsets into the text of the last successful RegexSearch: start and end (one
  /// past the last character) of the whole match (0) and of groups 1 to 9; empty
  /// for a group that took no part. A repeated group keeps its last repetition.
  std::array<std::optional<std::size_t>, kRegexGroups> groupStarts;
  std::array<std::optional<std::size_t>, kRegexGroups> groupEnds;
  unsigned char firstChar = 0;                 // when not 0, every match begins with it
  bool anchored = false;                       // the pattern begins with "^"
  std::optional<std::size_t> requiredLiteral;  // program offset of a literal every match has
  std::size_t requiredLength = 0;
  std::vector<unsigned char> program;
};

/// Compiles pattern (NUL-terminated; nullptr is the error "NULL argument").
/// Syntax: "." any character, "^" and "$" the start and end of the searched text,
/// "[...]" and "[^...]" sets with ranges, "(...)" groups (at most 9), "|"
/// alternatives, "*", "+", "?" repetitions, "\\" quoting the next character; bytes
/// are compared exactly. Returns nothing on error, after telling regexErrorHook.
/// Reentrant: all working state lives in the call.
[[nodiscard]] std::unique_ptr<CompiledPattern> RegexCompile(
    const char* pattern, const RegexErrorHook& regexErrorHook = {});

/// Searches text (NUL-terminated) for the leftmost match of pattern; returns 1 and
/// fills the group tables (and matchStart, when given) on a match, 0 otherwise.
/// Errors ("NULL parameter", "corrupted program", ...) return 0. The work of one
/// search is bounded: a pattern that would need more backtracking than that, or
/// deeper recursion, gives 0 and the error "regexp too complex".
int RegexSearch(CompiledPattern* pattern, const char* text, std::size_t* matchStart = nullptr,
                const RegexErrorHook& regexErrorHook = {});

/// Where FindAndScan stores one converted value. Integer conversions (d i u o x X
/// n) take the integer places, floating ones (f e g a) the floating places, text
/// conversions (s c [) a string, which holds at most the field width when one is
/// given and cannot overflow either way.
using ScanTarget = std::variant<int*, long*, long long*, unsigned*, unsigned long*,
                                unsigned long long*, float*, double*, std::string*>;

/// Finds pattern in text from position (the text start when position is empty;
/// an offset past the end finds nothing), sets position to the match start and
/// reads values from there as the scanf family does with format, into outputs in
/// order. Returns 0 when the pattern was found, 1 otherwise (outputs untouched).
/// Nothing is read when the format has more than 10 conversions (not counting "%%"
/// and "*"-suppressed ones) or more conversions than outputs; a place of the
/// wrong kind ends the reading there.
int FindAndScan(const char* text, const char* pattern, std::optional<std::size_t>& position,
                const char* format, std::span<const ScanTarget> outputs,
                const RegexErrorHook& regexErrorHook = {});

/// Reads input as sscanf would with format (the subset described at FindAndScan).
/// Returns the number of values stored.
int ScanValues(std::string_view input, const char* format, std::span<const ScanTarget> outputs);

/// The number of conversions of format that store a value.
[[nodiscard]] int CountScanConversions(const char* format);

}  // namespace bc
