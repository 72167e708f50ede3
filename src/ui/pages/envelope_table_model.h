#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <array>
#include <set>
#include <string>
#include <vector>

#include "config/field_order.h"
#include "mail/envelope_store.h"
#include "ui/pages/list_sort_state.h"

namespace bc {

/// The rows of the email list: one row per envelope, one column per shown
/// field, each row carrying its messageId as item data (Qt::UserRole). Rows
/// hold their own copies of the texts, so sorting or removing rows never
/// touches the EnvelopeStore. Texts stay UTF-8 until a row is painted or
/// sorted: a list of thousands of rows then fills without a conversion per
/// cell. Used on the UI thread only.
class EnvelopeTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit EnvelopeTableModel(QObject* parent = nullptr);

  /// Replaces columns and rows: row k shows entries[k].
  void Reset(std::vector<Field> columns, std::vector<Envelope> entries);
  /// Removes every row; the columns stay.
  void ClearRows();
  /// Adds a row for `envelope` below the others. Does nothing without columns.
  void AppendRow(Envelope envelope);
  void RemoveRowAt(int row);

  /// Reorders the rows by the keys, most significant first, comparing the
  /// shown texts without regard to case. Ties keep their order. Keys naming a
  /// column that does not exist are skipped. Persistent indexes (and so the
  /// selection) follow their rows.
  void Sort(const std::vector<SortKey>& keys);

  /// Rows of `accountIndex` whose message index is above `deletedIndex` get
  /// the message index one lower, as the server numbers them after a deletion.
  void RenumberAfterDeletion(int accountIndex, int deletedIndex);

  [[nodiscard]] const std::vector<Field>& columns() const { return columns_; }
  [[nodiscard]] long long MessageIdAt(int row) const;
  /// The first row whose item data is `messageId`, or -1.
  [[nodiscard]] int RowOfMessageId(long long messageId) const;
  /// What names a row's message from one check to the next (its messageId
  /// need not: the server renumbers after deletions): the account with the
  /// server's unique id, or the message key when the server offers none.
  [[nodiscard]] const std::string& KeyAt(int row) const;
  /// The rows whose key is one of `keys`, in row order.
  [[nodiscard]] std::vector<int> RowsWithKeys(const std::set<std::string>& keys) const;
  /// The text of `field` in `row`, whether or not it has a column.
  [[nodiscard]] QString FieldText(int row, Field field) const;
  [[nodiscard]] QString Text(int row, int column) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  struct Row {
    long long messageId = 0;
    std::string key;
    std::array<std::string, kFieldCount> texts;  // indexed by Field
  };
  [[nodiscard]] static Row MakeRow(Envelope&& envelope);
  [[nodiscard]] const std::string& Cell(const Row& row, int column) const;

  std::vector<Field> columns_;
  std::vector<Row> rows_;
};

}  // namespace bc
