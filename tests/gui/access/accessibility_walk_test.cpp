// Every window and dialog of the program, walked as a screen reader and a
// keyboard user meet it: each visible control has an accessible name, each
// field caption is tied to its field, each dialog control answers an Alt
// letter of its own, and Tab reaches a page's content before OK and Cancel.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "gui/props/props_test_util.h"
#include "gui/window/session_fixture.h"
#include "speech/speech_engine.h"
#include "speech/wav_file.h"
#include "support/test_env.h"
#include "ui/about_box.h"
#include "ui/icon_button.h"
#include "ui/link_label.h"
#include "ui/new_release_dialog.h"
#include "ui/pages/email_list.h"
#include "ui/pages/text_pages.h"
#include "ui/pages/wav_page.h"
#include "ui/pages/waveform_view.h"
#include "ui/props/account_page.h"
#include "ui/props/properties_command.h"
#include "ui/props/property_sheet.h"
#include "ui/props/sender_pages.h"
#include "ui/tip_of_day_dialog.h"
#include "ui/tray_icon.h"

namespace bc {
namespace {

bool IsControl(const QWidget* w) {
  const QWidget* parent = w->parentWidget();
  // Parts of a composite control are named by the control itself.
  if (qobject_cast<const QComboBox*>(parent) || qobject_cast<const QAbstractSpinBox*>(parent) ||
      qobject_cast<const QAbstractItemView*>(parent) || qobject_cast<const QHeaderView*>(w)) {
    return false;
  }
  return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w) ||
         qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractItemView*>(w) ||
         qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QPlainTextEdit*>(w) ||
         qobject_cast<const QProgressBar*>(w) || qobject_cast<const CLinkLabel*>(w);
}

QString AccessibleName(QWidget* w) {
  QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w);
  return face ? face->text(QAccessible::Name) : QString();
}

bool IsOkOrCancel(const QWidget* w) {
  return w->objectName() == QStringLiteral("okButton") ||
         w->objectName() == QStringLiteral("cancelButton");
}

QString Id(const QWidget* w) {
  if (w == nullptr) {
    return QStringLiteral("nothing");
  }
  return QStringLiteral("%1 \"%2\"")
      .arg(QString::fromUtf8(w->metaObject()->className()), w->objectName());
}

// What a screen-reader or keyboard user would stumble on in the part of
// `window` now shown: one line per fault. `dialog` adds the rules of dialogs
// (captions with buddies, mnemonics, OK and Cancel last).
QStringList Faults(QWidget& window, bool dialog) {
  QStringList faults;
  QString letters;
  for (QWidget* w : window.findChildren<QWidget*>()) {
    if (!w->isVisibleTo(&window)) {
      continue;
    }
    if (auto* bar = qobject_cast<QTabBar*>(w)) {
      QAccessibleInterface* face = QAccessible::queryAccessibleInterface(bar);
      for (int i = 0; i < face->childCount(); ++i) {
        const QString name = face->child(i)->text(QAccessible::Name);
        if (face->child(i)->role() == QAccessible::PageTab && name != name.trimmed()) {
          faults << QStringLiteral("tab \"%1\" is padded").arg(name);
        }
      }
    }
    if (IsControl(w)) {
      const QString name = AccessibleName(w);
      // On Linux Qt names a combo box by its entry and leaves its caption to
      // the label relation, which Orca reads first.
      auto* combo = qobject_cast<QComboBox*>(w);
      if (combo ? QAccessible::queryAccessibleInterface(w)->relations(QAccessible::Label).isEmpty()
                : name.isEmpty()) {
        faults << Id(w) + QStringLiteral(" has no name");
      } else if (name != name.trimmed() || name.contains(QLatin1Char('&'))) {
        faults << Id(w) + QStringLiteral(" is named \"%1\"").arg(name);
      }
    }
    auto* label = qobject_cast<QLabel*>(w);
    if (dialog && label && label->text().trimmed().endsWith(QLatin1Char(':')) && !label->buddy()) {
      faults << QStringLiteral("caption \"%1\" has no buddy").arg(label->text());
    }
    QString text;
    if (auto* button = qobject_cast<QAbstractButton*>(w); button && !IsOkOrCancel(w)) {
      text = button->text();
    } else if (label && label->buddy() && (label->buddy()->focusPolicy() & Qt::TabFocus)) {
      text = label->text();  // a caption of a value shown, not of a field, needs no key
    }
    if (dialog && !text.isEmpty() && !qobject_cast<CLinkLabel*>(w)) {
      const qsizetype at = text.indexOf(QLatin1Char('&'));
      if (at < 0 || at + 1 >= text.size()) {
        faults << QStringLiteral("\"%1\" has no mnemonic").arg(text);
      } else if (letters.contains(text[at + 1].toLower())) {
        faults << QStringLiteral("\"%1\" takes a letter already taken").arg(text);
      } else {
        letters += text[at + 1].toLower();
      }
    }
  }
  if (dialog) {
    // The Tab order as a user walks it from the dialog's first stop.
    bool buttonsSeen = false;
    QWidget* w = &window;
    for (int i = 0; i < 500 && (w = w->nextInFocusChain()) != &window;) {
      if (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(&window) || !w->isEnabled()) {
        continue;
      }
      if (IsOkOrCancel(w)) {
        buttonsSeen = true;
      } else if (buttonsSeen) {
        faults << Id(w) + QStringLiteral(" comes after OK or Cancel in the Tab order");
      }
    }
  }
  return faults;
}

