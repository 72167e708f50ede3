// Shows a new-mail and a storage notice, the About box and a row of tool
// buttons (the fourth disabled), then quits after a while: for
// looking at the painted windows under a real display (Xvfb).
//   widget_demo [seconds [storage-delay-ms]]   defaults 3 and 300
#include <QApplication>
#include <QHBoxLayout>
#include <QTimer>

#include "ui/about_box.h"
#include "ui/icon_button.h"
#include "ui/notice_window.h"
#include "ui/ui_resources.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int seconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 3;
  const int storageDelay = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 300;

  QWidget owner;
  bc::NoticeWindows notices(&owner);
  notices.Show(bc::NoticeKind::NewMail, {"Brindlecast",
                                         "You have received a new email message from "
                                         "'Ann Example <ann@example.org>'"});
  QTimer::singleShot(storageDelay, [&] {
    notices.Show(bc::NoticeKind::Storage,
                 {"Brindlecast", "Your email account 'ann' has reached 80% of it's storage limit"});
  });

  bc::CAboutBoxDlg about;
  about.move(100, 100);
  about.show();

  QWidget toolbar;
  toolbar.setWindowTitle(QStringLiteral("Brindlecast"));
  auto* row = new QHBoxLayout(&toolbar);
  row->setSpacing(1);
  QList<bc::CIconButton*> buttons;
  for (const char* name : {"tool_open", "tool_save_wav", "tool_play", "tool_pause", "tool_stop",
                           "tool_delete", "tool_refresh", "tool_close"}) {
    auto* button = new bc::CIconButton(&toolbar);
    const QIcon icon = bc::EmbeddedIcon(QString::fromLatin1(name));
    button->AssignIcons(icon, icon, 16, 16);
    button->SetShowText(false);
    button->setFixedSize(24, 22);
    row->addWidget(button);
    buttons << button;
  }
  buttons[3]->setEnabled(false);
  auto* labelled = new bc::CIconButton(&toolbar);
  labelled->setText(QStringLiteral("Play"));
  labelled->AssignIcons(bc::EmbeddedIcon(QStringLiteral("tool_play")), QIcon(), 16, 16);
  row->addWidget(labelled);
  toolbar.move(100, 350);
  toolbar.show();

  QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
  return app.exec();
}
