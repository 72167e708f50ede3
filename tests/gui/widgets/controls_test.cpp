#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "support/test_env.h"
#include "ui/about_box.h"
#include "ui/icon_button.h"
#include "ui/link_label.h"
#include "ui/ui_resources.h"

namespace bc {
namespace {

TEST(BrowserCommandLine, CutsAtQuotedOrBarePlaceholder) {
  const std::string url = "https://example.org/a b";
  // The cut falls on the opening quotation mark, so two blanks precede the address.
  EXPECT_EQ(BrowserCommandLine("/usr/bin/firefox \"%s\"", url), "/usr/bin/firefox  " + url);
  EXPECT_EQ(BrowserCommandLine("prog --new-tab \"%s\" --later %s", url), "prog --new-tab  " + url);
  EXPECT_EQ(BrowserCommandLine("prog %s", url), "prog  " + url);
  EXPECT_EQ(BrowserCommandLine("prog", url), "prog " + url);
}

TEST(LinkLabel, TextAndAddressStandInForEachOther) {
  CLinkLabel label;
  label.SetLink(QString(), QStringLiteral("https://example.org/"));
  EXPECT_EQ(label.text(), QStringLiteral("https://example.org/"));
  label.SetLink(QStringLiteral("example.org"), QString());
  EXPECT_EQ(label.address(), QStringLiteral("example.org"));

  EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(0, 0, 255));
  EXPECT_TRUE(label.font().underline());
  // Sized to its text.
  EXPECT_EQ(label.size(), label.fontMetrics().size(Qt::TextSingleLine, label.text()));
}

TEST(LinkLabel, ClickFallsBackToBrowserThenBeeps) {
  CLinkLabel label;
  label.SetLink(QStringLiteral("site"), QStringLiteral("https://example.org/"));
  label.show();
  QStringList desktopCalls, fallbackCalls;
  bool desktopWorks = false, fallbackWorks = true;
  label.SetOpeners(
      [&](const QString& a) {
        desktopCalls << a;
        return desktopWorks;
      },
      [&](const QString& a) {
        fallbackCalls << a;
        return fallbackWorks;
      });
  QSignalSpy failed(&label, &CLinkLabel::OpenFailed);

  QTest::mouseClick(&label, Qt::LeftButton, {}, label.rect().center());
  EXPECT_EQ(desktopCalls, QStringList{QStringLiteral("https://example.org/")});
  EXPECT_EQ(fallbackCalls, QStringList{QStringLiteral("https://example.org/")});
  EXPECT_EQ(failed.count(), 0);

  fallbackWorks = false;
  EXPECT_FALSE(label.OpenAddress());
  EXPECT_EQ(failed.count(), 1);

  desktopWorks = true;
  fallbackCalls.clear();
  EXPECT_TRUE(label.OpenAddress());
  EXPECT_TRUE(fallbackCalls.isEmpty());
}

TEST(LinkLabel, ResizeKeepsTheEdgeItsAlignmentNames) {
  CLinkLabel label;
  label.SetAdjustToFit(false);
  label.SetLink(QStringLiteral("x"), QStringLiteral("https://example.org/"));
  const QSize textSize = label.fontMetrics().size(Qt::TextSingleLine, label.text());

  label.setGeometry(100, 50, 200, 40);
  label.setAlignment(Qt::AlignRight | Qt::AlignTop);
  label.ResizeToText();
  EXPECT_EQ(label.geometry().right(), 299);
  EXPECT_EQ(label.geometry().top(), 50);

  label.setGeometry(100, 50, 200, 40);
  label.setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  label.ResizeToText();
  EXPECT_EQ(label.geometry().left(), 100 + (200 - textSize.width()) / 2);
  EXPECT_EQ(label.geometry().top(), 50 + (40 - textSize.height()) / 2);
}

TEST(IconButton, DrawsInIconOnlyWhileHovering) {
  CIconButton button;
  const QIcon in = EmbeddedIcon(QStringLiteral("tool_play"));
  const QIcon out = EmbeddedIcon(QStringLiteral("tool_stop"));
  ASSERT_FALSE(in.isNull());
  button.AssignIcons(in, out, 16, 16);
  EXPECT_EQ(button.iconSize(), QSize(16, 16));
  EXPECT_EQ(button.currentIcon().cacheKey(), out.cacheKey());

  QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
  QApplication::sendEvent(&button, &enter);
  EXPECT_TRUE(button.isHovering());
  EXPECT_EQ(button.currentIcon().cacheKey(), in.cacheKey());

  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&button, &leave);
  EXPECT_FALSE(button.isHovering());
  EXPECT_EQ(button.currentIcon().cacheKey(), out.cacheKey());

  // A single icon serves both states.
  button.AssignIcons(in, QIcon(), 300, 12);
  EXPECT_EQ(button.currentIcon().cacheKey(), in.cacheKey());
  EXPECT_EQ(button.iconSize(), QSize(255, 12));
}

