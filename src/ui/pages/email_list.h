#pragma once

#include <QTableView>
#include <QWidget>
#include <array>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "config/field_order.h"
#include "config/settings.h"
#include "mail/deletion.h"
#include "mail/envelope_store.h"
#include "speech/mail_announcer.h"
#include "ui/pages/check_problems_box.h"
#include "ui/pages/list_sort_state.h"

class QHeaderView;
class QLabel;
class QProgressBar;

namespace bc {

class EnvelopeTableModel;
class SettingsStore;

/// What the empty list says while envelope display is off.
inline constexpr const char* kEnvelopeDisplayOffHint =
    "Envelope display is off. Turn on \"Display Envelope Information\" in "
    "View > Properties > General to list new mail here.";
/// ... and while it is on but no column is chosen.
inline constexpr const char* kNoColumnsHint =
    "No envelope column is chosen. Choose them in View > Properties > General > "
    "Envelope Options to list new mail here.";

/// The table of the email list: whole-row selection of several rows that stays
/// visible while the table has no focus; reports mouse clicks once the
/// selection has taken them.
class EmailTableView : public QTableView {
  Q_OBJECT

 public:
  explicit EmailTableView(QWidget* parent = nullptr);
  /// Lays the rows out now rather than at the next paint, so a scroll
  /// position can be set right after the rows changed.
  void SettleLayout();

 Q_SIGNALS:
  /// A left click anywhere in the rows area, on a row or not.
  void MouseClicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

/// The " Email Reader " page: the list of the envelopes the last check
/// accepted (one row per message, one column per chosen field, each row's item
/// data its messageId) with the "Accounts:" and "Emails:" progress bars.
///
/// Columns follow the column flags and ColumnOrder; their widths live in the
/// root values fromWidth ... attachmentWidth of the settings: the widths the
/// user drags are remembered at once and written back at every Rebuild. The
/// Subject column takes the width no other column uses. Header clicks sort
/// (Ctrl held: by several columns); a Rebuild brings the last sort back.
///
/// A check pass (Clear, AppendEnvelope..., Rebuild) keeps the user's place:
/// the rows selected before it stay selected by their message, a message that
/// is gone leaves nothing selected in its place, and the row at the top of the
/// view stays there. Only a list that was empty gets its first row selected.
///
/// Everything runs on the UI thread, the DeletionRows calls too: the delete
/// worker's calls are carried here by the controller.
class EmailList : public QWidget, public ListSelection, public DeletionRows {
  Q_OBJECT

 public:
  /// `store` and `settings` must outlive the page.
  EmailList(const EnvelopeStore& store, SettingsStore& settings, QWidget* parent = nullptr);
  ~EmailList() override;

  /// Writes the remembered widths to the settings, then rebuilds columns and
  /// rows from the options and the store: row k shows entry k, the selected
  /// messages stay selected (row 0 when the list was empty), the scroll
  /// position stays, and the last header sort comes back. With
  /// ShowEnvelopeInfo off, or no column flag on, the list is empty.
  void Rebuild(const AppOptions& options);

  /// The start of a check pass: every row goes; the columns stay, and the
  /// selection and scroll position are kept for the pass's Rebuild.
  void Clear();
  /// A check pass accepted the envelope stored as entry `storeIndex`: its row
  /// is added below the others (no rebuild, no sort; the pass ends with a
  /// Rebuild). When the rows have fallen out of step with the store (an index
  /// that is not the next one), the rows are reloaded from the store instead.
  void AppendEnvelope(int storeIndex, const Envelope& envelope);

  /// The progress bars: position in 0 to maximum.
  void SetAccountsProgress(int position, int maximum);
  void SetEmailsProgress(int position, int maximum);
  /// The lines under the list that say why accounts failed in the last pass
  /// (hidden when there are none), each offering to edit its account.
  void SetCheckProblems(const std::vector<CheckProblem>& problems);

  /// A left click on the header of `column`, with or without Ctrl held.
  void SortByHeader(int column, bool ctrlHeld);
  /// Before a Rebuild after the property sheet: remembers the direction of the
  /// column last sorted, so the Rebuild sorts it the same way.
  void SaveSortDirection();

