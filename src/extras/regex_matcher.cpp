#include "extras/regex_matcher.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace bc {
namespace {

constexpr unsigned char kMagic = 0234;  // 156: the check byte in front of every program

// Opcodes.
constexpr unsigned char kEnd = 0;
constexpr unsigned char kAtStart = 1;
constexpr unsigned char kAtEnd = 2;
constexpr unsigned char kAny = 3;
constexpr unsigned char kInSet = 4;
constexpr unsigned char kNotInSet = 5;
constexpr unsigned char kBranch = 6;
constexpr unsigned char kBack = 7;
constexpr unsigned char kLiteral = 8;
constexpr unsigned char kEmpty = 9;
constexpr unsigned char kStar = 10;
constexpr unsigned char kPlus = 11;
constexpr unsigned char kOpen = 20;   // + group number 1..9
constexpr unsigned char kClose = 30;  // + group number 1..9

constexpr std::size_t kMaxProgramSize = 32767;  // offsets must fit 16 bits
constexpr int kMaxGroups = kRegexGroups;

// Flags the parser passes upwards.
constexpr int kWorst = 0;
constexpr int kHasWidth = 1;  // cannot match the empty string
constexpr int kSimple = 2;    // one character wide: can be repeated by Star or Plus
constexpr int kSpStart = 4;   // starts with * or +

// Bounds of one search, so that a hostile pattern cannot hang the caller or
// exhaust its stack.
constexpr long kMaxSteps = 10'000'000;
constexpr int kMaxDepth = 4000;

constexpr std::size_t kNone = SIZE_MAX;
constexpr std::size_t kFail = SIZE_MAX - 1;

constexpr const char* kMeta = "^$.[()|?+*\\";

bool IsRepeat(char c) {
  return c == '*' || c == '+' || c == '?';
}

void Report(const RegexErrorHook& hook, std::string_view message) {
  if (hook) {
    hook(message);
  }
}

// The next node of the node at p in a program, kNone for the end of the chain.
std::size_t NextNode(const std::vector<unsigned char>& program, std::size_t p) {
  unsigned offset = (static_cast<unsigned>(program[p + 1]) << 8) | program[p + 2];
  if (offset == 0) {
    return kNone;
  }
  return program[p] == kBack ? p - offset : p + offset;
}

// One compile: the parser run twice, once to size the program and once to emit it.
class Compiler {
 public:
  Compiler(const char* pattern, const RegexErrorHook& hook) : pattern_(pattern), hook_(hook) {}

  std::unique_ptr<CompiledPattern> Compile() {
    int flags = 0;
    Begin(false);
    if (Reg(false, flags) == kFail) {
      return nullptr;
    }
    if (size_ >= kMaxProgramSize) {
      Report(hook_, "regexp too big");
      return nullptr;
    }
    std::unique_ptr<CompiledPattern> result;
    try {
      result = std::make_unique<CompiledPattern>();
      result->program.reserve(size_);
    } catch (const std::bad_alloc&) {
      Report(hook_, "out of space");
      return nullptr;
    }
    code_ = &result->program;
    Begin(true);
    if (Reg(false, flags) == kFail) {
      return nullptr;
    }
    FindHints(*result, flags);
    return result;
  }

 private:
  void Begin(bool emit) {
    parse_ = pattern_;
    groups_ = 1;
    size_ = 0;
    emit_ = emit;
    EmitByte(kMagic);
  }

  std::size_t Fail(std::string_view message) {
    Report(hook_, message);
    return kFail;
  }

  std::size_t Node(unsigned char op) {
    if (!emit_) {
      size_ += 3;
      return 0;
    }
    std::size_t at = code_->size();
    code_->insert(code_->end(), {op, 0, 0});
    return at;
  }

  void EmitByte(unsigned char b) {
    if (!emit_) {
      ++size_;
      return;
    }
    code_->push_back(b);
  }