// A sheet's faults, page by page.
QStringList SheetFaults(QDialog& d) {
  QStringList faults;
  auto& sheet = static_cast<PropertySheet&>(d);
  auto* tabs = d.findChild<QTabWidget*>(QStringLiteral("sheetTabs"));
  for (int i = 0; i < sheet.PageCount(); ++i) {
    sheet.SetActivePage(i);
    for (const QString& fault : Faults(d, true)) {
      faults << tabs->tabText(i) + QStringLiteral(": ") + fault;
    }
  }
  sheet.SetActivePage(0);
  return faults;
}

TEST(AccessibilityWalk, PropertySheetsAndTheirDialogs) {
  test::PropsFixture f;
  Settings settings;
  settings.options.ShowEnvelopeInfo = true;  // the envelope options button on
  settings.options.NotificationMethod = 0;   // the speech options button on
  test::QuietHost host;
  QStringList faults;
  QStringList seen;
  // Each dialog is checked when it opens; the sheet opens its sub-dialogs in turn.
  std::function<int(QDialog&)> walk = [&](QDialog& d) {
    d.show();
    seen << d.windowTitle();
    const QString title = d.windowTitle();
    if (auto* sheet = dynamic_cast<PropertySheet*>(&d)) {
      for (const QString& fault : SheetFaults(d)) {
        faults << title + QStringLiteral(": ") + fault;
      }
      if (title == QStringLiteral("Brindlecast Properties")) {
        sheet->SetActivePage(0);
        auto* tree = d.findChild<QTreeWidget*>(QStringLiteral("accountTree"));
        tree->setCurrentItem(tree->topLevelItem(0));
        test::Click(d, "addButton");  // the account sheet
        sheet->SetActivePage(1);
        test::Click(d, "envelopeOptionsButton");
        sheet->SetActivePage(2);
        test::Click(d, "optionsButton");
      } else {
        sheet->SetActivePage(1);
        test::Click(d, "addButton");  // the sender dialog
      }
    } else {
      for (const QString& fault : Faults(d, true)) {
        faults << title + QStringLiteral(": ") + fault;
      }
    }
    d.hide();
    return static_cast<int>(QDialog::Rejected);
  };
  PropsContext context{f.prompt, f.store, f.voices, walk};
  PropertiesCommand().Run(nullptr, settings, host, context);
  EXPECT_EQ(seen.join(QStringLiteral(", ")).toStdString(),
            "Brindlecast Properties, Account Properties, Sender Information, Envelope Options, "
            "Email Speech Options");
  EXPECT_EQ(faults.join(QLatin1Char('\n')).toStdString(), "");
}

