#include "ui/props/account_sheet.h"

namespace bc {

AccountSheet::AccountSheet(const PropsContext& context, std::vector<MailAccount>& accounts,
                           QWidget* parent)
    : PropertySheet(QStringLiteral("Account Properties"), parent), accounts_(accounts) {
  server = new CPropServerInfo(context, accounts);
  approved = new CPropApproved(context, copies_);
  blocked = new CPropBlocked(context, copies_);
  filter = new CPropFilter(context, copies_);
  AddPage(server, QStringLiteral("Server Information"));
  AddPage(approved, QStringLiteral("Approved Senders"));
  AddPage(blocked, QStringLiteral("Blocked Senders"));
  AddPage(filter, QStringLiteral("Custom Anti-Spam"));
}

std::array<SenderListPage*, 3> AccountSheet::SenderPages() const {
  return {approved, blocked, filter};
}

void AccountSheet::FillFrom(int index) {
  const MailAccount& a = accounts_.at(static_cast<size_t>(index));
  server->existingAccount = index;
  server->draft = a;  // this session's password, saved only when remembered
  approved->accountIndex = blocked->accountIndex = filter->accountIndex = index;
  for (SenderListPage* page : SenderPages()) {
    page->FillFrom(a);
  }
}

void AccountSheet::FillNew(int index) {
  server->existingAccount = -1;
  server->draft.RememberPasswd = true;
  server->draft.MailCap = false;
  approved->accountIndex = blocked->accountIndex = filter->accountIndex = index;
  for (SenderListPage* page : SenderPages()) {
    page->FillFrom(MailAccount{});
  }
}

void AccountSheet::StoreInto(MailAccount& a) const {
  // The server page carries the whole record; what no page edits stays as it was.
  const bool incomingAuthentication = a.IncomingAuthentication;
  const bool checkMark = a.CheckMark;
  a = server->draft;
  a.IncomingAuthentication = incomingAuthentication;
  a.CheckMark = checkMark;
  for (const SenderListPage* page : SenderPages()) {
    page->StoreInto(a);
  }
}

}  // namespace bc