  // Puts a node in front of the operand at opnd (moving the operand up).
  void Insert(unsigned char op, std::size_t opnd) {
    if (!emit_) {
      size_ += 3;
      return;
    }
    code_->insert(code_->begin() + static_cast<std::ptrdiff_t>(opnd), {op, 0, 0});
  }

  // Points the last node of the chain starting at p to val.
  void Tail(std::size_t p, std::size_t val) {
    if (!emit_) {
      return;
    }
    std::vector<unsigned char>& code = *code_;
    std::size_t scan = p;
    for (std::size_t next = NextNode(code, scan); next != kNone; next = NextNode(code, scan)) {
      scan = next;
    }
    std::size_t offset = code[scan] == kBack ? scan - val : val - scan;
    code[scan + 1] = static_cast<unsigned char>((offset >> 8) & 0xFF);
    code[scan + 2] = static_cast<unsigned char>(offset & 0xFF);
  }

  // Tail on the operand of a Branch node; nothing for other nodes.
  void OpTail(std::size_t p, std::size_t val) {
    if (!emit_ || (*code_)[p] != kBranch) {
      return;
    }
    Tail(p + 3, val);
  }

  // The pattern, or a group's contents: alternatives separated by "|".
  std::size_t Reg(bool paren, int& flags) {
    flags = kHasWidth;
    std::size_t ret = kFail;
    int group = 0;
    if (paren) {
      if (groups_ >= kMaxGroups) {
        return Fail("too many ()");
      }
      group = groups_++;
      ret = Node(static_cast<unsigned char>(kOpen + group));
    }
    int branchFlags = 0;
    std::size_t br = Branch(branchFlags);
    if (br == kFail) {
      return kFail;
    }
    if (ret != kFail) {
      Tail(ret, br);
    } else {
      ret = br;
    }
    if (!(branchFlags & kHasWidth)) {
      flags &= ~kHasWidth;
    }
    flags |= branchFlags & kSpStart;
    while (*parse_ == '|') {
      ++parse_;
      br = Branch(branchFlags);
      if (br == kFail) {
        return kFail;
      }
      Tail(ret, br);
      if (!(branchFlags & kHasWidth)) {
        flags &= ~kHasWidth;
      }
      flags |= branchFlags & kSpStart;
    }
    std::size_t ender = Node(paren ? static_cast<unsigned char>(kClose + group) : kEnd);
    Tail(ret, ender);
    if (emit_) {
      for (std::size_t b = ret; b != kNone; b = NextNode(*code_, b)) {
        OpTail(b, ender);
      }
    }
    if (paren) {
      if (*parse_ != ')') {
        return Fail("unmatched ()");
      }
      ++parse_;
    } else if (*parse_ != '\0') {
      return Fail(*parse_ == ')' ? "unmatched ()" : "junk on end");
    }
    return ret;
  }

  // One alternative: a Branch node followed by a chain of pieces.
  std::size_t Branch(int& flags) {
    flags = kWorst;
    std::size_t ret = Node(kBranch);
    std::size_t chain = kFail;
    while (*parse_ != '\0' && *parse_ != '|' && *parse_ != ')') {
      int pieceFlags = 0;
      std::size_t latest = Piece(pieceFlags);
      if (latest == kFail) {
        return kFail;
      }
      flags |= pieceFlags & kHasWidth;
      if (chain == kFail) {
        flags |= pieceFlags & kSpStart;
      } else {
        Tail(chain, latest);
      }
      chain = latest;
    }
    if (chain == kFail) {
      Node(kEmpty);
    }
    return ret;
  }

