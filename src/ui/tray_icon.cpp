#include "ui/tray_icon.h"

#include "config/text_util.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QThread>
#include <QWidget>

#include "config/text_util.h"
#include "ui/ui_resources.h"

namespace bc {

QIcon TrayImageIcon(TrayImage image) {
  static const QIcon icons[] = {
      EmbeddedIcon(QStringLiteral("tray_idle")),
      EmbeddedIcon(QStringLiteral("tray_mail")),
      EmbeddedIcon(QStringLiteral("tray_checking")),
      EmbeddedIcon(QStringLiteral("tray_disconnected")),
  };
  return icons[static_cast<int>(image)];
}

QIcon ProgramIcon() {
  return TrayImageIcon(TrayImage::MailPresent);
}

std::string InitialTrayToolTip(bool showToolTip) {
  return showToolTip ? std::string("Brindlecast") : std::string();
}

QString ShowHideText(bool windowVisible) {
  return windowVisible ? QStringLiteral("Hide Brindlecast") : QStringLiteral("Show Brindlecast");
}

TrayMenuLook TrayMenuLookFor(bool suspended, bool workerRunning) {
  TrayMenuLook look;
  look.showHideEnabled = !suspended;
  look.propertiesEnabled = !suspended;
  look.checkEmailsEnabled = !suspended && !workerRunning;
  look.suspendChecked = suspended;
  return look;
}

TrayIcon::TrayIcon(QWidget* mainWindow, bool showToolTip, QObject* parent)
    : QObject(parent), window_(mainWindow), menu_(new QMenu) {
  menu_->setObjectName(QStringLiteral("trayMenu"));
  QAction* showHide = AddCommand(QStringLiteral("Show &Brindlecast"), TrayCommand::ShowHide,
                                 &TrayIcon::ShowHideRequested);
  AddCommand(QStringLiteral("&Properties..."), TrayCommand::Properties,
             &TrayIcon::PropertiesRequested);
  menu_->addSeparator();
  AddCommand(QStringLiteral("&Check Emails"), TrayCommand::CheckEmails,
             &TrayIcon::CheckEmailsRequested);
  menu_->addSeparator();
  // The voice reads every message at start-up: it can be stopped from here
  // without opening the main window.
  AddCommand(QStringLiteral("Stop &Speaking"), TrayCommand::StopSpeaking,
             &TrayIcon::StopSpeakingRequested);
  menu_->addSeparator();
  AddCommand(QStringLiteral("Check &Latest Version"), TrayCommand::CheckLatestVersion,
             &TrayIcon::CheckLatestVersionRequested);
  menu_->addSeparator();
  AddCommand(QStringLiteral("Help &Topics"), TrayCommand::HelpTopics,
             &TrayIcon::HelpTopicsRequested);
  AddCommand(QStringLiteral("&About Brindlecast"), TrayCommand::About, &TrayIcon::AboutRequested);
  menu_->addSeparator();
  AddCommand(QStringLiteral("&Suspend"), TrayCommand::Suspend, &TrayIcon::SuspendRequested)
      ->setCheckable(true);
  AddCommand(QStringLiteral("&Exit"), TrayCommand::Exit, &TrayIcon::ExitRequested);
  // The first item is the default one, shown bold, as a double click runs it.
  menu_->setDefaultAction(showHide);
  connect(menu_, &QMenu::aboutToShow, this, &TrayIcon::PrepareMenu);

  SetToolTip(InitialTrayToolTip(showToolTip));

  if (window_) {
    window_->installEventFilter(this);
  }
  ApplyLook();
  PrepareMenu();
}

TrayIcon::~TrayIcon() {
  if (window_) {
    window_->removeEventFilter(this);
  }
  // The tray icon refers to the menu: let it go first.
  delete icon_;
  delete menu_;
}

const char* ObjectName(TrayCommand command) {
  switch (command) {
    case TrayCommand::ShowHide:
      return "trayShowHideAction";
    case TrayCommand::Properties:
      return "trayPropertiesAction";
    case TrayCommand::CheckEmails:
      return "trayCheckEmailsAction";
    case TrayCommand::StopSpeaking:
      return "trayStopSpeakingAction";
    case TrayCommand::CheckLatestVersion:
      return "trayCheckLatestVersionAction";
    case TrayCommand::HelpTopics:
      return "trayHelpTopicsAction";
    case TrayCommand::About:
      return "trayAboutAction";
    case TrayCommand::Suspend:
      return "traySuspendAction";
    case TrayCommand::Exit:
      return "trayExitAction";
  }
  return "";
}

QAction* TrayIcon::AddCommand(const QString& text, TrayCommand command,
                              void (TrayIcon::*signal)()) {
  QAction* act = menu_->addAction(text);
  act->setData(static_cast<int>(command));
  act->setObjectName(QString::fromLatin1(ObjectName(command)));
  connect(act, &QAction::triggered, this, signal);
  return act;
}

QAction* TrayIcon::action(TrayCommand command) const {
  for (QAction* act : menu_->actions()) {
    if (!act->isSeparator() && act->data().toInt() == static_cast<int>(command)) {
      return act;
    }
  }
  return nullptr;
}

bool TrayIcon::Install() {
  if (!icon_) {
    // Made here rather than with the menu: making it asks the session bus and
    // the display for the tray, which the program's first window need not wait for.
    icon_ = new QSystemTrayIcon(TrayImageIcon(image_), this);
    icon_->setToolTip(QString::fromStdString(ShownText(toolTip_)));
    icon_->setContextMenu(menu_);
    connect(icon_, &QSystemTrayIcon::activated, this, &TrayIcon::HandleActivation);
  }
  // Shown even without a tray: on X11 the icon then appears when a tray starts.
  icon_->show();
  return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::Remove() {
  if (icon_) {
    icon_->hide();
  }
}

void TrayIcon::SetImage(TrayImage image) {
  if (QThread::currentThread() != thread()) {
    QMetaObject::invokeMethod(
        this, [this, image] { SetImage(image); }, Qt::QueuedConnection);
    return;
  }
  image_ = image;
  if (icon_) {
    icon_->setIcon(TrayImageIcon(image));
  }
}

void TrayIcon::SetToolTip(const std::string& text) {
  if (QThread::currentThread() != thread()) {
    QMetaObject::invokeMethod(
        this, [this, text] { SetToolTip(text); }, Qt::QueuedConnection);
    return;
  }
  toolTip_ = CutUtf8(text, kTrayToolTipMaxBytes);
  if (icon_) {
    icon_->setToolTip(QString::fromStdString(ShownText(toolTip_)));
  }
}

void TrayIcon::SetSuspended(bool suspended) {
  suspended_ = suspended;
  ApplyLook();
}

void TrayIcon::SetWorkerRunning(bool running) {
  workerRunning_ = running;
  ApplyLook();
}

void TrayIcon::SetSpeaking(bool speaking) {
  speaking_ = speaking;
  ApplyLook();
}

void TrayIcon::ApplyLook() {
  const TrayMenuLook look = TrayMenuLookFor(suspended_, workerRunning_);
  action(TrayCommand::ShowHide)->setEnabled(look.showHideEnabled);
  action(TrayCommand::Properties)->setEnabled(look.propertiesEnabled);
  action(TrayCommand::CheckEmails)->setEnabled(look.checkEmailsEnabled);
  action(TrayCommand::Suspend)->setChecked(look.suspendChecked);
  action(TrayCommand::StopSpeaking)->setEnabled(speaking_);
}

void TrayIcon::PrepareMenu() {
  action(TrayCommand::ShowHide)->setText(ShowHideText(window_ && window_->isVisible()));
}

void TrayIcon::HandleActivation(QSystemTrayIcon::ActivationReason reason) {
  if (reason == QSystemTrayIcon::DoubleClick) {
    Q_EMIT ShowHideRequested();
  }
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_ && (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
    PrepareMenu();
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace bc
