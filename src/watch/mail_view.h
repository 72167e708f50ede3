#pragma once

#include <string>
#include <vector>

#include "mail/check_observer.h"
#include "mail/envelope_store.h"
#include "watch/check_problem.h"

namespace bc {

/// What the background work shows in the windows: the check pass's observer
/// calls plus the controller's own. Every call arrives on the user-interface
/// thread; the controller delivers the workers' calls there.
///
/// Of the observer's calls, ListCleared empties the list with the store,
/// EnvelopeAccepted appends a row, PassFinished shows the store again (columns,
/// sort order), StorageAlert shows the storage notice, and NoAccountConfigured
/// opens the property sheet and returns when it closed.
class MailView : public CheckObserver {
 public:
  /// A check or deletion started (true) or ended (false): Delete, Refresh and the
  /// tray's Check Emails follow.
  virtual void SetWorkerRunning(bool running) = 0;
  virtual void ShowNewMailNotice(const Notice& notice) = 0;
  /// Suspend or resume: stop speech, close the property sheets, hide the main
  /// window, grey or enable the tray menu and set the Suspend check mark.
  virtual void ShowSuspended(bool suspended) = 0;
  /// Tells the user something went wrong in the background (a refused deletion).
  virtual void ShowBackgroundMessage(const std::string& text) = 0;
  /// At the end of a check pass: why accounts failed or were cut short, one
  /// problem each in plain words (PlainProblemText); empty when every account
  /// went well.
  virtual void ShowCheckProblems(const std::vector<CheckProblem>& problems) = 0;
};

}  // namespace bc