  // An atom with an optional repetition sign.
  std::size_t Piece(int& flags) {
    int atomFlags = 0;
    std::size_t ret = Atom(atomFlags);
    if (ret == kFail) {
      return kFail;
    }
    char op = *parse_;
    if (!IsRepeat(op)) {
      flags = atomFlags;
      return ret;
    }
    if (!(atomFlags & kHasWidth) && op != '?') {
      return Fail("*+ operand could be empty");
    }
    flags = op != '+' ? (kWorst | kSpStart) : (kWorst | kHasWidth);
    if (op == '*' && (atomFlags & kSimple)) {
      Insert(kStar, ret);
    } else if (op == '*') {
      // x* as (x&|), where & loops back to the start.
      Insert(kBranch, ret);
      OpTail(ret, Node(kBack));
      OpTail(ret, ret);
      Tail(ret, Node(kBranch));
      Tail(ret, Node(kEmpty));
    } else if (op == '+' && (atomFlags & kSimple)) {
      Insert(kPlus, ret);
    } else if (op == '+') {
      // x+ as x(&|).
      std::size_t next = Node(kBranch);
      Tail(ret, next);
      Tail(Node(kBack), ret);
      Tail(next, Node(kBranch));
      Tail(ret, Node(kEmpty));
    } else {
      // x? as (x|).
      Insert(kBranch, ret);
      Tail(ret, Node(kBranch));
      std::size_t next = Node(kEmpty);
      Tail(ret, next);
      OpTail(ret, next);
    }
    ++parse_;
    if (IsRepeat(*parse_)) {
      return Fail("nested *?+");
    }
    return ret;
  }

  std::size_t Atom(int& flags) {
    flags = kWorst;
    std::size_t ret = kFail;
    char c = *parse_++;
    switch (c) {
      case '^':
        ret = Node(kAtStart);
        break;
      case '$':
        ret = Node(kAtEnd);
        break;
      case '.':
        ret = Node(kAny);
        flags |= kHasWidth | kSimple;
        break;
      case '[': {
        if (*parse_ == '^') {
          ret = Node(kNotInSet);
          ++parse_;
        } else {
          ret = Node(kInSet);
        }
        if (*parse_ == ']' || *parse_ == '-') {
          EmitByte(static_cast<unsigned char>(*parse_++));
        }
        while (*parse_ != '\0' && *parse_ != ']') {
          if (*parse_ == '-') {
            ++parse_;
            if (*parse_ == ']' || *parse_ == '\0') {
              EmitByte('-');
            } else {
              int from = static_cast<unsigned char>(parse_[-2]) + 1;
              int to = static_cast<unsigned char>(*parse_);
              if (from > to + 1) {
                return Fail("invalid [] range");
              }
              for (; from <= to; ++from) {
                EmitByte(static_cast<unsigned char>(from));
              }
              ++parse_;
            }
          } else {
            EmitByte(static_cast<unsigned char>(*parse_++));
          }
        }
        EmitByte('\0');
        if (*parse_ != ']') {
          return Fail("unmatched []");
        }
        ++parse_;
        flags |= kHasWidth | kSimple;
        break;
      }
      case '(': {
        int groupFlags = 0;
        ret = Reg(true, groupFlags);
        if (ret == kFail) {
          return kFail;
        }
        flags |= groupFlags & (kHasWidth | kSpStart);
        break;
      }
      case '\0':
      case '|':
      case ')':
        --parse_;  // never step past the end of the pattern
        return Fail("internal urp");
      case '?':
      case '+':
      case '*':
        return Fail("?+* follows nothing");
      case '\\':
        if (*parse_ == '\0') {
          return Fail("trailing \\");
        }
        ret = Node(kLiteral);
        EmitByte(static_cast<unsigned char>(*parse_++));
        EmitByte('\0');
        flags |= kHasWidth | kSimple;
        break;
      default: {
        --parse_;
        std::size_t len = std::strcspn(parse_, kMeta);
        if (len == 0) {
          return Fail("internal disaster");
        }
        // In "abc*" the sign applies to the "c" alone: leave it for the next atom.
        if (len > 1 && IsRepeat(parse_[len])) {
          --len;
        }
        flags |= kHasWidth;
        if (len == 1) {
          flags |= kSimple;
        }
        ret = Node(kLiteral);
        for (; len > 0; --len) {
          EmitByte(static_cast<unsigned char>(*parse_++));
        }
        EmitByte('\0');
        break;
      }
    }
    return ret;
  }

