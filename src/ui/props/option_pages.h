#pragma once

#include <string>

#include "config/settings.h"
#include "ui/props/property_sheet.h"
#include "ui/props/props_context.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace bc {

/// The texts of the check period's units, in the order of FreqUnit "0", "1", "2".
inline constexpr const char* kUnitTexts[3] = {"Second", "Minute", "Hour"};

/// FreqUnit of a unit text: "Second" "0", "Minute" "1", "Hour" "2"; any other
/// text gives empty text (the caller keeps the unit it has).
[[nodiscard]] std::string FreqUnitOfText(const std::string& unitText);
/// The unit text of a FreqUnit, empty for anything but "0", "1", "2" (as numbers).
[[nodiscard]] std::string UnitTextOf(const std::string& freqUnit);

/// "General": four switches, "Envelope Options" and the notice style. Members
/// are the options themselves; `options` also receives what the Envelope Options
/// dialog stores (at once, confirmed or not).
///
/// Object names: "displayEnvelopeCheck", "runOnStartupCheck", "logDeletedCheck",
/// "showToolTipsCheck", "envelopeOptionsButton", "noticeStyleCombo" (entries:
/// automatic, own window, desktop notifications).
class CPropGeneral : public PropertyPage {
  Q_OBJECT

 public:
  CPropGeneral(const PropsContext& context, AppOptions& options, QWidget* parent = nullptr);

  bool showEnvelopeInfo = false;
  bool runOnStart = false;
  bool showToolTip = false;
  bool logDeleted = false;
  std::string noticeStyle;  // the stored text; an unknown one is kept unless changed

  void OpenEnvelopeOptions();

 protected:
  void OnOpen() override;
  void SaveControls() override;

 private:
  const PropsContext& context_;
  AppOptions& options_;
  QCheckBox* display_ = nullptr;
  QCheckBox* run_ = nullptr;
  QCheckBox* log_ = nullptr;
  QCheckBox* show_ = nullptr;
  QPushButton* envelope_ = nullptr;
  QComboBox* noticeStyle_ = nullptr;
};

/// "Notification": the check period, how new mail is announced, and how many
/// content lines are read. Some of its controls change `options` at once (the
/// speech options, "Browse...", turning checking or line reading on); the
/// members are taken over on OK.
///
/// Object names: "checkMailCheck", "freqEdit", "unitCombo", "speechRadio",
/// "wavRadio", "noneRadio", "optionsButton", "wavEdit", "browseButton",
/// "readLinesCheck", "linesCombo".
class CPropNotification : public PropertyPage {
  Q_OBJECT

 public:
  CPropNotification(const PropsContext& context, AppOptions& options, QWidget* parent = nullptr);

  int checkMail = 0;
  std::string freq;
  int method = 0;
  std::string wavFile;
  int checkLines = 0;
  std::string unitText;
  std::string linesText;

  void OpenSpeechOptions();
  void Browse();

 protected:
  void OnOpen() override;
  void SaveControls() override;

 private:
  void MethodClicked(int index);
  void EnableMethodCompanions(int index);
  void CheckMailClicked();
  void ReadLinesClicked();

  const PropsContext& context_;
  AppOptions& options_;
  QCheckBox* checkMail_ = nullptr;
  QLineEdit* freq_ = nullptr;
  QComboBox* unit_ = nullptr;
  QButtonGroup* methods_ = nullptr;
  QRadioButton* radios_[3] = {nullptr, nullptr, nullptr};
  QPushButton* options_button_ = nullptr;
  QLineEdit* wav_ = nullptr;
  QPushButton* browse_ = nullptr;
  QCheckBox* readLines_ = nullptr;
  QComboBox* lines_ = nullptr;
};

}  // namespace bc
