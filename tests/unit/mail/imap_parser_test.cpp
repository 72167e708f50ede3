#include "mail/imap_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/imap_session.h"

namespace bc {
namespace {

// What the reader makes of a byte stream: each response as its line, with its
// literals after " | ", and the error text when it failed.
std::string Responses(const std::vector<std::string>& chunks, ImapLimits limits) {
  ImapResponseReader reader(limits);
  std::string out;
  for (const std::string& chunk : chunks) {
    reader.Feed(chunk);
    ImapResponse response;
    for (;;) {
      const auto result = reader.Take(response);
      if (result == ImapResponseReader::Result::Error) {
        return out + "ERROR " + reader.error();
      }
      if (result == ImapResponseReader::Result::NeedMore) {
        break;
      }
      out += response.line;
      for (const std::string& literal : response.literals) {
        out += " | " + literal;
      }
      out += "\n";
    }
  }
  return out;
}

struct ReaderRow {
  const char* name;
  std::string bytes;
  std::string expected;  // a prefix for an error row ("...ERROR the server sent a line")
};

ImapLimits SmallLimits() {
  ImapLimits limits;
  limits.maxLine = 40;
  limits.maxLiteral = 16;
  limits.maxResponse = 64;
  return limits;
}

const ReaderRow kReaderRows[] = {
    {"plain", "* OK ready\r\na1 OK done\r\n", "* OK ready\na1 OK done\n"},
    {"bare_lf", "* OK ready\n", "* OK ready\n"},
    {"literal", "* 1 FETCH (BODY[] {5}\r\nab\r\nc)\r\n", "* 1 FETCH (BODY[] {5}) | ab\r\nc\n"},
    {"literal_plus_and_empty", "* 2 FETCH (A {0+}\r\n B {1}\r\n))\r\n",
     "* 2 FETCH (A {0+} B {1}) |  | )\n"},
    {"literal_holds_what_looks_like_a_response", "* 3 FETCH (X {12}\r\na1 OK done\r\n)\r\n",
     "* 3 FETCH (X {12}) | a1 OK done\r\n\n"},
    {"line_too_long", std::string(50, 'x') + "\r\n", "ERROR the server sent a line longer"},
    {"endless_line", std::string(200, 'x'), "ERROR the server sent a line longer"},
    {"literal_too_large", "* 1 FETCH (X {17}\r\n", "ERROR the server announced a literal"},
    {"literal_count_overflows", "* 1 FETCH (X {99999999999999999999}\r\n",
     "ERROR the server announced a literal"},
    {"response_too_large", "* 1 X {16}\r\n0123456789abcdef {16}\r\n0123456789abcdef {16}\r\n",
     "ERROR the server sent a response larger"},
};

void PrintTo(const ReaderRow& row, std::ostream* os) {
  *os << row.name;
}

class ImapReaderRows : public ::testing::TestWithParam<ReaderRow> {};

// However the bytes are split, the responses are the same.
TEST_P(ImapReaderRows, SameResponsesAtEverySplit) {
  const ReaderRow& row = GetParam();
  const std::string whole = Responses({row.bytes}, SmallLimits());
  EXPECT_EQ(whole.substr(0, row.expected.size()), row.expected);
  for (size_t at = 1; at < row.bytes.size(); ++at) {
    EXPECT_EQ(Responses({row.bytes.substr(0, at), row.bytes.substr(at)}, SmallLimits()), whole)
        << "split at " << at;
  }
  std::vector<std::string> bytes;
  for (char c : row.bytes) {
    bytes.emplace_back(1, c);
  }
  EXPECT_EQ(Responses(bytes, SmallLimits()), whole) << "a byte at a time";
}

INSTANTIATE_TEST_SUITE_P(Rows, ImapReaderRows, ::testing::ValuesIn(kReaderRows),
                         [](const auto& row) { return std::string(row.param.name); });

ImapParsed Parse(const std::string& line) {
  return ParseImapResponse({line, {}});
}

TEST(ImapParse, SortsResponsesByKind) {
  const ImapParsed tagged = Parse("a7 NO [AUTHENTICATIONFAILED] bad (\"x");
  EXPECT_EQ(tagged.kind, ImapParsed::Kind::Status);
  EXPECT_EQ(tagged.tag, "a7");
  EXPECT_EQ(tagged.code, "AUTHENTICATIONFAILED");
  EXPECT_EQ(tagged.text, "bad (\"x");
  const ImapParsed bye = Parse("* BYE shutting down");
  EXPECT_EQ(bye.name, "BYE");
  EXPECT_EQ(Parse("a1 BYE x").kind, ImapParsed::Kind::Malformed);  // BYE is never tagged
  const ImapParsed exists = Parse("* 23 exists");
  EXPECT_EQ(exists.kind, ImapParsed::Kind::Numbered);
  EXPECT_EQ(exists.number, 23);
  EXPECT_EQ(exists.name, "EXISTS");
  EXPECT_EQ(Parse("* 99999999999 EXISTS").kind, ImapParsed::Kind::Malformed);
  EXPECT_EQ(Parse("* CAPABILITY IMAP4rev1 IDLE").kind, ImapParsed::Kind::Data);
  EXPECT_EQ(Parse("+ go on").kind, ImapParsed::Kind::Continuation);
  EXPECT_EQ(Parse("").kind, ImapParsed::Kind::Malformed);
  EXPECT_EQ(Parse("a1").kind, ImapParsed::Kind::Malformed);
}

struct ValueRow {
  std::string text;
  std::vector<std::string> literals;
  std::string shape;  // the values written back, or "!" when they cannot be read
};

std::string Shape(const std::vector<ImapValue>& values) {
  std::string out;
  for (const ImapValue& v : values) {
    out += out.empty() || out.back() == '(' ? "" : " ";
    switch (v.kind) {
      case ImapValue::Kind::Atom:
        out += v.text;
        break;
      case ImapValue::Kind::String:
        out += "'" + v.text + "'";
        break;
      case ImapValue::Kind::Nil:
        out += "NIL";
        break;
      case ImapValue::Kind::List:
        out += "(" + Shape(v.items) + ")";
        break;
    }
  }
  return out;
}

TEST(ImapParse, ValuesRows) {
  const ValueRow rows[] = {
      {"(UID 7 FLAGS (\\Seen) BODY[HEADER.FIELDS (FROM DATE)] {3})",
       {"a b"},
       "(UID 7 FLAGS (\\Seen) BODY[HEADER.FIELDS (FROM DATE)] 'a b')"},
      {"(\"say \\\"hi\\\" \\\\ there\" nil)", {}, "('say \"hi\" \\ there' NIL)"},
      {"(BODY[TEXT]<0> {2})", {"hi"}, "(BODY[TEXT]<0> 'hi')"},
      {"(\"open", {}, "!"},
      {"(a))", {}, "!"},
      {"(a {5})", {}, "!"},  // a marker without its literal
      {std::string(40, '('), {}, "!"},
  };
  for (const ValueRow& row : rows) {
    std::vector<ImapValue> values;
    size_t literal = 0;
    std::string error;
    const bool ok = ParseImapValues(row.text, row.literals, literal, values, error, 32);
    EXPECT_EQ(ok ? Shape(values) : "!", row.shape) << row.text;
  }
}

TEST(ImapParse, AttachmentsFromTheFirstNamedPartOn) {
  const struct {
    const char* structure;
    std::vector<std::string> names;
  } rows[] = {
      {"(\"text\" \"plain\" (\"charset\" \"utf-8\") NIL NIL \"7bit\" 10 1)", {}},
      {"((\"text\" \"plain\" NIL NIL NIL \"7bit\" 10 1)(\"application\" \"pdf\" (\"name\" "
       "\"a.pdf\") NIL NIL \"base64\" 100)(\"text\" \"plain\" NIL NIL NIL \"7bit\" 1 1) \"mixed\")",
       {"A.PDF", "ATTACHMENT"}},
      {"((\"text\" \"plain\" NIL NIL NIL \"7bit\" 10 1 NIL NIL)(\"image\" \"png\" NIL NIL NIL "
       "\"base64\" 100 NIL (\"attachment\" (\"filename\" \"p.png\")) NIL) \"mixed\")",
       {"P.PNG"}},
  };
  for (const auto& row : rows) {
    std::vector<ImapValue> values;
    size_t literal = 0;
    std::string error;
    ASSERT_TRUE(ParseImapValues(row.structure, {}, literal, values, error, 32)) << error;
    EXPECT_EQ(AttachmentNamesOf(values.at(0)), row.names) << row.structure;
  }
}

TEST(ImapParse, IdentityAndQuoting) {
  uint32_t validity = 0;
  uint32_t uid = 0;
  EXPECT_TRUE(ParseImapIdentity(ImapIdentity(42, 7), validity, uid));
  EXPECT_EQ(validity, 42u);
  EXPECT_EQ(uid, 7u);
  for (const char* bad : {"", "IMAP:1", "IMAP:1:0", "IMAP:1:2x", "IMAP:1:99999999999", "1:2"}) {
    EXPECT_FALSE(ParseImapIdentity(bad, validity, uid)) << bad;
  }
  EXPECT_EQ(ImapQuoted("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(ImapQuoted("a\r\nb"), std::nullopt);
  EXPECT_EQ(ImapQuoted("caf\xc3\xa9"), std::nullopt);
}

}  // namespace
}  // namespace bc
