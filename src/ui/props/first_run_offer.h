#pragma once

#include <QDialog>
#include <vector>

#include "config/settings.h"

class QCheckBox;

namespace bc {

/// What a new user needs before anything works: every value starts empty, so
/// nothing is checked, listed or said until these are on.
enum class StarterSetting {
  CheckEvery5Minutes,       // CheckMail on, Freq "5", FreqUnit minutes
  ListFromSubjectReceived,  // the list shown with From, Subject and Received
  AnnounceSenderSubject,    // new mail announced by sender and subject
  RememberMail,             // only new mail retrieved; each message announced once, ever
  CountManyNew,             // more than kStarterCountOver new at once: how many, said once
};

/// How many new messages at once are announced one by one when CountManyNew
/// is chosen; above it, one sentence says how many.
inline constexpr int kStarterCountOver = 10;

/// The starter settings not yet in effect: checking off; the list off or with
/// no column; speech chosen (NotificationMethod 0) but no field to say. A user
/// who chose a WAV file or silence made a choice; that is not offered again.
[[nodiscard]] std::vector<StarterSetting> MissingStarterSettings(const AppOptions& options);

/// Puts one starter setting into the options, leaving the others as they are.
void ApplyStarterSetting(AppOptions& options, StarterSetting setting);

/// "Start Watching": shown when the first account was added and the sheet closed
/// with OK, it offers the missing starter settings, each ticked. OK takes the
/// ticked ones; "Not Now" none. The first check runs either way.
///
/// Object names: "starterCheck", "starterList", "starterAnnounce",
/// "starterRemember", "starterCount".
class FirstRunOffer : public QDialog {
  Q_OBJECT

 public:
  FirstRunOffer(const std::vector<StarterSetting>& offered, QWidget* parent = nullptr);

  /// The offered settings still ticked.
  [[nodiscard]] std::vector<StarterSetting> Chosen() const;

 private:
  std::vector<std::pair<StarterSetting, QCheckBox*>> boxes_;
};

}  // namespace bc