// Forward Tab from a sheet's tab row lands on the page, and Ctrl+Tab,
// Ctrl+PageDown (also from a combo box) turn the page. Combo boxes tell
// their value.
TEST(AccessibilityWalk, SheetKeysReachAndTurnEveryPage) {
  test::PropsFixture f;
  Settings settings;
  settings.options.NotificationMethod = 2;  // "None"
  MailAccount alice;
  alice.UserName = "alice";
  alice.ApproveSender = "bob@example.org;ann@example.org;";
  settings.accounts = {alice};
  test::QuietHost host;
  QStringList faults;
  std::function<int(QDialog&)> walk = [&](QDialog& d) {
    auto& sheet = dynamic_cast<PropertySheet&>(d);
    auto* tabs = d.findChild<QTabWidget*>(QStringLiteral("sheetTabs"));
    d.show();
    QApplication::setActiveWindow(&d);  // also when the sheet before it was active
    for (int i = 0; i < sheet.PageCount(); ++i) {
      sheet.SetActivePage(i);
      // Orca hears a combo box's value through its description.
      for (QComboBox* combo : sheet.Page(i)->findChildren<QComboBox*>()) {
        combo->setCurrentIndex(combo->count() - 1);
        if (QAccessible::queryAccessibleInterface(combo)->text(QAccessible::Description) !=
            combo->currentText()) {
          faults << d.windowTitle() + QStringLiteral(": %1 does not tell its value").arg(Id(combo));
        }
      }
      tabs->tabBar()->setFocus();
      QTest::keyClick(tabs->tabBar(), Qt::Key_Tab);
      QWidget* now = QApplication::focusWidget();
      if (!now || !sheet.Page(i)->isAncestorOf(now)) {
        faults << d.windowTitle() + QStringLiteral(": Tab from page %1 goes to %2")
                                        .arg(i)
                                        .arg(now ? Id(now) : QStringLiteral("nothing"));
      }
      for (const auto& key :
           {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)}) {
        const int before = tabs->currentIndex();
        QWidget* from = QApplication::focusWidget();
        if (auto* combo = sheet.Page(i)->findChild<QComboBox*>(); combo && combo->isEnabled()) {
          combo->setFocus();
          from = combo;
        }
        QTest::keySequence(from, key);
        if (tabs->currentIndex() != (before + 1) % sheet.PageCount()) {
          faults << d.windowTitle() + QStringLiteral(": %1 on %2 stays on page %3")
                                          .arg(key.toString(), Id(from))
                                          .arg(before);
        }
        sheet.SetActivePage(i);
      }
    }
    if (d.windowTitle() == QStringLiteral("Brindlecast Properties")) {
      // Tab enters the notification group at the chosen button, and leaves it.
      sheet.SetActivePage(2);
      auto* start = d.findChild<QWidget*>(QStringLiteral("checkMailCheck"));
      start->setFocus();
      QStringList stops;  // once round the sheet
      for (int i = 0; i < 30 && (i == 0 || QApplication::focusWidget() != start); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        if (qobject_cast<QRadioButton*>(QApplication::focusWidget())) {
          stops << QApplication::focusWidget()->objectName();
        }
      }
      EXPECT_EQ(stops.join(QLatin1Char(' ')).toStdString(), "noneRadio");
      sheet.SetActivePage(0);
      auto* tree = d.findChild<QTreeWidget*>(QStringLiteral("accountTree"));
      tree->setCurrentItem(tree->topLevelItem(0)->child(0));
      d.hide();  // the account sheet takes the keys
      test::Click(d, "editButton");
    } else {
      // A sender list has a current entry for Orca to read, none selected.
      sheet.SetActivePage(1);
      auto* list = sheet.Page(1)->findChild<QListWidget*>(QStringLiteral("senderList"));
      EXPECT_TRUE(list->currentItem() &&
                  list->currentItem()->text() == QStringLiteral("ann@example.org"));
      EXPECT_TRUE(list->selectedItems().isEmpty());
    }
    d.hide();
    return static_cast<int>(QDialog::Rejected);
  };
  PropsContext context{f.prompt, f.store, f.voices, walk};
  PropertiesCommand().Run(nullptr, settings, host, context);
  EXPECT_EQ(faults.join(QLatin1Char('\n')).toStdString(), "");
}

