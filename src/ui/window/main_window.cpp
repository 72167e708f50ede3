#include "ui/window/main_window.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "config/paths.h"
#include "config/settings_store.h"
#include "speech/mail_announcer.h"
#include "speech/sound_player.h"
#include "speech/speech_engine.h"
#include "ui/about_box.h"
#include "ui/icon_button.h"
#include "ui/link_label.h"
#include "ui/notice_presenter.h"
#include "ui/pages/email_list.h"
#include "ui/pages/text_pages.h"
#include "ui/pages/wav_page.h"
#include "ui/pages/waveform_view.h"
#include "ui/props/properties_command.h"
#include "ui/tip_of_day_dialog.h"
#include "ui/tray_icon.h"
#include "ui/ui_resources.h"
#include "ui/window/page_holder.h"

namespace bc {
namespace {

constexpr const char* kSavingSuffix = "   Saving is in the progress, please wait...";
// How long "Saved to ..." stays at the foot of the window.
constexpr int kSavedNoticeMs = 20000;
// How many of the messages to delete the question names before "and N more".
constexpr int kDeleteQuestionRows = 5;

// How long after a dialog closed the window checks that it has the focus back.
constexpr int kRefocusAfterDialogMs = 150;

constexpr const char* kPauseTip = "Pause/Resume playing";
constexpr const char* kResumeTip = "Resume playing";

// Toolbar buttons: which, icon, tooltip.
struct ButtonEntry {
  ToolButton id;
  const char* icon;
  const char* tip;
};
constexpr ButtonEntry kButtons[] = {
    {ToolButton::Open, "tool_open", "Open file"},
    {ToolButton::Save, "tool_save_wav", "Save to wav file"},
    {ToolButton::Play, "tool_play", "Play"},
    {ToolButton::Pause, "tool_pause", kPauseTip},
    {ToolButton::Stop, "tool_stop", "Stop playing"},
    {ToolButton::Delete, "tool_delete", "Delete selected itmems"},
    {ToolButton::Refresh, "tool_refresh", "Refresh content"},
    {ToolButton::Close, "tool_close", "Close window"},
};

// What the Properties command asks of the window; saving the settings is the
// session's work, which the window only asks for.
class PropertiesBridge final : public PropertiesHost {
 public:
  PropertiesBridge(MainWindow& window, const std::function<bool()>& save)
      : window_(window), save_(save) {}
  void StopSpeech() override { window_.Stop(); }
  void SetBusy(bool busy) override { window_.controller().SetBusy(busy); }
  void SaveSortDirection() override { window_.emailList().SaveSortDirection(); }
  void ClearTrayToolTip() override { window_.tray().SetToolTip({}); }
  bool SaveSettings() override { return save_(); }  // the session's work
  void ArmChecking() override { window_.controller().ArmChecking(); }
  void RebuildList() override { window_.emailList().Rebuild(window_.settings().options); }
  void CheckSoon() override { window_.controller().StartCheck(); }

 private:
  MainWindow& window_;
  const std::function<bool()>& save_;
};

TrayImage ImageOf(TrayState state) {
  switch (state) {
    case TrayState::Idle:
      return TrayImage::Idle;
    case TrayState::MailPresent:
      return TrayImage::MailPresent;
    case TrayState::Checking:
      return TrayImage::Checking;
    case TrayState::Disconnected:
      return TrayImage::Disconnected;
  }
  return TrayImage::Idle;
}

// Commands that open a dialog leave the focus on a control of the page.
class FocusBackToPage {
 public:
  explicit FocusBackToPage(MainWindow& window) : window_(window) {}
  ~FocusBackToPage() { window_.KeepFocusOnPage(); }
  FocusBackToPage(const FocusBackToPage&) = delete;
  FocusBackToPage& operator=(const FocusBackToPage&) = delete;

