#include "ui/props/properties_command.h"

#include <algorithm>

#include "config/autostart.h"
#include "config/settings_store.h"
#include "speech/speech_engine.h"
#include "ui/props/account_page.h"
#include "ui/props/account_sheet.h"
#include "ui/props/first_run_offer.h"
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
  const std::vector<MailAccount> accountsBefore = settings.accounts;
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

  const bool accountsChanged = confirmed && settings.accounts != accountsBefore;
  if (confirmed && accountsBefore.empty() && !settings.accounts.empty()) {
    OfferStarterSettings(parent, settings.options, context);
  }
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
  if (accountsChanged) {
    host.CheckSoon();
  }
}

void PropertiesCommand::OfferStarterSettings(QWidget* parent, AppOptions& options,
                                             const PropsContext& context) {
  const std::vector<StarterSetting> missing = MissingStarterSettings(options);
  if (missing.empty()) {
    return;
  }
  FirstRunOffer offer(missing, parent);
  if (context.runDialog(offer) != QDialog::Accepted) {
    return;
  }
  for (const StarterSetting setting : offer.Chosen()) {
    ApplyStarterSetting(options, setting);
  }
}

void PropertiesCommand::EditAccount(QWidget* parent, Settings& settings, int index,
                                    PropertiesHost& host, const PropsContext& context) {
  if (SheetOpen() || index < 0 || index >= static_cast<int>(settings.accounts.size())) {
    return;
  }
  host.StopSpeech();
  host.SetBusy(true);
  std::vector<MailAccount> accounts = settings.accounts;
  const MailAccount before = accounts[static_cast<size_t>(index)];
  AccountSheet sheet(context, accounts, parent);
  sheet.FillFrom(index);
  openSheet_ = &sheet;
  sheet.Prepare();
  const bool confirmed = context.runDialog(sheet) == QDialog::Accepted;
  openSheet_ = nullptr;
  if (confirmed) {
    sheet.StoreInto(accounts[static_cast<size_t>(index)]);
  }
  const bool changed = confirmed && !(accounts[static_cast<size_t>(index)] == before);
  // What the pages change at once (the alert switch) stays, as in the sheet.
  settings.accounts = std::move(accounts);
  if (confirmed) {
    host.SaveSettings();
  }
  if (settings.options.CheckMail == 1) {
    host.ArmChecking();
  } else {
    host.SetBusy(false);
  }
  if (changed) {
    host.CheckSoon();
  }
}

void PropertiesCommand::EditAccount(QWidget* parent, Settings& settings, int index,
                                    PropertiesHost& host, SettingsStore& store,
                                    SpeechEngine& speech, Prompt& prompt) {
  EngineVoiceSelector voices(speech, store);
  const PropsContext context{prompt, store, voices, ExecDialogRunner()};
  EditAccount(parent, settings, index, host, context);
}

void PropertiesCommand::Run(QWidget* parent, Settings& settings, PropertiesHost& host,
                            SettingsStore& store, SpeechEngine& speech, Prompt& prompt) {
  EngineVoiceSelector voices(speech, store);
  const PropsContext context{prompt, store, voices, ExecDialogRunner()};
  Run(parent, settings, host, context);
}

}  // namespace bc