// An account's check box is heard: its cell offers the "toggle" action Orca
// looks for and says its state, which Space changes. Cancel brings a deleted
// account back. (The state-change event needs a bridge: see the Orca test.)
TEST(AccessibilityWalk, AccountChecksAreHeardAndCancelKeepsAccounts) {
  test::PropsFixture f;
  Settings settings;
  MailAccount alice;
  alice.UserName = "alice";
  alice.CheckMark = true;
  settings.accounts = {alice};
  test::QuietHost host;
  std::function<int(QDialog&)> walk = [&](QDialog& d) {
    d.show();
    QApplication::setActiveWindow(&d);
    auto* tree = d.findChild<QTreeWidget*>(QStringLiteral("accountTree"));
    tree->setFocus();
    tree->setCurrentItem(tree->topLevelItem(0)->child(0));
    QAccessibleInterface* cell =
        QAccessible::queryAccessibleInterface(tree)->tableInterface()->cellAt(1, 0);
    EXPECT_EQ(cell->text(QAccessible::Name), QStringLiteral("alice"));
    EXPECT_TRUE(cell->actionInterface() &&
                cell->actionInterface()->actionNames().contains(QStringLiteral("toggle")));
    for (const bool checked : {true, false, true}) {
      EXPECT_TRUE(cell->state().checkable);
      EXPECT_EQ(cell->state().checked, checked);
      QTest::keyClick(tree, Qt::Key_Space);
    }
    test::Click(d, "deleteButton");
    EXPECT_EQ(tree->topLevelItem(0)->childCount(), 0);
    return static_cast<int>(QDialog::Rejected);
  };
  PropsContext context{f.prompt, f.store, f.voices, walk};
  PropertiesCommand().Run(nullptr, settings, host, context);
  ASSERT_EQ(settings.accounts.size(), 1u);
  EXPECT_EQ(settings.accounts[0], alice);
}

TEST(AccessibilityWalk, SmallDialogs) {
  test::RecordingPrompt prompt;
  test::TempDir dir;
  CAboutBoxDlg about;
  CTipOfDayDlg tips(nullptr, prompt, dir.File("none.dat"), dir.File("tips.ini"));
  CNewReleaseDlg release({"2.10", "2026-11-02", ""}, QUrl(QStringLiteral("https://example.org")));
  for (QDialog* d : std::initializer_list<QDialog*>{&about, &tips, &release}) {
    d->show();
    EXPECT_EQ(Faults(*d, true).join(QLatin1Char('\n')).toStdString(), "")
        << d->windowTitle().toStdString();
  }
  // The tip is text a screen reader can read, not paint.
  auto* tip = tips.findChild<QLabel*>(QStringLiteral("tipString"));
  ASSERT_NE(tip, nullptr);
  EXPECT_EQ(AccessibleName(tip).toStdString(),
            "Tips file does not exist in the prescribed directory");
}

TEST(AccessibilityWalk, AboutBoxShowsItsVersionAndALinkTheKeyboardOpens) {
  CAboutBoxDlg about;
  about.show();
  const QStringList texts = [&] {
    QStringList t;
    for (QLabel* label : about.findChildren<QLabel*>()) {
      t << AccessibleName(label);
    }
    return t;
  }();
  EXPECT_TRUE(texts.contains(QString::fromUtf8(kAboutVersionLine)));
  auto* link = about.findChild<CLinkLabel*>(QStringLiteral("webLink"));
  ASSERT_NE(link, nullptr);
  QStringList opened;
  link->SetOpeners([&](const QString& a) { return opened << a, true; }, nullptr);
  QAccessibleInterface* face = QAccessible::queryAccessibleInterface(link);
  EXPECT_EQ(face->role(), QAccessible::Link);
  // Tab from OK reaches the link, and Enter opens it.
  about.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&about));
  about.findChild<QPushButton*>(QStringLiteral("okButton"))->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), link);
  QTest::keyClick(link, Qt::Key_Return);
  ASSERT_EQ(opened.size(), 1);
  EXPECT_EQ(opened[0], link->address());
  face->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(opened.size(), 2);
}

class MainWindowWalk : public test::SessionTest {
 protected:
  void SetUp() override { StartSession(dir_.File("Brindlecast.conf")); }
  void Activate() {
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_));
  }
};

TEST_F(MainWindowWalk, EveryTabsControlsNamedAndTheToolbarReachable) {
  for (int tab = 0; tab < window_->tabs().count(); ++tab) {
    window_->tabs().setCurrentIndex(tab);
    EXPECT_EQ(Faults(*window_, false).join(QLatin1Char('\n')).toStdString(), "")
        << window_->tabs().tabText(tab).toStdString();
  }
  // The toolbar's buttons, as Orca reads them, and every one a Tab stop.
  QStringList names;
  for (QWidget* w :
       window_->findChild<QWidget*>(QStringLiteral("toolbar"))->findChildren<QAbstractButton*>()) {
    names << AccessibleName(w);
    EXPECT_TRUE(w->focusPolicy() & Qt::TabFocus) << AccessibleName(w).toStdString();
    // The description Orca reads after the name is never the tooltip's typo.
    EXPECT_EQ(w->accessibleDescription(), w->accessibleName());
  }
  EXPECT_EQ(names.join(QStringLiteral(", ")).toStdString(),
            "Open file, Save to wav file, Play, Pause/Resume playing, Stop playing, "
            "Delete selected items, Refresh content, Close window");
}

