// Shows a new-mail and a storage notice and the About box, then quits after a
// while: for looking at the painted windows under a real display (Xvfb).
//   widget_demo [seconds [storage-delay-ms]]   defaults 3 and 300
#include <QApplication>
#include <QTimer>

#include "ui/about_box.h"
#include "ui/notice_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int seconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 3;
  const int storageDelay = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 300;

  QWidget owner;
  bc::NoticeWindows notices(&owner);
  const QString blanks96(96, QLatin1Char(' '));
  const QString blanks95(95, QLatin1Char(' '));
  notices.Show(bc::NoticeKind::NewMail,
               QStringLiteral("Brindlecast") + blanks96 +
                   QStringLiteral("You have received a new email message from "
                                  "'Ann Example <ann@example.org>'"));
  QTimer::singleShot(storageDelay, [&] {
    notices.Show(bc::NoticeKind::Storage,
                 QStringLiteral("Brindlecast") + blanks95 +
                     QStringLiteral("Your email account 'ann' has reached 80% of it's "
                                    "storage limit"));
  });

  bc::CAboutBoxDlg about;
  about.move(100, 100);
  about.show();

  QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
  return app.exec();
}
