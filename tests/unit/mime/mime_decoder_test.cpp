#include "mime/mime_decoder.h"

#include "mime_test_util.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace bc {
namespace {

using test::RetrText;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

DecodedMessage DecodeOk(const std::string& text) {
  DecodedMessage out;
  MimeDecoder decoder;
  EXPECT_TRUE(decoder.Decode(text, out));
  return out;
}

TEST(MimeDecoderLines, TakeAndPeekFollowTheTransfer) {
  MimeDecoder d;
  d.Start("a\r\n..b\r\n.\r\n");
  EXPECT_EQ(d.PeekLine(), "a");
  EXPECT_EQ(d.TakeLine(), "a");
  EXPECT_EQ(d.PeekLine(), ".b");
  EXPECT_EQ(d.TakeLine(), ".b");
  EXPECT_FALSE(d.EndOfMessage());
  EXPECT_EQ(d.PeekLine(), "");  // the terminator peeks as an empty line
  EXPECT_EQ(d.TakeLine(), ".");
  EXPECT_TRUE(d.EndOfMessage());
  EXPECT_EQ(d.TakeLine(), "");  // nothing left

  // Bare LF and a lone CR end lines as CR LF does, also at the very end.
  d.Start("a\nb\rc\r\n\nd\r");
  for (const char* line : {"a", "b", "c", "", "d"}) {
    EXPECT_EQ(d.TakeLine(), line);
  }
  EXPECT_EQ(d.TakeLine(), "");
  // A run of CRs before an LF is one line end (CR CR LF from servers that add a
  // CR to lines stored with CR LF).
  d.Start("a\r\r\nb\r\r\r\n\r\r\nc");
  for (const char* line : {"a", "b", "", "c"}) {
    EXPECT_EQ(d.TakeLine(), line);
  }
  d.Start("x\n.\n");
  EXPECT_EQ(d.TakeLine(), "x");
  EXPECT_EQ(d.TakeLine(), ".");
  EXPECT_TRUE(d.EndOfMessage());

  d.Start("last line without break");
  EXPECT_FALSE(d.EndOfMessage());
  EXPECT_EQ(d.TakeLine(), "last line without break");
  EXPECT_EQ(d.PeekLine(), "");

  // A new text at the same address (a reused buffer) is searched anew.
  std::string buffer = "first\r\nline\r\n";
  d.Start(buffer);
  EXPECT_EQ(d.PeekLine(), "first");
  buffer.replace(0, buffer.size(), "ab\r\ncdefg\r\n..");
  d.Start(buffer);
  EXPECT_EQ(d.PeekLine(), "ab");
  EXPECT_EQ(d.TakeLine(), "ab");
}

// Line ends are found a block of bytes at a time: lines of every length put
// each line end (and each half of a CR LF) at every place in a block.
TEST(MimeDecoderLines, LinesOfEveryLengthEndWhereTheyShould) {
  for (const std::string ending : {"\r\n", "\n", "\r", "\r\r\n"}) {
    SCOPED_TRACE(testing::PrintToString(ending));
    std::string text;
    for (std::size_t length = 0; length <= 140; ++length) {
      text += std::string(length, static_cast<char>('a' + length % 26)) + ending;
    }
    MimeDecoder d;
    d.Start(text);
    for (std::size_t length = 0; length <= 140; ++length) {
      ASSERT_EQ(d.TakeLine(), std::string(length, static_cast<char>('a' + length % 26)));
    }
    EXPECT_EQ(d.TakeLine(), "");
  }
}

TEST(MimeDecoderLines, ContinuationLines) {
  EXPECT_TRUE(IsContinuationLine(" x"));
  EXPECT_TRUE(IsContinuationLine("\tx"));
  EXPECT_FALSE(IsContinuationLine("x "));
  EXPECT_FALSE(IsContinuationLine(""));
}

TEST(ContentTypeParam, FollowsTheStoredRules) {
  EXPECT_EQ(GetContentTypeParam("Content-Type", "multipart/mixed; boundary=abc", "BOUNDARY"),
            "ABC");
  EXPECT_EQ(
      GetContentTypeParam("CONTENT-TYPE", "multipart/mixed; BOUNDARY=\"b-1\"; x=y", "boundary"),
      "B-1");
  EXPECT_EQ(GetContentTypeParam("content-type", "text/plain; name=  \"a b.txt\"  ", "name"),
            "A B.TXT");
  EXPECT_EQ(GetContentTypeParam("Content-Disposition", "attachment; name=x", "name"), "");
  EXPECT_EQ(GetContentTypeParam("Content-Type", "text/plain; charset=utf-8", "name"), "");
  // A plain substring search: "name" is found inside "filename".
  EXPECT_EQ(GetContentTypeParam("Content-Type", "application/pdf; filename=r.pdf", "name"),
            "R.PDF");
  // Up to the next ";"; a ";" right after "=" leaves the rest of the value.
  EXPECT_EQ(GetContentTypeParam("Content-Type", "x/y; name=a;b", "name"), "A");
  EXPECT_EQ(GetContentTypeParam("Content-Type", "x/y; name=;b", "name"), ";B");
  // Upper case is Unicode-aware.
  EXPECT_EQ(GetContentTypeParam("Content-Type", "x/y; name=\"\xc3\xa4rger.txt\"", "name"),
            "\xc3\x84RGER.TXT");
}

TEST(MimeDecoderWalk, HeadersOnlyMessage) {
  DecodedMessage m = DecodeOk(RetrText({"From: a@b.c", "Subject: hi", ""}));
  EXPECT_THAT(m.headerLines, ElementsAre("+OK 1234 octets", "From: a@b.c", "Subject: hi"));
  EXPECT_THAT(m.bodyLines, IsEmpty());
  EXPECT_THAT(m.attachmentNames, IsEmpty());
}

TEST(MimeDecoderWalk, LoneCrInsideAHeaderFieldIsABlank) {
  // In the header only an LF ends a line; the body still breaks at a lone CR.
  DecodedMessage m = DecodeOk(
      "+OK\r\nFrom: Carol Smith\r<carol@good.example>\r\nSubject: one\rtwo\r\r\n"
      "Date: x\r\n\r\nbody a\rbody b\r\n.\r\n");
  EXPECT_THAT(m.headerLines, ElementsAre("+OK", "From: Carol Smith <carol@good.example>",
                                         "Subject: one two", "Date: x"));
  EXPECT_THAT(m.bodyLines, ElementsAre("body a", "body b"));
}

TEST(MimeDecoderWalk, FoldedHeadersKeepTheirTab) {
  DecodedMessage m =
      DecodeOk(RetrText({"Subject: a", "\tb", "From: x@y.z", "  (comment)", "", "body"}));
  EXPECT_THAT(m.headerLines,
              ElementsAre("+OK 1234 octets", "Subject: a\tb", "From: x@y.z  (comment)"));
  EXPECT_THAT(m.bodyLines, ElementsAre("body"));
}

TEST(MimeDecoderWalk, SinglePartBodyDropsMarkerAndHeaderLinesAndEndsAtSecondMarker) {
  DecodedMessage m = DecodeOk(
      RetrText({"Subject: s", "", "one", "Content-Type: text/plain", "------=_NextPart_000", "two",
                "x Content-Transfer-Encoding: y", "------=_NextPart_000--", "never"}));
  EXPECT_THAT(m.bodyLines, ElementsAre("one", "two"));
}

TEST(MimeDecoderWalk, TwentySecondEmptyLineEndsASinglePartBody) {
  std::string text = "+OK\r\nSubject: s\r\n\r\none\r\n";
  for (int i = 0; i < 21; ++i) {
    text += "\r\n";
  }
  text += "two\r\n\r\nthree\r\n.\r\n";
  DecodedMessage m = DecodeOk(text);
  EXPECT_THAT(m.bodyLines, ElementsAre("one", "two"));
}

TEST(MimeDecoderWalk, DotStuffingIsUndoneAndTheTerminatorIsNoBodyLine) {
  DecodedMessage m = DecodeOk(RetrText({"Subject: s", "", "first", ".", "..", ".hidden", "last"}));
  EXPECT_THAT(m.bodyLines, ElementsAre("first", ".", "..", ".hidden", "last"));
  // A body line made of a single dot (sent as "..") does not end the message early.
  DecodedMessage d = DecodeOk("+OK\r\nSubject: s\r\n\r\na\r\n..\r\nb\r\n.\r\n");
  EXPECT_THAT(d.bodyLines, ElementsAre("a", ".", "b"));
}

TEST(MimeDecoderWalk, BlankLinesBeforeTheBodyAreLimited) {
  std::string text = "+OK\r\nSubject: s\r\n";
  for (int i = 0; i < 101; ++i) {
    text += "\r\n";
  }
  DecodedMessage ok;
  MimeDecoder decoder;
  EXPECT_TRUE(decoder.Decode(text + "body\r\n.\r\n", ok));
  EXPECT_THAT(ok.bodyLines, ElementsAre("body"));
  DecodedMessage over;
  EXPECT_FALSE(decoder.Decode(text + "\r\nbody\r\n.\r\n", over));
  EXPECT_THAT(over.headerLines, ElementsAre("+OK", "Subject: s"));
}

const std::string kMixedWithAttachment = RetrText({
    "Subject: report",
    "Content-Type: multipart/mixed;",
    "\tBOUNDARY=\"Outer-Bound\"",
    "",
    "preamble is dropped",
    "--outer-bound",
    "Content-Type: text/plain",
    "",
    "see the report",
    "--OUTER-BOUND",
    "Content-Type: application/pdf; name=Report.pdf",
    "Content-Transfer-Encoding: base64",
    "",
    "JVBERi0xLjQK",
    "--Outer-Bound",
    "Content-Type: text/plain",
    "",
    "after the attachment",
    "--Outer-Bound--",
    "epilogue",
});

TEST(MimeDecoderWalk, AttachmentSeenRuleAndDelimitersInAnyCase) {
  DecodedMessage m = DecodeOk(kMixedWithAttachment);
  EXPECT_THAT(m.bodyLines, ElementsAre("see the report"));
  EXPECT_THAT(m.attachmentNames, ElementsAre("REPORT.PDF"));
  EXPECT_EQ(m.headerLines[2], "Content-Type: multipart/mixed;\tBOUNDARY=\"Outer-Bound\"");
}

TEST(MimeDecoderWalk, BothTopLevelAlternativesAreCollected) {
  DecodedMessage m = DecodeOk(RetrText({
      "Content-Type: multipart/alternative; boundary=alt",
      "",
      "--alt",
      "Content-Type: text/plain; charset=us-ascii",
      "",
      "plain text",
      "--alt",
      "Content-Type: text/html",
      "",
      "<p>html text</p>",
      "--alt--",
  }));
  EXPECT_THAT(m.bodyLines, ElementsAre("plain text", "<p>html text</p>"));
}

TEST(MimeDecoderWalk, NestedNextPartSectionIsReadUpToItsSecondMarker) {
  DecodedMessage m = DecodeOk(RetrText({
      "Content-Type: multipart/mixed; boundary=\"----=_NextPart_000_0001\"",
      "",
      "------=_NextPart_000_0001",
      "Content-Type: multipart/alternative;",
      "\tboundary=\"----=_NextPart_001_0002\"",
      "",
      "------=_NextPart_001_0002",
      "Content-Type: text/plain;",
      "\tcharset=\"iso-8859-1\"",
      "Content-Transfer-Encoding: quoted-printable",
      "",
      "Caf=E9 at noon",
      "------=_NextPart_001_0002",
      "Content-Type: text/html;",
      "\tcharset=\"iso-8859-1\"",
      "",
      "<p>Caf=E9 at noon</p>",
      "",
      "------=_NextPart_001_0002--",
      "",
      "------=_NextPart_000_0001",
      "Content-Type: application/zip; name=\"notes.zip\"",
      "",
      "UEsDBA==",
      "------=_NextPart_000_0001--",
  }));
  // The folded charset continuation of an inner header is read as a line of text;
  // the inner quoted-printable text is decoded with the inner charset.
  EXPECT_THAT(m.bodyLines, ElementsAre("\tcharset=\"iso-8859-1\"", "Caf\xc3\xa9 at noon"));
  EXPECT_THAT(m.attachmentNames, ElementsAre("NOTES.ZIP"));
}

TEST(MimeDecoderWalk, TransferEncodingsAndCharsetsOfParts) {
  DecodedMessage m = DecodeOk(RetrText({
      "Content-Type: multipart/alternative; boundary=b",
      "",
      "--b",
      "Content-Type: text/plain; charset=utf-8",
      "Content-Transfer-Encoding: BASE64",
      "",
      "R3LDvMOfZQpa",
      "d2VpdGUgWmVpbGU=",
      "--b",
      "Content-Type: text/plain; charset=windows-1252",
      "Content-Transfer-Encoding: quoted-printable",
      "",
      "soft=",
      " break =93quoted=94",
      "--b",
      "Content-Type: image/gif",
      "Content-Transfer-Encoding: base64",
      "",
      "R0lGODlh",
      "--b--",
  }));
  // An inline image without a name stays as it was sent: decoding it would only
  // make binary noise.
  EXPECT_THAT(m.bodyLines, ElementsAre("Grüße", "Zweite Zeile",
                                       "soft break \xe2\x80\x9cquoted\xe2\x80\x9d", "R0lGODlh"));
}

TEST(MimeDecoderWalk, LimitsEndTheWalkButKeepWhatWasCollected) {
  std::string text =
      "+OK\r\nSubject: s\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
      "--b\r\n\r\nkept\r\n--b\r\n\r\n";
  for (int i = 0; i < 1002; ++i) {
    text += "line\r\n";
  }
  text += "--b--\r\n.\r\n";
  DecodedMessage m;
  MimeDecoder decoder;
  EXPECT_FALSE(decoder.Decode(text, m));
  ASSERT_GE(m.bodyLines.size(), 2u);
  EXPECT_EQ(m.bodyLines.front(), "kept");
  EXPECT_EQ(m.bodyLines.size(), 1002u);  // "kept" and the 1001 lines a text part may have
}

TEST(MimeDecoderWalk, TruncatedMessagesEnd) {
  DecodedMessage single;
  MimeDecoder decoder;
  EXPECT_TRUE(decoder.Decode("+OK\r\nSubject: s\r\n\r\nbody without end", single));
  EXPECT_THAT(single.bodyLines, ElementsAre("body without end"));
  DecodedMessage multi;
  EXPECT_FALSE(decoder.Decode(
      "+OK\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\ntext", multi));
  EXPECT_THAT(multi.bodyLines, ElementsAre("text"));
  DecodedMessage nothing;
  EXPECT_FALSE(decoder.Decode("", nothing));
  EXPECT_THAT(nothing.bodyLines, IsEmpty());
}

}  // namespace
}  // namespace bc