// The pages besides the list's are made when first shown: a page shown
// while the focus is on the list takes it, and Tab goes from the tab bar
// into the page, to its main control first.
TEST_F(MainWindowWalk, TheFocusGoesFromTheTabsIntoEachPage) {
  Activate();
  QTabBar* bar = window_->tabs().tabBar();
  for (int tab = 1; tab < window_->tabs().count(); ++tab) {
    window_->ShowTab(Tab::Email);
    window_->emailList().view()->setFocus();
    window_->tabs().setCurrentIndex(tab);
    QWidget* focused = QApplication::focusWidget();
    EXPECT_TRUE(focused != nullptr && window_->tabs().currentWidget()->isAncestorOf(focused) &&
                (focused->focusPolicy() & Qt::TabFocus))
        << window_->tabs().tabText(tab).toStdString() << " "
        << Id(QApplication::focusWidget()).toStdString();
    bar->setFocus(Qt::TabFocusReason);
    QTest::keyClick(bar, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), window_->PageControl())
        << window_->tabs().tabText(tab).toStdString() << " "
        << Id(QApplication::focusWidget()).toStdString();
  }
}

TEST_F(MainWindowWalk, MenusCarryTheirShortcutsOnceAndAlwaysOnTopIsAToggle) {
  for (QAction* top : window_->menuBar()->actions()) {
    for (QAction* item : top->menu()->actions()) {
      EXPECT_FALSE(item->text().contains(QLatin1Char('\t'))) << item->text().toStdString();
      EXPECT_EQ(item->text(), item->text().trimmed()) << item->text().toStdString();
      if (item->text() == QStringLiteral("A&lways on Top")) {
        EXPECT_TRUE(item->isCheckable());
        EXPECT_EQ(item->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));
      }
    }
  }
}

// A toolbar button that goes grey while it has the focus hands it to the
// page, never to "Close window", where one more Space would hide the window.
TEST_F(MainWindowWalk, FocusLeavesAGreyedButtonForThePage) {
  const std::string file = dir_.File("note.txt");
  test::WriteFile(file, "Hello there.");
  prompt_.chosenFile = file;
  Activate();
  window_->OpenTextFile();
  QWidget* text = window_->textPage().textBox();
  struct Row {
    ToolButton pressed;
    bool waitForTheVoice;  // the voice ends by itself while the button has the focus
  };
  for (const Row& row :
       {Row{ToolButton::Play, false}, Row{ToolButton::Stop, false}, Row{ToolButton::Stop, true}}) {
    if (row.pressed == ToolButton::Stop) {
      window_->Play();
    }
    CIconButton* button = window_->button(row.pressed);
    ASSERT_TRUE(button->isEnabled()) << ObjectName(row.pressed);
    button->setFocus();
    if (row.waitForTheVoice) {
      ASSERT_TRUE(QTest::qWaitFor([&] { return !window_->speech().IsVoiceBusy(); }, 10000));
      QTest::qWait(50);
    } else {
      QTest::keyClick(button, Qt::Key_Space);
    }
    EXPECT_FALSE(button->isEnabled()) << ObjectName(row.pressed);
    EXPECT_EQ(QApplication::focusWidget(), text)
        << ObjectName(row.pressed) << " " << Id(QApplication::focusWidget()).toStdString();
    window_->Stop();
  }
}

// After a dialog the focus is on a control of the page, not on the menu bar
// the command came from (where Tab moves nothing).
TEST_F(MainWindowWalk, FocusComesBackToThePageAfterADialog) {
  Activate();
  window_->menuBar()->setFocus(Qt::MenuBarFocusReason);
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* about = qobject_cast<CAboutBoxDlg*>(w); about && about->isVisible()) {
        about->reject();
      }
    }
  });
  closer.start(20);
  window_->action(Command::About)->trigger();
  closer.stop();
  QApplication::setActiveWindow(window_);  // as the desktop does when the dialog goes
  EXPECT_EQ(QApplication::focusWidget(), window_->PageControl())
      << Id(QApplication::focusWidget()).toStdString();
}

