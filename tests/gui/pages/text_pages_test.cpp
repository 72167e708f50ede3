#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextBlock>

#include "support/test_env.h"
#include "ui/pages/text_pages.h"

namespace bc {
namespace {

TEST(DecodeTextFile, KeepsUtf8AndReadsEverythingElseAsWindows1252) {
  // UTF-8, its byte order mark dropped.
  EXPECT_EQ(DecodeTextFile("\xEF\xBB\xBF"
                           "Caf\xC3\xA9 \xE2\x82\xAC"),
            QStringLiteral(u"Café €"));
  // Windows-1252: curly quotes, e acute and the euro sign.
  EXPECT_EQ(DecodeTextFile("\x93"
                           "Caf\xE9\x94 \x80"),
            QStringLiteral(u"“Café” €"));
  // A UTF-8 sequence cut off at the end is not UTF-8: the whole file is 1252,
  // and its last byte is not lost.
  EXPECT_EQ(DecodeTextFile("abc\xC3"), QStringLiteral(u"abcÃ"));
  // CR LF and LF give the same lines; a lone CR stays.
  EXPECT_EQ(DecodeTextFile("one\r\ntwo\r\n"), QStringLiteral("one\ntwo\n"));
  EXPECT_EQ(DecodeTextFile("one\ntwo\n"), QStringLiteral("one\ntwo\n"));
  EXPECT_EQ(DecodeTextFile("a\rb"), QStringLiteral("a\rb"));
}

TEST(TextToRead, TakesAtMost19999CharactersWithoutSplittingAPair) {
  EXPECT_EQ(TextToRead(QString(19999, QLatin1Char('a'))).size(), 19999);
  EXPECT_EQ(TextToRead(QString(25000, QLatin1Char('a'))).size(), 19999);
  // A character outside the BMP straddling the cut is left out whole.
  const QString text =
      QString(19998, QLatin1Char('a')) + QStringLiteral(u"😀") + QStringLiteral("b");
  EXPECT_EQ(TextToRead(text), QString(19998, QLatin1Char('a')));
}

class TextReaderTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = dir_.File(name);
    test::WriteFile(path, bytes);
    return path;
  }
  test::TempDir dir_;
  test::RecordingPrompt prompt_;
  TextReaderPage page_;
};

TEST_F(TextReaderTest, CrLfAndLfFilesShowTheSameLines) {
  page_.LoadFile(Write("crlf.txt", "Dear reader,\r\nsecond line\r\nthird\r\n"));
  const QString crlf = page_.Text();
  EXPECT_EQ(page_.textBox()->document()->blockCount(), 4);
  page_.LoadFile(Write("lf.txt", "Dear reader,\nsecond line\nthird\n"));
  EXPECT_EQ(page_.Text(), crlf);
  EXPECT_EQ(page_.textBox()->document()->findBlockByNumber(1).text(),
            QStringLiteral("second line"));
}

TEST_F(TextReaderTest, LongLinesAndLongFilesArriveWhole) {
  const std::string line(2500, 'x');
  const std::string path = Write("line.txt", "start" + line + "end\n");
  page_.LoadFile(path);
  EXPECT_EQ(page_.Text(), QString::fromStdString("start" + line + "end\n"));
  EXPECT_EQ(page_.Path(), QString::fromStdString(path));
  EXPECT_TRUE(page_.pathBox()->isReadOnly());

  std::string big;
  for (int i = 0; big.size() < 25000; ++i) {
    big += "Line " + std::to_string(i) + " of a long document.\n";
  }
  page_.LoadFile(Write("big.txt", big));
  EXPECT_EQ(page_.Text().size(), static_cast<qsizetype>(big.size()));
  const std::optional<std::string> read = page_.TextForPlay();
  ASSERT_TRUE(read);
  EXPECT_EQ(*read, big.substr(0, 19999));
}

TEST_F(TextReaderTest, DialogCancelChangesNothingAndUnreadableFilesGiveNoText) {
  page_.SetText(QStringLiteral("kept"));
  EXPECT_FALSE(page_.ChooseAndLoad(prompt_));
  EXPECT_EQ(page_.Text(), QStringLiteral("kept"));
  EXPECT_EQ(prompt_.fileRequests, std::vector<std::string>{"Open|Txt Documents (*.txt)|txt"});

  prompt_.chosenFile = Write("latin.txt",
                             "Stra\xDF"
                             "e\r\n");
  EXPECT_TRUE(page_.ChooseAndLoad(prompt_));
  EXPECT_EQ(page_.Text(), QStringLiteral(u"Straße\n"));

  const std::string missing = dir_.File("gone.txt");
  page_.LoadFile(missing);
  EXPECT_TRUE(page_.IsEmpty());
  EXPECT_EQ(page_.TextForPlay(), std::nullopt);
  EXPECT_EQ(page_.Path(), QString::fromStdString(missing));
  EXPECT_TRUE(prompt_.messages.empty());
}

TEST(ClipboardReader, PasteReplacesThePageAndReportsAnEmptyClipboard) {
  test::RecordingPrompt prompt;
  ClipboardReaderPage page;
  QGuiApplication::clipboard()->setText(QStringLiteral("first\r\nsecond"));
  page.Paste(prompt);
  EXPECT_EQ(page.Text(), QStringLiteral("first\nsecond"));
  page.SetText(QStringLiteral("edited"));
  page.Paste(prompt);  // pasting again loses the edits
  EXPECT_EQ(page.Text(), QStringLiteral("first\nsecond"));
  EXPECT_TRUE(prompt.messages.empty());
  EXPECT_TRUE(ClipboardReaderPage::ClipboardHasText());

  QGuiApplication::clipboard()->clear();
  EXPECT_FALSE(ClipboardReaderPage::ClipboardHasText());
  page.Paste(prompt);
  EXPECT_EQ(prompt.messages, std::vector<std::string>{"Clipboard is empty"});
  EXPECT_TRUE(page.Text().isEmpty());
  EXPECT_EQ(page.TextForPlay(prompt), std::nullopt);
  EXPECT_EQ(prompt.messages.size(), 1u);  // an empty page is not read, silently
}

TEST(ClipboardReader, PlayRefusesTextsOver20000Characters) {
  test::RecordingPrompt prompt;
  ClipboardReaderPage page;
  page.SetText(QString(20000, QLatin1Char('a')));
  const std::optional<std::string> read = page.TextForPlay(prompt);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->size(), 19999u);
  EXPECT_TRUE(prompt.messages.empty());

  page.SetText(QString(20001, QLatin1Char('a')));
  EXPECT_EQ(page.TextForPlay(prompt), std::nullopt);
  EXPECT_EQ(prompt.messages, std::vector<std::string>{"Over 20000 characters in clipboard"});
  EXPECT_EQ(page.Text().size(), 20001);  // the text stays on the page
}

}  // namespace
}  // namespace bc