  // First character, anchoring and the required literal, for a single alternative.
  static void FindHints(CompiledPattern& result, int flags) {
    const std::vector<unsigned char>& code = result.program;
    std::size_t scan = 1;
    std::size_t next = NextNode(code, scan);
    if (next == kNone || code[next] != kEnd) {
      return;
    }
    scan += 3;
    if (code[scan] == kLiteral) {
      result.firstChar = code[scan + 3];
    } else if (code[scan] == kAtStart) {
      result.anchored = true;
    }
    if (flags & kSpStart) {
      std::size_t length = 0;
      for (; scan != kNone; scan = NextNode(code, scan)) {
        if (code[scan] != kLiteral) {
          continue;
        }
        std::size_t operandLength = std::strlen(reinterpret_cast<const char*>(&code[scan + 3]));
        if (operandLength >= length) {
          result.requiredLiteral = scan + 3;
          length = operandLength;
        }
      }
      result.requiredLength = length;
    }
  }

  const char* pattern_;
  const RegexErrorHook& hook_;
  const char* parse_ = nullptr;
  int groups_ = 1;
  std::size_t size_ = 0;
  bool emit_ = false;
  std::vector<unsigned char>* code_ = nullptr;
};

// One search: the backtracking matcher over a program.
class Matcher {
 public:
  Matcher(const std::vector<unsigned char>& program, const char* text, const RegexErrorHook& hook)
      : program_(program), text_(text), hook_(hook) {}

  // Tries a match starting at offset start.
  bool Try(std::size_t start) {
    input_ = text_ + start;
    starts_.fill(nullptr);
    ends_.fill(nullptr);
    if (Match(1)) {
      starts_[0] = text_ + start;
      ends_[0] = input_;
      return true;
    }
    return false;
  }

  [[nodiscard]] bool Aborted() const { return aborted_; }

  void StoreGroups(CompiledPattern& pattern) const {
    for (int i = 0; i < kRegexGroups; ++i) {
      pattern.groupStarts[i].reset();
      pattern.groupEnds[i].reset();
      if (starts_[i]) {
        pattern.groupStarts[i] = static_cast<std::size_t>(starts_[i] - text_);
      }
      if (ends_[i]) {
        pattern.groupEnds[i] = static_cast<std::size_t>(ends_[i] - text_);
      }
    }
  }

 private:
  // A node whose header (and, for operand nodes, NUL-terminated operand) lies
  // inside the program; anything else is a broken chain.
  [[nodiscard]] bool ValidNode(std::size_t p) const {
    if (p == kNone || p + 3 > program_.size()) {
      return false;
    }
    unsigned char op = program_[p];
    if (op == kInSet || op == kNotInSet || op == kLiteral) {
      return std::memchr(&program_[p + 3], 0, program_.size() - p - 3) != nullptr;
    }
    return true;
  }

  [[nodiscard]] std::size_t Next(std::size_t p) const {
    unsigned offset = (static_cast<unsigned>(program_[p + 1]) << 8) | program_[p + 2];
    if (offset == 0) {
      return kNone;
    }
    if (program_[p] == kBack) {
      return offset > p ? kFail : p - offset;
    }
    return p + offset;
  }

  [[nodiscard]] const char* Operand(std::size_t p) const {
    return reinterpret_cast<const char*>(&program_[p + 3]);
  }

  bool Budget() {
    if (aborted_) {
      return false;
    }
    if (++steps_ > kMaxSteps || depth_ > kMaxDepth) {
      aborted_ = true;
      Report(hook_, "regexp too complex");
      return false;
    }
    return true;
  }