TEST(IconButton, FlatBorderAppearsOnlyUnderTheMouse) {
  QWidget window;
  window.resize(120, 40);
  auto* plain = new CIconButton(&window);
  auto* borderless = new CIconButton(&window);
  const QIcon icon = EmbeddedIcon(QStringLiteral("tool_play"));
  for (CIconButton* b : {plain, borderless}) {
    b->AssignIcons(icon, QIcon(), 16, 16);
    b->SetShowText(false);
    b->setFixedSize(24, 22);
  }
  borderless->SetDrawBorder(false);
  borderless->move(60, 0);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  // Moves through the window system, so enter and leave events follow.
  auto moveTo = [&](QPoint pos) { QTest::mouseMove(window.windowHandle(), pos); };
  moveTo(QPoint(45, 35));  // between the buttons
  ASSERT_TRUE(QTest::qWaitFor([&] { return !plain->isHovering(); }));

  const QImage plainAtRest = plain->grab().toImage();
  const QImage borderlessAtRest = borderless->grab().toImage();
  moveTo(QPoint(12, 11));
  ASSERT_TRUE(QTest::qWaitFor([&] { return plain->isHovering(); }));
  EXPECT_NE(plain->grab().toImage(), plainAtRest);

  moveTo(QPoint(72, 11));
  ASSERT_TRUE(QTest::qWaitFor([&] { return borderless->isHovering(); }));
  EXPECT_FALSE(plain->isHovering());
  EXPECT_EQ(plain->grab().toImage(), plainAtRest);  // leaving removes the border
  EXPECT_EQ(borderless->grab().toImage(), borderlessAtRest);
}

TEST(AboutBox, ShowsItsTextsLinkAndPaintsVersionAndLogo) {
  CAboutBoxDlg box;
  EXPECT_EQ(box.windowTitle(), QStringLiteral("About Brindlecast"));
  EXPECT_TRUE(box.isModal());
  auto* platform = box.findChild<QLabel*>(QStringLiteral("platformLine"));
  ASSERT_NE(platform, nullptr);
  EXPECT_EQ(platform->text(), QStringLiteral("Running on Linux"));
  ASSERT_NE(box.webLink(), nullptr);
  EXPECT_EQ(box.webLink()->address(), QString::fromUtf8(kProductWebSite));
  EXPECT_EQ(box.webLink()->text(), QString::fromUtf8(kProductWebSite));
  auto* ok = box.findChild<QPushButton*>(QStringLiteral("okButton"));
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text(), QStringLiteral("OK"));

  // The logo stands left of the texts, all of them above the rule and inside the box.
  box.show();
  auto* logo = box.findChild<QLabel*>(QStringLiteral("logo"));
  auto* version = box.findChild<QLabel*>(QStringLiteral("versionLine"));
  auto* rule = box.findChild<QWidget*>(QStringLiteral("separator"));
  ASSERT_TRUE(logo && version && rule);
  EXPECT_EQ(version->text(), QString::fromUtf8(kAboutVersionLine));
  EXPECT_FALSE(logo->pixmap().isNull());
  for (QWidget* w : std::initializer_list<QWidget*>{version, platform, box.webLink()}) {
    EXPECT_GT(w->geometry().left(), logo->geometry().right()) << w->objectName().toStdString();
    EXPECT_LT(w->geometry().bottom(), rule->geometry().top()) << w->objectName().toStdString();
    EXPECT_TRUE(box.rect().contains(w->geometry())) << w->objectName().toStdString();
  }
  EXPECT_LT(logo->geometry().bottom(), rule->geometry().top());
  EXPECT_GT(ok->geometry().top(), rule->geometry().bottom());

  // The painted parts: text pixels in the version line, and the logo.
  const QImage image = box.grab().toImage();
  const QColor background = image.pixelColor(box.width() - 2, 2);
  auto differs = [&](QRect area) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
      for (int x = area.left(); x <= area.right(); ++x) {
        if (image.pixelColor(x, y) != background) {
          return true;
        }
      }
    }
    return false;
  };
  EXPECT_TRUE(differs(version->geometry()));
  EXPECT_TRUE(differs(logo->geometry()));

  // Without a browser the link says so instead of doing nothing.
  test::RecordingPrompt prompt;
  box.SetPrompt(&prompt);
  box.webLink()->SetOpeners([](const QString&) { return false; },
                            [](const QString&) { return false; });
  EXPECT_FALSE(box.webLink()->OpenAddress());
  EXPECT_EQ(prompt.messages, std::vector<std::string>{NoBrowserMessage(kProductWebSite)});

  QSignalSpy accepted(&box, &QDialog::accepted);
  box.show();
  QTest::mouseClick(ok, Qt::LeftButton);
  EXPECT_EQ(accepted.count(), 1);
}

TEST(AboutBox, EnterPressesOkNotTheLink) {
  CAboutBoxDlg box;
  QStringList opened;
  box.webLink()->SetOpeners([&](const QString& a) { return opened << a, true; }, nullptr);
  QSignalSpy accepted(&box, &QDialog::accepted);
  box.show();
  box.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  EXPECT_EQ(accepted.count(), 1);
  EXPECT_TRUE(opened.isEmpty());
}

}  // namespace
}  // namespace bc
