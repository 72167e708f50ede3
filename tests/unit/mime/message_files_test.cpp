// Realistic messages as a mailbox stores them, decoded to what a person reads.
#include <filesystem>

#include "mime/mime_decoder.h"

#include "mime/text_case.h"
#include "mime_test_util.h"
#include "support/test_env.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace bc {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct Decoded {
  bool result = false;
  DecodedMessage message;
  std::string subject;
  std::string from;
  std::string content;  // what the check cycle shows and speaks
};

Decoded DecodeFile(const std::string& name) {
  std::string text = test::ReadFile(std::string(BC_TEST_DATA_DIR) + "/mime/" + name);
  EXPECT_FALSE(text.empty()) << name;
  Decoded d;
  MimeDecoder decoder;
  d.result = decoder.Decode(test::RetrTextOf(text), d.message);
  d.subject = DecodeHeaderText(test::HeaderValue(d.message, "Subject"));
  d.from = DecodeHeaderText(test::HeaderValue(d.message, "From"));
  d.content = StripHtml(test::Joined(d.message));
  return d;
}

TEST(MessageFiles, Utf8QuotedPrintable) {
  Decoded d = DecodeFile("utf8_quoted_printable.eml");
  EXPECT_TRUE(d.result);
  EXPECT_EQ(d.subject, "Grüße aus München");
  EXPECT_EQ(d.from, "Jörg Jens <jens@example.de>");
  EXPECT_THAT(d.message.bodyLines,
              ElementsAre("Hallo Anna,",
                          "wir sind gut angekommen. Das Wetter ist schön, die Brezeln sind "
                          "größer als gedacht und kosten 2,50 €.",
                          "..und dieser Satz beginnt mit einem Punkt.", "Viele Grüße", "Jens"));
}

TEST(MessageFiles, Latin1EightBit) {
  Decoded d = DecodeFile("latin1_8bit.eml");
  EXPECT_EQ(d.subject, "Café crème à 10 €");
  EXPECT_EQ(d.from, "François Lévy <francois@example.fr>");
  EXPECT_THAT(d.message.bodyLines,
              ElementsAre("Bonjour Anna,", "le café crème coûte 10 € “ c'est cher.", "François"));
}

TEST(MessageFiles, Iso2022Jp) {
  Decoded d = DecodeFile("iso2022jp.eml");
  EXPECT_EQ(d.subject, "会議の予定");
  EXPECT_EQ(d.from, "山田太郎 <yamada@example.jp>");
  EXPECT_THAT(d.message.bodyLines,
              ElementsAre("田中様", "明日の会議は十時からです。", "よろしくお願いします。"));
}

TEST(MessageFiles, ShiftJisBase64) {
  Decoded d = DecodeFile("shift_jis_base64.eml");
  EXPECT_EQ(d.subject, "お見積りの件");
  EXPECT_THAT(d.message.bodyLines, ElementsAre("お見積りを添付します。", "ご確認ください。"));
}

TEST(MessageFiles, AlternativeWithHtml) {
  Decoded d = DecodeFile("alternative_html.eml");
  EXPECT_TRUE(d.result);
  ASSERT_GE(d.message.bodyLines.size(), 5u);
  EXPECT_EQ(d.message.bodyLines[0], "Hi Sam,");
  EXPECT_EQ(d.message.bodyLines[4], "Kim");
  // Both alternatives reach the body; the style sheet never reaches the text.
  EXPECT_EQ(d.content.find("font-family"), std::string::npos);
  EXPECT_NE(d.content.find("Cheers,Kim & the team"), std::string::npos);
  EXPECT_THAT(d.message.attachmentNames, IsEmpty());
}

TEST(MessageFiles, HtmlOnlyWithStyleSheet) {
  Decoded d = DecodeFile("html_only_style.eml");
  EXPECT_EQ(d.content.find("margin"), std::string::npos);
  EXPECT_EQ(d.content.find("tracking"), std::string::npos);
  EXPECT_EQ(d.content.find("Newsletter"), std::string::npos);
  EXPECT_NE(d.content.find("Spring sale"), std::string::npos);
  EXPECT_NE(d.content.find("Everything – 20% off “until Sunday” €5 coupons."), std::string::npos);
}

TEST(MessageFiles, AttachmentsWithEncodedNames) {
  Decoded d = DecodeFile("attachment_encoded_name.eml");
  EXPECT_TRUE(d.result);
  EXPECT_THAT(d.message.bodyLines, ElementsAre("Please find the invoice attached."));
  EXPECT_THAT(d.message.attachmentNames, ElementsAre("€URO-RECHNUNG MÄRZ.PDF", "GRÖSSE.PNG"));
}

TEST(MessageFiles, MalformedMessageKeepsItsText) {
  Decoded d = DecodeFile("malformed.eml");
  // Two Subject lines: a broken encoded word stays as it was, the other decodes.
  EXPECT_EQ(d.subject, "=?utf-8?B?bad word without end");
  std::string second;
  for (const std::string_view line : d.message.headerLines) {
    if (line.rfind("Subject: Re:", 0) == 0) {
      second = DecodeHeaderText(line.substr(9));
    }
  }
  EXPECT_EQ(second, "Re: café naïve");
  // Wrongly labelled UTF-8 falls back to Windows-1252; an unknown charset on
  // damaged base64 still gives what can be read. The close delimiter is missing.
  EXPECT_THAT(d.message.bodyLines, ElementsAre("Labelled UTF-8 but written in Latin-1: grüß Gott.",
                                               "This line is fine.", "Hello world"));
}

// Servers that store lines with CR LF and add a CR of their own serve CR CR LF:
// every message must read exactly as it does with plain CR LF.
TEST(MessageFiles, ServedWithCrCrLfReadTheSame) {
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::path(BC_TEST_DATA_DIR) / "mime")) {
    if (entry.path().extension() != ".eml") {
      continue;
    }
    SCOPED_TRACE(entry.path().filename().string());
    const std::string text = test::RetrTextOf(test::ReadFile(entry.path().string()));
    std::string doubled;
    for (const char c : text) {
      doubled += c == '\n' ? "\r\n" : std::string(1, c);
    }
    DecodedMessage plain;
    DecodedMessage served;
    EXPECT_EQ(MimeDecoder().Decode(text, plain), MimeDecoder().Decode(doubled, served));
    EXPECT_EQ(served.headerLines, plain.headerLines);
    EXPECT_EQ(served.bodyLines, plain.bodyLines);
    EXPECT_EQ(served.attachmentNames, plain.attachmentNames);
  }
}

// Inputs that once broke a fuzz target: decoding them must finish cleanly (the
// sanitizer build catches memory errors), exactly as the fuzz harness drives them.
TEST(MessageFiles, FuzzRegressions) {
  test::ReplaySavedInputs("mime/fuzz", [](const std::string& text) {
    DecodedMessage message;
    MimeDecoder decoder;
    (void)decoder.Decode(text, message);
    std::string joined;
    for (const std::string_view line : message.bodyLines) {
      EXPECT_TRUE(IsValidUtf8(line));
      joined += line;
    }
    EXPECT_TRUE(IsValidUtf8(StripHtml(joined)));
    for (const std::string_view line : message.headerLines) {
      EXPECT_TRUE(IsValidUtf8(DecodeHeaderText(line)));
    }
  });
}

}  // namespace
}  // namespace bc
