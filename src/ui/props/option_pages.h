#pragma once

#include <string>

class QSpinBox;

#include "config/settings.h"
#include "ui/props/options_draft.h"
#include "ui/props/property_sheet.h"
#include "ui/props/props_context.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace bc {

/// "General": four switches, "Envelope Options" and the notice style. The
/// switches and the style edit the draft; what the Envelope Options dialog
/// stores is made at once.
///
/// Object names: "displayEnvelopeCheck", "runOnStartupCheck", "logDeletedCheck",
/// "showToolTipsCheck", "envelopeOptionsButton", "noticeStyleCombo" (entries:
/// automatic, own window, desktop notifications).
class CPropGeneral : public PropertyPage {
  Q_OBJECT

 public:
  CPropGeneral(const PropsContext& context, OptionsDraft& options, QWidget* parent = nullptr);

  void OpenEnvelopeOptions();

 protected:
  void OnOpen() override;
  void SaveControls() override;

 private:
  const PropsContext& context_;
  OptionsDraft& options_;
  QCheckBox* display_ = nullptr;
  QCheckBox* run_ = nullptr;
  QCheckBox* log_ = nullptr;
  QCheckBox* show_ = nullptr;
  QPushButton* envelope_ = nullptr;
  QComboBox* noticeStyle_ = nullptr;
  QCheckBox* remember_ = nullptr;
  QCheckBox* countOver_ = nullptr;
  QSpinBox* countOverValue_ = nullptr;
};

/// "Notification": the check period, how new mail is announced, and how many
/// content lines are read. Its controls edit the draft; some changes are made
/// at once (the speech options, "Browse...", the unit or the line count taken
/// when checking or line reading is turned on). On OK, CheckMail and CheckLines
/// become 0 or 1, and FreqUnit takes the unit text last left in the page (as
/// the stored unit shows, when the page was not opened) only when it is one of
/// the units.
///
/// Object names: "checkMailCheck", "freqEdit", "unitCombo", "speechRadio",
/// "wavRadio", "noneRadio", "optionsButton", "wavEdit", "browseButton",
/// "readLinesCheck", "linesCombo".
class CPropNotification : public PropertyPage {
  Q_OBJECT

 public:
  CPropNotification(const PropsContext& context, OptionsDraft& options, QWidget* parent = nullptr);

  void OpenSpeechOptions();
  void Browse();

 protected:
  void OnOpen() override;
  void SaveControls() override;
  void OnOk() override;

 private:
  void MethodClicked(int index);
  void EnableMethodCompanions(int index);
  void CheckMailClicked();
  void ReadLinesClicked();

  const PropsContext& context_;
  OptionsDraft& options_;
  std::string unitText_;  // the unit box's text when the page was last left
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