// The waveform view without a mouse: a Tab stop named after its file, the
// caret and selection said as times, moved by the keys; Space plays exactly
// the selection.
TEST_F(MainWindowWalk, TheWaveformViewWorksByKeyboard) {
  const WavFormat format{1, 22050, 16};
  const std::string file = dir_.File("greeting.wav");
  const std::vector<uint8_t> silence(static_cast<size_t>(format.BytesPerSecond()) * 82 / 10, 0);
  const std::vector<uint8_t> image = EncodeWav(format, silence);
  test::WriteFile(file, std::string(image.begin(), image.end()));
  prompt_.chosenFile = file;
  Activate();
  window_->OpenWavFile();
  CWaveViewCtrl* view = window_->wavPage().view();
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->focusPolicy() & Qt::TabFocus);
  EXPECT_EQ(AccessibleName(view).toStdString(), "Waveform of greeting.wav, 8.2 seconds");
  view->setFocus();
  struct Row {
    int key;
    Qt::KeyboardModifiers mods;
    const char* heard;
  };
  for (const Row& row : {
           Row{Qt::Key_Right, {}, "caret at 0.1 seconds"},
           Row{Qt::Key_Right, Qt::ControlModifier, "caret at 1.1 seconds"},
           Row{Qt::Key_Left, {}, "caret at 1.0 seconds"},
           Row{Qt::Key_Right, Qt::ShiftModifier,
               "caret at 1.1 seconds, selected 1.0 to 1.1 seconds"},
           Row{Qt::Key_Right, Qt::ShiftModifier,
               "caret at 1.2 seconds, selected 1.0 to 1.2 seconds"},
           Row{Qt::Key_End, {}, "caret at 8.2 seconds"},
           Row{Qt::Key_Left, Qt::ShiftModifier | Qt::ControlModifier,
               "caret at 7.2 seconds, selected 7.2 to 8.2 seconds"},
           Row{Qt::Key_Home, {}, "caret at 0.0 seconds"},
           Row{Qt::Key_Right, Qt::ControlModifier, "caret at 1.0 seconds"},
           Row{Qt::Key_Right, Qt::ShiftModifier,
               "caret at 1.1 seconds, selected 1.0 to 1.1 seconds"},
       }) {
    QTest::keyClick(view, static_cast<Qt::Key>(row.key), row.mods);
    EXPECT_EQ(
        QAccessible::queryAccessibleInterface(view)->text(QAccessible::Description).toStdString(),
        row.heard);
  }
  QTest::keyClick(view, Qt::Key_Space);
  EXPECT_TRUE(view->IsPlaying());
  EXPECT_EQ(view->playStartByte(), static_cast<uint64_t>(format.BytesPerSecond()));
  EXPECT_FALSE(window_->button(ToolButton::Play)->isEnabled());
  // A tenth of a second, not the file's 8.2: playback ends at the selection's end.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !view->IsPlaying(); }, 3000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return window_->button(ToolButton::Play)->isEnabled(); }));
  EXPECT_EQ(view->caretMs(), 1100);
}

// F10 opens the menu bar. Suspend is in the window's menu too; from there the
// window stays up.
TEST_F(MainWindowWalk, MenusServeTheKeyboard) {
  Activate();
  QTest::keyClick(window_, Qt::Key_F10);
  ASSERT_NE(window_->menuBar()->activeAction(), nullptr);
  EXPECT_EQ(window_->menuBar()->activeAction()->text(), QStringLiteral("&File"));
  QAction* suspend = window_->action(Command::Suspend);
  EXPECT_EQ(suspend->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
  for (const bool suspended : {true, false}) {
    suspend->trigger();
    EXPECT_EQ(window_->controller().Suspended(), suspended);
    EXPECT_EQ(suspend->isChecked(), suspended);
    EXPECT_TRUE(window_->isVisible());
  }
}

TEST_F(MainWindowWalk, StopSpeakingInTheTrayFollowsTheVoiceAndStopsIt) {
  QAction* stop = window_->tray().action(TrayCommand::StopSpeaking);
  ASSERT_NE(stop, nullptr);
  EXPECT_FALSE(stop->isEnabled());
  window_->speech().Speak("One two three four five six seven eight nine ten.");
  ASSERT_TRUE(QTest::qWaitFor([&] { return stop->isEnabled(); }, 5000));
  stop->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window_->speech().IsVoiceBusy(); }, 5000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !stop->isEnabled(); }, 5000));
}

}  // namespace
}  // namespace bc
