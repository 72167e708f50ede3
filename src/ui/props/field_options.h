#pragma once

#include <QDialog>
#include <array>
#include <string>

#include "config/field_order.h"
#include "config/settings.h"

class QCheckBox;
class QComboBox;
class QListWidget;
class QPushButton;
class QVBoxLayout;

namespace bc {

class VoiceSelector;
class Prompt;

/// The row label of a field in the field dialogs: "From:", "Subject:", ...
[[nodiscard]] const char* FieldLabel(Field field);

/// The rows a field dialog shows for an order text: row i holds the label of the
/// first field (canonical order) at position i, or empty text when no field
/// claims it. Fields at a missing or out-of-range position, and the later of two
/// fields at one position, get no row.
[[nodiscard]] std::vector<std::string> FieldRows(FieldSet set, std::string_view orderText);

/// The dialogs that choose the fields of a set and their order: a list of one
/// checkable row per position, "Up", "Down", a select-all box, OK and Cancel.
/// OK writes the order text and the flags of the set into `options`; Cancel
/// changes nothing. The caller keeps the select-all memory (SelectAll()).
///
/// Object names: "fieldList", "selectAllCheck", "upButton", "downButton",
/// "okButton", "cancelButton" (and "voiceCombo" in the speech dialog).
class FieldOptionsDlg : public QDialog {
  Q_OBJECT

 public:
  FieldOptionsDlg(FieldSet set, AppOptions& options, bool selectAll, Prompt& prompt,
                  QWidget* parent = nullptr);

  /// The select-all flag: as given, and after OK the box's state.
  [[nodiscard]] bool SelectAll() const { return selectAll_; }

  void MoveUp() { Move(-1); }
  void MoveDown() { Move(+1); }

  /// OK: stores the rows into the options, then closes with Accepted.
  void accept() override;
  /// The rows as OK stores them: the set's flags and order text in `options`.
  void StoreRows(AppOptions& options) const;

 protected:
  /// Speech dialog: what OK does besides the rows.
  virtual void AcceptExtra() {}
  /// For the layout of subclasses: the group box's layout sits here.
  QVBoxLayout* mainLayout_ = nullptr;
  /// Puts a subclass's own field last before OK and Cancel in the Tab order.
  void PlaceBeforeOk(QWidget* field);

 private:
  void Move(int step);
  void UpdateControls();
  void SelectAllClicked(bool checked);

  FieldSet set_;
  AppOptions& options_;
  Prompt& prompt_;
  bool selectAll_;
  QListWidget* list_ = nullptr;
  QCheckBox* selectAllBox_ = nullptr;
  QPushButton* up_ = nullptr;
  QPushButton* down_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

/// "Envelope Options": the columns of the email list (ColumnOrder and the
/// column flags). Opens with row 0 selected.
class CEnvelopeOptionsDlg : public FieldOptionsDlg {
  Q_OBJECT
 public:
  CEnvelopeOptionsDlg(AppOptions& options, bool selectAll, Prompt& prompt,
                      QWidget* parent = nullptr);
};

/// "Email Speech Options": the spoken fields (SpeakOrder and the speech flags)
/// and the voice. Opens with no row selected and the voice in use chosen; OK
/// makes the chosen voice the default.
class CSpeechOptionsDlg : public FieldOptionsDlg {
  Q_OBJECT
 public:
  CSpeechOptionsDlg(AppOptions& options, bool selectAll, Prompt& prompt, VoiceSelector& voices,
                    QWidget* parent = nullptr);

 protected:
  void AcceptExtra() override;

 private:
  VoiceSelector& voices_;
  QComboBox* voice_ = nullptr;
};

}  // namespace bc
