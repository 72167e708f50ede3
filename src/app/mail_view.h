#pragma once

#include <string>
#include <vector>

#include "mail/check_observer.h"
#include "mail/envelope_store.h"

namespace bc {

/// What the background work shows in the windows. Every call arrives on the
/// user-interface thread (the controller forwards the workers' reports there).
class MailView {
 public:
  virtual ~MailView() = default;
  virtual void SetTitle(const std::string& title) = 0;
  virtual void SetAccountsProgress(int position, int maximum) = 0;
  virtual void SetEmailsProgress(int position, int maximum) = 0;
  virtual void SetTrayIcon(TrayState icon) = 0;
  virtual void SetTrayToolTip(const std::string& text) = 0;
  /// The list empties with the store at the start of a pass.
  virtual void ClearList() = 0;
  /// Store entry `index` was accepted by the running pass.
  virtual void AppendEnvelope(int index, const Envelope& envelope) = 0;
  /// The pass is over: the list shows the store again (columns, sort order).
  virtual void RebuildList() = 0;
  /// A check or deletion started (true) or ended (false): Delete, Refresh and the
  /// tray's Check Emails follow.
  virtual void SetWorkerRunning(bool running) = 0;
  virtual void ShowNewMailNotice(const std::string& text) = 0;
  virtual void ShowStorageNotice(const std::string& text) = 0;
  /// No account is configured: open the property sheet and return when it closed.
  virtual void OpenPropertiesForFirstAccount() = 0;
  /// Suspend or resume: stop speech, close the property sheets, hide the main
  /// window, grey or enable the tray menu and set the Suspend check mark.
  virtual void ShowSuspended(bool suspended) = 0;
  /// Tells the user something went wrong in the background (a refused deletion).
  virtual void ShowBackgroundMessage(const std::string& text) = 0;
  /// At the end of a check pass: why accounts failed or were cut short, one
  /// line each ("'alice': <reason>"); empty when every account went well.
  virtual void ShowCheckProblems(const std::vector<std::string>& lines) = 0;
};

}  // namespace bc