  bool Match(std::size_t scan) {
    ++depth_;
    bool result = MatchAt(scan);
    --depth_;
    return result;
  }

  bool MatchAt(std::size_t scan) {
    while (scan != kNone) {
      if (!Budget()) {
        return false;
      }
      if (!ValidNode(scan)) {
        break;
      }
      std::size_t next = Next(scan);
      unsigned char op = program_[scan];
      switch (op) {
        case kAtStart:
          if (input_ != text_) {
            return false;
          }
          break;
        case kAtEnd:
          if (*input_ != '\0') {
            return false;
          }
          break;
        case kAny:
          if (*input_ == '\0') {
            return false;
          }
          ++input_;
          break;
        case kLiteral: {
          const char* operand = Operand(scan);
          if (*operand != *input_) {
            return false;
          }
          std::size_t len = std::strlen(operand);
          if (len > 1 && std::strncmp(operand, input_, len) != 0) {
            return false;
          }
          input_ += len;
          break;
        }
        case kInSet:
          if (*input_ == '\0' || std::strchr(Operand(scan), *input_) == nullptr) {
            return false;
          }
          ++input_;
          break;
        case kNotInSet:
          if (*input_ == '\0' || std::strchr(Operand(scan), *input_) != nullptr) {
            return false;
          }
          ++input_;
          break;
        case kEmpty:
        case kBack:
          break;
        case kBranch: {
          if (next == kNone || !ValidNode(next) || program_[next] != kBranch) {
            next = scan + 3;  // no choice: avoid recursion
            break;
          }
          do {
            const char* save = input_;
            if (Match(scan + 3)) {
              return true;
            }
            if (aborted_) {
              return false;
            }
            input_ = save;
            scan = Next(scan);
          } while (ValidNode(scan) && program_[scan] == kBranch);
          return false;
        }
        case kStar:
        case kPlus: {
          char nextChar = '\0';
          if (next != kNone && ValidNode(next) && program_[next] == kLiteral) {
            nextChar = *Operand(next);
          }
          std::size_t min = op == kStar ? 0 : 1;
          const char* save = input_;
          std::size_t count = Repeat(scan + 3);
          // Greedy: take as many as possible, then give back one at a time.
          while (count >= min && !aborted_) {
            if (nextChar == '\0' || *input_ == nextChar) {
              if (Match(next)) {
                return true;
              }
            }
            if (count == 0) {
              break;
            }
            --count;
            input_ = save + count;
          }
          return false;
        }
        case kEnd:
          return true;
        default:
          if (op > kOpen && op < kOpen + kRegexGroups) {
            int group = op - kOpen;
            const char* save = input_;
            if (Match(next)) {
              // Set on the way back, so a repeated group keeps its last repetition.
              if (starts_[group] == nullptr) {
                starts_[group] = save;
              }
              return true;
            }
            return false;
          }
          if (op > kClose && op < kClose + kRegexGroups) {
            int group = op - kClose;
            const char* save = input_;
            if (Match(next)) {
              if (ends_[group] == nullptr) {
                ends_[group] = save;
              }
              return true;
            }
            return false;
          }
          Report(hook_, "memory corruption");
          return false;
      }
      scan = next;
    }
    Report(hook_, "corrupted pointers");
    return false;
  }

  // How many times the simple node at p matches from the current input, advancing it.
  std::size_t Repeat(std::size_t p) {
    if (!ValidNode(p)) {
      Report(hook_, "internal foulup");
      return 0;
    }
    const char* scan = input_;
    const char* operand = Operand(p);
    switch (program_[p]) {
      case kAny:
        scan += std::strlen(scan);
        break;
      case kLiteral:
        while (*scan != '\0' && *operand == *scan) {
          ++scan;
        }
        break;
      case kInSet:
        while (*scan != '\0' && std::strchr(operand, *scan) != nullptr) {
          ++scan;
        }
        break;
      case kNotInSet:
        while (*scan != '\0' && std::strchr(operand, *scan) == nullptr) {
          ++scan;
        }
        break;
      default:
        Report(hook_, "internal foulup");
        return 0;
    }
    std::size_t count = static_cast<std::size_t>(scan - input_);
    input_ = scan;
    // The scan is work too: a repetition inside a repeated group rescans the text.
    steps_ += static_cast<long>(count);
    return count;
  }

