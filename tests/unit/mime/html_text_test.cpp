#include "mime/html_text.h"

#include <gtest/gtest.h>

namespace bc {
namespace {

TEST(StripHtml, TheStoredExamples) {
  EXPECT_EQ(StripHtml("Hello <b>world</b> bye"), "Hello  world  bye");
  EXPECT_EQ(StripHtml("a&nbsp;b"), "ab");
  EXPECT_EQ(StripHtml("Regards-----Quoted"), "Regard");
  EXPECT_EQ(StripHtml("I <3 you"), "I <3 you");
  EXPECT_EQ(StripHtml("plain text, nothing to do"), "plain text, nothing to do");
}

TEST(StripHtml, Cuts) {
  EXPECT_EQ(StripHtml("-----Original Message-----"), "-----Original Message-----");
  EXPECT_EQ(StripHtml("Thanks<hr>old text"), "Thank");
  EXPECT_EQ(StripHtml("<hr>kept"), "kept");  // "<hr" at the very start cuts nothing
  // The character dropped before the dashes is a whole UTF-8 character.
  EXPECT_EQ(StripHtml("Gr\xc3\xbc\xc3\x9f-----x"), "Gr\xc3\xbc");
}

TEST(StripHtml, TagsLeaveOneSpaceAfterText) {
  EXPECT_EQ(StripHtml("<p>one</p><p>two</p>"), "one two ");
  EXPECT_EQ(StripHtml("<a href=\"x\" title='y'>link</a>"), "link ");
  EXPECT_EQ(StripHtml("a <b"), "a <b");
}

TEST(StripHtml, UnreadElementsAreDropped) {
  EXPECT_EQ(StripHtml("<style>p { color: red }</style>Text"), "Text");
  EXPECT_EQ(StripHtml("a<script type=\"x\">alert('<b>')</script>b"), "a b");
  EXPECT_EQ(StripHtml("<HEAD><TITLE>t</TITLE></HEAD><BODY>Body</BODY>"), "Body ");
  EXPECT_EQ(StripHtml("x<!-- <b>hidden</b> -->y"), "x y");
  // A style sheet cut off by the content line limit does not leak into the text.
  EXPECT_EQ(StripHtml("Hi<style>body { margin: 0"), "Hi ");
  // Dashes inside a style sheet do not cut the message.
  EXPECT_EQ(StripHtml("<style>/* ----- */</style><p>Sale</p>"), "Sale ");
  // A head that is never closed ends where the body starts.
  EXPECT_EQ(StripHtml("<head><title>t</title><body>Text"), "Text");
}

TEST(StripHtml, EntitiesAreDecodedAfterTagsAreRemoved) {
  EXPECT_EQ(StripHtml("Fish &amp; Chips"), "Fish & Chips");
  EXPECT_EQ(StripHtml("&lt;b&gt;not a tag&lt;/b&gt;"), "<b>not a tag</b>");
  EXPECT_EQ(StripHtml("caf&eacute; &euro;5 &#8364;5 &#x20AC;5 &mdash;"),
            "caf\xc3\xa9 \xe2\x82\xac"
            "5 \xe2\x82\xac"
            "5 \xe2\x82\xac"
            "5 \xe2\x80\x94");
  EXPECT_EQ(StripHtml("AT&T &unknown; & &#xZZ;"), "AT&T &unknown; & &#xZZ;");
  EXPECT_EQ(StripHtml("&#0; &#1114112;"), "\xef\xbf\xbd \xef\xbf\xbd");
}

TEST(StripHtml, QuoteMarksOfAPlainTextReplyAreKept) {
  // The check cycle joins lines without separators, so a reply reads like this; the
  // text before the first ">" must not be lost.
  EXPECT_EQ(StripHtml("Sounds good.> On Monday Joe <joe@example.com> wrote:> hello"),
            "Sounds good.> On Monday Joe   wrote:> hello");
}

}  // namespace
}  // namespace bc
