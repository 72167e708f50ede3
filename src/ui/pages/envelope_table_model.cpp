#include "ui/pages/envelope_table_model.h"

#include "config/text_util.h"

#include <algorithm>
#include <numeric>

#include "ui/pages/email_columns.h"

namespace bc {

EnvelopeTableModel::EnvelopeTableModel(QObject* parent) : QAbstractTableModel(parent) {}

EnvelopeTableModel::Row EnvelopeTableModel::MakeRow(Envelope&& envelope) {
  Row row;
  row.messageId = ParseMessageId(envelope.messageId);
  row.key = envelope.account + '\n' +
            (envelope.uniqueId.empty() ? "key " + envelope.messageKey : "uid " + envelope.uniqueId);
  const auto put = [&row](Field field, std::string& text) {
    row.texts[static_cast<size_t>(field)] = std::move(text);
  };
  put(Field::From, envelope.from);
  put(Field::Subject, envelope.subject);
  put(Field::Address, envelope.address);
  put(Field::Received, envelope.received);
  put(Field::Size, envelope.size);
  put(Field::Account, envelope.account);
  put(Field::Attachment, envelope.attachment);
  return row;
}

const std::string& EnvelopeTableModel::Cell(const Row& row, int column) const {
  return row.texts[static_cast<size_t>(columns_[static_cast<size_t>(column)])];
}

void EnvelopeTableModel::Reset(std::vector<Field> columns, std::vector<Envelope> entries) {
  beginResetModel();
  columns_ = std::move(columns);
  rows_.clear();
  if (!columns_.empty()) {
    rows_.reserve(entries.size());
    for (Envelope& envelope : entries) {
      rows_.push_back(MakeRow(std::move(envelope)));
    }
  }
  endResetModel();
}

void EnvelopeTableModel::ClearRows() {
  if (rows_.empty()) {
    return;
  }
  beginResetModel();
  rows_.clear();
  endResetModel();
}

void EnvelopeTableModel::AppendRow(Envelope envelope) {
  if (columns_.empty()) {
    return;
  }
  const int row = static_cast<int>(rows_.size());
  beginInsertRows({}, row, row);
  rows_.push_back(MakeRow(std::move(envelope)));
  endInsertRows();
}

void EnvelopeTableModel::RemoveRowAt(int row) {
  if (row < 0 || row >= rowCount()) {
    return;
  }
  beginRemoveRows({}, row, row);
  rows_.erase(rows_.begin() + row);
  endRemoveRows();
}

void EnvelopeTableModel::Sort(const std::vector<SortKey>& keys) {
  std::vector<SortKey> usable;
  for (const SortKey& key : keys) {
    if (key.column >= 0 && key.column < columnCount()) {
      usable.push_back(key);
    }
  }
  if (usable.empty() || rows_.size() < 2) {
    return;
  }
  // Case folding is Unicode's rule for caseless matching ("Straße" and
  // "STRASSE" fold alike), so every script sorts without regard to case. The
  // keys are folded once per sort, not once per comparison.
  std::vector<std::vector<QString>> folded(usable.size());
  for (size_t k = 0; k < usable.size(); ++k) {
    folded[k].reserve(rows_.size());
    for (const Row& row : rows_) {
      folded[k].push_back(QString::fromStdString(Cell(row, usable[k].column)).toCaseFolded());
    }
  }
  std::vector<int> order(rows_.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    for (size_t k = 0; k < usable.size(); ++k) {
      const int c = folded[k][static_cast<size_t>(a)].compare(folded[k][static_cast<size_t>(b)]);
      if (c != 0) {
        return usable[k].ascending ? c < 0 : c > 0;
      }
    }
    return false;
  });

  Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  std::vector<int> newRowOf(rows_.size());
  std::vector<Row> sorted;
  sorted.reserve(rows_.size());
  for (size_t i = 0; i < order.size(); ++i) {
    newRowOf[static_cast<size_t>(order[i])] = static_cast<int>(i);
    sorted.push_back(std::move(rows_[static_cast<size_t>(order[i])]));
  }
  rows_ = std::move(sorted);
  const QModelIndexList before = persistentIndexList();
  QModelIndexList after;
  after.reserve(before.size());
  for (const QModelIndex& index : before) {
    after.push_back(this->index(newRowOf[static_cast<size_t>(index.row())], index.column()));
  }
  changePersistentIndexList(before, after);
  Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void EnvelopeTableModel::RenumberAfterDeletion(int accountIndex, int deletedIndex) {
  for (Row& row : rows_) {
    if (AccountIndexOf(row.messageId) == accountIndex &&
        MessageIndexOf(row.messageId) > deletedIndex) {
      row.messageId = MakeMessageId(MessageIndexOf(row.messageId) - 1, accountIndex);
    }
  }
  if (!rows_.empty()) {
    Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::UserRole});
  }
}

long long EnvelopeTableModel::MessageIdAt(int row) const {
  if (row < 0 || row >= rowCount()) {
    return 0;
  }
  return rows_[static_cast<size_t>(row)].messageId;
}

int EnvelopeTableModel::RowOfMessageId(long long messageId) const {
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].messageId == messageId) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

const std::string& EnvelopeTableModel::KeyAt(int row) const {
  static const std::string kNone;
  return row < 0 || row >= rowCount() ? kNone : rows_[static_cast<size_t>(row)].key;
}

std::vector<int> EnvelopeTableModel::RowsWithKeys(const std::set<std::string>& keys) const {
  std::vector<int> found;
  for (size_t i = 0; i < rows_.size() && !keys.empty(); ++i) {
    if (keys.contains(rows_[i].key)) {
      found.push_back(static_cast<int>(i));
    }
  }
  return found;
}

QString EnvelopeTableModel::FieldText(int row, Field field) const {
  if (row < 0 || row >= rowCount()) {
    return {};
  }
  return QString::fromStdString(rows_[static_cast<size_t>(row)].texts[static_cast<size_t>(field)]);
}

QString EnvelopeTableModel::Text(int row, int column) const {
  if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) {
    return {};
  }
  return QString::fromStdString(ShownText(Cell(rows_[static_cast<size_t>(row)], column)));
}

int EnvelopeTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int EnvelopeTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant EnvelopeTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) {
    return {};
  }
  const Row& row = rows_[static_cast<size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
      // Message text is the sender's: no control or reordering character is shown.
      return QString::fromStdString(ShownText(Cell(row, index.column())));
    case Qt::UserRole:
      return row.messageId;
    default:
      return {};
  }
}

QVariant EnvelopeTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) {
    return {};
  }
  if (role == Qt::DisplayRole) {
    return QString::fromLatin1(ColumnInfoOf(columns_[static_cast<size_t>(section)]).heading);
  }
  if (role == Qt::TextAlignmentRole) {
    return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  }
  return {};
}

}  // namespace bc