  const std::vector<unsigned char>& program_;
  const char* text_;
  const RegexErrorHook& hook_;
  const char* input_ = nullptr;
  std::array<const char*, kRegexGroups> starts_{};
  std::array<const char*, kRegexGroups> ends_{};
  long steps_ = 0;
  int depth_ = 0;
  bool aborted_ = false;
};

}  // namespace

std::unique_ptr<CompiledPattern> RegexCompile(const char* pattern,
                                              const RegexErrorHook& regexErrorHook) {
  if (pattern == nullptr) {
    Report(regexErrorHook, "NULL argument");
    return nullptr;
  }
  return Compiler(pattern, regexErrorHook).Compile();
}

int RegexSearch(CompiledPattern* pattern, const char* text, std::size_t* matchStart,
                const RegexErrorHook& regexErrorHook) {
  if (pattern == nullptr || text == nullptr) {
    Report(regexErrorHook, "NULL parameter");
    return 0;
  }
  const std::vector<unsigned char>& program = pattern->program;
  if (program.empty() || program[0] != kMagic) {
    Report(regexErrorHook, "corrupted program");
    return 0;
  }
  std::string_view whole(text);
  if (pattern->requiredLiteral) {
    std::size_t at = *pattern->requiredLiteral;
    if (at > program.size() || pattern->requiredLength > program.size() - at) {
      Report(regexErrorHook, "corrupted pointers");
      return 0;
    }
    std::string_view literal(reinterpret_cast<const char*>(&program[at]), pattern->requiredLength);
    if (whole.find(literal) == std::string_view::npos) {
      return 0;
    }
  }
  Matcher matcher(program, text, regexErrorHook);
  auto found = [&](std::size_t start) {
    matcher.StoreGroups(*pattern);
    if (matchStart) {
      *matchStart = start;
    }
    return 1;
  };
  if (pattern->anchored) {
    return matcher.Try(0) ? found(0) : 0;
  }
  if (pattern->firstChar != 0) {
    for (std::size_t at = whole.find(static_cast<char>(pattern->firstChar));
         at != std::string_view::npos && !matcher.Aborted();
         at = whole.find(static_cast<char>(pattern->firstChar), at + 1)) {
      if (matcher.Try(at)) {
        return found(at);
      }
    }
    return 0;
  }
  for (std::size_t at = 0; at <= whole.size() && !matcher.Aborted(); ++at) {
    if (matcher.Try(at)) {
      return found(at);
    }
  }
  return 0;
}

int FindAndScan(const char* text, const char* pattern, std::optional<std::size_t>& position,
                const char* format, std::span<const ScanTarget> outputs,
                const RegexErrorHook& regexErrorHook) {
  std::unique_ptr<CompiledPattern> compiled = RegexCompile(pattern, regexErrorHook);
  if (!compiled) {
    return 1;
  }
  if (text == nullptr) {
    Report(regexErrorHook, "NULL parameter");
    return 1;
  }
  std::size_t from = position.value_or(0);
  std::size_t length = std::strlen(text);
  if (from > length) {
    return 1;
  }
  std::size_t start = 0;
  if (RegexSearch(compiled.get(), text + from, &start, regexErrorHook) == 0) {
    return 1;
  }
  position = from + start;
  int conversions = format ? CountScanConversions(format) : 0;
  if (format && conversions <= 10 && static_cast<std::size_t>(conversions) <= outputs.size()) {
    ScanValues(std::string_view(text + from + start, length - from - start), format, outputs);
  }
  return 0;
}

}  // namespace bc