 private:
  MainWindow& window_;
};

QFrame* Separator(QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::VLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

}  // namespace

MainWindow::MainWindow(MainWindowParts parts, QWidget* parent)
    : QMainWindow(parent),
      store_(parts.store),
      settings_(parts.settings),
      speech_(parts.speech),
      sound_(parts.sound),
      controller_(parts.controller),
      announcer_(parts.announcer),
      saveSettings_(std::move(parts.saveSettings)),
      ownPrompt_(this),
      prompt_(parts.prompt ? *parts.prompt : ownPrompt_),
      silentAudio_(parts.silentAudio) {
  setWindowTitle(QString::fromLatin1(kProgramTitle));
  // The icon comes with ShowProgramIcon, once the window is up.
  setWindowFlag(Qt::WindowMaximizeButtonHint, false);

  tray_ = new TrayIcon(this, settings_.options.ShowToolTip, this);
  // The icon comes once the window is up: putting it into the tray waits for
  // the session bus and the display, and the window's first frame need not.
  QTimer::singleShot(0, tray_, [this] {
    if (!exiting_) {
      tray_->Install();
    }
  });
  notices_ = new NoticePresenter(this, [this] {
    // A notification's "Show": the window comes up, whatever it was doing.
    showNormal();
    raise();
    activateWindow();
    tray_->PrepareMenu();
  });

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(3, 0, 3, 3);
  layout->setSpacing(2);
  BuildToolbar(central);
  BuildMenus();
  BuildTabs();
  layout->addWidget(tabs_);
  setCentralWidget(central);
  // The Delete key deletes the selected messages while the list's page has the focus.
  actions_[Command::Delete]->setShortcut(QKeySequence(Qt::Key_Delete));
  actions_[Command::Delete]->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  emailList_->addAction(actions_[Command::Delete]);
  // A line at the foot of the window for news that needs no answer; shown only with one.
  QStatusBar* status = statusBar();
  status->setObjectName(QStringLiteral("statusLine"));
  status->hide();
  connect(status, &QStatusBar::messageChanged, status,
          [status](const QString& text) { status->setVisible(!text.isEmpty()); });
  resize(760, 500);

  emailList_->Rebuild(settings_.options);
  ConnectSignals();
  Apply(StatesFor(Situation::TabSelected, Tab::Email, HasSelection()));
  Apply(Situation::Initialised);  // last: Play is on once the window is ready
}

MainWindow::~MainWindow() = default;

void MainWindow::ShowProgramIcon() {
  setWindowIcon(ProgramIcon());
}

void MainWindow::BuildToolbar(QWidget* parent) {
  auto* bar = new QWidget(parent);
  bar->setObjectName(QStringLiteral("toolbar"));
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(1);
  for (const ButtonEntry& entry : kButtons) {
    auto* button = new CIconButton(bar);
    button->setObjectName(QString::fromLatin1(ObjectName(entry.id)));
    const QIcon icon = EmbeddedIcon(QString::fromLatin1(entry.icon));
    button->AssignIcons(icon, icon, 20, 20);
    button->setToolTip(QString::fromLatin1(entry.tip));
    // Orca reads the name and, as the description, the tooltip; the tooltip's
    // typo stays on screen only.
    button->setAccessibleName(entry.id == ToolButton::Delete
                                  ? QStringLiteral("Delete selected items")
                                  : button->toolTip());
    button->setAccessibleDescription(button->accessibleName());
    button->setFocusPolicy(Qt::TabFocus);  // Tab reaches the toolbar; Space presses
    buttons_[entry.id] = button;
    // The separators stand after Save, after Stop and after Close.
    if (entry.id == ToolButton::Play || entry.id == ToolButton::Delete) {
      row->addWidget(Separator(bar));
    }
    row->addWidget(button);
  }
  row->addWidget(Separator(bar));
  row->addStretch(1);
  static_cast<QVBoxLayout*>(parent->layout())->addWidget(bar);

  connect(buttons_[ToolButton::Open], &QToolButton::clicked, this, [this] {
    if (CurrentTab() == Tab::Text) {
      OpenTextFile();
    } else if (CurrentTab() == Tab::Wav) {
      OpenWavFile();
    }
  });
  connect(buttons_[ToolButton::Play], &QToolButton::clicked, this, &MainWindow::Play);
  connect(buttons_[ToolButton::Pause], &QToolButton::clicked, this, &MainWindow::Pause);
  connect(buttons_[ToolButton::Stop], &QToolButton::clicked, this, &MainWindow::Stop);
  connect(buttons_[ToolButton::Delete], &QToolButton::clicked, this, &MainWindow::Delete);
  connect(buttons_[ToolButton::Refresh], &QToolButton::clicked, this, &MainWindow::Refresh);
  connect(buttons_[ToolButton::Close], &QToolButton::clicked, this, &QWidget::hide);
  connect(buttons_[ToolButton::Save], &QToolButton::clicked, this, [this] {
    Apply(WavStatesFor(WavMoment::SaveButton, CurrentTab()));
    SaveToWav();
  });
}

QAction* MainWindow::AddAction(QMenu* menu, const char* text, Command id,
                               void (MainWindow::*slot)(), const QKeySequence& shortcut) {
  auto* action = menu->addAction(QString::fromLatin1(text));
  action->setObjectName(QString::fromLatin1(ObjectName(id)));
  if (!shortcut.isEmpty()) {
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
  }
  if (slot) {
    connect(action, &QAction::triggered, this, slot);
  }
  actions_[id] = action;
  return action;
}

void MainWindow::BuildMenus() {
  using K = QKeySequence;
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  AddAction(file, "&Open Text File", Command::OpenTextFile, &MainWindow::OpenTextFile,
            K(Qt::CTRL | Qt::Key_O));
  AddAction(file, "Open &WAV File", Command::OpenWavFile, &MainWindow::OpenWavFile,
            K(Qt::CTRL | Qt::Key_W));
  AddAction(file, "Paste &Clipboard", Command::PasteClipboard, &MainWindow::PasteClipboard,
            K(Qt::CTRL | Qt::Key_V));
  file->addSeparator();
  AddAction(file, "&Save to WAV", Command::SaveToWav, &MainWindow::SaveToWav,
            K(Qt::CTRL | Qt::Key_S));
  file->addSeparator();
  AddAction(file, "E&xit", Command::Exit, nullptr, K(Qt::CTRL | Qt::Key_Q));
  connect(actions_[Command::Exit], &QAction::triggered, this, [this] { Exit(); });

  QMenu* control = menuBar()->addMenu(QStringLiteral("&Control"));
  AddAction(control, "&Play", Command::Play, &MainWindow::Play, K(Qt::CTRL | Qt::Key_P));
  AddAction(control, "Pa&use", Command::Pause, &MainWindow::Pause, K(Qt::CTRL | Qt::Key_U));
  AddAction(control, "S&top", Command::Stop, &MainWindow::Stop, K(Qt::CTRL | Qt::Key_T));
  control->addSeparator();
  AddAction(control, "&Delete", Command::Delete, &MainWindow::Delete);
  AddAction(control, "Re&fresh", Command::Refresh, &MainWindow::Refresh, K(Qt::Key_F5));
  control->addSeparator();
  // Also in the tray; here a keyboard user reaches it without one.
  AddAction(control, "&Suspend Checking", Command::Suspend, &MainWindow::ToggleSuspend,
            K(Qt::CTRL | Qt::SHIFT | Qt::Key_S))
      ->setCheckable(true);

  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  AddAction(view, "P&roperties...", Command::Properties, &MainWindow::Properties,
            K(Qt::CTRL | Qt::Key_R));
  AddAction(view, "A&lways on Top", Command::AlwaysOnTop, &MainWindow::ToggleAlwaysOnTop,
            K(Qt::CTRL | Qt::Key_L))
      ->setCheckable(true);
  view->addSeparator();
  AddAction(view, "&Hide Window", Command::HideWindow, &MainWindow::HideWindow,
            K(Qt::CTRL | Qt::Key_H));

  QMenu* read = menuBar()->addMenu(QStringLiteral("&Read"));
  AddAction(read, "Read &Email", Command::ReadEmail, &MainWindow::ReadEmail,
            K(Qt::CTRL | Qt::Key_E));
  AddAction(read, "Read &File...", Command::ReadFile, &MainWindow::ReadFile);
  AddAction(read, "Read Clip&board", Command::ReadClipboard, &MainWindow::ReadClipboard);
  read->addSeparator();
  AddAction(read, "Read WA&V...", Command::ReadWav, &MainWindow::ReadWav);

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  AddAction(help, "&Help Topics", Command::HelpTopics, nullptr, K(Qt::Key_F1));
  connect(actions_[Command::HelpTopics], &QAction::triggered, this, [this] {
    Stop();
    HelpTopics();
  });
  help->addSeparator();
  AddAction(help, "Tip of the Day...", Command::TipOfTheDay, &MainWindow::TipOfTheDay);
  AddAction(help, "&Feedback and Support", Command::Feedback, &MainWindow::FeedbackAndSupport);
  AddAction(help, "&Check Latest Version", Command::CheckLatestVersion, nullptr,
            K(Qt::CTRL | Qt::SHIFT | Qt::Key_U));
  connect(actions_[Command::CheckLatestVersion], &QAction::triggered, this, [this] {
    Stop();
    CheckLatestVersion();
  });
  help->addSeparator();
  AddAction(help, "About &Brindlecast", Command::About, nullptr, K(Qt::CTRL | Qt::Key_M));
  connect(actions_[Command::About], &QAction::triggered, this, [this] {
    Stop();
    About();
  });
  // F10 opens the menu bar, as in other desktop programs.
  auto* menuKey = new QShortcut(K(Qt::Key_F10), this);
  menuKey->setObjectName(QStringLiteral("menuBarShortcut"));
  connect(menuKey, &QShortcut::activated, this, [this] {
    menuBar()->setFocus(Qt::MenuBarFocusReason);
    menuBar()->setActiveAction(menuBar()->actions().value(0));
  });
}

void MainWindow::BuildTabs() {
  tabs_ = new QTabWidget(this);
  tabs_->setObjectName(QStringLiteral("tabs"));
  emailList_ = new EmailList(controller_.store(), store_, tabs_);
  // The other pages are made when first shown or used.
  textHolder_ = new PageHolder(
      [this](QWidget* holder) {
        textPage_ = new TextReaderPage(holder);
        connect(textPage_, &TextReaderPage::PasteRequested, this, &MainWindow::PasteClipboard);
        return textPage_;
      },
      tabs_);
  clipboardHolder_ = new PageHolder(
      [this](QWidget* holder) {
        clipboardPage_ = new ClipboardReaderPage(holder);
        connect(clipboardPage_, &ClipboardReaderPage::PasteRequested, this,
                &MainWindow::PasteClipboard);
        return clipboardPage_;
      },
      tabs_);
  wavHolder_ = new PageHolder(
      [this](QWidget* holder) {
        wavPage_ = new WavReaderPage(silentAudio_, holder);
        connect(wavPage_, &WavReaderPage::PlaybackEnded, this, &MainWindow::OnWavePlayDone);
        connect(wavPage_, &WavReaderPage::PlayRequested, this, &MainWindow::Play);
        connect(wavPage_, &WavReaderPage::StopRequested, this, &MainWindow::Stop);
        return wavPage_;
      },
      tabs_);

  tabs_->addTab(emailList_, QStringLiteral(" Email Reader "));
  tabs_->addTab(textHolder_, QStringLiteral(" Text Reader "));
  tabs_->addTab(clipboardHolder_, QStringLiteral(" Clipboard Reader "));
  tabs_->addTab(wavHolder_, QStringLiteral(" WAV Reader "));
  for (int i = 0; i < tabs_->count(); ++i) {
    // The blanks pad the tab on screen; a screen reader says the words alone.
    tabs_->tabBar()->setAccessibleTabName(i, tabs_->tabText(i).trimmed());
  }
  tabs_->setCurrentIndex(IndexOf(Tab::Email));
}

void MainWindow::ConnectSignals() {
  connect(tabs_, &QTabWidget::currentChanged, this, &MainWindow::OnTabChanged);
  connect(&speech_, &SpeechEngine::SpeakingStarted, this, &MainWindow::OnSpeakingStarted);
  connect(&speech_, &SpeechEngine::SpeakingFinished, this, &MainWindow::OnSpeakingFinished);
  connect(emailList_, &EmailList::Clicked, this, &MainWindow::OnListClicked);
  connect(emailList_->problemsLine(), &CheckProblemsBox::EditAccountRequested, this,
          &MainWindow::EditAccount);

  connect(tray_, &TrayIcon::ShowHideRequested, this, &MainWindow::ShowHide);
  connect(tray_, &TrayIcon::PropertiesRequested, this, &MainWindow::Properties);
  connect(tray_, &TrayIcon::CheckEmailsRequested, this, &MainWindow::CheckEmails);
  connect(tray_, &TrayIcon::StopSpeakingRequested, this, &MainWindow::Stop);
  connect(tray_, &TrayIcon::CheckLatestVersionRequested, this, &MainWindow::CheckLatestVersion);
  connect(tray_, &TrayIcon::HelpTopicsRequested, this, &MainWindow::HelpTopics);
  connect(tray_, &TrayIcon::AboutRequested, this, &MainWindow::About);
  connect(tray_, &TrayIcon::SuspendRequested, this, [this] { controller_.ToggleSuspend(); });
  connect(tray_, &TrayIcon::ExitRequested, this, [this] { Exit(); });
}

CIconButton* MainWindow::button(ToolButton id) const {
  auto it = buttons_.find(id);
  return it == buttons_.end() ? nullptr : it->second;
}

QAction* MainWindow::action(Command id) const {
  auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

Tab MainWindow::CurrentTab() const {
  return TabAt(tabs_->currentIndex());
}

bool MainWindow::HasSelection() const {
  return emailList_->SelectedCount() > 0;
}

bool MainWindow::IsVoiceBusy() const {
  return speech_.IsVoiceBusy();
}

TextReaderPage& MainWindow::textPage() {
  textHolder_->Page();
  return *textPage_;
}

ClipboardReaderPage& MainWindow::clipboardPage() {
  clipboardHolder_->Page();
  return *clipboardPage_;
}

WavReaderPage& MainWindow::wavPage() {
  wavHolder_->Page();
  return *wavPage_;
}

CWaveViewCtrl* MainWindow::WavView() const {
  return wavPage_ != nullptr ? wavPage_->view() : nullptr;
}

void MainWindow::ReleaseWavView() {
  if (wavPage_ != nullptr) {
    wavPage_->ReleaseView();
  }
}

void MainWindow::ShowTab(Tab tab) {
  handlingTabs_ = false;
  tabs_->setCurrentIndex(IndexOf(tab));
  handlingTabs_ = true;
  // As a tab change does: the WAV file is let go while the user works elsewhere.
  if (tab != Tab::Wav) {
    ReleaseWavView();
  }
}

void MainWindow::Apply(const ControlStates& s) {
  QWidget* focused = focusWidget();
  auto setButton = [this](ToolButton id, const std::optional<bool>& on) {
    if (on) {
      buttons_[id]->setEnabled(*on);
    }
  };
  auto setItem = [this](Command id, const std::optional<bool>& on) {
    if (on) {
      actions_[id]->setEnabled(*on);
    }
  };
  setButton(ToolButton::Play, s.playButton);
  setButton(ToolButton::Pause, s.pauseButton);
  setButton(ToolButton::Stop, s.stopButton);
  setButton(ToolButton::Delete, s.deleteButton);
  setButton(ToolButton::Refresh, s.refreshButton);
  setButton(ToolButton::Open, s.openButton);
  setButton(ToolButton::Save, s.saveButton);
  setItem(Command::Play, s.playItem);
  setItem(Command::Pause, s.pauseItem);
  setItem(Command::Stop, s.stopItem);
  setItem(Command::Delete, s.deleteItem);
  setItem(Command::Refresh, s.refreshItem);
  setItem(Command::SaveToWav, s.saveToWavItem);
  // While paused, Pause is the way back: it says so.
  const CWaveViewCtrl* view = WavView();
  const bool paused = speech_.State() == RunState::Paused || (view != nullptr && view->IsPaused());
  actions_[Command::Pause]->setText(paused ? QStringLiteral("Res&ume") : QStringLiteral("Pa&use"));
  CIconButton* pause = buttons_[ToolButton::Pause];
  pause->setToolTip(QString::fromLatin1(paused ? kResumeTip : kPauseTip));
  pause->setAccessibleName(pause->toolTip());
  pause->setAccessibleDescription(pause->toolTip());
  // Qt hands the focus of a greyed control to the next one, "Close window";
  // one more Space would hide the window. The page's own control takes it.
  if (focused != nullptr && !focused->isEnabled() && focused->parentWidget() != nullptr &&
      focused->parentWidget()->objectName() == QLatin1String("toolbar")) {
    FocusPage();
  }
}

QWidget* MainWindow::PageControl() {
  switch (CurrentTab()) {
    case Tab::Email:
      return emailList_->view();
    case Tab::Text:
      return textPage().textBox();
    case Tab::Clipboard:
      return clipboardPage().textBox();
    case Tab::Wav:
      if (wavPage().view() != nullptr && wavPage().view()->isVisible()) {
        return wavPage().view();
      }
      return wavPage().pathBox();
  }
  return tabs_;
}

void MainWindow::FocusPage() {
  PageControl()->setFocus(Qt::OtherFocusReason);
}

void MainWindow::KeepFocusOnPage() {
  // Some window managers (openbox) activate no window when a dialog closes:
  // the keys then reach nothing until the user clicks.
  // Qt may still count the window active until the desktop's news arrives, so
  // the request is made whatever it says.
  if (isVisible() && !isMinimized() && QApplication::activeModalWidget() == nullptr &&
      QApplication::activePopupWidget() == nullptr) {
    activateWindow();
    // The desktop may take that request before the dialog is gone and then
    // drop the focus all the same: once its news is in, ask again if no
    // window of the program is active (a user who went to another program
    // within that moment is rare; the window would come forward).
    QTimer::singleShot(kRefocusAfterDialogMs, this, [this] {
      if (isVisible() && !isMinimized() && QApplication::activeWindow() == nullptr &&
          QApplication::activeModalWidget() == nullptr) {
        activateWindow();
        // On X11 the desktop often leaves the keyboard focus with the window
        // while Qt, having seen the dialog's focus go, counts no window
        // active: no focus reaches a screen reader and Tab seems dead.
        QApplication::setActiveWindow(this);
      }
    });
  }
  // After a dialog the focus goes back to where it was, which may be a page
  // now hidden, a control now grey, or the menu bar left out of its keyboard
  // mode, where Tab moves nothing.
  QWidget* focused = focusWidget();
  if (focused == nullptr || !focused->isVisible() || !focused->isEnabled() ||
      (focused == menuBar() && menuBar()->activeAction() == nullptr)) {
    FocusPage();
  }
}

void MainWindow::Apply(Situation situation) {
  Apply(StatesFor(situation, CurrentTab(), HasSelection()));
}

void MainWindow::ResumeIfPaused() {
  if (speech_.State() == RunState::Paused) {
    speech_.TogglePause();
  }
}

void MainWindow::StopAndClear() {
  announcer_.Stop();  // the voice, the notification sound, the queues and flags
  tray_->SetSpeaking(false);
}

void MainWindow::Stop() {
  StopAndClear();
  Apply(Situation::Stopped);
  if (CWaveViewCtrl* view = WavView()) {
    view->PlayOrStop(false);
  }
}

void MainWindow::Play() {
  const BusyScope busy(controller_);
  const Tab tab = CurrentTab();
  std::optional<std::string> text;
  switch (tab) {
    case Tab::Email:
      if (emailList_->RowCount() == 0) {
        return;
      }
      break;
    case Tab::Text:
      text = textPage().TextForPlay();
      break;
    case Tab::Clipboard:
      text = clipboardPage().TextForPlay(prompt_);
      break;
    default:
      break;
  }
  if (tab == Tab::Wav && !wavPage().HasFile()) {
    return;
  }
  if (tab != Tab::Email && tab != Tab::Wav && !text) {
    return;
  }
  announcer_.SetPlayActive(true);
  if (tab == Tab::Email && !HasSelection()) {
    return;  // playActive stays set
  }
  Apply(Situation::PlayStarted);
  if (tab == Tab::Email) {
    announcer_.PlaySelected(settings_.options, settings_.accounts);
  } else if (tab == Tab::Wav) {
    CWaveViewCtrl* view = wavPage().view();
    if (view) {
      view->RefreshDisplay();
      view->EnsureSelectionAnchor();
    }
    // A file that cannot be played gives no end of playback: the buttons come back now.
    if (!view || !view->PlayOrStop(true)) {
      Apply(Situation::Stopped);
    }
  } else {
    speech_.Speak(*text);
  }
}

void MainWindow::Pause() {
  CWaveViewCtrl* view = WavView();
  if (CurrentTab() == Tab::Wav && view != nullptr && view->IsPlaying()) {
    view->SetPaused(!view->IsPaused());  // the file's own sound, not the voice
  } else {
    speech_.TogglePause();
  }
  Apply(Situation::PausePressed);
}

void MainWindow::ReadEmail() {
  Stop();
  ShowTab(Tab::Email);
  Apply(Situation::ReadEmailStarted);
  const BusyScope busy(controller_);
  if (announcer_.ReadEmail(settings_.options, settings_.accounts)) {
    Apply(Situation::PlayStarted);
  }
}

void MainWindow::Delete() {
  const FocusBackToPage focus(*this);
  // Only the list the user sees: other pages hide its selection.
  if (CurrentTab() != Tab::Email || !HasSelection()) {
    return;
  }
  // The question names the messages, so a list that changed since is no surprise.
  const std::set<std::string> asked = emailList_->SelectedKeys();
  if (!prompt_.AskYesNo("Do you want to delete?\n\n" +
                        emailList_->SelectionSummary(kDeleteQuestionRows))) {
    return;
  }
  // The voice or a check may have moved the selection while the question was
  // open: what goes is what was named, or nothing.
  emailList_->SelectKeys(asked);
  if (!HasSelection()) {
    return;
  }
  controller_.StartDelete(*emailList_);
}

void MainWindow::Refresh() {
  controller_.StartCheck();
}

void MainWindow::CheckEmails() {
  Stop();
  ShowTab(Tab::Email);
  controller_.StartCheck();
}

void MainWindow::ToggleAlwaysOnTop() {
  QAction* item = actions_[Command::AlwaysOnTop];
  const bool wasOnTop = windowFlags().testFlag(Qt::WindowStaysOnTopHint);
  const bool visible = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, !wasOnTop);
  item->setChecked(!wasOnTop);
  if (visible) {
    show();  // changing the flags re-creates the native window hidden
  }
}

void MainWindow::ToggleSuspend() {
  // Asked for here, the window stays where the user is working.
  suspendFromWindow_ = true;
  controller_.ToggleSuspend();
  suspendFromWindow_ = false;
}

void MainWindow::HideWindow() {
  Stop();
  hide();
}

void MainWindow::ShowHide() {
  if (isVisible()) {
    hide();
  } else {
    showNormal();
    raise();
    activateWindow();
  }
  tray_->PrepareMenu();
}

void MainWindow::OpenTextFile() {
  const FocusBackToPage focus(*this);
  Stop();
  if (!textPage().ChooseAndLoad(prompt_)) {
    return;
  }
  textPage().FocusText();
  Apply(Situation::TextFileOpened);
  ShowTab(Tab::Text);
}

void MainWindow::ReadFile() {
  const FocusBackToPage focus(*this);
  ResumeIfPaused();
  Stop();
  if (!textPage().ChooseAndLoad(prompt_)) {
    ShowTab(Tab::Text);
    return;
  }
  ShowTab(Tab::Text);
  Play();
}

void MainWindow::PasteClipboard() {
  const FocusBackToPage focus(*this);
  Stop();
  clipboardPage().Paste(prompt_);
  ShowTab(Tab::Clipboard);
  Apply(Situation::ClipboardPasted);
}

void MainWindow::ReadClipboard() {
  ResumeIfPaused();
  Stop();
  PasteClipboard();
  if (ClipboardReaderPage::ClipboardHasText()) {
    Apply(Situation::ClipboardToRead);
    Play();
  }
}

void MainWindow::Properties() {
  const FocusBackToPage focus(*this);
  PropertiesBridge host(*this, saveSettings_);
  properties_.Run(this, settings_, host, store_, speech_, prompt_);
}

void MainWindow::EditAccount(int index) {
  PropertiesBridge host(*this, saveSettings_);
  properties_.EditAccount(this, settings_, index, host, store_, speech_, prompt_);
}

void MainWindow::HelpTopics() {
  const std::string page = DataFilePath("help/index.html");
  QUrl url = QUrl::fromLocalFile(QString::fromStdString(page));
  url.setFragment(QStringLiteral("main-window"));
  if (!QDesktopServices::openUrl(url)) {
    prompt_.ShowMessage("The help could not be opened: " + page);
  }
}

void MainWindow::FeedbackAndSupport() {
  const std::string address = std::string(kProductWebSite) + "support.html";
  if (!OpenWebAddress(QString::fromStdString(address))) {
    prompt_.ShowMessage(NoBrowserMessage(address));
  }
}

void MainWindow::About() {
  const FocusBackToPage focus(*this);
  CAboutBoxDlg dialog(this);
  dialog.SetPrompt(&prompt_);
  dialog.exec();
}

void MainWindow::TipOfTheDay() {
  const FocusBackToPage focus(*this);
  CTipOfDayDlg dialog(this, prompt_);
  dialog.exec();
}

void MainWindow::CheckLatestVersion() {
  Q_EMIT LatestVersionRequested();
}

bool MainWindow::Exit() {
  const FocusBackToPage focus(*this);
  controller_.SetBusy(true);
  if (!prompt_.AskYesNo("Do you want to exit?")) {
    controller_.RestartAfterExitDeclined();
    return false;
  }
  exiting_ = true;
  tray_->Remove();
  ReleaseWavView();
  Q_EMIT ExitConfirmed();
  return true;
}

void MainWindow::OnTabChanged(int index) {
  if (!handlingTabs_) {
    return;
  }
  const Tab tab = TabAt(index);
  ResumeIfPaused();
  Stop();
  Apply(StatesFor(Situation::TabSelected, tab, HasSelection()));
  if (tab == Tab::Text && textPage().IsEmpty()) {
    OpenTextFile();
  } else if (tab == Tab::Clipboard) {
    PasteClipboard();
  }
  if (tab == Tab::Wav) {
    if (wavPage().HasFile()) {
      wavPage().CreateView(wavPage().Path());
    } else {
      ReadWav();
    }
  } else {
    ReleaseWavView();
  }
}

void MainWindow::OpenWavFile() {
  const FocusBackToPage focus(*this);
  Stop();
  const std::string path = WavReaderPage::ChooseFile(prompt_);
  if (path.empty()) {
    return;
  }
  wavPage().ShowFile(path);
  wavPage().view()->RefreshDisplay();
  Apply(WavStatesFor(WavMoment::FileOpened, CurrentTab()));
  ShowTab(Tab::Wav);
  wavPage().view()->setFocus();  // a screen reader names the file and its length
}

void MainWindow::ReadWav() {
  const FocusBackToPage focus(*this);
  Stop();
  const std::string path = WavReaderPage::ChooseFile(prompt_);
  if (path.empty()) {
    wavPage().ShowPrompt();
    Apply(WavStatesFor(WavMoment::ReadCancelled, CurrentTab()));
    ShowTab(Tab::Wav);
    return;
  }
  wavPage().ShowFile(path);
  ShowTab(Tab::Wav);
  CWaveViewCtrl* view = wavPage().view();
  view->setFocus();
  view->RefreshDisplay();
  view->EnsureSelectionAnchor();
  Apply(WavStatesFor(WavMoment::ReadChosen, CurrentTab()));
  if (!view->PlayOrStop(true)) {
    Apply(Situation::Stopped);
  }
}

void MainWindow::SaveToWav() {
  const FocusBackToPage focus(*this);
  Stop();
  const Tab tab = CurrentTab();
  if (tab != Tab::Wav) {
    ReleaseWavView();
  }
  const std::string path =
      prompt_.ChooseSaveFile(kWavSaveDialogTitle, kWavFileFilter, kWavFileSuffix);
  if (path.empty()) {
    return;
  }
  const QString title = windowTitle();
  setWindowTitle(title + QString::fromLatin1(kSavingSuffix));
  Apply(WavStatesFor(WavMoment::Saving, tab));
  std::string why;
  const bool written = speech_.SpeakToWaveFile(
      path, [this] { Play(); }, &why);
  Apply(WavStatesFor(WavMoment::SavingEnded, tab));
  setWindowTitle(title);
  Apply(WavStatesFor(WavMoment::Saved, tab));
  Stop();
  if (written) {
    statusBar()->showMessage(QStringLiteral("Saved to ") + QString::fromStdString(path),
                             kSavedNoticeMs);
  }
  if (!written) {
    prompt_.ShowMessage("The WAV file could not be written: " + path +
                        (why.empty() ? "" : " (" + why + ")"));
  }
}

void MainWindow::OnWavePlayDone() {
  // What Stop does, without the calls on the voice.
  announcer_.ClearReading();
  sound_.StopSound();
  Apply(Situation::Stopped);
}

void MainWindow::OnSpeakingStarted() {
  Apply(Situation::SpeakingStarted);
  tray_->SetSpeaking(true);
}

void MainWindow::OnSpeakingFinished() {
  announcer_.FinishSpokenEntry();
  Apply(Situation::SpeakingFinished);
  tray_->SetSpeaking(speech_.IsVoiceBusy());
}

void MainWindow::OnListClicked(int selected) {
  if (selected > 0 && !IsVoiceBusy()) {
    Apply(Situation::ListSelection);
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (exiting_) {
    event->accept();
    return;
  }
  event->ignore();
  // Without a notification area a hidden window could not be found again, so
  // closing minimises it there: the watcher keeps checking and the window
  // stays in the task bar; Exit ends the program.
  if (QSystemTrayIcon::isSystemTrayAvailable()) {
    hide();
  } else {
    showMinimized();
  }
  tray_->PrepareMenu();
}

void MainWindow::AnswerSecondStart(const QString& activationToken) {
  // With a tray the icon brings the window back, so a second start toggles it
  // as the icon does; without one it always comes forward.
  if (QSystemTrayIcon::isSystemTrayAvailable() && isVisible() && !isMinimized()) {
    hide();
    tray_->PrepareMenu();
    return;
  }
  if (!activationToken.isEmpty()) {
    // On Wayland the window may take focus only with the token the desktop
    // gave the later start; activating reads it from here.
    qputenv("XDG_ACTIVATION_TOKEN", activationToken.toLatin1());
  }
  showNormal();
  raise();
  activateWindow();
  tray_->PrepareMenu();
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
    // Back from a dialog: once Qt has put the focus back, make sure it is usable.
    // (The menu bar is left alone here: Escape out of a menu comes back this way.)
    QTimer::singleShot(0, this, [this] {
      QWidget* focused = focusWidget();
      if (isActiveWindow() && QApplication::activeModalWidget() == nullptr &&
          (focused == nullptr || !focused->isVisible() || !focused->isEnabled())) {
        FocusPage();
      }
    });
  }
  if (event->type() == QEvent::WindowStateChange && isMinimized() &&
      QSystemTrayIcon::isSystemTrayAvailable()) {
    // Minimising hides the window into the notification area.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    QMetaObject::invokeMethod(this, &QWidget::hide, Qt::QueuedConnection);
  }
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  // Keys the focused control left alone reach the window here.
  QWidget* focused = focusWidget();
  switch (event->key()) {
    case Qt::Key_Escape:
      // Nothing else took it: hide, but only where the tray brings the window back.
      if (QSystemTrayIcon::isSystemTrayAvailable()) {
        hide();
        tray_->PrepareMenu();
      }
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (auto* pressed = qobject_cast<QAbstractButton*>(focused);
          pressed && pressed->isEnabled()) {
        pressed->click();
      } else if (focused == emailList_->view() && CurrentTab() == Tab::Email && HasSelection() &&
                 buttons_[ToolButton::Play]->isEnabled()) {
        Play();  // reads the selected messages aloud
      }
      return;
    case Qt::Key_Delete:
      // Also while the menu item is grey: a keyboard selection does not light it.
      if (focused != nullptr && emailList_->isAncestorOf(focused)) {
        Delete();
        return;
      }
      break;
    case Qt::Key_Left:
    case Qt::Key_Right:
      if (tabs_->tabBar()->hasFocus()) {
        const int step = event->key() == Qt::Key_Left ? -1 : 1;
        tabs_->setCurrentIndex(std::clamp(tabs_->currentIndex() + step, 0, 3));
        return;
      }
      break;
    default:
      break;
  }
  QMainWindow::keyPressEvent(event);
}

// MailView

void MainWindow::SetTitle(const std::string& title) {
  setWindowTitle(QString::fromStdString(title));
}

void MainWindow::SetAccountsProgress(int position, int maximum) {
  emailList_->SetAccountsProgress(position, maximum);
}

void MainWindow::SetEmailsProgress(int position, int maximum) {
  emailList_->SetEmailsProgress(position, maximum);
}

void MainWindow::SetTrayIcon(TrayState state) {
  tray_->SetImage(ImageOf(state));
}

void MainWindow::SetTrayTooltip(const std::string& text) {
  tray_->SetToolTip(text);
}

void MainWindow::ListCleared() {
  emailList_->Clear();
}

void MainWindow::EnvelopeAccepted(int index, const Envelope& envelope) {
  emailList_->AppendEnvelope(index, envelope);
}

void MainWindow::EnvelopeRemoved(long long messageId) {
  emailList_->RemoveRow(messageId);
  emailList_->RenumberRows(AccountIndexOf(messageId), MessageIndexOf(messageId));
}

void MainWindow::PassFinished(int /*largestMailbox*/) {
  emailList_->Rebuild(settings_.options);
  notices_->EndPass();
}

void MainWindow::SetWorkerRunning(bool running) {
  Apply(WorkerStatesFor(running, CurrentTab(), IsVoiceBusy()));
  tray_->SetWorkerRunning(running);
}

void MainWindow::ShowNewMailNotice(const Notice& notice) {
  notices_->Show(NoticeKind::NewMail, notice, settings_.options.NoticeStyle);
}

void MainWindow::StorageAlert(const Notice& notice) {
  notices_->Show(NoticeKind::Storage, notice, settings_.options.NoticeStyle);
}

// The sheet edits `settings` (the window's own, which the controller passes).
void MainWindow::NoAccountConfigured(Settings& /*settings*/) {
  Properties();
}

void MainWindow::ShowSuspended(bool suspended) {
  StopAndClear();
  properties_.CloseSheets();
  if (!suspendFromWindow_) {
    hide();
  }
  tray_->SetSuspended(suspended);
  actions_[Command::Suspend]->setChecked(suspended);
}

void MainWindow::ShowBackgroundMessage(const std::string& text) {
  prompt_.ShowMessage(text);
}

void MainWindow::ShowCheckProblems(const std::vector<CheckProblem>& problems) {
  emailList_->SetCheckProblems(problems);
}

}  // namespace bc
