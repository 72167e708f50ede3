#pragma once

#include <array>
#include <vector>

#include "config/settings.h"
#include "ui/props/property_sheet.h"
#include "ui/props/props_context.h"
#include "ui/props/sender_pages.h"
#include "ui/props/server_info_page.h"

namespace bc {

/// "Account Properties": the pages "Server Information", "Approved Senders",
/// "Blocked Senders" and "Custom Anti-Spam" of one account, in that order.
class AccountSheet : public PropertySheet {
  Q_OBJECT

 public:
  /// `accounts` is the table the server page's alert switch acts on.
  AccountSheet(const PropsContext& context, std::vector<MailAccount>& accounts,
               QWidget* parent = nullptr);

  /// Puts account `index` of the table into the pages. The password is shown
  /// only when the account remembers it.
  void FillFrom(int index);
  /// Readies the pages for a new account that will take index `index`: empty
  /// lists and flags, "Remember password" on.
  void FillNew(int index);
  /// Stores every page's members into `account` (no validation).
  void StoreInto(MailAccount& account) const;

  CPropServerInfo* server = nullptr;
  CPropApproved* approved = nullptr;
  CPropBlocked* blocked = nullptr;
  CPropFilter* filter = nullptr;

 private:
  [[nodiscard]] std::array<SenderListPage*, 3> SenderPages() const;

  std::vector<MailAccount>& accounts_;
  SenderWorkingCopies copies_;
};

}  // namespace bc
