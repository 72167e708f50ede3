#include "mime/header_text.h"
#include "mime/charset.h"
#include "mime/text_case.h"
#include "mime/transfer_encoding.h"

#include <gtest/gtest.h>

#include <QStringEncoder>

#include <thread>
#include <tuple>

namespace bc {
namespace {

TEST(DecodeHeaderText, EncodedWords) {
  EXPECT_EQ(DecodeHeaderText("=?utf-8?B?R3LDvMOfZQ==?="), "Grüße");
  EXPECT_EQ(DecodeHeaderText("=?ISO-8859-1?Q?Caf=E9_cr=E8me?="), "Café crème");
  EXPECT_EQ(DecodeHeaderText("Re: =?iso-8859-15?q?=A4uro?= ok"), "Re: €uro ok");
  // White space between encoded words goes; around plain text it stays.
  EXPECT_EQ(DecodeHeaderText("=?utf-8?Q?a?= \t =?utf-8?Q?b?= c =?utf-8?Q?d?="), "ab c d");
  // A character split across two words survives.
  EXPECT_EQ(DecodeHeaderText("=?UTF-8?B?w6Q=?= =?UTF-8?B?w7Y=?="), "äö");
  EXPECT_EQ(DecodeHeaderText("=?utf-8?B?4oI=?= =?utf-8?B?rA==?="), "€");
  // RFC 2231 language tag after the charset.
  EXPECT_EQ(DecodeHeaderText("=?utf-8*de?Q?Stra=C3=9Fe?="), "Straße");
}

TEST(DecodeHeaderText, AsianCharsets) {
  EXPECT_EQ(DecodeHeaderText("=?ISO-2022-JP?B?GyRCJDMkcyRLJEEkTxsoQg==?="), "こんにちは");
  EXPECT_EQ(DecodeHeaderText("=?shift_jis?B?g2WDWINn?="), "テスト");
}

// Adjacent words of one charset, each a whole text as a mailer writes them: the
// stateful charsets (escape sequences, byte order marks) must decode per word.
TEST(DecodeHeaderText, AdjacentWordsInEveryCharset) {
  const QString japanese = QStringLiteral("\u3053\u3093 ok");
  const QString cyrillic = QStringLiteral("\u0430\u0431 ok");
  const std::pair<const char*, QString> rows[] = {{"iso-2022-jp", japanese},
                                                  {"utf-7", japanese},
                                                  {"utf-16", japanese},
                                                  {"utf-16le", japanese},
                                                  {"utf-32", japanese},
                                                  {"shift_jis", japanese},
                                                  {"euc-jp", japanese},
                                                  {"euc-kr", cyrillic},
                                                  {"gb2312", japanese},
                                                  {"gb18030", japanese},
                                                  {"big5", QStringLiteral("\u4e2d\u6587 ok")},
                                                  {"utf-8", japanese},
                                                  {"koi8-r", cyrillic},
                                                  {"windows-1251", cyrillic},
                                                  {"iso-8859-5", cyrillic}};
  for (const auto& [charset, sample] : rows) {
    QStringEncoder encoder(charset);
    ASSERT_TRUE(encoder.isValid()) << charset;
    const QByteArray bytes = encoder.encode(sample);
    const std::string word =
        "=?" + std::string(charset) + "?B?" + bytes.toBase64().toStdString() + "?=";
    EXPECT_EQ(DecodeHeaderText(word + " " + word), (sample + sample).toStdString()) << charset;
  }
}

TEST(DecodeHeaderText, BrokenInputNeverLosesText) {
  EXPECT_EQ(DecodeHeaderText("=?utf-8?B?no end"), "=?utf-8?B?no end");
  EXPECT_EQ(DecodeHeaderText("=?utf-8?X?abc?="), "=?utf-8?X?abc?=");
  EXPECT_EQ(DecodeHeaderText("=??B?abc?="), "=??B?abc?=");
  // 8-bit text that is not UTF-8 is Windows-1252; UTF-8 stays as it is.
  EXPECT_EQ(DecodeHeaderText("caf\xe9 \x80"), "café €");
  EXPECT_EQ(DecodeHeaderText("café"), "café");
  // An unknown charset or bytes wrong for the charset fall back the same way.
  EXPECT_EQ(DecodeHeaderText("=?x-unknown?Q?na=EFve?="), "naïve");
  EXPECT_EQ(DecodeHeaderText("=?utf-8?Q?na=EFve?="), "naïve");
  EXPECT_EQ(DecodeHeaderText("a\r\n b"), "a b");
}

TEST(FindHeaderParameter, PlainQuotedAndExtendedForms) {
  EXPECT_EQ(FindHeaderParameter("text/plain; charset=\"UTF-8\"", "charset"), "UTF-8");
  EXPECT_EQ(FindHeaderParameter("application/pdf; filename=x.pdf", "name"), std::nullopt);
  EXPECT_EQ(FindHeaderParameter("a/b; name=\"semi;colon \\\"q\\\".txt\"; x=1", "name"),
            "semi;colon \"q\".txt");
  EXPECT_EQ(FindHeaderParameter("a/b; NAME*=utf-8''%E2%82%AC%20rate.pdf", "name"), "€ rate.pdf");
  EXPECT_EQ(FindHeaderParameter("a/b; name*1*=%20M%C3%A4rz.pdf; name*0*=utf-8'de'Rechnung", "name"),
            "Rechnung März.pdf");
  EXPECT_EQ(FindHeaderParameter("a/b; name*0=\"long \"; name*1=\"name.txt\"", "name"),
            "long name.txt");
  EXPECT_EQ(FindHeaderParameter("a/b; name=\"=?utf-8?B?w6Rn?=.doc\"", "name"), "äg.doc");
  // Without '*' the parameters are searched in place: the first of a name in any
  // case wins, one without '=' is passed over, an unclosed quote runs to the end.
  EXPECT_EQ(FindHeaderParameter("a/b; Charset= x ; charset=y", "CHARSET"), "x");
  EXPECT_EQ(FindHeaderParameter("a/\"b;c\"; charset; charset=\"q", "charset"), "q");
  EXPECT_EQ(FindHeaderParameter("a/b; name=\"x\\\\\" ; n=1", "name"), "x\\");
  EXPECT_EQ(FindHeaderParameter("a/b; name=\"tail\\", "name"), "tail\\");
  // The name mentioned first inside another value, quoted or not, is not a name.
  EXPECT_EQ(FindHeaderParameter("a/b; x=charset=no; charset=yes", "charset"), "yes");
  EXPECT_EQ(FindHeaderParameter("a/b; x=\"; charset=no\"; charset=yes", "charset"), "yes");
  EXPECT_EQ(MediaTypeOf(" Text/HTML ; charset=x"), "text/html");
}

TEST(Charsets, ConversionAndFallback) {
  EXPECT_EQ(CharsetToUtf8("caf\xe9", "ISO-8859-1"), "café");
  EXPECT_EQ(CharsetToUtf8("\x93hi\x94", "\"windows-1252\""), "“hi”");
  EXPECT_EQ(CharsetToUtf8("\xa4", "iso-8859-15"), "€");
  EXPECT_EQ(CharsetToUtf8("\xc1\xc2", "koi8-r"), "аб");
  EXPECT_EQ(CharsetToUtf8("caf\xe9", "utf-8"), "café");  // wrong label
  EXPECT_EQ(CharsetToUtf8("caf\xe9", "us-ascii"), "café");
  EXPECT_EQ(CharsetToUtf8("caf\xe9", "no-such-charset"), "café");
  EXPECT_EQ(CharsetToUtf8("\x82\xa0", "Shift_JIS"), "あ");
  // Undefined Windows-1252 bytes are kept as C1 controls rather than dropped.
  EXPECT_EQ(Windows1252ToUtf8("\x81"), "\xc2\x81");
  EXPECT_TRUE(IsValidUtf8("äöü €"));
  EXPECT_FALSE(IsValidUtf8("\xc0\xaf"));      // overlong
  EXPECT_FALSE(IsValidUtf8("\xed\xa0\x80"));  // surrogate
  EXPECT_FALSE(IsValidUtf8("abcdefgh\xe2\x82"));
  EXPECT_EQ(ToUpperUtf8("straße äb"), "STRASSE ÄB");
  EXPECT_EQ(ToUpperUtf8("ab\xe9"), "AB\xe9");
}

// Each text is checked on its own: a good text after a broken one in the
// same charset is read again, not as Windows-1252 (Qt's error flag outlives a
// reset). ICU and the tables of Japanese alike; in a new thread, whose
// decoders these texts are the first of.
TEST(Charsets, EveryTextIsCheckedOnItsOwn) {
  std::thread([] {
    const std::tuple<const char*, const char*, const char*, const char*> rows[] = {
        // charset, a broken text, its Windows-1252 reading, a good text
        {"euc-kr", "\xb0", "°", "\xb0\xa1"},
        {"shift_jis", "\x82", "‚", "\x82\xa0"},
    };
    for (const auto& [charset, broken, fallback, good] : rows) {
      SCOPED_TRACE(charset);
      const std::string decoded = CharsetToUtf8(good, charset);
      EXPECT_NE(decoded, Windows1252ToUtf8(good));
      EXPECT_EQ(CharsetToUtf8(broken, charset), fallback);
      EXPECT_EQ(CharsetToUtf8(good, charset), decoded);
    }
    // ISO-2022-JP: a text left in its double-byte set; two escapes with no
    // text between them, which ICU reads as a broken character.
    EXPECT_EQ(CharsetToUtf8("\x1b$B$\"", "iso-2022-jp"), "あ");
    EXPECT_EQ(CharsetToUtf8("\x1b$B\x1b(B", "iso-2022-jp"), "\xef\xbf\xbd");
    EXPECT_EQ(CharsetToUtf8("a\x1b$B$\"$$\x1b(Bb\n", "ISO-2022-JP"), "aあいb\n");
  }).join();
}

TEST(TransferEncodings, Decoding) {
  EXPECT_EQ(DecodeQuotedPrintable({"a=3Db =", "c=", "d  ", "=ZZ =4"}), "a=b cd\n=ZZ =4\n");
  EXPECT_EQ(DecodeBase64("SGVs\r\nbG8=\n"), "Hello");
  EXPECT_EQ(DecodeBase64("SGVs!!bG8"), "Hello");
  EXPECT_EQ(ParseTransferEncoding(" Quoted-Printable"), TransferEncoding::QuotedPrintable);
  EXPECT_EQ(ParseTransferEncoding("8bit"), TransferEncoding::Identity);
}

}  // namespace
}  // namespace bc
