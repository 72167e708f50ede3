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
  OptionsDraft options(working.options);
  PropertySheet sheet(QStringLiteral("Brindlecast Properties"), parent);
  sheet.AddPage(new CPropAccount(context, working.accounts), QStringLiteral("Account"));
  sheet.AddPage(new CPropGeneral(context, options), QStringLiteral("General"));
  sheet.AddPage(new CPropNotification(context, options), QStringLiteral("Notification"));

  openSheet_ = &sheet;
  sheet.Prepare();
  const bool confirmed = context.runDialog(sheet) == QDialog::Accepted;
  openSheet_ = nullptr;

  if (confirmed) {
    host.SaveSortDirection();
  }
  working.options = confirmed ? std::move(options.draft) : std::move(options.kept);
  // The options the pages change at once are kept after Cancel too; the
  // accounts are not: one Space on a focused Delete must not lose an account.
  if (!confirmed && working.accounts != settings.accounts) {
    // Add wrote the count at once; it goes back with the table.
    context.store.WriteValue(kAccountsKey, "Users", std::to_string(settings.accounts.size()));
    context.store.Commit();
    working.accounts = settings.accounts;
  }
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
