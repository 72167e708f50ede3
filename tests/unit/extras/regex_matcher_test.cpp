#include "extras/regex_matcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "support/test_env.h"

namespace bc {
namespace {

using ::testing::ElementsAre;

// Compiles and searches, returning the match start or -1, and the errors reported.
struct Outcome {
  long start = -1;
  bool compiled = false;
  std::vector<std::string> errors;
};

Outcome Search(const char* pattern, const char* text) {
  Outcome o;
  RegexErrorHook hook = [&](std::string_view m) { o.errors.emplace_back(m); };
  std::unique_ptr<CompiledPattern> p = RegexCompile(pattern, hook);
  o.compiled = p != nullptr;
  std::size_t start = 0;
  if (p && RegexSearch(p.get(), text, &start, hook) == 1) {
    o.start = static_cast<long>(start);
  }
  return o;
}

std::vector<std::string> CompileErrors(const char* pattern) {
  return Search(pattern, "").errors;
}

std::string MatchText(const char* pattern, const char* text) {
  std::unique_ptr<CompiledPattern> p = RegexCompile(pattern);
  if (!p || RegexSearch(p.get(), text) == 0) {
    return "<none>";
  }
  return std::string(text + *p->groupStarts[0], *p->groupEnds[0] - *p->groupStarts[0]);
}

TEST(RegexMatcher, RepetitionsAndAnchors) {
  EXPECT_EQ(MatchText("ab*", "a"), "a");
  EXPECT_EQ(MatchText("ab*", "abbb"), "abbb");
  EXPECT_EQ(MatchText("ab+", "a"), "<none>");
  EXPECT_EQ(MatchText("ab?c", "xacx"), "ac");
  EXPECT_EQ(MatchText("^abc", "abcdef"), "abc");
  EXPECT_EQ(MatchText("^abc", "xabc"), "<none>");
  EXPECT_EQ(MatchText("c$", "abc"), "c");
  EXPECT_EQ(MatchText("c$", "abcd"), "<none>");
  EXPECT_EQ(MatchText("x|xy", "xyz"), "x");  // the first alternative that succeeds wins
  EXPECT_EQ(MatchText("a.c", "xxabcx"), "abc");
  EXPECT_EQ(MatchText("(ab)+c", "zababc"), "ababc");
  EXPECT_EQ(MatchText("a\\*", "aa*"), "a*");
  EXPECT_EQ(MatchText("", "abc"), "");
  // In "abc*" the star repeats the "c" alone.
  EXPECT_EQ(MatchText("abc*", "abccc"), "abccc");
  EXPECT_EQ(MatchText("abc*", "ab"), "ab");
  // No case folding.
  EXPECT_EQ(MatchText("Version", "version"), "<none>");
}

TEST(RegexMatcher, Sets) {
  EXPECT_EQ(MatchText("[]a]+", "x]a]y"), "]a]");
  EXPECT_EQ(MatchText("[a-]+", "x-a-y"), "-a-");
  EXPECT_EQ(MatchText("[^0-9]+", "12ab3"), "ab");
  EXPECT_EQ(MatchText("[0-9]+\\.[0-9]+", "v 2.10 x"), "2.10");
}

TEST(RegexMatcher, GroupsKeepTheirLastRepetition) {
  std::unique_ptr<CompiledPattern> p = RegexCompile("(a|b)*(c)");
  ASSERT_TRUE(p);
  ASSERT_EQ(RegexSearch(p.get(), "xabac"), 1);
  EXPECT_EQ(p->groupStarts[0], 1u);
  EXPECT_EQ(p->groupStarts[1], 3u);  // the last "a"
  EXPECT_EQ(p->groupEnds[1], 4u);
  EXPECT_EQ(p->groupStarts[2], 4u);
  EXPECT_FALSE(p->groupStarts[3].has_value());
}

TEST(RegexMatcher, CompileErrorTable) {
  EXPECT_THAT(Search(nullptr, "x").errors, ElementsAre("NULL argument"));
  EXPECT_THAT(CompileErrors("[z-a]"), ElementsAre("invalid [] range"));
  EXPECT_THAT(CompileErrors("[abc"), ElementsAre("unmatched []"));
  EXPECT_THAT(CompileErrors("(a*)*"), ElementsAre("*+ operand could be empty"));
  EXPECT_THAT(CompileErrors("(a*)+"), ElementsAre("*+ operand could be empty"));
  EXPECT_THAT(CompileErrors("a**"), ElementsAre("nested *?+"));
  EXPECT_THAT(CompileErrors("*a"), ElementsAre("?+* follows nothing"));
  EXPECT_THAT(CompileErrors("a|?"), ElementsAre("?+* follows nothing"));
  EXPECT_THAT(CompileErrors("ab\\"), ElementsAre("trailing \\"));
  EXPECT_THAT(CompileErrors("(ab"), ElementsAre("unmatched ()"));
  EXPECT_THAT(CompileErrors("ab)"), ElementsAre("unmatched ()"));
  EXPECT_THAT(CompileErrors("(1)(2)(3)(4)(5)(6)(7)(8)(9)"), ElementsAre());
  EXPECT_THAT(CompileErrors("(((((((((a)))))))))"), ElementsAre());
  EXPECT_THAT(CompileErrors("(1)(2)(3)(4)(5)(6)(7)(8)(9)(10)"), ElementsAre("too many ()"));
  std::string huge(33000, 'a');
  EXPECT_THAT(CompileErrors(huge.c_str()), ElementsAre("regexp too big"));
  std::string large(32000, 'a');
  EXPECT_THAT(CompileErrors(large.c_str()), ElementsAre());
}

TEST(RegexMatcher, SearchErrorTable) {
  std::vector<std::string> errors;
  RegexErrorHook hook = [&](std::string_view m) { errors.emplace_back(m); };
  std::unique_ptr<CompiledPattern> p = RegexCompile("ab*c", hook);
  ASSERT_TRUE(p);
  EXPECT_EQ(RegexSearch(nullptr, "abc", nullptr, hook), 0);
  EXPECT_EQ(RegexSearch(p.get(), nullptr, nullptr, hook), 0);
  EXPECT_THAT(errors, ElementsAre("NULL parameter", "NULL parameter"));

  auto corrupted = [&](auto change) {
    errors.clear();
    CompiledPattern copy = *p;
    change(copy.program);
    EXPECT_EQ(RegexSearch(&copy, "xabbc", nullptr, hook), 0);
    return errors;
  };
  // Program: check byte, Branch(1), Literal "a"(4), Star(9), Literal "b"(12), ...
  EXPECT_THAT(corrupted([](auto& prog) { prog[0] = 0; }), ElementsAre("corrupted program"));
  EXPECT_THAT(corrupted([](auto& prog) { prog[4] = 77; }), ElementsAre("memory corruption"));
  EXPECT_THAT(corrupted([](auto& prog) { prog[12] = kRegexGroups + 20; }),
              ElementsAre("internal foulup"));
  EXPECT_THAT(corrupted([](auto& prog) {
                prog[5] = 0;
                prog[6] = 0;
              }),
              ElementsAre("corrupted pointers"));
}

TEST(RegexMatcher, BacktrackingIsBounded) {
  // Exponential backtracking over a short text hits the step budget...
  std::string shortText = std::string(60, 'a') + "d";
  Outcome slow = Search("(a|aa)*(a|aa)*(a|aa)*[bc]", shortText.c_str());
  EXPECT_EQ(slow.start, -1);
  EXPECT_THAT(slow.errors, ElementsAre("regexp too complex"));
  // ...and a long repetition of a group the recursion depth limit.
  std::string longText(50000, 'a');
  Outcome deep = Search("(a)*[bc]", longText.c_str());
  EXPECT_EQ(deep.start, -1);
  EXPECT_THAT(deep.errors, ElementsAre("regexp too complex"));
  // Simple repetitions need neither.
  EXPECT_EQ(Search("a*[bc]", (longText + "b").c_str()).start, 0);
}

TEST(RegexMatcher, SearchesRunConcurrently) {
  auto work = [](const char* pattern, const char* text, const char* expected, bool* ok) {
    *ok = true;
    for (int i = 0; i < 2000; ++i) {
      *ok = *ok && MatchText(pattern, text) == expected;
    }
  };
  bool ok1 = false;
  bool ok2 = false;
  std::thread t1(work, "[0-9]+", "ab 123 c", "123", &ok1);
  std::thread t2(work, "(x|y)+z", "wxyxz", "xyxz", &ok2);
  t1.join();
  t2.join();
  EXPECT_TRUE(ok1);
  EXPECT_TRUE(ok2);
}

TEST(FindAndScan, VersionFileExamples) {
  const char* text = "Version=2.10\nDate=2004-09-01\nURL=http://example.com/x\n";
  std::optional<std::size_t> position;
  std::string date;
  ScanTarget out[] = {&date};
  EXPECT_EQ(FindAndScan(text, "Date=", position, "Date=%s\n", out), 0);
  EXPECT_EQ(position, 13u);
  EXPECT_EQ(date, "2004-09-01");

  std::string version;
  ScanTarget v[] = {&version};
  position.reset();
  EXPECT_EQ(FindAndScan(text, "Version=", position, "Version=%s\n", v), 0);
  EXPECT_EQ(version, "2.10");

  // From a position: the search starts there.
  position = 14;
  EXPECT_EQ(FindAndScan(text, "Version=", position, "Version=%s", v), 1);
  EXPECT_EQ(position, 14u);
  position = 999;
  EXPECT_EQ(FindAndScan(text, "D", position, "%s", v), 1);
}

TEST(FindAndScan, ConversionsAndBounds) {
  std::optional<std::size_t> position;
  int major = 0;
  int minor = 0;
  std::string name;
  double rate = 0;
  unsigned hex = 0;
  ScanTarget out[] = {&major, &minor, &name, &rate, &hex};
  EXPECT_EQ(FindAndScan("Release: 3.14 beta-name 2.5e1 ff", "Release", position,
                        "Release: %d.%d %4s%*s %lf %x", out),
            0);
  EXPECT_EQ(major, 3);
  EXPECT_EQ(minor, 14);
  EXPECT_EQ(name, "beta");  // the width bounds the text
  EXPECT_EQ(rate, 25.0);
  EXPECT_EQ(hex, 0xffu);

  // Eleven conversions: found, but nothing is read.
  int values[11] = {};
  std::vector<ScanTarget> many;
  for (int& value : values) {
    many.emplace_back(&value);
  }
  position.reset();
  EXPECT_EQ(FindAndScan("n=1 2 3 4 5 6 7 8 9 10 11", "n=", position,
                        "n=%d %d %d %d %d %d %d %d %d %d %d", many),
            0);
  EXPECT_EQ(values[0], 0);

  // Fewer places than conversions, or a place of the wrong kind: nothing unsafe.
  position.reset();
  std::string only;
  ScanTarget one[] = {&only};
  EXPECT_EQ(FindAndScan("a=1 2", "a=", position, "a=%d %d", one), 0);
  EXPECT_EQ(only, "");
  EXPECT_EQ(ScanValues("7 x", "%d %s", std::span<const ScanTarget>(out, 2)), 1);
  EXPECT_EQ(major, 7);

  // A failed compile leaves the outputs alone.
  major = 42;
  position.reset();
  EXPECT_EQ(FindAndScan("x", "(", position, "%d", out), 1);
  EXPECT_EQ(major, 42);
  EXPECT_FALSE(position.has_value());
  EXPECT_EQ(CountScanConversions("%d %% %*s %[a-z] %5c"), 3);
}

// Patterns and texts that once broke the fuzz target, one per file: the pattern,
// a NUL byte, the text. They must finish within the bounds.
TEST(RegexMatcher, FuzzRegressions) {
  test::ReplaySavedInputs("regex/fuzz", [](const std::string& data) {
    std::string pattern = data.substr(0, data.find('\0'));
    std::string text = data.size() > pattern.size() ? data.substr(pattern.size() + 1) : "";
    std::unique_ptr<CompiledPattern> p = RegexCompile(pattern.c_str());
    if (p) {
      std::size_t start = 0;
      if (RegexSearch(p.get(), text.c_str(), &start) == 1) {
        EXPECT_LE(start, text.size());
      }
    }
  });
}

}  // namespace
}  // namespace bc
