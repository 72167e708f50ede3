#pragma once

#include "config/settings.h"

namespace bc {

/// The options the "General" and "Notification" pages edit while the Properties
/// sheet is open, as the account sheet edits a MailAccount draft: a page shows
/// the draft when it opens and writes its controls back when it is left.
struct OptionsDraft {
  explicit OptionsDraft(const AppOptions& options) : draft(options), kept(options) {}

  /// What OK stores: everything the pages hold.
  AppOptions draft;
  /// What Cancel stores: the options as they came, with the changes the pages
  /// make at once.
  AppOptions kept;

  /// A change that holds even when the sheet is cancelled (a field dialog's OK,
  /// "Browse...", a switch turned on): made to the draft and to what Cancel keeps.
  template <class Change>
  void AtOnce(Change change) {
    change(draft);
    change(kept);
  }
};

}  // namespace bc