  /// Moves the selection to row `row` (see SelectOnly), unless `playActive` is
  /// set and `readAll` is not: a Play of chosen rows keeps the user's choice.
  void MoveSelection(int row, bool playActive, bool readAll);

  [[nodiscard]] int SelectedCount() const;
  /// The selected rows as the user knows them, one line each ("sender: subject",
  /// server text cut and on one line), at most `shownRows` lines and then
  /// "and N more".
  [[nodiscard]] std::string SelectionSummary(int shownRows) const;
  /// What names each selected message whatever its row or number.
  [[nodiscard]] std::set<std::string> SelectedKeys() const;
  /// Selects the rows of those messages (none that are gone) and nothing else.
  void SelectKeys(const std::set<std::string>& keys);
  [[nodiscard]] EmailTableView* view() const { return view_; }
  [[nodiscard]] EnvelopeTableModel* model() const { return model_; }
  [[nodiscard]] QProgressBar* accountsBar() const { return accountsBar_; }
  [[nodiscard]] QProgressBar* emailsBar() const { return emailsBar_; }
  [[nodiscard]] CheckProblemsBox* problemsLine() const { return problems_; }
  /// Shown in the empty list while no column is shown (envelope display off).
  [[nodiscard]] QLabel* emptyHint() const { return emptyHint_; }
  [[nodiscard]] const ListSortState& sortState() const { return sort_; }

  // ListSelection (UI thread).
  [[nodiscard]] int RowCount() const override;
  [[nodiscard]] std::vector<long long> SelectedMessageIds() const override;
  void SelectAll() override;
  void SelectOnly(int row) override;

  // DeletionRows (UI thread).
  std::optional<long long> FirstSelectedMessageId() override;
  void RemoveRow(long long messageId) override;
  void RenumberRows(int accountIndex, int deletedIndex) override;

 Q_SIGNALS:
  /// Every mouse click in the list, with the number of rows selected after it.
  /// Keyboard selection changes do not emit.
  void Clicked(int selectedCount);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnHeaderClicked(int column);
  // Sorts the rows and shows the most significant key in the header.
  void Sort(const std::vector<SortKey>& keys);
  void OnSectionResized(int column, int newSize);
  // Widens the Subject column over the width no other column uses.
  void FitFreeWidth();
  void SaveWidths();
  void ReloadRows();
  void SelectRows(const std::vector<int>& rows);
  // The rows with `keys` selected; row 0 when none is and `selectFirst`.
  void SelectKept(const std::set<std::string>& keys, bool selectFirst);
  [[nodiscard]] std::vector<int> SelectedRows() const;
  [[nodiscard]] std::string TopRowKey() const;
  void ScrollBack(const std::string& topKey, int fallbackTop, int left);

  const EnvelopeStore& store_;
  SettingsStore& settings_;
  EnvelopeTableModel* model_ = nullptr;
  EmailTableView* view_ = nullptr;
  QProgressBar* accountsBar_ = nullptr;
  QProgressBar* emailsBar_ = nullptr;
  CheckProblemsBox* problems_ = nullptr;
  QLabel* emptyHint_ = nullptr;
  std::array<int, kFieldCount> widths_{};
  std::array<std::string, kFieldCount> writtenWidths_;  // last text written per width value
  ListSortState sort_;
  Qt::KeyboardModifiers headerModifiers_;
  int appendedSinceClear_ = 0;
  bool fitting_ = false;  // the widths change by the list, not the user
  bool built_ = false;    // Rebuild has run once
  // The place a check pass keeps, taken at its Clear.
  bool inPass_ = false;
  std::set<std::string> keep_;  // messages to select again as their rows come
  bool selectFirst_ = false;    // the list was empty: its first row gets selected
  std::string keptTopKey_;
  int keptTop_ = 0;
  int keptLeft_ = 0;
  bool rowsFromStore_ = false;  // the rows mirror the store (false with no columns)
};

}  // namespace bc
