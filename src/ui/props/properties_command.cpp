#include "ui/props/properties_command.h"

#include <algorithm>

#include "config/autostart.h"
#include "config/settings_store.h"
#include "speech/speech_engine.h"
#include "ui/props/account_page.h"
#include "ui/props/option_pages.h"
#include "ui/props/property_sheet.h"

namespace bc {

std::vector<VoiceInfo> EngineVoiceSelector::Voices() const {
  return engine_.VoicesInUseFirst();
}

std::string EngineVoiceSelector::CurrentVoice() const {
  return engine_.Voice();
}

bool EngineVoiceSelector::MakeDefault(const std::string& voiceId) {
  return engine_.SetDefaultVoice(store_, voiceId);
}

void PropertiesCommand::CloseSheets() {
  if (!openSheet_) {
    return;
  }
  // Parents come before their children: the innermost sheet is last.
  QList<QPointer<PropertySheet>> sheets{openSheet_};
  for (PropertySheet* sheet : openSheet_->findChildren<PropertySheet*>()) {
    sheets.push_back(sheet);
  }
  std::reverse(sheets.begin(), sheets.end());
  for (const QPointer<PropertySheet>& sheet : sheets) {
    if (sheet && sheet->isVisible()) {
      sheet->reject();
    }
  }
}

void PropertiesCommand::Run(QWidget* parent, Settings& settings, PropertiesHost& host,
                            const PropsContext& context) {
  host.StopSpeech();
  host.SetBusy(true);
  if (SheetOpen()) {
    return;
  }

  Settings working = settings;
  AppOptions& o = working.options;
  PropertySheet sheet(QStringLiteral("Brindlecast Properties"), parent);
  auto* account = new CPropAccount(context, working.accounts);
  auto* general = new CPropGeneral(context, o);
  auto* notification = new CPropNotification(context, o);
  sheet.AddPage(account, QStringLiteral("Account"));
  sheet.AddPage(general, QStringLiteral("General"));
  sheet.AddPage(notification, QStringLiteral("Notification"));

  notification->wavFile = o.wavFile;
  notification->freq = o.Freq;
  notification->checkMail = o.CheckMail;
  notification->unitText = UnitTextOf(o.FreqUnit);
  notification->checkLines = o.CheckLines;
  notification->linesText = o.ComboLines;
  notification->method = o.NotificationMethod;
  general->runOnStart = o.RunOnStart;
  general->showEnvelopeInfo = o.ShowEnvelopeInfo;
  general->showToolTip = o.ShowToolTip;
  general->logDeleted = o.LogDeleted;
  general->noticeStyle = o.NoticeStyle;

  openSheet_ = &sheet;
  sheet.Prepare();
  const bool confirmed = context.runDialog(sheet) == QDialog::Accepted;
  openSheet_ = nullptr;

  if (confirmed) {
    host.SaveSortDirection();
    o.NotificationMethod = notification->method;
    o.ShowEnvelopeInfo = general->showEnvelopeInfo;
    o.RunOnStart = general->runOnStart;
    o.ShowToolTip = general->showToolTip;
    o.LogDeleted = general->logDeleted;
    o.NoticeStyle = general->noticeStyle;
    o.wavFile = notification->wavFile;
    o.CheckMail = notification->checkMail != 0 ? 1 : 0;
    o.Freq = notification->freq;
    o.CheckLines = notification->checkLines != 0 ? 1 : 0;
    o.ComboLines = notification->linesText;
    if (const std::string unit = FreqUnitOfText(notification->unitText); !unit.empty()) {
      o.FreqUnit = unit;
    }
  }
  // Accounts and the options the pages change at once are kept after Cancel too.
  settings = std::move(working);

  if (confirmed) {
    SetAutostart(settings.options.RunOnStart);
    if (!settings.options.ShowToolTip) {
      host.ClearTrayToolTip();
    }
    host.SaveSettings();
  }
  if (settings.options.CheckMail == 1) {
    host.ArmChecking();
  }
  host.RebuildList();
}

void PropertiesCommand::Run(QWidget* parent, Settings& settings, PropertiesHost& host,
                            SettingsStore& store, SpeechEngine& speech, Prompt& prompt) {
  EngineVoiceSelector voices(speech, store);
  const PropsContext context{prompt, store, voices, ExecDialogRunner()};
  Run(parent, settings, host, context);
}

}  // namespace bc
