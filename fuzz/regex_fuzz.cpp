// Input: pattern, NUL, text, NUL, scanf format. Compiles the pattern, searches the
// text and scans from the match, as FindAndScan does for the update check.
#include "extras/regex_matcher.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  std::size_t first = input.find('\0');
  std::string pattern = input.substr(0, first);
  std::string rest = first == std::string::npos ? "" : input.substr(first + 1);
  std::size_t second = rest.find('\0');
  std::string text = rest.substr(0, second);
  std::string format = second == std::string::npos ? "%d %s" : rest.substr(second + 1);

  std::unique_ptr<bc::CompiledPattern> compiled = bc::RegexCompile(pattern.c_str());
  if (compiled) {
    std::size_t start = 0;
    if (bc::RegexSearch(compiled.get(), text.c_str(), &start) == 1) {
      if (start > text.size() || !compiled->groupEnds[0] || *compiled->groupEnds[0] > text.size() ||
          *compiled->groupStarts[0] != start) {
        std::abort();
      }
    }
  }
  int number = 0;
  long wide = 0;
  double real = 0;
  std::string word;
  std::string other;
  bc::ScanTarget outputs[] = {&number, &word, &real, &wide, &other};
  std::optional<std::size_t> position;
  (void)bc::FindAndScan(text.c_str(), pattern.c_str(), position, format.c_str(), outputs);
  if (position && *position > text.size()) {
    std::abort();
  }
  return 0;
}
