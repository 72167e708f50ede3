#include "ui/props/first_run_offer.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/field_order.h"
#include "config/paths.h"
#include "config/text_util.h"

namespace bc {
namespace {

constexpr const char* kStarterPeriod = "5";
constexpr const char* kMinutes = "1";

struct Offer {
  StarterSetting setting;
  const char* text;
  const char* objectName;
};

constexpr Offer kOffers[] = {
    {StarterSetting::CheckEvery5Minutes, "&Check for new mail every 5 minutes", "starterCheck"},
    {StarterSetting::ListFromSubjectReceived,
     "&List messages with their sender, subject and time received", "starterList"},
    {StarterSetting::AnnounceSenderSubject, "&Announce the sender and subject of new mail",
     "starterAnnounce"},
    {StarterSetting::RememberMail,
     "&Remember the mail already announced, and retrieve only new messages", "starterRemember"},
    {StarterSetting::CountManyNew, "When more than %1 messages are new, say &how many",
     "starterCount"},
};

bool AnyFlag(const AppOptions& options, FieldSet set) {
  for (const FieldInfo& info : kFields) {
    if (FlagMember(set, info.field) && FieldFlag(options, set, info.field) != 0) {
      return true;
    }
  }
  return false;
}

// Only `chosen` on, at positions 0, 1, 2... in the order given; every other
// field keeps its place after them.
void UseOnly(AppOptions& options, FieldSet set, std::initializer_list<Field> chosen) {
  std::string& order = set == FieldSet::Columns ? options.ColumnOrder : options.SpeakOrder;
  std::array<int, kFieldCount> positions{};
  int next = 0;
  for (Field field : chosen) {
    positions[static_cast<size_t>(field)] = next++;
  }
  for (const FieldInfo& info : kFields) {
    int AppOptions::*flag = FlagMember(set, info.field);
    if (!flag) {
      continue;
    }
    const bool on = std::find(chosen.begin(), chosen.end(), info.field) != chosen.end();
    options.*flag = on ? 1 : 0;
    if (!on) {
      positions[static_cast<size_t>(info.field)] = next++;
    }
  }
  order = BuildOrderText(set, positions);
}

}  // namespace

std::vector<StarterSetting> MissingStarterSettings(const AppOptions& options) {
  std::vector<StarterSetting> missing;
  if (options.CheckMail != 1) {
    missing.push_back(StarterSetting::CheckEvery5Minutes);
  }
  if (!options.ShowEnvelopeInfo || !AnyFlag(options, FieldSet::Columns)) {
    missing.push_back(StarterSetting::ListFromSubjectReceived);
  }
  if (options.NotificationMethod == 0 && !AnyFlag(options, FieldSet::Speech)) {
    missing.push_back(StarterSetting::AnnounceSenderSubject);
  }
  if (options.RememberMail != "1") {
    missing.push_back(StarterSetting::RememberMail);
  }
  if (ParseInt(options.AnnounceCountOver) <= 0) {
    missing.push_back(StarterSetting::CountManyNew);
  }
  return missing;
}

void ApplyStarterSetting(AppOptions& options, StarterSetting setting) {
  switch (setting) {
    case StarterSetting::CheckEvery5Minutes:
      options.CheckMail = 1;
      options.Freq = kStarterPeriod;
      options.FreqUnit = StoredFreqUnit::FromText(kMinutes);
      break;
    case StarterSetting::ListFromSubjectReceived:
      options.ShowEnvelopeInfo = true;
      options.AllEnvelopeInfo = "0";
      UseOnly(options, FieldSet::Columns, {Field::From, Field::Subject, Field::Received});
      break;
    case StarterSetting::AnnounceSenderSubject:
      options.NotificationMethod = 0;
      options.AllSpeakInfo = "0";
      UseOnly(options, FieldSet::Speech, {Field::From, Field::Subject});
      break;
    case StarterSetting::RememberMail:
      options.RememberMail = "1";
      break;
    case StarterSetting::CountManyNew:
      options.AnnounceCountOver = std::to_string(kStarterCountOver);
      break;
  }
}

FirstRunOffer::FirstRunOffer(const std::vector<StarterSetting>& offered, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Start Watching"));
  auto* layout = new QVBoxLayout(this);
  auto* intro =
      new QLabel(QStringLiteral("Your first account is set up. %1 can start watching it now:")
                     .arg(QString::fromLatin1(kProgramTitle)),
                 this);
  intro->setWordWrap(true);
  layout->addWidget(intro);
  for (const Offer& offer : kOffers) {
    if (std::find(offered.begin(), offered.end(), offer.setting) == offered.end()) {
      continue;
    }
    QString text = QString::fromLatin1(offer.text);
    if (text.contains(QLatin1String("%1"))) {
      text = text.arg(kStarterCountOver);
    }
    auto* box = new QCheckBox(text, this);
    box->setObjectName(QString::fromLatin1(offer.objectName));
    box->setChecked(true);
    layout->addWidget(box);
    boxes_.emplace_back(offer.setting, box);
  }
  auto* note =
      new QLabel(QStringLiteral("You can change each of these later in Properties."), this);
  note->setWordWrap(true);
  layout->addWidget(note);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);
  buttons->addButton(QStringLiteral("&Not Now"), QDialogButtonBox::RejectRole)
      ->setObjectName(QStringLiteral("cancelButton"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  if (!boxes_.empty()) {
    boxes_.front().second->setFocus();
  }
}

std::vector<StarterSetting> FirstRunOffer::Chosen() const {
  std::vector<StarterSetting> chosen;
  for (const auto& [setting, box] : boxes_) {
    if (box->isChecked()) {
      chosen.push_back(setting);
    }
  }
  return chosen;
}

}  // namespace bc
